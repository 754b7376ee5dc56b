// The allocation-failure switch (see the header). Built without the
// sanitizers' instrumentation: its malloc runs while the sanitizer starts.
#include "AllocationSwitch.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

// The address sanitizer's malloc, when it is there: allocations must go to
// its allocator, and it calls malloc (ours) while it starts, before dlsym
// could be used.
extern "C" void *__interceptor_malloc(size_t) __attribute__((weak));

namespace allocation_switch {

namespace {

using TMalloc = void *(*)(size_t);
TMalloc gRealMalloc = nullptr;

std::atomic<int> gArmed{0};
std::atomic<int> gMode{mCount};
std::atomic<long> gCount{0};
std::atomic<long> gFailAt{0};
std::atomic<long> gFailures{0};
// The text segment of libvantrel.so; 0 while it is not known.
std::atomic<uintptr_t> gStart{0};
std::atomic<uintptr_t> gEnd{0};

long (*gClock)() = nullptr;
// The clock at each counted allocation; a fixed array, as it is written
// from inside malloc.
constexpr long kClockReadings = 1 << 16;
long gClockAt[kClockReadings];

void *RealMalloc(size_t size) {
    if (__interceptor_malloc) return __interceptor_malloc(size);
    if (!gRealMalloc) gRealMalloc = reinterpret_cast<TMalloc>(dlsym(RTLD_NEXT, "malloc"));
    return gRealMalloc(size);
}

int FindLibrary(dl_phdr_info *info, size_t, void *) {
    if (!info->dlpi_name || !std::strstr(info->dlpi_name, "libvantrel.so")) return 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr) &segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD || !(segment.p_flags & PF_X)) continue;
        gStart = info->dlpi_addr + segment.p_vaddr;
        gEnd = info->dlpi_addr + segment.p_vaddr + segment.p_memsz;
    }
    return 1;
}

bool InLibrary(const void *caller) {
    if (gStart == 0) dl_iterate_phdr(FindLibrary, nullptr);
    const auto address = reinterpret_cast<uintptr_t>(caller);
    return address >= gStart && address < gEnd;
}

// True when this allocation, asked for from caller, is to fail.
bool Refuse(const void *caller) {
    if (!gArmed.load(std::memory_order_relaxed) || !InLibrary(caller)) return false;
    const long n = ++gCount;
    if (gClock && n <= kClockReadings) gClockAt[n - 1] = gClock();
    const long at = gFailAt;
    if (at <= 0) return false;
    const bool refuse = gMode == mOnce ? n == at : gMode == mFromThenOn && n >= at;
    if (refuse) ++gFailures;
    return refuse;
}

void *Allocate(size_t size, const void *caller) {
    if (Refuse(caller)) throw std::bad_alloc();
    void *p = RealMalloc(size == 0 ? 1 : size);
    if (!p) throw std::bad_alloc();
    return p;
}

}  // namespace

void Arm(TMode Mode, long FailAt) {
    gArmed = 0;
    gStart = 0;
    gEnd = 0;
    gCount = 0;
    gFailures = 0;
    gMode = Mode;
    gFailAt = FailAt;
    gArmed = 1;
}

long Disarm() {
    gArmed = 0;
    return gCount;
}

long Failures() { return gFailures; }

void SetClock(long (*Clock)()) { gClock = Clock; }

long ClockAt(long n) { return gClock && n >= 1 && n <= std::min(gCount.load(), kClockReadings) ? gClockAt[n - 1] : -1; }

}  // namespace allocation_switch

using allocation_switch::Allocate;
using allocation_switch::RealMalloc;
using allocation_switch::Refuse;

void *operator new(size_t size) { return Allocate(size, __builtin_return_address(0)); }
void *operator new[](size_t size) { return Allocate(size, __builtin_return_address(0)); }
void *operator new(size_t size, const std::nothrow_t &) noexcept {
    return Refuse(__builtin_return_address(0)) ? nullptr : RealMalloc(size == 0 ? 1 : size);
}
void *operator new[](size_t size, const std::nothrow_t &) noexcept {
    return Refuse(__builtin_return_address(0)) ? nullptr : RealMalloc(size == 0 ? 1 : size);
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, size_t) noexcept { std::free(p); }
void operator delete[](void *p, size_t) noexcept { std::free(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { std::free(p); }

extern "C" void *malloc(size_t size) {
    if (Refuse(__builtin_return_address(0))) {
        errno = ENOMEM;
        return nullptr;
    }
    return RealMalloc(size);
}
