// A host that proves the library tells the truth whatever single step fails.
// It loads libvantrel.so with dlopen, with the injecting client library
// (tests/fakeclients/injectingclient.cpp) as its client, and runs an export
// (or the vantrel host, for migrate) again and again with the k-th client
// call, or the k-th allocation of the library (AllocationSwitch.h), failing:
// for every k of the run (or every STEP-th), once and from then on. After
// each run it checks:
//
// - the call returned 0 or 1 with a VT_BSTR text (nothing escaped, no crash,
//   no hang: a run that takes over a minute ends the host);
// - the outcome is the truth: success only when the database holds the
//   whole script's effect; after a failure exactly what was committed before
//   the failing step (DDL committed on its own, the script's COMMITs) and
//   nothing of the script's transaction; a version check that succeeds
//   returns the version;
// - a failure's text carries the injected failure's text, or says that
//   memory ran out (or is the null string when memory stays exhausted);
// - nothing is left open in the client after a transient failure: no
//   attachment, no transaction;
// - a following call without faults succeeds in the same process.
//
// What "committed before the failing step" is, is learnt from the client
// itself: with the k-th call failing from then on, no call from the k-th on
// reaches the server, so the database then holds what the calls before k
// committed, whatever the library does. A run with the k-th call failing
// once, or with an allocation failing between the same calls, must then
// either succeed in full or leave exactly that.
//
// usage: sweep_host NAME=VALUE...
//   library=PATH injector=PATH  the library under test, the client it loads
//   scenario=update|check|load|migrate|once
//   fault=calls|allocations     what fails (migrate: calls)
//   step=N                      every N-th k (default 1: every k)
//   kinds=all|rotate            a failing call fails once with each kind of
//                               status, or with one kind taking turns
//   remote=0|1                  through the server on localhost
//   database=PATH               update, migrate: the database copied for each
//                               run; check, load: the database read
//   folder=PATH                 update, migrate: where scripts and copies go
//   version=N                   check, load: the version the database holds
//   cli=PATH                    migrate: the vantrel host
//   password=TEXT               SYSDBA's password, for reading the database
//   once: script=PATH call=NAME nth=N|last kind=K mode=1|2 - one update of
//     database (in place) with the nth call of that client function failing;
//     prints "result=", "text=" (line breaks as \n), "left=", "failed=".
// Each violation is printed on a line starting "violation:"; a sweep ends
// with the line
//   summary scenario=S fault=F points=P runs=R failed=X succeeded=Y faults=Z nulltexts=N
// and the exit status is 0 only when there was no violation.
#include <dlfcn.h>
#include <fcntl.h>
#include <ibase.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <vantrel/vantrel.h>

#include "AllocationSwitch.h"

namespace {

// ---- arguments, reporting, the watchdog -----------------------------------------

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

char gCurrentRun[256] = "";
pid_t gChild = 0;  // a process the run started, killed with the host

void OnWatchdog(int) {
    if (gChild > 0) kill(gChild, SIGKILL);
    const char prefix[] = "violation: hang in ";
    (void)!write(1, prefix, sizeof prefix - 1);
    (void)!write(1, gCurrentRun, std::strlen(gCurrentRun));
    (void)!write(1, "\n", 1);
    _exit(3);
}

// Names the run about to start, for the watchdog, which it arms for a minute.
void StartRun(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(gCurrentRun, sizeof gCurrentRun, format, args);
    va_end(args);
    if (Arg("trace") == "1") std::fprintf(stderr, "%s\n", gCurrentRun);
    alarm(60);
}

// ---- the library under test and the injecting client ------------------------------

template <class T>
void Resolve(void *handle, const char *name, T *&entry) {
    entry = reinterpret_cast<T *>(dlsym(handle, name));
    if (!entry) Fail(std::string("missing function ") + name);
}

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

void IgnoreMessageBox(const VANTREL_WCHAR *, void *) {}

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
    // The first failed connection of a version check is shown; nobody is
    // there to see it.
    lib.SetMessageBoxHandler(IgnoreMessageBox, nullptr);
    return lib;
}

struct TInjector {
    void (*Arm)(long, int, int) = nullptr;
    void (*ArmCall)(const char *, long, int, int) = nullptr;
    long (*Disarm)() = nullptr;
    long (*Calls)() = nullptr;
    long (*Failures)() = nullptr;
    const char *(*FirstFailed)() = nullptr;
    const char *(*CallName)(long) = nullptr;
    int (*Abandon)() = nullptr;
};

TInjector gInjector;

