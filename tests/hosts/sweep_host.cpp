// A host that proves the exports tell the truth whatever single step fails:
// it loads libvantrel.so with dlopen, with the injecting client library
// (tests/fakeclients/injectingclient.cpp) as its client, and runs one export
// again and again with the k-th client call, or the k-th allocation of the
// library (AllocationSwitch.h), failing: for every k of the run (or every
// STEP-th), once and from then on. After each run it checks:
//
// - the export returned 0 or 1 with a VT_BSTR text (nothing escaped, no
//   crash; the test that starts the host watches for hangs);
// - the outcome is the truth: an update that reports success holds the whole
//   script's effect; one that reports failure holds exactly what was
//   committed before the failing step (DDL committed on its own, the
//   script's COMMIT), nothing of the script's transaction; a version check
//   that succeeds returns the version;
// - a failure's text carries the injected failure's text, or says that
//   memory ran out (or is the null string when memory stays exhausted);
// - nothing is left open in the client when the failure was transient: no
//   attachment, no transaction;
// - a following call without any failure succeeds in the same process.
//
// usage: sweep_host NAME=VALUE...
//   library=PATH injector=PATH    the library under test, the client it loads
//   scenario=update|check|load
//   fault=calls|allocations       what fails
//   step=N                        every N-th k (default 1: every k)
//   remote=0|1                    through the server on localhost
//   database=PATH                 update: the database to copy for each run;
//                                 check: the database to read
//   folder=PATH                   update: where the script and copies go
//   version=N                     check: the version the database holds
// Each violation is printed on a line starting "violation:"; the last line is
//   summary scenario=S fault=F points=P runs=R failed=X succeeded=Y faults=Z
// and the exit status is 0 only when there was no violation.
#include <dlfcn.h>
#include <ibase.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <vantrel/vantrel.h>

#include "AllocationSwitch.h"

namespace {

// ---- arguments and reporting -------------------------------------------------

std::map<std::string, std::string> gArgs;

std::string Arg(const std::string &name, const std::string &fallback = std::string()) {
    auto found = gArgs.find(name);
    return found == gArgs.end() ? fallback : found->second;
}

int gViolations = 0;

void Violation(const char *format, ...) {
    if (++gViolations > 40) return;  // enough to see the pattern
    va_list args;
    va_start(args, format);
    std::printf("violation: ");
    std::vprintf(format, args);
    std::printf("\n");
    va_end(args);
    std::fflush(stdout);
}

[[noreturn]] void Fail(const std::string &what) {
    std::fprintf(stderr, "sweep_host: %s\n", what.c_str());
    std::exit(2);
}

// A run that does not end within a minute is a hang: the watchdog says
// which one and ends the host.
char gCurrentRun[256] = "";

void OnWatchdog(int) {
    const char prefix[] = "violation: hang in ";
    (void)!write(1, prefix, sizeof prefix - 1);
    (void)!write(1, gCurrentRun, std::strlen(gCurrentRun));
    (void)!write(1, "\n", 1);
    _exit(3);
}

void StartRun(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(gCurrentRun, sizeof gCurrentRun, format, args);
    va_end(args);
    if (Arg("trace") == "1") std::fprintf(stderr, "%s\n", gCurrentRun);
    alarm(60);
}

// ---- the library under test and the injecting client ---------------------------

struct TLibrary {
    void *Handle = nullptr;
    BSTR (*SysAllocStringLen)(const VANTREL_WCHAR *, uint32_t) = nullptr;
    uint32_t (*SysStringLen)(BSTR) = nullptr;
    void (*VariantInit)(VARIANT *) = nullptr;
    void (*VariantClear)(VARIANT *) = nullptr;
    void (*SetMessageBoxHandler)(VantrelMessageBoxHandler, void *) = nullptr;
    int32_t (*CheckDBVersionEx)(VARIANT, int32_t *, VARIANT *) = nullptr;
    int32_t (*UpdateDBEx)(VARIANT, VARIANT, VARIANT *) = nullptr;
};

template <class T>
void Resolve(void *handle, const char *name, T *&entry) {
    entry = reinterpret_cast<T *>(dlsym(handle, name));
    if (!entry) Fail(std::string("the library lacks ") + name);
}

std::string gMessageBoxText;

void RecordMessageBox(const VANTREL_WCHAR *text, void *) {
    gMessageBoxText.clear();
    for (; text && *text; ++text) gMessageBoxText.push_back(*text < 0x80 ? char(*text) : '?');
}

TLibrary LoadLibrary(const std::string &path) {
    TLibrary lib;
    lib.Handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib.Handle) Fail("cannot load " + path + ": " + dlerror());
    Resolve(lib.Handle, "VantrelSysAllocStringLen", lib.SysAllocStringLen);
    Resolve(lib.Handle, "VantrelSysStringLen", lib.SysStringLen);
    Resolve(lib.Handle, "VantrelVariantInit", lib.VariantInit);
    Resolve(lib.Handle, "VantrelVariantClear", lib.VariantClear);
    Resolve(lib.Handle, "VantrelSetMessageBoxHandler", lib.SetMessageBoxHandler);
    Resolve(lib.Handle, "CheckDBVersionEx", lib.CheckDBVersionEx);
    Resolve(lib.Handle, "UpdateDBEx", lib.UpdateDBEx);
    lib.SetMessageBoxHandler(RecordMessageBox, nullptr);
    return lib;
}

