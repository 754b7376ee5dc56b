// SQL trace monitoring is not built; what remains is the process-wide hook
// with its enabled flag, which UpdateDB switches off at its end.
#pragma once

namespace vantrel {

class TIBSQLMonitorHook {
public:
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value) { FEnabled = value; }

private:
    bool FEnabled = true;
};

// The process-wide hook, created on first use.
TIBSQLMonitorHook &MonitorHook();
// True once the hook exists (for tests of the clean-up order).
bool MonitorHookCreated();

}  // namespace vantrel
