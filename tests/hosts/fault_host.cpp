// A host that runs CheckDBVersionEx and UpdateDBEx while the library's own
// allocations fail, to prove that nothing escapes the two exports when
// memory runs out. It replaces operator new and malloc; an allocation fails
// only when the library's code asked for it (the return address lies in
// libvantrel.so), so the client library and the database engine keep
// working. For each export it first counts the library's allocations in one
// call, then repeats the call with the n-th of them failing, for evenly
// spread n, in two modes: "once" (only the n-th fails) and "on" (the n-th
// and every later one fail until the call returns). Each call must return 0
// or 1 with ErrorText a VT_BSTR (for the update, 0 with a text is a failed
// update as UpdateDB reports it); a check returning 0 must report the true
// version. Anything thrown out of a call, or a destructor that throws while
// memory is exhausted, ends the process.
//
// usage: fault_host DATABASE SCRIPT VERSION POINTS
// prints one line per export and mode:
//   <export> <mode> calls=N faults=F returned0=A returned1=B nulltext=C
#include <dlfcn.h>
#include <link.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <vantrel/vantrel.h>

namespace {

using TMalloc = void *(*)(size_t);
TMalloc gRealMalloc = nullptr;

}  // namespace

// The address sanitizer's malloc, when it is there: allocations must go to
// its allocator, and it calls malloc (ours) while it starts, before dlsym
// could be used.
extern "C" void *__interceptor_malloc(size_t) __attribute__((weak));

namespace {

uintptr_t gLibraryStart = 0;
uintptr_t gLibraryEnd = 0;

enum TMode { mOff, mCount, mOnce, mOn };
std::atomic<int> gMode{mOff};
std::atomic<long> gCount{0};      // library allocations seen while counting or armed
std::atomic<long> gFailAt{0};     // the allocation that fails first
std::atomic<long> gFailures{0};   // allocations refused in this call

void *RealMalloc(size_t size) {
    if (__interceptor_malloc) return __interceptor_malloc(size);
    if (!gRealMalloc) gRealMalloc = reinterpret_cast<TMalloc>(dlsym(RTLD_NEXT, "malloc"));
    return gRealMalloc(size);
}

// True when this allocation, asked for from caller, is to fail.
bool Refuse(const void *caller) {
    const int mode = gMode.load(std::memory_order_relaxed);
    if (mode == mOff) return false;
    const auto address = reinterpret_cast<uintptr_t>(caller);
    if (address < gLibraryStart || address >= gLibraryEnd) return false;
    const long n = ++gCount;
    if (mode == mCount) return false;
    const bool refuse = mode == mOnce ? n == gFailAt : n >= gFailAt;
    if (refuse) ++gFailures;
    return refuse;
}

void *Allocate(size_t size, const void *caller) {
    if (Refuse(caller)) throw std::bad_alloc();
    void *p = RealMalloc(size == 0 ? 1 : size);
    if (!p) throw std::bad_alloc();
    return p;
}

// The text segment range of libvantrel.so.
int FindLibrary(dl_phdr_info *info, size_t, void *) {
    if (!info->dlpi_name || !std::strstr(info->dlpi_name, "libvantrel.so")) return 0;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr) &segment = info->dlpi_phdr[i];
        if (segment.p_type != PT_LOAD || !(segment.p_flags & PF_X)) continue;
        gLibraryStart = info->dlpi_addr + segment.p_vaddr;
        gLibraryEnd = gLibraryStart + segment.p_memsz;
    }
    return 1;
}

VARIANT Text(const std::string &s) {
    VARIANT v;
    VantrelVariantInit(&v);
    std::u16string text(s.begin(), s.end());  // ASCII arguments
    v.vt = VT_BSTR;
    v.u.bstrVal = VantrelSysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
    return v;
}

struct TOutcome {
    int Result = 0;
    bool NullText = false;
};

[[noreturn]] void Fail(const std::string &what) {
    std::fprintf(stderr, "fault_host: %s (fault at %ld)\n", what.c_str(), gFailAt.load());
    std::_Exit(1);
}

std::string Utf8(BSTR text) {
    std::string out;
    for (uint32_t i = 0; text && i < VantrelSysStringLen(text); ++i)
        out.push_back(text[i] < 0x80 ? static_cast<char>(text[i]) : '?');
    return out;
}

// One call of an export, its arguments built before the faults are armed.
TOutcome RunOnce(int mode, bool update, const std::string &database, const std::string &script, int32_t expected) {
    VARIANT db = Text(database);
    VARIANT file = Text(script);
    VARIANT error;
    std::memset(&error, 0xAB, sizeof error);  // uninitialised, as a host may pass it
    int32_t version = -1;
    gFailures = 0;
    gCount = 0;
    gMode = mode;
    const int32_t rc = update ? UpdateDBEx(db, file, &error) : CheckDBVersionEx(db, &version, &error);
    gMode = mOff;
    TOutcome outcome;
    outcome.Result = rc;
    if (rc != 0 && rc != 1) Fail("result " + std::to_string(rc));
    if (error.vt != VT_BSTR) Fail("ErrorText is not a VT_BSTR");
    outcome.NullText = error.u.bstrVal == nullptr;
    if (rc == 0 && !update && version != expected)
        Fail("success with version " + std::to_string(version) + " (" + Utf8(error.u.bstrVal) + ")");
    if (mode == mOff && rc != 0) Fail("the call fails without faults: " + Utf8(error.u.bstrVal));
    VantrelVariantClear(&error);
    VantrelVariantClear(&db);
    VantrelVariantClear(&file);
    return outcome;
}

void NoMessageBox(const VANTREL_WCHAR *, void *) {}

}  // namespace

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

int main(int argc, char **argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: fault_host DATABASE SCRIPT VERSION POINTS\n");
        return 2;
    }
    const std::string database = argv[1], script = argv[2];
    const int32_t expected = std::atoi(argv[3]);
    const long points = std::atol(argv[4]);
    dl_iterate_phdr(FindLibrary, nullptr);
    if (gLibraryStart == 0) Fail("libvantrel.so is not loaded");
    VantrelSetMessageBoxHandler(NoMessageBox, nullptr);

    for (bool update : {false, true}) {
        // A call without faults loads the client library, then one counts.
        RunOnce(mOff, update, database, script, expected);
        RunOnce(mCount, update, database, script, expected);
        const long total = gCount;
        if (total == 0) Fail("no allocation of the library was seen");
        for (int mode : {mOnce, mOn}) {
            long calls = 0, returned0 = 0, returned1 = 0, nullText = 0, faults = 0;
            const long step = total > points ? total / points : 1;
            for (long n = 1; n <= total; n += step) {
                gFailAt = n;
                TOutcome outcome = RunOnce(mode, update, database, script, expected);
                ++calls;
                faults += gFailures > 0;
                (outcome.Result == 0 ? returned0 : returned1) += 1;
                nullText += outcome.Result == 1 && outcome.NullText;
            }
            std::printf("%s %s calls=%ld faults=%ld returned0=%ld returned1=%ld nulltext=%ld\n",
                        update ? "update" : "check", mode == mOnce ? "once" : "on", calls, faults, returned0,
                        returned1, nullText);
        }
    }
    std::fflush(stdout);
    return 0;
}
