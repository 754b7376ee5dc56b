// The allocation-failure switch of the test hosts. A host that compiles
// AllocationSwitch.cpp replaces operator new and malloc for its whole
// process; while the switch is armed, the allocations whose call site lies in
// libvantrel.so are counted, and the k-th of them fails (once, or it and
// every later one). Everything else (the host, the C++ runtime, the client
// library and the database engine) allocates as ever. An operator new that
// fails throws std::bad_alloc; a malloc that fails returns null with ENOMEM.
//
// The library's code is found by its file name among the loaded objects, anew
// after each Arm, so that a library loaded (or loaded again at another
// address) while the switch is armed is counted from its first allocation.
#pragma once

namespace allocation_switch {

enum TMode { mCount = 0, mOnce = 1, mFromThenOn = 2 };

// Counts the library's allocations from now on; with FailAt > 0 the FailAt-th
// fails (mOnce) or it and every later one (mFromThenOn).
void Arm(TMode Mode, long FailAt);
// Stops counting and failing; returns the allocations counted since Arm.
long Disarm();
// Allocations refused since Arm.
long Failures();

// A clock read at every counted allocation (the client calls made so far),
// so that a sweep knows between which calls the n-th allocation happened.
// It must not allocate.
void SetClock(long (*Clock)());
// The clock's reading at the n-th allocation counted since Arm (from 1; -1
// when unknown).
long ClockAt(long n);

}  // namespace allocation_switch
