// A client library that forwards every client function to the real
// libfbclient.so.2 and makes one of the calls fail, as a network, a server
// or a lock can make any call fail in the field. Only calls that report
// through a status vector are counted and can fail: the k-th of them since
// the test armed the library (inject_arm) returns the status the test chose
// without reaching the real client, once or from then on. The test reads
// how many calls a run made (inject_disarm), so that it can sweep k over all
// of them.
//
// A call that failed here did nothing in the real client: what the library
// under test believes closed (a connection, a transaction) may still be open
// there. The library keeps track of the attachments and transactions that
// the real client holds, and inject_abandon() ends them as a server ends
// those of a broken connection (transactions rolled back, attachments
// detached), reporting how many there were: after a run whose failure was
// transient nothing should be left.
//
// The functions are generated from the binding's own list of client
// functions (src/client/GDSLibrary.h), so that a function the binding adds
// is forwarded (and can fail) without a change here.
//
// Control through the environment, for a process that cannot call
// inject_arm itself (the vantrel host): VANTREL_INJECT="K MODE KIND" arms
// the library when it is loaded, and VANTREL_INJECT_REPORT names a file to
// which "calls=N failures=F first=NAME live=L" is written when the process
// exits, followed by the names of the calls, one a line. What is still open
// then is ended (inject_abandon).
#include <dlfcn.h>
#include <ibase.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "client/GDSLibrary.h"

#define INJECT_API extern "C" __attribute__((visibility("default")))