void OpenInjector(const std::string &path) {
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) Fail("cannot load " + path + ": " + dlerror());
    Resolve(handle, "inject_arm", gInjector.Arm);
    Resolve(handle, "inject_arm_call", gInjector.ArmCall);
    Resolve(handle, "inject_disarm", gInjector.Disarm);
    Resolve(handle, "inject_calls", gInjector.Calls);
    Resolve(handle, "inject_failures", gInjector.Failures);
    Resolve(handle, "inject_first_failed", gInjector.FirstFailed);
    Resolve(handle, "inject_call_name", gInjector.CallName);
    Resolve(handle, "inject_abandon", gInjector.Abandon);
}

// The kinds of injected failure (the injecting client's kinds 0 to 4) with
// the text the client composes for each, and the text of memory running out.
const char *const kKindText[] = {"Error writing data to the connection", "connection shutdown",
                                 "lock conflict on no wait transaction",
                                 "unable to allocate memory from operating system", "connection lost to database"};
const char *const kKindName[] = {"network", "shutdown", "lock", "memory", "lost"};
constexpr int kKinds = 5;
const char kOutOfMemory[] = "Out of memory";

// ---- a small client of its own, for looking at the database ---------------------
// Straight through the real client library, so that the database is seen as
// any other connection sees it.

struct TClient {
    using TAttach = ISC_STATUS (*)(ISC_STATUS *, short, const ISC_SCHAR *, isc_db_handle *, short, const ISC_SCHAR *);
    using THandleCall = ISC_STATUS (*)(ISC_STATUS *, FB_API_HANDLE *);
    using TStart = ISC_STATUS (*)(ISC_STATUS *, isc_tr_handle *, short, void *);
    using TImmediate2 = ISC_STATUS (*)(ISC_STATUS *, isc_db_handle *, isc_tr_handle *, unsigned short,
                                       const ISC_SCHAR *, unsigned short, const XSQLDA *, const XSQLDA *);
    using TInterpret = ISC_LONG (*)(ISC_SCHAR *, unsigned int, const ISC_STATUS **);
    TAttach Attach = nullptr;
    THandleCall Detach = nullptr, Commit = nullptr;
    TStart Start = nullptr;
    TImmediate2 Immediate = nullptr;
    TInterpret Interpret = nullptr;

    TClient() {
        void *handle = dlopen("libfbclient.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!handle) Fail(std::string("cannot load the client library: ") + dlerror());
        Resolve(handle, "isc_attach_database", Attach);
        Resolve(handle, "isc_detach_database", Detach);
        Resolve(handle, "isc_commit_transaction", Commit);
        Resolve(handle, "isc_start_multiple", Start);
        Resolve(handle, "isc_dsql_exec_immed2", Immediate);
        Resolve(handle, "fb_interpret", Interpret);
    }

    std::string Message(const ISC_STATUS *status) {
        std::string text;
        char buffer[512];
        while (Interpret(buffer, sizeof buffer, &status) > 0) text += std::string(buffer) + " ";
        return text;
    }

    // Attaches for a series of queries (Query), until Close.
    void Open(const std::string &database) {
        ISC_STATUS status[ISC_STATUS_LENGTH] = {};
        std::string dpb(1, char(isc_dpb_version1));
        const std::string password = Arg("password");
        for (auto [tag, value] : {std::pair{isc_dpb_user_name, "SYSDBA"}, {isc_dpb_password, password.c_str()}})
            dpb += std::string{char(tag), char(std::strlen(value))} + value;
        Db = 0;
        if (Attach(status, short(database.size()), database.c_str(), &Db, short(dpb.size()), dpb.data()))
            Fail("cannot attach " + database + ": " + Message(status));
    }
    void Close() {
        ISC_STATUS status[ISC_STATUS_LENGTH] = {};
        Detach(status, &Db);
    }

    // The single text value of a one-row query, read in a transaction of its
    // own.
    std::string Query(const std::string &sql) {
        ISC_STATUS status[ISC_STATUS_LENGTH] = {};
        isc_tr_handle tr = 0;
        static const char tpb[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed, isc_tpb_rec_version,
                                   isc_tpb_nowait};
        struct {
            isc_db_handle *db;
            ISC_LONG length;
            const char *tpb;
        } block{&Db, sizeof tpb, tpb};
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
        if (Immediate(status, &Db, &tr, 0, sql.c_str(), 3, nullptr, out))
            Fail("cannot read the database (" + sql + "): " + Message(status));
        Commit(status, &tr);
        if (null) return "null";
        short length = 0;
        std::memcpy(&length, value, sizeof length);
        return std::string(value + 2, size_t(length));
    }

    isc_db_handle Db = 0;
};

TClient &Client() {
    static TClient client;
    return client;
}

// ---- calling the exports -------------------------------------------------------------

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

// One call of UpdateDBEx (with a script) or CheckDBVersionEx; arm() runs
// right before it and disarm() right after, the arguments built and released
// outside.
template <class Arm, class Disarm>
TResult Call(TLibrary &lib, const std::string &database, const std::string &script, Arm arm, Disarm disarm) {
    const bool update = !script.empty();
    VARIANT db = Text(lib, database), file = Text(lib, script), error;
    std::memset(&error, 0xAB, sizeof error);  // uninitialised, as a host may pass it
    TResult r;
    arm();
    r.Code = update ? lib.UpdateDBEx(db, file, &error) : lib.CheckDBVersionEx(db, &r.Version, &error);
    disarm();
    if (error.vt != VT_BSTR) {
        Violation("ErrorText is not a VT_BSTR (vt %u)", unsigned(error.vt));
    } else {
        r.NullText = error.u.bstrVal == nullptr;
        r.Text = Narrow(lib, error.u.bstrVal);
    }
    lib.VariantClear(&error);
    lib.VariantClear(&db);
    lib.VariantClear(&file);
    if (r.Code != 0 && r.Code != 1) Violation("result %d", r.Code);
    return r;
}

TResult Call(TLibrary &lib, const std::string &database, const std::string &script) {
    return Call(lib, database, script, [] {}, [] {});
}

// An update reports success with 0 and a null text.
bool UpdateSucceeded(const TResult &r) { return r.Code == 0 && r.NullText; }

// ---- faults -----------------------------------------------------------------------

struct TFault {
    bool Allocations = false;
    int Mode = 1;  // 1 once, 2 from then on
    long At = 0;   // 0: count only
    int Kind = 0;  // of a failing call's status

