// Watching the client's shutdown on SIGINT and SIGTERM (see the header).
#include "client/ClientShutdown.h"

#include <ibase.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "client/GDSLibrary.h"

namespace vantrel {

namespace {

std::atomic<uint64_t> gSignalShutdowns{0};
std::mutex gWatchLock;
// The binding through which the report was asked for; null when none is.
IGDSLibrary *gWatched = nullptr;

// Runs on the client's shutdown thread, before the connections are closed,
// so the count has moved by the time the calls in progress fail.
int OnClientShutdown(const int reason, const int, void *) {
    if (reason == fb_shutrsn_signal) gSignalShutdowns.fetch_add(1);
    return 0;
}

// Withdraws the report (the client takes a mask of 0 as "no longer"). Runs
// through atexit, which a shared library's atexit ties to the library: it
// runs when the library is unloaded, and at exit before the client's own
// clean-up, because it was registered after the client was loaded.
void StopWatching() {
    std::lock_guard<std::mutex> guard(gWatchLock);
    if (gWatched == nullptr) return;
    ISC_STATUS_ARRAY status{};
    gWatched->fb_shutdown_callback(status, OnClientShutdown, 0, nullptr);
    gWatched = nullptr;
}

}  // namespace

void WatchForSignalShutdown(IGDSLibrary &Library) {
    std::lock_guard<std::mutex> guard(gWatchLock);
    if (gWatched != nullptr || !Library.HasEntryGroup(TEntryGroup::Firebird)) return;
    ISC_STATUS_ARRAY status{};
    if (Library.fb_shutdown_callback(status, OnClientShutdown, fb_shut_preproviders, nullptr) != 0) return;
    gWatched = &Library;
    std::atexit(StopWatching);
}

uint64_t SignalShutdownCount() { return gSignalShutdowns.load(); }

bool ShutDownForSignal(IGDSLibrary &Library) {
    if (!Library.HasEntryGroup(TEntryGroup::Firebird)) return false;
    WatchForSignalShutdown(Library);
    // As the client does it for a signal it catches itself: no time limit,
    // the reason that tells the report it was a signal.
    Library.fb_shutdown(0, fb_shutrsn_signal);
    return true;
}

}  // namespace vantrel