struct TInjector {
    void (*Arm)(long, int, int) = nullptr;
    long (*Disarm)() = nullptr;
    long (*Failures)() = nullptr;
    const char *(*FirstFailed)() = nullptr;
    const char *(*CallName)(long) = nullptr;
    int (*Abandon)() = nullptr;
};

TInjector OpenInjector(const std::string &path) {
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) Fail("cannot load " + path + ": " + dlerror());
    TInjector in;
    Resolve(handle, "inject_arm", in.Arm);
    Resolve(handle, "inject_disarm", in.Disarm);
    Resolve(handle, "inject_failures", in.Failures);
    Resolve(handle, "inject_first_failed", in.FirstFailed);
    Resolve(handle, "inject_call_name", in.CallName);
    Resolve(handle, "inject_abandon", in.Abandon);
    return in;
}

// The texts of the kinds of injected failure, as the client composes them
// (the injecting client's kinds 0 to 4), and of memory running out.
const char *const kKindText[] = {"Error writing data to the connection", "connection shutdown",
                                 "lock conflict on no wait transaction",
                                 "unable to allocate memory from operating system", "connection lost to database"};
const char *const kKindName[] = {"network", "shutdown", "lock", "memory", "lost"};
constexpr int kKinds = 5;
const char kOutOfMemory[] = "Out of memory";

// ---- a small client of its own, for looking at the database ---------------------
// Straight through the real client library, so that what the library under
// test left behind is seen as any other connection sees it.

struct TClient {
    using TAttach = ISC_STATUS (*)(ISC_STATUS *, short, const ISC_SCHAR *, isc_db_handle *, short, const ISC_SCHAR *);
    using THandleCall = ISC_STATUS (*)(ISC_STATUS *, FB_API_HANDLE *);
    using TStart = ISC_STATUS (*)(ISC_STATUS *, isc_tr_handle *, short, void *);
    using TImmediate2 = ISC_STATUS (*)(ISC_STATUS *, isc_db_handle *, isc_tr_handle *, unsigned short,
                                       const ISC_SCHAR *, unsigned short, const XSQLDA *, const XSQLDA *);
    using TInterprete = ISC_LONG (*)(ISC_SCHAR *, unsigned int, const ISC_STATUS **);
    TAttach Attach = nullptr;
    THandleCall Detach = nullptr, Commit = nullptr, Rollback = nullptr;
    TStart Start = nullptr;
    TImmediate2 Immediate = nullptr;
    TInterprete Interprete = nullptr;

