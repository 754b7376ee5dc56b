// The server type registry, filled while the library is loaded.
#include "client/ServerLibraries.h"

#include "client/GDSLibrary.h"
#include "client/IBErrors.h"
#include "platform/Exceptions.h"

namespace vantrel {

namespace {

// Filled on first use, not while the library is loaded: what loading runs
// cannot report a failure (memory running out there would end the host
// before any call could say so). A first use that fails leaves the registry
// unbuilt and raises in that call; the next use tries again. C++ builds a
// function's static once even when threads reach it at once.
std::vector<TServerLibraryEntry> &Registry() {
    static std::vector<TServerLibraryEntry> registry{
        {u"IBServer", std::make_shared<TIBServerLibrary>()},
        {u"IBEmbedded", std::make_shared<TIBEmbeddedLibrary>()},
    };
    return registry;
}

bool SameServerType(const String &a, const String &b) { return AsciiLower(a) == AsciiLower(b); }

}  // namespace

const std::vector<TServerLibraryEntry> &ServerLibraries() { return Registry(); }

void RegisterServerLibrary(const String &serverType, std::shared_ptr<IGDSLibrary> library) {
    for (const TServerLibraryEntry &entry : Registry())
        if (SameServerType(entry.first, serverType)) throw EListError(kListDuplicateMessage);
    Registry().emplace_back(serverType, std::move(library));
}

String MatchServerType(const String &text) {
    for (const TServerLibraryEntry &entry : Registry())
        if (SameServerType(entry.first, text)) return entry.first;
    RaiseClientError(ClientError::InvalidLibraryType, {text});
}

std::shared_ptr<IGDSLibrary> FindServerLibrary(const String &serverType) {
    for (const TServerLibraryEntry &entry : Registry())
        if (SameServerType(entry.first, serverType)) return entry.second;
    throw EListError(kListItemNotFoundMessage);
}

}  // namespace vantrel