namespace {

// How the armed call fails (inject_arm's kind).
enum TKind { kNetwork = 0, kShutdown = 1, kLockConflict = 2, kOutOfMemory = 3, kConnectionLost = 4 };
// Modes: off (count only), the k-th call alone, the k-th and every later one.
enum TMode { mCount = 0, mOnce = 1, mFromThenOn = 2 };

struct TState {
    std::mutex Lock;
    // Calls counted since inject_arm (also read without the lock, from the
    // tests' allocation switch).
    std::atomic<long> Calls{0};
    long FailAt = 0;
    // inject_arm_call: the failing call is the FailAtNamed-th of this name.
    std::string Name;
    long NamedCalls = 0;
    long FailAtNamed = 0;
    int Mode = mCount;
    int Kind = kNetwork;
    long Failures = 0;
    std::string FirstFailed;
    // The names of the calls counted since inject_arm, in order.
    std::vector<const char *> Log;
    // What the real client holds open.
    std::vector<isc_db_handle> Attachments;
    std::vector<isc_tr_handle> Transactions;
};

TState &State() {
    static TState state;
    return state;
}

void AtExit();

void *RealLibrary() {
    static void *library = [] {
        void *loaded = dlopen("libfbclient.so.2", RTLD_NOW | RTLD_LOCAL);
        // Registered after the client's own clean-up at exit, so that it
        // runs before it.
        std::atexit(AtExit);
        return loaded;
    }();
    return library;
}

void *RealEntry(const char *name) {
    void *library = RealLibrary();
    return library ? dlsym(library, name) : nullptr;
}

// Fills the status vector with the failure of the chosen kind.
void FillStatus(ISC_STATUS *status, int kind) {
    static const char kHost[] = "injected";
    std::vector<ISC_STATUS> v;
    switch (kind) {
    case kShutdown: v = {isc_arg_gds, isc_att_shutdown, isc_arg_end}; break;
    case kLockConflict: v = {isc_arg_gds, isc_lock_conflict, isc_arg_end}; break;
    case kOutOfMemory: v = {isc_arg_gds, isc_virmemexh, isc_arg_end}; break;
    case kConnectionLost: v = {isc_arg_gds, isc_lost_db_connection, isc_arg_end}; break;
    default:
        v = {isc_arg_gds, isc_network_error, isc_arg_string, reinterpret_cast<ISC_STATUS>(kHost),
             isc_arg_gds, isc_net_write_err, isc_arg_end};
        break;
    }
    std::copy(v.begin(), v.end(), status);
}

// Counts a call; true when it is the one (or one of those) to fail, in
// which case the status vector is filled.
bool Fails(const char *name, ISC_STATUS *status) {
    TState &s = State();
    std::lock_guard<std::mutex> guard(s.Lock);
    const long n = ++s.Calls;
    s.Log.push_back(name);
    if (!s.Name.empty() && s.Name == name && ++s.NamedCalls == s.FailAtNamed) s.FailAt = n;
    const bool fail = s.FailAt > 0 && (s.Mode == mOnce ? n == s.FailAt : s.Mode == mFromThenOn && n >= s.FailAt);
    if (!fail) return false;
    if (s.Failures++ == 0) s.FirstFailed = name;
    FillStatus(status, s.Kind);
    return true;
}

template <class T>
void Remove(std::vector<T> &list, T value) {
    list.erase(std::remove(list.begin(), list.end(), value), list.end());
}

void Track(std::vector<FB_API_HANDLE> &list, FB_API_HANDLE before, FB_API_HANDLE after) {
    std::lock_guard<std::mutex> guard(State().Lock);
    if (before == after) return;
    if (before != 0) Remove(list, before);
    if (after != 0) list.push_back(after);
}

// A name usable as a template argument.
template <size_t N>
struct TName {
    char Text[N];
    constexpr TName(const char (&text)[N]) { std::copy_n(text, N, Text); }
    template <size_t M>
    constexpr bool Is(const char (&other)[M]) const {
        if (M != N) return false;
        for (size_t i = 0; i < N; ++i)
            if (Text[i] != other[i]) return false;
        return true;
    }
};

template <class R, class... A>
constexpr bool kReportsStatus = false;
template <class... A>
constexpr bool kReportsStatus<ISC_STATUS, ISC_STATUS *, A...> = true;

// One forwarded call: counted and perhaps failed when it reports through a
// status vector; what it opens or ends in the real client is tracked.
template <TName Name, class R, class... A>
R Forward(A... args) {
    using TReal = R (*)(A...);
    static const auto real = reinterpret_cast<TReal>(RealEntry(Name.Text));
    if constexpr (kReportsStatus<R, A...>) {
        auto list = std::forward_as_tuple(args...);
        ISC_STATUS *status = std::get<0>(list);
        if (Fails(Name.Text, status)) return status[1];
        if (real == nullptr) {
            FillStatus(status, kNetwork);
            return status[1];
        }
        // The handle an opening or ending call changes: attachments at
        // argument 3 (attach, create), 1 (detach, drop); transactions at 1
        // (start, commit, rollback) and 2 (immediate statements, which start
        // a transaction for SET TRANSACTION and end it for COMMIT).
        FB_API_HANDLE *handle = nullptr;
        std::vector<FB_API_HANDLE> *list_of = &State().Attachments;
        if constexpr (Name.Is("isc_attach_database") || Name.Is("isc_create_database")) {
            handle = std::get<3>(list);
        } else if constexpr (Name.Is("isc_detach_database") || Name.Is("isc_drop_database")) {
            handle = std::get<1>(list);
        } else if constexpr (Name.Is("isc_start_multiple") || Name.Is("isc_commit_transaction") ||
                             Name.Is("isc_rollback_transaction")) {
            handle = std::get<1>(list);
            list_of = &State().Transactions;
        } else if constexpr (Name.Is("isc_dsql_execute_immediate") || Name.Is("isc_dsql_exec_immed2")) {
            handle = std::get<2>(list);
            list_of = &State().Transactions;
        }
        const FB_API_HANDLE before = handle ? *handle : 0;
        const ISC_STATUS rc = real(args...);
        if (handle && rc == 0) Track(*list_of, before, *handle);
        return rc;
    } else {
        return real(args...);
    }
}

}  // namespace