    TClient() {
        void *handle = dlopen("libfbclient.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!handle) Fail(std::string("cannot load the client library: ") + dlerror());
        Resolve(handle, "isc_attach_database", Attach);
        Resolve(handle, "isc_detach_database", Detach);
        Resolve(handle, "isc_commit_transaction", Commit);
        Resolve(handle, "isc_rollback_transaction", Rollback);
        Resolve(handle, "isc_start_multiple", Start);
        Resolve(handle, "isc_dsql_exec_immed2", Immediate);
        Resolve(handle, "fb_interpret", Interprete);
    }

    std::string Message(const ISC_STATUS *status) {
        std::string text;
        char buffer[512];
        while (Interprete(buffer, sizeof buffer, &status) > 0) text += std::string(buffer) + " ";
        return text;
    }

    // The single text value of a one-row query, in a transaction of its own.
    std::string Query(const std::string &database, const std::string &sql) {
        ISC_STATUS status[ISC_STATUS_LENGTH] = {};
        isc_db_handle db = 0;
        std::string dpb(1, char(isc_dpb_version1));
        for (auto [tag, value] : {std::pair{isc_dpb_user_name, "SYSDBA"}, {isc_dpb_password, "quillfern"}})
            dpb += std::string{char(tag), char(std::strlen(value))} + value;
        if (Attach(status, short(database.size()), database.c_str(), &db, short(dpb.size()), dpb.data()))
            Fail("cannot attach " + database + ": " + Message(status));
        isc_tr_handle tr = 0;
        static const char tpb[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed, isc_tpb_rec_version,
                                   isc_tpb_nowait};
        struct {
            isc_db_handle *db;
            ISC_LONG length;
            const char *tpb;
        } block{&db, sizeof tpb, tpb};
        if (Start(status, &tr, 1, &block)) Fail("cannot start a transaction: " + Message(status));
        std::vector<char> area(XSQLDA_LENGTH(1));
        auto *out = reinterpret_cast<XSQLDA *>(area.data());
        out->version = SQLDA_VERSION1;
        out->sqln = out->sqld = 1;
        char value[2 + 400] = {};
        short null = 0;
        out->sqlvar[0].sqltype = SQL_VARYING + 1;
        out->sqlvar[0].sqllen = 400;
        out->sqlvar[0].sqldata = value;
        out->sqlvar[0].sqlind = &null;
        if (Immediate(status, &db, &tr, 0, sql.c_str(), 3, nullptr, out))
            Fail("cannot read the database (" + sql + "): " + Message(status));
        Commit(status, &tr);
        Detach(status, &db);
        if (null) return "null";
        short length = 0;
        std::memcpy(&length, value, sizeof length);
        return std::string(value + 2, size_t(length));
    }
};

TClient &Client() {
    static TClient client;
    return client;
}

// ---- calling the exports -----------------------------------------------------------

struct TResult {
    int32_t Code = -1;
    bool NullText = false;
    std::string Text;
    int32_t Version = -1;
};

VARIANT Text(TLibrary &lib, const std::string &s) {
    VARIANT v;
    lib.VariantInit(&v);
    std::u16string text(s.begin(), s.end());  // ASCII arguments
    v.vt = VT_BSTR;
    v.u.bstrVal = lib.SysAllocStringLen(text.data(), uint32_t(text.size()));
    return v;
}

std::string Narrow(TLibrary &lib, BSTR text) {
    std::string out;
    for (uint32_t i = 0; text && i < lib.SysStringLen(text); ++i) out.push_back(text[i] < 0x80 ? char(text[i]) : '?');
    return out;
}

// One call; arm() runs right before it and disarm() right after, with the
// arguments built and released outside.
template <class Arm, class Disarm>
TResult Call(TLibrary &lib, bool update, const std::string &database, const std::string &script, Arm arm,
             Disarm disarm) {
    VARIANT db = Text(lib, database), file = Text(lib, script), error;
    std::memset(&error, 0xAB, sizeof error);  // uninitialised, as a host may pass it
    TResult r;
    arm();
    r.Code = update ? lib.UpdateDBEx(db, file, &error) : lib.CheckDBVersionEx(db, &r.Version, &error);
    disarm();
    if (error.vt != VT_BSTR) Violation("ErrorText is not a VT_BSTR (vt %u)", unsigned(error.vt));
    else {
        r.NullText = error.u.bstrVal == nullptr;
        r.Text = Narrow(lib, error.u.bstrVal);
    }
    lib.VariantClear(&error);
    lib.VariantClear(&db);
    lib.VariantClear(&file);
    return r;
}

bool Succeeded(const TResult &r, bool update) { return r.Code == 0 && (!update || r.NullText); }

// ---- the representative update ------------------------------------------------------
// DDL and DML, a COMMIT in the middle, a procedure under SET TERM, an INPUT,
// a SELECT, and VER updated at the end. Its commit points (each DDL
// statement, the COMMIT, the final commit) and the state of the database
// after each.

const char kMainScript[] =
    "CREATE TABLE CUSTOMER (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40));\n"
    "INSERT INTO CUSTOMER VALUES (1, 'Ann');\n"
    "INSERT INTO CUSTOMER VALUES (2, 'Bob');\n"
    "COMMIT;\n"
    "CREATE TABLE ORDERS (ID INTEGER NOT NULL, CUSTOMER_ID INTEGER);\n"
    "SET TERM ^ ;\n"
    "CREATE PROCEDURE ADD_ORDER (ID INTEGER, CUSTOMER_ID INTEGER) AS\n"
    "BEGIN\n"
    "  INSERT INTO ORDERS VALUES (:ID, :CUSTOMER_ID);\n"
    "END^\n"
    "SET TERM ; ^\n"
    "INPUT orders.sql;\n"
    "SELECT COUNT(*) FROM ORDERS;\n"
    "UPDATE CUSTOMER SET NAME = 'Ann Lee' WHERE ID = 1;\n"
    "UPDATE VER SET VERSION = 2;\n";
const char kIncludedScript[] =
    "EXECUTE PROCEDURE ADD_ORDER (1, 1);\n"
    "INSERT INTO ORDERS VALUES (2, 2);\n";

const std::vector<std::string> kStates = {
    "customer=0 orders=0 procedure=0 version=1",
    "customer=1:0: orders=0 procedure=0 version=1",       // CREATE TABLE CUSTOMER
    "customer=1:2:Ann orders=0 procedure=0 version=1",    // COMMIT
    "customer=1:2:Ann orders=1:0 procedure=0 version=1",  // CREATE TABLE ORDERS
    "customer=1:2:Ann orders=1:0 procedure=1 version=1",  // CREATE PROCEDURE
    "customer=1:2:Ann Lee orders=1:2 procedure=1 version=2",  // the final commit
};

std::string UpdateState(const std::string &database) {
    TClient &c = Client();
    const std::string exists = c.Query(
        database,
        "SELECT (SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'CUSTOMER') || ' ' ||"
        " (SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'ORDERS') || ' ' ||"
        " (SELECT COUNT(*) FROM RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME = 'ADD_ORDER') || ' ' ||"
        " (SELECT VERSION FROM VER) FROM RDB$DATABASE");
    int customer = 0, orders = 0, procedure = 0, version = 0;
    if (std::sscanf(exists.c_str(), "%d %d %d %d", &customer, &orders, &procedure, &version) != 4)
        Fail("unexpected state " + exists);
    std::string state = "customer=" + std::to_string(customer);
    if (customer)
        state += ":" + c.Query(database, "SELECT COUNT(*) || ':' || COALESCE(MAX(CASE WHEN ID = 1 THEN NAME END), '')"
                                         " FROM CUSTOMER");
    state += " orders=" + std::to_string(orders);
    if (orders) state += ":" + c.Query(database, "SELECT COUNT(*) FROM ORDERS");
    state += " procedure=" + std::to_string(procedure) + " version=" + std::to_string(version);
    return state;
}

// ---- sweeps ------------------------------------------------------------------------

struct TSweep {
    std::string Scenario, Fault;
    long Points = 0, Runs = 0, Failed = 0, Succeeded = 0, Faults = 0;

