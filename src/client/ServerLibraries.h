// The server type registry: "IBServer" and "IBEmbedded" mapped to their
// shared binding objects, filled when the library is loaded.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "platform/Text.h"

namespace vantrel {

class IGDSLibrary;

// Server type registry, in registration order: "IBServer", "IBEmbedded"
// and whatever RegisterServerLibrary added. Names compare ignoring case.
using TServerLibraryEntry = std::pair<String, std::shared_ptr<IGDSLibrary>>;
const std::vector<TServerLibraryEntry> &ServerLibraries();
void RegisterServerLibrary(const String &serverType, std::shared_ptr<IGDSLibrary> library);
// The registered name in its registered form ("ibserver" -> "IBServer");
// raises EIBClientError 123 when nothing matches.
String MatchServerType(const String &text);
// The binding registered under a name; raises EListError "Item not found"
// for an unknown name.
std::shared_ptr<IGDSLibrary> FindServerLibrary(const String &serverType);

}  // namespace vantrel