    void Arm() const {
        if (Allocations) {
            gInjector.Arm(0, 0, 0);  // counts the calls, for the allocations' clock
            allocation_switch::Arm(At ? allocation_switch::TMode(Mode) : allocation_switch::mCount, At);
        } else {
            gInjector.Arm(At, At ? Mode : 0, Kind);
        }
    }
    // The count of the run; struck tells whether the fault met anything.
    long Disarm(bool &struck) const {
        const long calls = gInjector.Disarm();
        if (!Allocations) {
            struck = gInjector.Failures() > 0;
            return calls;
        }
        const long allocations = allocation_switch::Disarm();
        struck = allocation_switch::Failures() > 0;
        return allocations;
    }
    std::string Describe() const {
        std::string text = std::string(Allocations ? "allocation " : "call ") + std::to_string(At);
        if (!Allocations && At) text += std::string(" (") + (gInjector.FirstFailed()[0] ? gInjector.FirstFailed() : "-") + ")";
        text += Mode == 1 ? " once" : " from then on";
        if (!Allocations) text += std::string(" ") + kKindName[Kind];
        return text;
    }
};

// The faults of the k-th step besides the failing call from then on (which
// the sweeps run first): a failing call once with each kind of status, or
// with one kind taking turns over k; an allocation once and from then on.
std::vector<TFault> OnceVariants(long k) {
    std::vector<TFault> variants;
    if (Arg("kinds") == "all") {
        for (int kind = 0; kind < kKinds; ++kind) variants.push_back({false, 1, k, kind});
    } else {
        variants.push_back({false, 1, k, int((k + 2) % kKinds)});
    }
    return variants;
}

TFault FromThenOn(long k) { return {false, 2, k, int(k % kKinds)}; }

// The failure's text must name what failed.
void CheckText(const std::string &text, bool nullText, const TFault &fault, const std::string &what) {
    if (fault.Allocations) {
        // Memory that stays exhausted may leave even the message unallocated.
        if (nullText && fault.Mode == 2) return;
        if (text.find(kOutOfMemory) == std::string::npos)
            Violation("%s, %s: the text does not say that memory ran out: %s", what.c_str(), fault.Describe().c_str(),
                      text.c_str());
        return;
    }
    if (text.find(kKindText[fault.Kind]) == std::string::npos)
        Violation("%s, %s: the text does not carry the failure's: %s", what.c_str(), fault.Describe().c_str(),
                  text.c_str());
}

struct TSweep {
    std::string Scenario, Fault;
    long Points = 0, Runs = 0, Failed = 0, Succeeded = 0, Faults = 0, NullTexts = 0;

