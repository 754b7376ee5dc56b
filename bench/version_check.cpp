// The version check, repeated: the exported CheckDBVersion (a fresh update
// module and connection, the existence query through TIBQuery, then TIBTable
// over VER, reading VERSION of the first row) N times in one process against an
// embedded dialect 1 database, beside a floor that issues the same
// statements directly through the client API (libfbclient.so.2 opened with
// dlopen). Prints the time per call of both, their ratio, and the peak and
// current resident set size after 100 and after all calls.
//
//   vantrel_bench_version_check [calls=1000] [database path]
//
// Without a path a scratch database is created with isql-fb in /tmp.
#include <dlfcn.h>
#include <ibase.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "entry/SessionSettings.h"
#include "platform/Text.h"
#include "vantrel/vantrel.h"

namespace {

using namespace vantrel;
using Clock = std::chrono::steady_clock;

const char kExists[] = "SELECT Count(*) as EXIST FROM rdb$relations WHERE rdb$relation_name = 'VER'";

// ---- through the library ----------------------------------------------------

// One exported version check: a fresh update module, the existence query,
// the version table, clean-up.
int32_t VantrelCheck(const std::string &database) {
    const std::u16string name = Utf8ToString(database);
    VARIANT argument;
    VantrelVariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.u.bstrVal = VantrelSysAllocStringLen(name.data(), static_cast<uint32_t>(name.size()));
    int32_t result = CheckDBVersion(argument);
    VantrelVariantClear(&argument);
    return result;
}

// ---- the floor: the same statements through the client API --------------------

struct TClient {
    void *Handle = nullptr;
    decltype(&isc_attach_database) Attach;
    decltype(&isc_detach_database) Detach;
    decltype(&isc_start_transaction) Start;
    decltype(&isc_commit_transaction) Commit;
    decltype(&isc_dsql_alloc_statement2) Alloc;
    decltype(&isc_dsql_prepare) Prepare;
    decltype(&isc_dsql_describe) Describe;
    decltype(&isc_dsql_describe_bind) DescribeBind;
    decltype(&isc_dsql_execute) Execute;
    decltype(&isc_dsql_fetch) Fetch;
    decltype(&isc_dsql_free_statement) Free;
    decltype(&isc_dsql_sql_info) Info;
    decltype(&isc_database_info) DatabaseInfo;