// ---- The client functions -------------------------------------------------------
// Each one under its client name (an assembler label, as the header declares
// the same names with its own spelling of some argument types).

#define INJECT_DEFINE(R, name, ...)                                                                  \
    INJECT_API R Injected_##name(VANTREL_PARAMS(__VA_ARGS__)) __asm__(#name);                         \
    R Injected_##name(VANTREL_PARAMS(__VA_ARGS__)) {                                                  \
        return Forward<#name, R __VA_OPT__(, ) __VA_ARGS__>(VANTREL_ARGS(__VA_ARGS__));               \
    }
// The groups a Firebird client has; the others (InterBase 7 and later, the
// XML library) the binding must find missing, as with the real client.
#define INJECT_Always INJECT_DEFINE
#define INJECT_V6 INJECT_DEFINE
#define INJECT_VersionQuery INJECT_DEFINE
#define INJECT_Firebird INJECT_DEFINE
#define INJECT_V70(...)
#define INJECT_V71(...)
#define INJECT_V80(...)
#define INJECT_Xml(...)
#define INJECT_ENTRY(group, R, name, ...) INJECT_##group(R, name, __VA_ARGS__)
#define INJECT_VARIADIC(...)

VANTREL_CLIENT_FUNCTIONS(INJECT_ENTRY, INJECT_VARIADIC)

// The variadic start: the same start through the block form, counted.
INJECT_API ISC_STATUS isc_start_transaction(ISC_STATUS *status, isc_tr_handle *tr, short count, ...) {
    struct TBlock {
        isc_db_handle *Database;
        ISC_LONG Length;
        const ISC_SCHAR *Parameters;
    };
    std::vector<TBlock> blocks(count > 0 ? size_t(count) : 0);
    va_list list;
    va_start(list, count);
    for (TBlock &block : blocks) {
        block.Database = va_arg(list, isc_db_handle *);
        block.Length = va_arg(list, int);
        block.Parameters = va_arg(list, const ISC_SCHAR *);
    }
    va_end(list);
    return Forward<"isc_start_multiple", ISC_STATUS, ISC_STATUS *, isc_tr_handle *, short, void *>(
        status, tr, count, static_cast<void *>(blocks.data()));
}

