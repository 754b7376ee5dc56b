// The process-wide SQL trace hook.
#include "client/IBSQLMonitor.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace vantrel {

namespace {
std::once_flag gOnce;
std::unique_ptr<TIBSQLMonitorHook> gHook;
std::atomic<bool> gCreated{false};
}  // namespace

TIBSQLMonitorHook &MonitorHook() {
    std::call_once(gOnce, [] {
        gHook = std::make_unique<TIBSQLMonitorHook>();
        gCreated = true;
    });
    return *gHook;
}

bool MonitorHookCreated() { return gCreated; }

}  // namespace vantrel
