// Watching the client's shutdown on SIGINT and SIGTERM (see the header).
#include "client/ClientShutdown.h"

#include <ibase.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "client/GDSLibrary.h"

namespace vantrel {

namespace {

std::atomic<uint64_t> gSignalShutdowns{0};
// Shutdowns the client has finished, counted under gFinishLock.
uint64_t gFinishedShutdowns = 0;
std::mutex gFinishLock;
std::condition_variable gFinished;
std::mutex gWatchLock;
// The binding through which the report was asked for; null when none is.
IGDSLibrary *gWatched = nullptr;

// Runs on the client's shutdown thread: before the connections are closed,
// so the count has moved by the time the calls in progress fail, and once
// more when the client has done.
int OnClientShutdown(const int reason, const int mask, void *) {
    if (reason != fb_shutrsn_signal) return 0;
    if (mask & fb_shut_preproviders) gSignalShutdowns.fetch_add(1);
    if (mask & fb_shut_finish) {
        std::lock_guard<std::mutex> guard(gFinishLock);
        ++gFinishedShutdowns;
        gFinished.notify_all();
    }
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
    if (Library.fb_shutdown_callback(status, OnClientShutdown, fb_shut_preproviders | fb_shut_finish, nullptr) != 0)
        return;
    gWatched = &Library;
    std::atexit(StopWatching);
}

uint64_t SignalShutdownCount() { return gSignalShutdowns.load(); }

void AwaitSignalShutdownEnd(std::chrono::milliseconds Timeout) {
    const uint64_t started = gSignalShutdowns.load();
    std::unique_lock<std::mutex> lock(gFinishLock);
    gFinished.wait_for(lock, Timeout, [started] { return gFinishedShutdowns >= started; });
    lock.unlock();
    // The client's shutdown thread is still inside fb_shutdown after the
    // last report; a process that ended now would free what that call still
    // uses (the sanitizer build saw it write to freed memory at exit). The
    // client runs one shutdown at a time, and one after the first changes
    // nothing: this call returns once the first has returned.
    std::lock_guard<std::mutex> guard(gWatchLock);
    if (gWatched) gWatched->fb_shutdown(0, fb_shutrsn_signal);
}

bool ShutDownForSignal(IGDSLibrary &Library) {
    if (!Library.HasEntryGroup(TEntryGroup::Firebird)) return false;
    WatchForSignalShutdown(Library);
    // As the client does it for a signal it catches itself: no time limit,
    // the reason that tells the report it was a signal.
    Library.fb_shutdown(0, fb_shutrsn_signal);
    return true;
}

}  // namespace vantrel