// Functions whose arguments need not be known: one jump to the real entry
// (x86-64).
#define INJECT_TRAMPOLINE(name)                                                                      \
    extern "C" __attribute__((visibility("hidden"))) void *inject_real_##name;                        \
    void *inject_real_##name = nullptr;                                                               \
    asm(".pushsection .text\n.globl " #name "\n.type " #name ", @function\n" #name                     \
        ":\n\tjmp *inject_real_" #name "(%rip)\n.size " #name ", . - " #name "\n.popsection\n");

INJECT_TRAMPOLINE(isc_event_block)
#if FB_API_VER >= 40
// Firebird 4's client exports it (the binding tells the client's types by it).
INJECT_TRAMPOLINE(fb_get_statement_interface)
#endif

namespace {

void WriteReport() {
    const char *path = std::getenv("VANTREL_INJECT_REPORT");
    if (path == nullptr || *path == '\0') return;
    TState &s = State();
    std::lock_guard<std::mutex> guard(s.Lock);
    if (FILE *file = std::fopen(path, "w")) {
        std::fprintf(file, "calls=%ld failures=%ld first=%s live=%zu\n", s.Calls.load(), s.Failures,
                     s.FirstFailed.empty() ? "-" : s.FirstFailed.c_str(), s.Attachments.size() + s.Transactions.size());
        for (const char *name : s.Log) std::fprintf(file, "%s\n", name);
        std::fclose(file);
    }
}

__attribute__((constructor)) void Load() {
    // The state is built before the report is registered, so that it is
    // still there when the report is written at exit.
    State();
    inject_real_isc_event_block = RealEntry("isc_event_block");
#if FB_API_VER >= 40
    inject_real_fb_get_statement_interface = RealEntry("fb_get_statement_interface");
#endif
    if (const char *setting = std::getenv("VANTREL_INJECT")) {
        long at = 0;
        int mode = mOnce, kind = kNetwork;
        if (std::sscanf(setting, "%ld %d %d", &at, &mode, &kind) >= 1) {
            TState &s = State();
            s.FailAt = at;
            s.Mode = mode;
            s.Kind = kind;
        }
    }
}

}  // namespace

// ---- Control functions for the tests -------------------------------------------

INJECT_API int inject_abandon();

namespace {

// At exit: the report, then what the real client still holds is ended as a
// server ends a broken connection's. A process whose calls failed from then
// on leaves it open in the real client, whose own clean-up at exit is not
// made for it (Firebird 3's remote client crashes on a cursor left open).
void AtExit() {
    WriteReport();
    inject_abandon();
}

}  // namespace

// Counts calls from now on; with failAt > 0 the failAt-th fails (mode 1) or
// it and every later one (mode 2), with the status of kind (0 a network
// error, 1 "connection shutdown", 2 a lock conflict, 3 out of memory, 4 a
// lost connection).
INJECT_API void inject_arm(long failAt, int mode, int kind) {
    TState &s = State();
    std::lock_guard<std::mutex> guard(s.Lock);
    s.Calls = 0;
    s.Failures = 0;
    s.FirstFailed.clear();
    s.Log.clear();
    s.Name.clear();
    s.FailAt = failAt;
    s.Mode = mode;
    s.Kind = kind;
}

// As inject_arm, the failing call being the nth call of the client function
// name (counted from now on).
INJECT_API void inject_arm_call(const char *name, long nth, int mode, int kind) {
    inject_arm(0, mode, kind);
    TState &s = State();
    std::lock_guard<std::mutex> guard(s.Lock);
    s.Name = name;
    s.NamedCalls = 0;
    s.FailAtNamed = nth;
}

// Stops failing calls; returns the calls counted since inject_arm.
INJECT_API long inject_disarm() {
    TState &s = State();
    std::lock_guard<std::mutex> guard(s.Lock);
    s.FailAt = 0;
    s.Name.clear();
    return s.Calls.load();
}

// Calls counted since inject_arm so far (safe to call from an allocator).
INJECT_API long inject_calls() { return State().Calls.load(); }

// Calls that failed since inject_arm, and the name of the first of them.
INJECT_API long inject_failures() {
    std::lock_guard<std::mutex> guard(State().Lock);
    return State().Failures;
}

INJECT_API const char *inject_first_failed() {
    std::lock_guard<std::mutex> guard(State().Lock);
    return State().FirstFailed.c_str();
}

// The name of the n-th call (from 1) counted since inject_arm; null beyond
// the last.
INJECT_API const char *inject_call_name(long n) {
    std::lock_guard<std::mutex> guard(State().Lock);
    return n >= 1 && n <= long(State().Log.size()) ? State().Log[size_t(n - 1)] : nullptr;
}

// Ends what the real client still holds open (transactions rolled back,
// then attachments detached) and returns how many there were.
INJECT_API int inject_abandon() {
    std::vector<isc_db_handle> attachments;
    std::vector<isc_tr_handle> transactions;
    {
        std::lock_guard<std::mutex> guard(State().Lock);
        attachments.swap(State().Attachments);
        transactions.swap(State().Transactions);
    }
    using TEnd = ISC_STATUS (*)(ISC_STATUS *, FB_API_HANDLE *);
    const auto rollback = reinterpret_cast<TEnd>(RealEntry("isc_rollback_transaction"));
    const auto detach = reinterpret_cast<TEnd>(RealEntry("isc_detach_database"));
    ISC_STATUS status[ISC_STATUS_LENGTH];
    for (isc_tr_handle tr : transactions) rollback(status, &tr);
    for (isc_db_handle db : attachments) detach(status, &db);
    return static_cast<int>(attachments.size() + transactions.size());
}