    void Count(bool success, bool struck, bool nullText) {
        ++Runs;
        success ? ++Succeeded : ++Failed;
        Faults += struck;
        NullTexts += !success && nullText;
    }
    void Print() const {
        std::printf("summary scenario=%s fault=%s points=%ld runs=%ld failed=%ld succeeded=%ld faults=%ld nulltexts=%ld\n",
                    Scenario.c_str(), Fault.c_str(), Points, Runs, Failed, Succeeded, Faults, NullTexts);
        std::fflush(stdout);
    }
};

std::string Remote(const std::string &path) { return Arg("remote") == "1" ? "localhost:" + path : path; }

void CopyFile(const std::string &from, const std::string &to) {
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    chmod(to.c_str(), 0666);  // the server runs as another user
}

// ---- the representative update ------------------------------------------------------
// DDL and DML, a COMMIT in the middle, a procedure under SET TERM, an INPUT,
// a SELECT, and VER updated at the end; the database starts at version 1.

const char kUpdateScript[] =
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

// The states its commit points leave: each DDL statement, the COMMIT, the
// final commit.
const std::vector<std::string> kUpdateStates = {
    "customer=0 orders=0 procedure=0 version=1",
    "customer=1:0: orders=0 procedure=0 version=1",
    "customer=1:2:Ann orders=0 procedure=0 version=1",
    "customer=1:2:Ann orders=1:0 procedure=0 version=1",
    "customer=1:2:Ann orders=1:0 procedure=1 version=1",
    "customer=1:2:Ann Lee orders=1:2 procedure=1 version=2",
};

// Two migration scripts, for an empty database. They can run again after
// a failure that left their first DDL committed (RECREATE), as scripts that
// migrate applies should.
const char kMigration1[] =
    "RECREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER, SERIAL VARCHAR(100));\n"
    "RECREATE TABLE CUSTOMER (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40));\n"
    "INSERT INTO CUSTOMER VALUES (1, 'Ann');\n"
    "INSERT INTO VER VALUES (1, 1, 'x');\n";
const char kMigration2[] =
    "RECREATE TABLE ORDERS (ID INTEGER NOT NULL, CUSTOMER_ID INTEGER);\n"
    "INSERT INTO ORDERS VALUES (1, 1);\n"
    "UPDATE VER SET VERSION = 2;\n";

const std::vector<std::string> kMigrateStates = {
    "ver=0 customer=0 orders=0 version=0",
    "ver=1:0 customer=0 orders=0 version=0",
    "ver=1:0 customer=1:0: orders=0 version=0",
    "ver=1:1 customer=1:1:Ann orders=0 version=1",
    "ver=1:1 customer=1:1:Ann orders=1:0 version=1",
    "ver=1:1 customer=1:1:Ann orders=1:1 version=2",
};

// What the database holds of the two scenarios' tables.
std::string State(const std::string &database) {
    TClient &c = Client();
    c.Open(database);
    auto exists = [&](const char *table, const char *catalogue = "RDB$RELATIONS", const char *column = "RDB$RELATION_NAME") {
        return c.Query(std::string("SELECT COUNT(*) FROM ") + catalogue + " WHERE " + column + " = '" + table + "'") !=
               "0";
    };
    const bool ver = exists("VER"), customer = exists("CUSTOMER"), orders = exists("ORDERS");
    const bool migrate = Arg("scenario") == "migrate";
    std::string state;
    if (migrate) state += std::string("ver=") + (ver ? "1:" + c.Query("SELECT COUNT(*) FROM VER") : "0") + " ";
    state += "customer=" + (customer ? "1:" + c.Query("SELECT COUNT(*) || ':' || "
                                                      "COALESCE(MAX(CASE WHEN ID = 1 THEN NAME END), '') FROM CUSTOMER")
                                     : std::string("0"));
    state += " orders=" + (orders ? "1:" + c.Query("SELECT COUNT(*) FROM ORDERS") : std::string("0"));
    if (!migrate)
        state += std::string(" procedure=") + (exists("ADD_ORDER", "RDB$PROCEDURES", "RDB$PROCEDURE_NAME") ? "1" : "0");
    state += " version=" +
             (ver ? c.Query("SELECT COALESCE((SELECT FIRST 1 VERSION FROM VER), 0) FROM RDB$DATABASE") : std::string("0"));
    c.Close();
    return state;
}

// ---- the update sweep -----------------------------------------------------------------

struct TUpdateSweep {
    explicit TUpdateSweep(TLibrary &lib) : Lib(lib) {}
    TLibrary &Lib;
    std::string Pristine, Work, Database, Script;
    TSweep Sweep;
    std::map<long, std::string> StateAt;  // what the calls before k commit
    long Calls = 0;                       // of an update without faults

