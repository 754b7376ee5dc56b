// The update road that the exported UpdateDB and UpdateDBEx take, open to
// the vantrel host (which links the static core): besides the error text it
// tells where in the script the run stopped, and hooks let the host watch
// the script executor while the module exists.
#pragma once

#include <functional>
#include <vector>

#include "platform/Variant.h"
#include "script/IBSQLParser.h"

namespace vantrel {

class TDMUpdate;

struct TUpdateHooks {
    // After the script is loaded, just before it runs (script events and
    // settings are made here).
    std::function<void(TDMUpdate &)> BeforeRun;
    // After the transaction was committed or rolled back, before the
    // connection closes; also after a failed run, when the script had
    // started. Must not throw.
    std::function<void(TDMUpdate &)> AfterRun;
};

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
    // The run was ended by SIGINT or SIGTERM (the client library shut the
    // process's connections down); the error text says so.
    bool Interrupted = false;
    // What the run committed on its own and keeps in any case: DDL under
    // AutoDDL, the script's COMMITs (TIBScript::CommittedStatements).
    std::vector<TScriptLocation> Committed;
};

// The error text of an update that SIGINT or SIGTERM ended, listing what it
// had committed on its own (TUpdateOutcome::Committed), which stays.
String InterruptedUpdateText(const std::vector<TScriptLocation> &Committed);

// Everything UpdateDB does after copying its arguments and clearing its
// result: creates the module, applies the script and cleans up. Errors of
// the module's creation and of the final clean-up leave as exceptions, as
// they leave UpdateDB. Hooks may be null.
TUpdateOutcome UpdateDatabase(const VARIANT &DatabaseName, const VARIANT &ScriptFile,
                              const TUpdateHooks *Hooks = nullptr);

// UpdateDatabase as UpdateDBEx runs it: an error of the module's creation or
// of the final clean-up is caught too and becomes the outcome's error text.
TUpdateOutcome UpdateDatabaseEx(const VARIANT &DatabaseName, const VARIANT &ScriptFile,
                                const TUpdateHooks *Hooks = nullptr) noexcept;

}  // namespace vantrel