    template <typename F>
    void Load(F &target, const char *name) {
        target = reinterpret_cast<F>(dlsym(Handle, name));
        if (!target) throw std::runtime_error(std::string("missing ") + name);
    }
    TClient() {
        Handle = dlopen("libfbclient.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!Handle) throw std::runtime_error("libfbclient.so.2 not found");
        Load(Attach, "isc_attach_database");
        Load(Detach, "isc_detach_database");
        Load(Start, "isc_start_transaction");
        Load(Commit, "isc_commit_transaction");
        Load(Alloc, "isc_dsql_alloc_statement2");
        Load(Prepare, "isc_dsql_prepare");
        Load(Describe, "isc_dsql_describe");
        Load(DescribeBind, "isc_dsql_describe_bind");
        Load(Execute, "isc_dsql_execute");
        Load(Fetch, "isc_dsql_fetch");
        Load(Free, "isc_dsql_free_statement");
        Load(Info, "isc_dsql_sql_info");
        Load(DatabaseInfo, "isc_database_info");
    }
};

void Check(ISC_STATUS *status, const char *what) {
    if (status[0] == 1 && status[1] != 0) throw std::runtime_error(std::string(what) + " failed: " + std::to_string(status[1]));
}

// One statement with its output area and buffers.
class TRawStatement {
public:
    TRawStatement(TClient &client, isc_db_handle *db) : FClient(client) {
        FClient.Alloc(FStatus, db, &FHandle);
        Check(FStatus, "alloc");
    }
    ~TRawStatement() {
        if (FHandle) FClient.Free(FStatus, &FHandle, DSQL_drop);
    }
    void Prepare(isc_tr_handle *tr, const std::string &sql) {
        std::string text = sql + "\r\n";
        FClient.Prepare(FStatus, tr, &FHandle, 0, text.c_str(), 1, nullptr);
        Check(FStatus, "prepare");
        char item = isc_info_sql_stmt_type, reply[8];
        FClient.Info(FStatus, &FHandle, 1, &item, sizeof reply, reply);
        Check(FStatus, "info");
        // The input side is described as the library does.
        FIn.assign(XSQLDA_LENGTH(1) / sizeof(uint64_t) + 1, 0);
        auto *in = reinterpret_cast<XSQLDA *>(FIn.data());
        in->version = SQLDA_VERSION1;
        in->sqln = 1;
        FClient.DescribeBind(FStatus, &FHandle, 1, in);
        Check(FStatus, "describe_bind");
        if (in->sqld > in->sqln) {
            int n = in->sqld;
            FIn.assign(XSQLDA_LENGTH(n) / sizeof(uint64_t) + 1, 0);
            in = reinterpret_cast<XSQLDA *>(FIn.data());
            in->version = SQLDA_VERSION1;
            in->sqln = static_cast<short>(n);
            FClient.DescribeBind(FStatus, &FHandle, 1, in);
            Check(FStatus, "describe_bind");
        }
        FOut.assign(XSQLDA_LENGTH(1) / sizeof(uint64_t) + 1, 0);
        auto *out = reinterpret_cast<XSQLDA *>(FOut.data());
        out->version = SQLDA_VERSION1;
        out->sqln = 1;
        FClient.Describe(FStatus, &FHandle, 1, out);
        Check(FStatus, "describe");
        if (out->sqld > out->sqln) {
            int n = out->sqld;
            FOut.assign(XSQLDA_LENGTH(n) / sizeof(uint64_t) + 1, 0);
            out = reinterpret_cast<XSQLDA *>(FOut.data());
            out->version = SQLDA_VERSION1;
            out->sqln = static_cast<short>(n);
            FClient.Describe(FStatus, &FHandle, 1, out);
            Check(FStatus, "describe");
        }
        FBuffers.assign(static_cast<size_t>(out->sqld), {});
        FIndicators.assign(static_cast<size_t>(out->sqld), 0);
        for (int i = 0; i < out->sqld; ++i) {
            XSQLVAR &var = out->sqlvar[i];
            size_t size = static_cast<size_t>(var.sqllen) + ((var.sqltype & ~1) == SQL_VARYING ? 2 : 0);
            FBuffers[static_cast<size_t>(i)].assign(std::max<size_t>(size, 1), 0);
            var.sqldata = FBuffers[static_cast<size_t>(i)].data();
            var.sqlind = &FIndicators[static_cast<size_t>(i)];
        }
    }
    void Execute(isc_tr_handle *tr) {
        FClient.Execute(FStatus, tr, &FHandle, 1, nullptr);
        Check(FStatus, "execute");
    }
    // The affected-row count the result sets read after executing.
    void RowCounts() {
        char item = isc_info_sql_records, reply[1049];
        FClient.Info(FStatus, &FHandle, 1, &item, sizeof reply, reply);
        Check(FStatus, "info");
    }
    bool Fetch() {
        ISC_STATUS rc = FClient.Fetch(FStatus, &FHandle, 1, reinterpret_cast<XSQLDA *>(FOut.data()));
        if (rc == 100) return false;
        Check(FStatus, "fetch");
        return true;
    }
    void FetchAll() {
        while (Fetch()) {
        }
        FClient.Free(FStatus, &FHandle, DSQL_close);
    }
    int32_t Int(int column) const {
        const XSQLVAR &var = reinterpret_cast<const XSQLDA *>(FOut.data())->sqlvar[column];
        if ((var.sqltype & 1) && *var.sqlind < 0) return 0;
        switch (var.sqltype & ~1) {
        case SQL_SHORT: return *reinterpret_cast<const int16_t *>(var.sqldata);
        case SQL_LONG: return *reinterpret_cast<const int32_t *>(var.sqldata);
        case SQL_INT64: return static_cast<int32_t>(*reinterpret_cast<const int64_t *>(var.sqldata));
        default: return 0;
        }
    }

private:
    TClient &FClient;
    ISC_STATUS FStatus[ISC_STATUS_LENGTH] = {};
    isc_stmt_handle FHandle = 0;
    std::vector<uint64_t> FIn, FOut;
    std::vector<std::vector<char>> FBuffers;
    std::vector<short> FIndicators;
};

int32_t FloorCheck(TClient &client, const std::string &database) {
    ISC_STATUS status[ISC_STATUS_LENGTH] = {};
    std::string dpb{static_cast<char>(isc_dpb_version1)};
    auto add = [&](char item, const std::string &value) {
        dpb += item;
        dpb += static_cast<char>(value.size());
        dpb += value;
    };
    // The update module's login and character set.
    const vantrel::TSessionSettings module;
    add(isc_dpb_user_name, vantrel::StringToUtf8(module.UserName));
    add(isc_dpb_password, vantrel::StringToUtf8(module.Password));
    add(isc_dpb_lc_ctype, vantrel::StringToUtf8(module.CharacterSet));
    isc_db_handle db = 0;
    client.Attach(status, static_cast<short>(database.size()), database.c_str(), &db, static_cast<short>(dpb.size()),
                  dpb.data());
    Check(status, "attach");
    // The connection asks for the database's dialect on attach.
    char dialectItem = isc_info_db_sql_dialect, dialectReply[512];
    client.DatabaseInfo(status, &db, 1, &dialectItem, sizeof dialectReply, dialectReply);
    Check(status, "database_info");

    isc_tr_handle trans = 0;
    client.Start(status, &trans, 1, &db, 0, nullptr);
    Check(status, "start");
    const char readCommitted[] = {isc_tpb_version3, isc_tpb_read_committed, isc_tpb_rec_version, isc_tpb_nowait,
                                  isc_tpb_read};
    auto privateTransaction = [&] {
        isc_tr_handle tr = 0;
        client.Start(status, &tr, 1, &db, static_cast<unsigned short>(sizeof readCommitted), readCommitted);
        Check(status, "start");
        return tr;
    };
    auto commit = [&](isc_tr_handle &tr) {
        client.Commit(status, &tr);
        Check(status, "commit");
    };

    int32_t result = 0;
    int32_t count = 0;
    {
        TRawStatement exists(client, &db);
        exists.Prepare(&trans, kExists);
        exists.Execute(&trans);
        exists.RowCounts();
        if (exists.Fetch()) count = exists.Int(0);
    }
    if (count != 0) {
        isc_tr_handle p1 = privateTransaction();
        {
            TRawStatement columns(client, &db);
            columns.Prepare(&p1,
                            "Select R.RDB$FIELD_NAME, R.RDB$FIELD_POSITION, F.RDB$COMPUTED_BLR, R.RDB$DEFAULT_VALUE, "
                            "R.RDB$NULL_FLAG, F.RDB$FIELD_LENGTH, F.RDB$FIELD_SCALE, F.RDB$FIELD_TYPE, F.RDB$FIELD_SUB_TYPE, "
                            "F.RDB$EXTERNAL_LENGTH, F.RDB$EXTERNAL_SCALE, F.RDB$EXTERNAL_TYPE from RDB$RELATION_FIELDS R, "
                            "RDB$FIELDS F where R.RDB$RELATION_NAME = 'VER' and R.RDB$FIELD_SOURCE = F.RDB$FIELD_NAME "
                            "order by R.RDB$FIELD_POSITION");
            columns.Execute(&p1);
            columns.FetchAll();
        }
        commit(p1);
        isc_tr_handle p2 = privateTransaction();
        {
            TRawStatement indexes(client, &db);
            indexes.Prepare(&p2,
                            "Select I.RDB$INDEX_NAME, I.RDB$UNIQUE_FLAG, I.RDB$INDEX_TYPE, I.RDB$SEGMENT_COUNT, "
                            "S.RDB$FIELD_NAME from RDB$INDICES I, RDB$INDEX_SEGMENTS S where I.RDB$INDEX_NAME = "
                            "S.RDB$INDEX_NAME and I.RDB$RELATION_NAME = 'VER'");
            indexes.Execute(&p2);
            indexes.FetchAll();
        }
        commit(p2);
        TRawStatement select(client, &db);
        select.Prepare(&trans, "select VER.*, RDB$DB_KEY as VANTREL_INTERNAL_DBKEY from VER\r\n order by ID");
        TRawStatement refresh(client, &db);
        refresh.Prepare(&trans, "select VER.*, RDB$DB_KEY as VANTREL_INTERNAL_DBKEY from VER where RDB$DB_KEY = ?");
        isc_tr_handle p3 = privateTransaction();
        {
            TRawStatement writable(client, &db);
            writable.Prepare(&p3, "Select RDB$SYSTEM_FLAG, RDB$DBKEY_LENGTH from RDB$RELATIONS where RDB$RELATION_NAME = 'VER'");
            writable.Execute(&p3);
            writable.Fetch();
        }
        commit(p3);
        TRawStatement del(client, &db), ins(client, &db), upd(client, &db);
        del.Prepare(&trans, "delete from VER where RDB$DB_KEY = ?");
        ins.Prepare(&trans, "insert into VER (ID, VERSION, SERIAL) values (?, ?, ?)");
        upd.Prepare(&trans, "update VER set ID = ?, VERSION = ?, SERIAL = ? where RDB$DB_KEY = ?");
        select.Execute(&trans);
        select.RowCounts();
        if (select.Fetch()) result = select.Int(1);
    }
    commit(trans);
    client.Detach(status, &db);
    Check(status, "detach");
    return result;
}

// ---- measuring ------------------------------------------------------------------

long PeakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long CurrentRssKiB() {
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::string CreateScratchDatabase() {
    std::string dir = std::filesystem::temp_directory_path() / ("vantrel-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::string path = dir + "/bench.fdb";
    std::string script = "SET SQL DIALECT 1;\nCREATE DATABASE '" + path +
                         "' DEFAULT CHARACTER SET WIN1251;\n"
                         "create table VER (ID integer not null primary key, VERSION integer, SERIAL varchar(4000));\n";
    for (int i = 10; i >= 1; --i)
        script += "insert into VER (ID, VERSION) values (" + std::to_string(i) + ", " + std::to_string(i * 100) + ");\n";
    script += "COMMIT;\n";
    std::string scriptPath = dir + "/create.sql";
    if (FILE *f = std::fopen(scriptPath.c_str(), "w")) {
        std::fputs(script.c_str(), f);
        std::fclose(f);
    }
    std::string command = "isql-fb -q -i '" + scriptPath + "' > /dev/null 2>&1";
    if (std::system(command.c_str()) != 0 || !std::filesystem::exists(path))
        throw std::runtime_error("could not create " + path + " with isql-fb");
    return path;
}

template <typename F>
double Run(int calls, F &&call, int32_t expected) {
    auto start = Clock::now();
    for (int i = 0; i < calls; ++i) {
        int32_t v = call();
        if (v != expected) throw std::runtime_error("unexpected version " + std::to_string(v));
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char **argv) {
    try {
        const int calls = argc > 1 ? std::max(400, std::atoi(argv[1])) : 1000;
        const bool scratch = argc <= 2;
        const std::string database = scratch ? CreateScratchDatabase() : argv[2];
        TClient client;

        // Warm-up: load both paths and fill the field metadata cache.
        const int32_t expected = FloorCheck(client, database);
        if (VantrelCheck(database) != expected) throw std::runtime_error("the two paths disagree");

        // Memory: the library path alone, resident size after 100 calls, after
        // half of them and after all of them.
        const auto start = Clock::now();
        Run(100, [&] { return VantrelCheck(database); }, expected);
        const long peak100 = PeakRssKiB(), current100 = CurrentRssKiB();
        Run(calls / 2 - 100, [&] { return VantrelCheck(database); }, expected);
        const long peakHalf = PeakRssKiB(), currentHalf = CurrentRssKiB();
        Run(calls - calls / 2, [&] { return VantrelCheck(database); }, expected);
        const long peakAll = PeakRssKiB(), currentAll = CurrentRssKiB();
        const double alone = std::chrono::duration<double, std::milli>(Clock::now() - start).count() / calls;

        // Time: both paths interleaved call by call, so that drift of the
        // machine (other processes, file cache) hits both alike.
        double vantrelTotal = 0, floorTotal = 0;
        for (int i = 0; i < calls; ++i) {
            vantrelTotal += Run(1, [&] { return VantrelCheck(database); }, expected);
            floorTotal += Run(1, [&] { return FloorCheck(client, database); }, expected);
        }

        const double vantrelPerCall = vantrelTotal / calls;
        const double floorPerCall = floorTotal / calls;
        std::printf("version check, %d calls, embedded dialect 1 database (version %d)\n", calls, expected);
        std::printf("  CheckDBVersion:     %8.3f ms per call (run alone: %.3f)\n", vantrelPerCall, alone);
        std::printf("  client API floor:   %8.3f ms per call\n", floorPerCall);
        std::printf("  ratio:              %8.3f\n", vantrelPerCall / floorPerCall);
        std::printf("  RSS after 100 calls:  peak %ld KiB, current %ld KiB\n", peak100, current100);
        std::printf("  RSS after %d calls: peak %ld KiB, current %ld KiB\n", calls / 2, peakHalf, currentHalf);
        std::printf("  RSS after %d calls: peak %ld KiB, current %ld KiB (growth since 100 calls: %ld KiB)\n", calls,
                    peakAll, currentAll, peakAll - peak100);
        if (scratch) std::filesystem::remove_all(std::filesystem::path(database).parent_path());
        return 0;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "version_check: %s\n", e.what());
        return 1;
    }
}