    // One faulty update of a fresh copy; returns the database's state.
    std::string Run(const TFault &fault, TResult &r, bool &struck, int &left) {
        StartRun("update, %s", fault.Describe().c_str());
        CopyFile(Pristine, Work);
        r = Call(Lib, Database, Script, [&] { fault.Arm(); }, [&] { fault.Disarm(struck); });
        left = gInjector.Abandon();
        const std::string state = State(Database);
        Sweep.Count(UpdateSucceeded(r), struck, r.NullText);
        if (!struck) Violation("update, %s: the fault never struck", fault.Describe().c_str());
        if (UpdateSucceeded(r) && state != kUpdateStates.back())
            Violation("update, %s: reports success, but the database holds %s", fault.Describe().c_str(), state.c_str());
        if (!UpdateSucceeded(r)) {
            CheckText(r.Text, r.NullText, fault, "update");
            if (std::find(kUpdateStates.begin(), kUpdateStates.end(), state) == kUpdateStates.end())
                Violation("update, %s: the database holds what no commit point leaves: %s", fault.Describe().c_str(),
                          state.c_str());
        }
        if (left != 0 && (fault.Mode == 1 || fault.Allocations))
            Violation("update, %s: %d attachments or transactions left open in the client", fault.Describe().c_str(), left);
        // The same process without faults: the version check agrees with
        // what is there.
        TResult check = Call(Lib, Database, "");
        const int32_t version = state.ends_with("version=2") ? 2 : 1;
        if (check.Code != 0 || check.Version != version)
            Violation("update, %s: the following version check gave %d (%d): %s", fault.Describe().c_str(), check.Code,
                      check.Version, check.Text.c_str());
        return state;
    }

    // The state that the calls before the k-th leave: the update with the
    // k-th call failing from then on, whose outcome is checked as well.
    const std::string &CommittedBefore(long k) {
        if (k > Calls) return kUpdateStates.back();  // after the last call
        auto found = StateAt.find(k);
        if (found != StateAt.end()) return found->second;
        TResult r;
        bool struck = false;
        int left = 0;
        const TFault fault = FromThenOn(k);
        const std::string state = Run(fault, r, struck, left);
        // Every commit was made before the failure: nothing can undo it.
        if (state == kUpdateStates.back() && !UpdateSucceeded(r))
            Violation("update, %s: the update was committed, but failure is reported: %s", fault.Describe().c_str(),
                      r.Text.c_str());
        return StateAt[k] = state;
    }

