// SQL trace monitoring is not built; what remains is the process-wide hook
// with its enabled flag, which UpdateDB switches off at its end.
#pragma once

#include <atomic>

namespace vantrel {

class TIBSQLMonitorHook {
public:
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value) { FEnabled = value; }

private:
    // Every UpdateDB switches it off at its end, from whichever thread runs.
    std::atomic<bool> FEnabled{true};
};

// The process-wide hook, created on first use.
TIBSQLMonitorHook &MonitorHook();
// True once the hook exists (for tests of the clean-up order).
bool MonitorHookCreated();

}  // namespace vantrel
