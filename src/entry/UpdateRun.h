// UpdateDB for hosts built with the library itself (the vantrel command):
// the same run as the exported function, with hooks that see the update
// module while it exists, to watch the script executor or read its run
// statistics.
#pragma once

#include <cstdint>
#include <functional>

#include "vantrel/vantrel.h"

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

// UpdateDB with hooks (null for none).
void RunUpdateDB(const VARIANT &DatabaseName, const VARIANT &ScriptFile, VARIANT *ErrorText,
                 const TUpdateHooks *Hooks);
// UpdateDBEx with hooks: 1 when an error left the run (its message is then
// in ErrorText), else 0.
int32_t RunUpdateDBEx(const VARIANT &DatabaseName, const VARIANT &ScriptFile, VARIANT *ErrorText,
                      const TUpdateHooks *Hooks);

}  // namespace vantrel