    void Check(const TFault &fault, long before) {
        TResult r;
        bool struck = false;
        int left = 0;
        const std::string state = Run(fault, r, struck, left);
        const std::string &expected = CommittedBefore(before);
        if (!UpdateSucceeded(r) && state != expected)
            Violation("update, %s: reports failure; the database holds \"%s\", not \"%s\"", fault.Describe().c_str(),
                      state.c_str(), expected.c_str());
        if (UpdateSucceeded(r) != (state == kUpdateStates.back()) || (expected == kUpdateStates.back() && !UpdateSucceeded(r)))
            Violation("update, %s: %s reported for what is committed: %s", fault.Describe().c_str(),
                      UpdateSucceeded(r) ? "success" : "failure", r.Text.c_str());
    }
};

int SweepUpdate(TLibrary &lib, bool allocations, long step) {
    const std::string folder = Arg("folder");
    std::ofstream(folder + "/update.sql") << kUpdateScript;
    std::ofstream(folder + "/orders.sql") << kIncludedScript;
    TUpdateSweep u{lib};
    u.Pristine = Arg("database");
    u.Work = folder + "/work.fdb";
    u.Database = Remote(u.Work);
    u.Script = folder + "/update.sql";
    u.Sweep.Scenario = "update";
    u.Sweep.Fault = allocations ? "allocations" : "calls";

    // A run without faults loads the client library; one more counts the
    // calls and allocations (and when each allocation happens).
    allocation_switch::SetClock(gInjector.Calls);
    long total = 0, calls = 0;
    for (int i = 0; i < 2; ++i) {
        CopyFile(u.Pristine, u.Work);
        const TFault counting{allocations};
        bool struck = false;
        TResult r = Call(lib, u.Database, u.Script, [&] { counting.Arm(); }, [&] { total = counting.Disarm(struck); });
        calls = gInjector.Calls();
        if (!UpdateSucceeded(r) || State(u.Database) != kUpdateStates.back())
            Fail("the update fails without faults: " + r.Text);
    }
    u.Calls = calls;
    std::vector<long> clock(size_t(total) + 1, 0);
    for (long n = 1; n <= total && allocations; ++n) clock[size_t(n)] = allocation_switch::ClockAt(n);
    u.Sweep.Points = total;

    for (long k = 1; k <= total; k += step) {
        if (allocations) {
            // Allocation k happens after the calls counted by then: a failure
            // leaves what those calls committed.
            for (int mode : {1, 2}) u.Check({true, mode, k}, clock[size_t(k)] + 1);
        } else {
            u.CommittedBefore(k);
            for (const TFault &fault : OnceVariants(k)) u.Check(fault, k);
        }
    }
    // And in the end, the update once more in full.
    CopyFile(u.Pristine, u.Work);
    TResult r = Call(lib, u.Database, u.Script);
    if (!UpdateSucceeded(r) || State(u.Database) != kUpdateStates.back())
        Violation("update: the update without faults fails after the sweep: %s", r.Text.c_str());
    std::filesystem::remove(u.Work);
    std::printf("calls=%ld\n", calls);
    u.Sweep.Print();
    return 0;
}

// ---- the version check sweep -----------------------------------------------------------

int SweepCheck(TLibrary &lib, bool allocations, long step) {
    const std::string database = Remote(Arg("database"));
    const int32_t expected = std::atoi(Arg("version").c_str());
    const TFault counting{allocations};
    long total = 0;
    for (int i = 0; i < 2; ++i) {
        bool struck = false;
        TResult r = Call(lib, database, "", [&] { counting.Arm(); }, [&] { total = counting.Disarm(struck); });
        if (r.Code != 0 || r.Version != expected) Fail("the version check fails without faults: " + r.Text);
    }
    TSweep sweep{"check", allocations ? "allocations" : "calls"};
    sweep.Points = total;
    for (long k = 1; k <= total; k += step) {
        std::vector<TFault> faults;
        if (allocations) {
            faults = {{true, 1, k}, {true, 2, k}};
        } else {
            faults = OnceVariants(k);
            faults.push_back(FromThenOn(k));
        }
        for (const TFault &fault : faults) {
            StartRun("check, %s", fault.Describe().c_str());
            bool struck = false;
            TResult r = Call(lib, database, "", [&] { fault.Arm(); }, [&] { fault.Disarm(struck); });
            const int left = gInjector.Abandon();
            sweep.Count(r.Code == 0, struck, r.NullText);
            if (!struck) Violation("check, %s: the fault never struck", fault.Describe().c_str());
            if (r.Code == 0 && r.Version != expected)
                Violation("check, %s: version %d instead of %d", fault.Describe().c_str(), r.Version, expected);
            if (r.Code == 1) CheckText(r.Text, r.NullText, fault, "check");
            if (left != 0 && (fault.Mode == 1 || allocations))
                Violation("check, %s: %d attachments or transactions left open in the client", fault.Describe().c_str(),
                          left);
            TResult again = Call(lib, database, "");
            if (again.Code != 0 || again.Version != expected)
                Violation("check, %s: the following check gave %d (%d): %s", fault.Describe().c_str(), again.Code,
                          again.Version, again.Text.c_str());
        }
    }
    sweep.Print();
    return 0;
}

// ---- loading ---------------------------------------------------------------------------
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
            return;
        }
        TLibrary lib = LoadLibrary(path);
        TResult first = Call(lib, "", "");
        counted = allocation_switch::Disarm();
        if (first.Code != 1 || (first.Text.find("Database name is missing") == std::string::npos &&
                                first.Text.find(kOutOfMemory) == std::string::npos && !first.NullText))
            Violation("load, allocation %ld: the first call gave %d: %s", k, first.Code, first.Text.c_str());
        TResult next = Call(lib, database, "");
        if (next.Code != 0 || next.Version != expected)
            Violation("load, allocation %ld: the following call gave %d (%d): %s", k, next.Code, next.Version,
                      next.Text.c_str());
        dlclose(lib.Handle);
        dlclose(handle);
    };
    long total = 0;
    loadAndCall(allocation_switch::mCount, 0, total);
    TSweep sweep{"load", "allocations"};
    sweep.Points = total;
    for (long k = 1; k <= total; k += step) {
        for (auto mode : {allocation_switch::mOnce, allocation_switch::mFromThenOn}) {
            StartRun("load, allocation %ld %s", k, mode == allocation_switch::mOnce ? "once" : "from then on");
            long counted = 0;
            loadAndCall(mode, k, counted);
            const bool struck = allocation_switch::Failures() > 0;
            sweep.Count(false, struck, false);
            if (!struck) Violation("load, allocation %ld: the fault never struck (%ld counted)", k, counted);
        }
    }
    sweep.Print();
    return 0;
}

// ---- vantrel migrate ---------------------------------------------------------------------
// The vantrel host applying two scripts to an empty database, one process per
// run, with the injecting client armed through its environment.

struct TProcess {
    int Status = -1;
    std::string Output;
};

