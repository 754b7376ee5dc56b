// The update road that the exported UpdateDB and UpdateDBEx take, open to
// the vantrel host (which links the static core): besides the error text it
// tells where in the script the run stopped.
#pragma once

#include "platform/Variant.h"
#include "script/IBSQLParser.h"

namespace vantrel {

struct TUpdateOutcome {
    bool Failed = false;
    // What UpdateDB hands back: empty after success.
    String ErrorText;
    // The statement that failed, or that could not be read; Line is 0 when
    // the run failed elsewhere (connecting, reading the script file, the
    // final commit).
    TScriptLocation Location;
    // The error text names the location itself (a statement that could not
    // be read); a server's error text never does.
    bool LocationInText = false;
};

// Everything UpdateDB does after copying its arguments and clearing its
// result: creates the module, applies the script and cleans up. Errors of
// the module's creation and of the final clean-up leave as exceptions, as
// they leave UpdateDB.
TUpdateOutcome UpdateDatabase(const VARIANT &DatabaseName, const VARIANT &ScriptFile);

}  // namespace vantrel
