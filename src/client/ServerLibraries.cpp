// The server type registry, filled while the library is loaded.
#include "client/ServerLibraries.h"

#include "client/GDSLibrary.h"
#include "client/IBErrors.h"
#include "platform/Exceptions.h"

namespace vantrel {

namespace {

std::vector<TServerLibraryEntry> &Registry() {
    static std::vector<TServerLibraryEntry> registry{
        {u"IBServer", std::make_shared<TIBServerLibrary>()},
        {u"IBEmbedded", std::make_shared<TIBEmbeddedLibrary>()},
    };
    return registry;
}

// Fill the registry while the library is loaded, before any caller's thread
// can reach it.
[[maybe_unused]] const bool kRegistryFilled = !Registry().empty();

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
