// What becomes of database work when the process is told to stop. Firebird's
// client catches SIGINT and SIGTERM itself and shuts every connection of the
// process down; the calls in progress then fail with texts such as
// "connection shutdown" or "invalid database handle", which say nothing of
// the signal. Here the layer learns of such a shutdown from the client, so
// that a call can say that it was interrupted, and a host that catches the
// signals itself can ask for the same shutdown.
#pragma once

#include <chrono>
#include <cstdint>

namespace vantrel {

class IGDSLibrary;

// Asks the loaded client to report a shutdown caused by a signal. Done once
// per process; a client without Firebird's shutdown control is left alone.
// The report is withdrawn before the library is unloaded or the process
// ends, so that the client never calls into code that is gone.
void WatchForSignalShutdown(IGDSLibrary &Library);

// How many shutdowns caused by a signal the client has reported: a call
// compares the count at its start and at its failure.
uint64_t SignalShutdownCount();

// Waits until the client has finished every shutdown counted so far (its
// last report at most the given time, then the end of its call). The calls
// in progress fail while the client is still at work on its shutdown
// thread; a host that ends its process right after such a call would end it
// under that thread.
void AwaitSignalShutdownEnd(std::chrono::milliseconds Timeout);

// The shutdown the client makes of a SIGINT or SIGTERM, for hosts that
// catch the signals themselves (the vantrel host): every connection of the
// process is closed (the server rolls their transactions back) and later
// client calls fail. Counts as a signal shutdown. False when the client has
// no shutdown control or is not loaded.
bool ShutDownForSignal(IGDSLibrary &Library);

}  // namespace vantrel