TProcess RunProcess(const std::vector<std::string> &argv, const std::vector<std::string> &environment) {
    const std::string out = Arg("folder") + "/process.out";
    const pid_t pid = fork();
    if (pid == 0) {
        for (const std::string &assignment : environment) putenv(const_cast<char *>(assignment.c_str()));
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        dup2(fd, 2);
        std::vector<char *> args;
        for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    gChild = pid;
    int status = 0;
    waitpid(pid, &status, 0);
    gChild = 0;
    TProcess p;
    p.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    p.Output = text.str();
    return p;
}

struct TMigrateSweep {
    std::string Pristine, Work, Database, Folder, Report;
    TSweep Sweep{"migrate", "calls"};
    std::map<long, std::string> StateAt;

    TProcess Migrate(const std::vector<std::string> &environment) {
        std::vector<std::string> env = environment;
        env.push_back("VANTREL_CLIENT_LIBRARY=" + Arg("injector"));
        env.push_back("VANTREL_INJECT_REPORT=" + Report);
        return RunProcess({Arg("cli"), "migrate", "--quiet", Database, Folder}, env);
    }

    // The report of the injecting client in the last process: its counts and
    // calls.
    std::map<std::string, std::string> ReadReport(std::vector<std::string> *calls = nullptr) {
        std::ifstream in(Report);
        std::map<std::string, std::string> values;
        std::string line, item;
        std::getline(in, line);
        std::istringstream words(line);
        while (words >> item)
            if (auto eq = item.find('='); eq != std::string::npos) values[item.substr(0, eq)] = item.substr(eq + 1);
        while (calls && std::getline(in, line)) calls->push_back(line);
        return values;
    }

    std::string Run(const TFault &fault, TProcess &p) {
        StartRun("migrate, %s", fault.Describe().c_str());
        CopyFile(Pristine, Work);
        p = Migrate({"VANTREL_INJECT=" + std::to_string(fault.At) + " " + std::to_string(fault.Mode) + " " +
                     std::to_string(fault.Kind)});
        auto report = ReadReport();
        const std::string state = State(Database);
        const std::string what = "migrate, call " + std::to_string(fault.At) + " (" + report["first"] + ")" +
                                 (fault.Mode == 1 ? " once " : " from then on ") + kKindName[fault.Kind];
        Sweep.Count(p.Status == 0, report["failures"] != "0", false);
        if (report["failures"] == "0") Violation("%s: the fault never struck", what.c_str());
        if (p.Status != 0 && p.Status != 1)
            Violation("%s: exit status %d: %s", what.c_str(), p.Status, p.Output.c_str());
        if (p.Status == 0 && state != kMigrateStates.back())
            Violation("%s: reports success, but the database holds %s", what.c_str(), state.c_str());
        if (p.Status != 0) {
            if (p.Output.find(kKindText[fault.Kind]) == std::string::npos)
                Violation("%s: the output does not carry the failure's text: %s", what.c_str(), p.Output.c_str());
            if (std::find(kMigrateStates.begin(), kMigrateStates.end(), state) == kMigrateStates.end())
                Violation("%s: the database holds what no commit point leaves: %s", what.c_str(), state.c_str());
            // The host's next run, without faults, applies what is missing.
            // A script that left committed statements behind waits for a
            // decision (retry) first; one of which nothing stayed does not.
            const bool atScriptBoundary =
                state == kMigrateStates[0] || state == kMigrateStates[3] || state == kMigrateStates.back();
            TProcess next = Migrate({});
            const std::string decision = "'vantrel retry DATABASE FOLDER ";
            if (const size_t at = next.Output.find(decision); next.Status == 1 && at != std::string::npos) {
                if (atScriptBoundary)
                    Violation("%s: nothing of the failed script stayed, yet the next migrate waits for a decision: %s",
                              what.c_str(), next.Output.c_str());
                const std::string version = next.Output.substr(at + decision.size(), 1);
                TProcess retry = RunProcess({Arg("cli"), "retry", Database, Folder, version}, {});
                if (retry.Status != 0)
                    Violation("%s: retry %s fails (%d): %s", what.c_str(), version.c_str(), retry.Status,
                              retry.Output.c_str());
                next = Migrate({});
            } else if (!atScriptBoundary && fault.Mode == 1) {
                // (With every call failing from then on the failure's row
                // cannot be written, and there is no decision to wait for.)
                Violation("%s: what the failed script committed stays (%s), yet the next migrate ran it again "
                          "without a decision: %s",
                          what.c_str(), state.c_str(), next.Output.c_str());
            }
            if (next.Status != 0 || State(Database) != kMigrateStates.back())
                Violation("%s: the following migrate fails (%d): %s", what.c_str(), next.Status, next.Output.c_str());
        }
        if (fault.Mode == 1 && report["live"] != "0")
            Violation("%s: %s attachments or transactions left open at exit", what.c_str(), report["live"].c_str());
        return state;
    }

    const std::string &CommittedBefore(long k) {
        auto found = StateAt.find(k);
        if (found != StateAt.end()) return found->second;
        TProcess p;
        const std::string state = Run(FromThenOn(k), p);
        if (state == kMigrateStates.back() && p.Status != 0)
            Violation("migrate, call %ld from then on: everything was committed, but failure is reported: %s", k,
                      p.Output.c_str());
        return StateAt[k] = state;
    }
};

int SweepMigrate(long step) {
    const std::string folder = Arg("folder");
    std::filesystem::create_directories(folder + "/migrations");
    std::ofstream(folder + "/migrations/0001-customers.sql") << kMigration1;
    std::ofstream(folder + "/migrations/V2__orders.sql") << kMigration2;
    TMigrateSweep m;
    m.Pristine = Arg("database");
    m.Work = folder + "/work.fdb";
    m.Database = Remote(m.Work);
    m.Folder = folder + "/migrations";
    m.Report = folder + "/inject.report";
    CopyFile(m.Pristine, m.Work);
    TProcess first = m.Migrate({});
    std::vector<std::string> calls;
    auto report = m.ReadReport(&calls);
    if (first.Status != 0 || State(m.Database) != kMigrateStates.back())
        Fail("migrate fails without faults: " + first.Output);
    const long total = long(calls.size());
    m.Sweep.Points = total;
    for (long k = 1; k <= total; k += step) {
        const std::string &expected = m.CommittedBefore(k);
        for (const TFault &fault : OnceVariants(k)) {
            TProcess p;
            const std::string state = m.Run(fault, p);
            if (p.Status != 0 && state != expected)
                Violation("migrate, call %ld (%s) once %s: fails; the database holds \"%s\", not \"%s\"", k,
                          calls[size_t(k - 1)].c_str(), kKindName[fault.Kind], state.c_str(), expected.c_str());
            if (expected == kMigrateStates.back() && p.Status != 0)
                Violation("migrate, call %ld (%s) once: everything was committed, but failure is reported: %s", k,
                          calls[size_t(k - 1)].c_str(), p.Output.c_str());
        }
    }
    std::filesystem::remove(m.Work);
    m.Sweep.Print();
    return 0;
}

// ---- one update with one named call failing ---------------------------------------------

std::string Escaped(const std::string &text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

int RunOnce(TLibrary &lib) {
    const std::string database = Remote(Arg("database")), script = Arg("script"), name = Arg("call");
    long nth = std::atol(Arg("nth", "1").c_str());
    if (Arg("nth") == "last") {
        // Counted on a copy: the nth call of the name is the last of them.
        const std::string copy = Arg("database") + ".count";
        CopyFile(Arg("database"), copy);
        gInjector.Arm(0, 0, 0);
        Call(lib, Remote(copy), script);
        const long calls = gInjector.Disarm();
        nth = 0;
        for (long n = 1; n <= calls; ++n) nth += name == gInjector.CallName(n);
        std::filesystem::remove(copy);
    }
    const int mode = std::atoi(Arg("mode", "1").c_str()), kind = std::atoi(Arg("kind", "0").c_str());
    TResult r = Call(lib, database, script, [&] { gInjector.ArmCall(name.c_str(), nth, mode, kind); },
                     [] { gInjector.Disarm(); });
    std::printf("result=%d\ntext=%s\nnulltext=%d\nfailed=%s\nleft=%d\n", r.Code, Escaped(r.Text).c_str(), r.NullText,
                gInjector.FirstFailed(), gInjector.Abandon());
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
    const bool allocations = fault == "allocations";
    // The library under test loads the injecting client; opening it here by
    // the same path gives this host the same module to drive.
    setenv("VANTREL_CLIENT_LIBRARY", Arg("injector").c_str(), 1);
    OpenInjector(Arg("injector"));
    signal(SIGALRM, OnWatchdog);
    if (scenario == "load") {
        SweepLoad(Arg("library"), step);
    } else if (scenario == "migrate") {
        SweepMigrate(step);
    } else {
        TLibrary lib = LoadLibrary(Arg("library"));
        if (scenario == "update") SweepUpdate(lib, allocations, step);
        else if (scenario == "check") SweepCheck(lib, allocations, step);
        else if (scenario == "once") RunOnce(lib);
        else Fail("unknown scenario " + scenario);
    }
    return gViolations != 0 ? 1 : 0;
}