    void Print() const {
        std::printf("summary scenario=%s fault=%s points=%ld runs=%ld failed=%ld succeeded=%ld faults=%ld\n",
                    Scenario.c_str(), Fault.c_str(), Points, Runs, Failed, Succeeded, Faults);
        std::fflush(stdout);
    }
};

struct TFault {
    bool Allocations = false;
    TInjector *Injector = nullptr;
    int Mode = 1;  // 1 once, 2 from then on
    long At = 0;   // 0: count only
    int Kind = 0;  // the injected status's kind

    void Arm() const {
        if (Allocations) {
            Injector->Arm(0, 0, 0);  // counts the client calls only
            allocation_switch::Arm(At ? allocation_switch::TMode(Mode) : allocation_switch::mCount, At);
        } else {
            Injector->Arm(At, At ? Mode : 0, Kind);
        }
    }
    // The count of the run and whether the fault struck.
    long Disarm(bool &struck) const {
        const long calls = Injector->Disarm();
        if (Allocations) {
            const long allocations = allocation_switch::Disarm();
            struck = allocation_switch::Failures() > 0;
            return allocations;
        }
        struck = Injector->Failures() > 0;
        return calls;
    }
    const char *ModeName() const { return Mode == 1 ? "once" : "from-then-on"; }
};

// The faults tried at the k-th step: a failing call once with each kind of
// status, and from then on with one kind (they take turns over the k); an
// allocation once and from then on.
std::vector<TFault> Variants(bool allocations, long k) {
    if (allocations) return {{true, nullptr, 1, k}, {true, nullptr, 2, k}};
    std::vector<TFault> variants;
    for (int kind = 0; kind < kKinds; ++kind) variants.push_back({false, nullptr, 1, k, kind});
    variants.push_back({false, nullptr, 2, k, int(k % kKinds)});
    return variants;
}

// The failure's text must name what failed.
void CheckText(const TResult &r, const TFault &fault, const char *what) {
    if (fault.Allocations) {
        // Memory that stays exhausted may leave even the message unallocated.
        if (r.NullText && fault.Mode == 2) return;
        if (r.Text.find(kOutOfMemory) == std::string::npos)
            Violation("%s, allocation %ld %s: the text does not say that memory ran out: %s", what, fault.At,
                      fault.ModeName(), r.Text.c_str());
        return;
    }
    if (r.Text.find(kKindText[fault.Kind]) == std::string::npos)
        Violation("%s, call %ld (%s) %s %s: the text does not carry the failure's: %s", what, fault.At,
                  fault.Injector->FirstFailed(), fault.ModeName(), kKindName[fault.Kind], r.Text.c_str());
}

std::string Remote(const std::string &path) { return Arg("remote") == "1" ? "localhost:" + path : path; }

void CopyFile(const std::string &from, const std::string &to) {
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    // The server runs as another user.
    chmod(to.c_str(), 0666);
}

int SweepUpdate(TLibrary &lib, TInjector &injector, bool allocations, long step) {
    const std::string folder = Arg("folder"), pristine = Arg("database");
    {
        std::ofstream(folder + "/update.sql") << kMainScript;
        std::ofstream(folder + "/orders.sql") << kIncludedScript;
    }
    const std::string script = folder + "/update.sql";
    const std::string work = folder + "/work.fdb";
    const std::string database = Remote(work);
    const bool update = true;

    // A run without faults loads the client library; one more counts the
    // calls (and the commit points among them) and the allocations.
    TFault counting{allocations, &injector};
    std::vector<long> commitsBefore;  // commit points before the k-th call
    long total = 0;
    for (int i = 0; i < 2; ++i) {
        CopyFile(pristine, work);
        bool struck = false;
        TResult r = Call(lib, update, database, script, [&] { counting.Arm(); }, [&] { total = counting.Disarm(struck); });
        if (!Succeeded(r, update)) Fail("the update fails without faults: " + r.Text);
        if (UpdateState(database) != kStates.back()) Fail("the update without faults left " + UpdateState(database));
    }
    // Commit points before each call (the calls of the last run).
    long calls = 0, commits = 0;
    commitsBefore.push_back(0);
    while (const char *name = injector.CallName(++calls)) {
        if (Arg("log") == "1") std::printf("call %ld %s\n", calls, name);
        commitsBefore.push_back(commits);
        if (std::strcmp(name, "isc_commit_transaction") == 0) ++commits;
    }
    if (commits != long(kStates.size()) - 1)
        Fail("the update made " + std::to_string(commits) + " commits, not one per commit point");
    const long callTotal = calls - 1;

    TSweep sweep{"update", allocations ? "allocations" : "calls"};
    sweep.Points = total;
    for (long k = 1; k <= total; k += step) {
        for (const TFault &variant : Variants(allocations, k)) {
            TFault fault = variant;
            fault.Injector = &injector;
            StartRun("update, %s %ld %s %s", sweep.Fault.c_str(), k, fault.ModeName(), kKindName[fault.Kind]);
            CopyFile(pristine, work);
            bool struck = false;
            long counted = 0;
            TResult r = Call(lib, update, database, script, [&] { fault.Arm(); }, [&] { counted = fault.Disarm(struck); });
            ++sweep.Runs;
            sweep.Faults += struck;
            const int left = injector.Abandon();
            if (!struck) Violation("update, %s %ld %s: the fault never struck (%ld counted)", sweep.Fault.c_str(), k,
                                   fault.ModeName(), counted);
            if (r.Code != 0 && r.Code != 1) Violation("update, %ld: result %d", k, r.Code);
            const std::string state = UpdateState(database);
            // What was committed before the failing step: for a failing call,
            // the commit points among the calls before it.
            const bool success = Succeeded(r, update);
            success ? ++sweep.Succeeded : ++sweep.Failed;
            if (success && state != kStates.back())
                Violation("update, %s %ld %s: reports success but the database holds: %s", sweep.Fault.c_str(), k,
                          fault.ModeName(), state.c_str());
            if (!success) {
                CheckText(r, fault, "update");
                if (!allocations) {
                    const std::string expected = kStates[size_t(commitsBefore[size_t(std::min(k, callTotal))])];
                    if (state != expected)
                        Violation("update, call %ld (%s) %s %s: reports failure; the database holds \"%s\", not \"%s\"",
                                  k, injector.FirstFailed(), fault.ModeName(), kKindName[fault.Kind], state.c_str(),
                                  expected.c_str());
                    if (commitsBefore[size_t(std::min(k, callTotal))] == long(kStates.size()) - 1)
                        Violation("update, call %ld (%s) %s: after the final commit, failure reported: %s", k,
                                  injector.FirstFailed(), fault.ModeName(), r.Text.c_str());
                } else if (state == kStates.back()) {
                    Violation("update, allocation %ld %s: reports failure for a committed update: %s", k,
                              fault.ModeName(), r.Text.c_str());
                } else if (std::find(kStates.begin(), kStates.end(), state) == kStates.end()) {
                    Violation("update, allocation %ld %s: the database holds a state no commit point leaves: %s", k,
                              fault.ModeName(), state.c_str());
                }
            }
            if (left != 0 && (fault.Mode == 1 || allocations))
                Violation("update, %s %ld %s: %d attachments or transactions left open in the client",
                          sweep.Fault.c_str(), k, fault.ModeName(), left);
            // The same process, no faults: the version check agrees with
            // what is there, and the update runs in full on a new copy.
            TResult check = Call(lib, false, database, script, [] {}, [] {});
            const int32_t version = state.ends_with("version=2") ? 2 : 1;
            if (check.Code != 0 || check.Version != version)
                Violation("update, %ld %s: the following version check gave %d (%d): %s", k, fault.ModeName(),
                          check.Code, check.Version, check.Text.c_str());
            CopyFile(pristine, work);
            TResult again = Call(lib, update, database, script, [] {}, [] {});
            if (!Succeeded(again, update) || UpdateState(database) != kStates.back())
                Violation("update, %ld %s: the following update fails: %s", k, fault.ModeName(), again.Text.c_str());
            if (injector.Abandon() != 0) Violation("update, %ld: the following calls left something open", k);
        }
    }
    std::filesystem::remove(work);
    std::printf("calls=%ld\n", callTotal);
    sweep.Print();
    return 0;
}

int SweepCheck(TLibrary &lib, TInjector &injector, bool allocations, long step) {
    const std::string database = Remote(Arg("database"));
    const int32_t expected = std::atoi(Arg("version").c_str());
    TFault counting{allocations, &injector};
    long total = 0;
    for (int i = 0; i < 2; ++i) {
        bool struck = false;
        TResult r = Call(lib, false, database, "", [&] { counting.Arm(); }, [&] { total = counting.Disarm(struck); });
        if (r.Code != 0 || r.Version != expected) Fail("the version check fails without faults: " + r.Text);
    }
    TSweep sweep{"check", allocations ? "allocations" : "calls"};
    sweep.Points = total;
    for (long k = 1; k <= total; k += step) {
        for (const TFault &variant : Variants(allocations, k)) {
            TFault fault = variant;
            fault.Injector = &injector;
            StartRun("check, %s %ld %s %s", sweep.Fault.c_str(), k, fault.ModeName(), kKindName[fault.Kind]);
            bool struck = false;
            gMessageBoxText.clear();
            TResult r = Call(lib, false, database, "", [&] { fault.Arm(); }, [&] { fault.Disarm(struck); });
            ++sweep.Runs;
            sweep.Faults += struck;
            const int left = injector.Abandon();
            if (!struck) Violation("check, %ld %s: the fault never struck", k, fault.ModeName());
            if (r.Code == 0) {
                ++sweep.Succeeded;
                if (r.Version != expected)
                    Violation("check, %s %ld %s: version %d instead of %d", sweep.Fault.c_str(), k, fault.ModeName(),
                              r.Version, expected);
            } else if (r.Code == 1) {
                ++sweep.Failed;
                CheckText(r, fault, "check");
            } else {
                Violation("check, %ld: result %d", k, r.Code);
            }
            if (left != 0 && (fault.Mode == 1 || allocations))
                Violation("check, %s %ld %s: %d attachments or transactions left open in the client",
                          sweep.Fault.c_str(), k, fault.ModeName(), left);
            TResult again = Call(lib, false, database, "", [] {}, [] {});
            if (again.Code != 0 || again.Version != expected)
                Violation("check, %ld %s: the following check gave %d (%d): %s", k, fault.ModeName(), again.Code,
                          again.Version, again.Text.c_str());
        }
    }
    sweep.Print();
    return 0;
}

// Loading the library and its first call (which builds what the library
// builds on first use, creates its module and loads the client library)
// with the k-th allocation failing: the host lives on, the call reports,
// and a following call works. The first call names no database, so that it
// fails at once ("Database name is missing") after everything is built.
int SweepLoad(const std::string &path, long step) {
    const std::string database = Remote(Arg("database"));
    const int32_t expected = std::atoi(Arg("version").c_str());
    auto loadAndCall = [&](allocation_switch::TMode mode, long k, long &counted) {
        allocation_switch::Arm(mode, k);
        void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            counted = allocation_switch::Disarm();
            Violation("load, allocation %ld: dlopen failed: %s", k, dlerror());
            return false;
        }
        TLibrary lib = LoadLibrary(path);
        TResult first = Call(lib, false, "", "", [] {}, [] {});
        counted = allocation_switch::Disarm();
        if (first.Code != 1 || (first.Text.find("Database name is missing") == std::string::npos &&
                                first.Text.find(kOutOfMemory) == std::string::npos && !first.NullText))
            Violation("load, allocation %ld: the first call gave %d: %s", k, first.Code, first.Text.c_str());
        TResult next = Call(lib, false, database, "", [] {}, [] {});
        if (next.Code != 0 || next.Version != expected)
            Violation("load, allocation %ld: the following call gave %d (%d): %s", k, next.Code, next.Version,
                      next.Text.c_str());
        dlclose(lib.Handle);
        dlclose(handle);
        return true;
    };
    long total = 0;
    if (!loadAndCall(allocation_switch::mCount, 0, total)) return 1;
    TSweep sweep{"load", "allocations"};
    sweep.Points = total;
    for (long k = 1; k <= total; k += step) {
        for (auto mode : {allocation_switch::mOnce, allocation_switch::mFromThenOn}) {
            StartRun("load, allocation %ld %s", k, mode == allocation_switch::mOnce ? "once" : "from-then-on");
            long counted = 0;
            loadAndCall(mode, k, counted);
            ++sweep.Runs;
            ++sweep.Failed;
            const bool struck = allocation_switch::Failures() > 0;
            sweep.Faults += struck;
            if (!struck) Violation("load, allocation %ld: the fault never struck (%ld counted)", k, counted);
        }
    }
    sweep.Print();
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        const char *eq = std::strchr(argv[i], '=');
        if (!eq) Fail(std::string("not NAME=VALUE: ") + argv[i]);
        gArgs[std::string(argv[i], size_t(eq - argv[i]))] = eq + 1;
    }
    const std::string scenario = Arg("scenario"), fault = Arg("fault", "calls");
    const long step = std::max(1L, std::atol(Arg("step", "1").c_str()));
    // The library under test loads the injecting client; opening it here by
    // the same path gives this host the same module to drive.
    setenv("VANTREL_CLIENT_LIBRARY", Arg("injector").c_str(), 1);
    TInjector injector = OpenInjector(Arg("injector"));
    signal(SIGALRM, OnWatchdog);
    int status = 0;
    if (scenario == "load") {
        status = SweepLoad(Arg("library"), step);
    } else {
        TLibrary lib = LoadLibrary(Arg("library"));
        const bool allocations = fault == "allocations";
        if (scenario == "update") status = SweepUpdate(lib, injector, allocations, step);
        else if (scenario == "check") status = SweepCheck(lib, injector, allocations, step);
        else Fail("unknown scenario " + scenario);
    }
    return status != 0 || gViolations != 0 ? 1 : 0;
}
