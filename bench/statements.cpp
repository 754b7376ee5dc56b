// Statements on an embedded database: 100,000 parameterised INSERTs in one
// transaction, and a fetch of 1,000,000 rows of five columns, each done
// through TIBSQL and, beside it, written directly against the client API
// (the floor: libfbclient.so.2 opened here and called without the library).
//
// Each side inserts into a table of its own, so that both meet tables of
// the same size. Both sides do the same work per row: five values in (integer, scaled
// number, text, timestamp, double) or five values out into native values,
// text as UTF-16.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <ibase.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "client/IBDatabase.h"
#include "client/IBSQL.h"
#include "client/IBTransaction.h"
#include "entry/SessionSettings.h"
#include "platform/DateTime.h"

namespace {

using namespace vantrel;

// Smaller runs (for profiling) through VANTREL_BENCH_INSERT_ROWS and
// VANTREL_BENCH_FETCH_ROWS.
int RowsFromEnv(const char *name, int fallback) {
    const char *v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}
const int kInsertRows = RowsFromEnv("VANTREL_BENCH_INSERT_ROWS", 100000);
const int kFetchRows = RowsFromEnv("VANTREL_BENCH_FETCH_ROWS", 1000000);
constexpr int kNames = 1000;
// The update module's login.
const std::string kUser = vantrel::StringToUtf8(vantrel::TSessionSettings().UserName);
const std::string kPassword = vantrel::StringToUtf8(vantrel::TSessionSettings().Password);

// ---------------------------------------------------------------------------
// The scratch database, made once per process with isql-fb.

struct TBenchDatabase {
    TBenchDatabase() {
        char tmpl[] = "/tmp/vantrel-bench-XXXXXX";
        if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
        Dir = tmpl;
        Path = Dir + "/bench.fdb";
        std::string script = "SET SQL DIALECT 3;\nCREATE DATABASE '" + Path + "' USER '" + kUser + "' PASSWORD '" + kPassword +
                             "' PAGE_SIZE 16384 DEFAULT CHARACTER SET WIN1251;\n"
                             "CREATE TABLE INS_FLOOR (ID INTEGER, AMOUNT NUMERIC(15,2), NAME VARCHAR(40), "
                             "CREATED TIMESTAMP, RATE DOUBLE PRECISION);\n"
                             "CREATE TABLE INS_LIBRARY (ID INTEGER, AMOUNT NUMERIC(15,2), NAME VARCHAR(40), "
                             "CREATED TIMESTAMP, RATE DOUBLE PRECISION);\n"
                             "CREATE TABLE FETCH5 (ID INTEGER, AMOUNT NUMERIC(15,2), NAME VARCHAR(40), "
                             "CREATED TIMESTAMP, RATE DOUBLE PRECISION);\nCOMMIT;\n"
                             "SET TERM ^;\n"
                             "EXECUTE BLOCK AS DECLARE I INTEGER = 0; BEGIN\n"
                             "  WHILE (I < " + std::to_string(kFetchRows) + ") DO BEGIN\n"
                             "    INSERT INTO FETCH5 VALUES (:I, :I * 1.25, 'customer name ' || :I,\n"
                             "      DATEADD(:I SECOND TO TIMESTAMP '2020-01-01 00:00:00'), :I / 7.0);\n"
                             "    I = I + 1;\n"
                             "  END\n"
                             "END^\n"
                             "SET TERM ;^\nCOMMIT;\n";
        std::string file = Dir + "/setup.sql";
        FILE *f = std::fopen(file.c_str(), "w");
        std::fputs(script.c_str(), f);
        std::fclose(f);
        std::string cmd = "isql-fb -q -i " + file + " > " + Dir + "/setup.log 2>&1";
        if (std::system(cmd.c_str()) != 0 || !std::filesystem::exists(Path))
            throw std::runtime_error("could not create the benchmark database (see " + Dir + "/setup.log)");
        for (int i = 0; i < kNames; ++i) {
            std::string n = "customer name " + std::to_string(i * 7919);
            Names8.push_back(n);
            Names16.push_back(Utf8ToString(n));
        }
    }
    ~TBenchDatabase() {
        std::error_code ec;
        std::filesystem::remove_all(Dir, ec);
    }
    std::string Dir, Path;
    std::vector<std::string> Names8;
    std::vector<String> Names16;
};

TBenchDatabase &Database() {
    static TBenchDatabase db;
    return db;
}

// ---------------------------------------------------------------------------
// Through the library

struct TLibrarySide {
    TLibrarySide() : DB(nullptr), Trans(nullptr) {
        DB.SetDatabaseName(Utf8ToString(Database().Path));
        for (const String &line : TSessionSettings().ConnectionParams()) DB.Params().Add(line);
        DB.SetLoginPrompt(false);
        DB.Open();
        Trans.SetDefaultDatabase(&DB);
    }
    TIBDatabase DB;
    TIBTransaction Trans;
};

void BM_Insert_Library(benchmark::State &state) {
    TBenchDatabase &data = Database();
    TLibrarySide side;
    const TDateTime base = 43831.0;  // 2020-01-01
    for (auto _ : state) {
        side.Trans.StartTransaction();
        TIBSQL q(nullptr);
        q.SetDatabase(&side.DB);
        q.SetTransaction(&side.Trans);
        q.SetSQL(u"INSERT INTO INS_LIBRARY (ID, AMOUNT, NAME, CREATED, RATE) VALUES (:ID, :AMOUNT, :NAME, :CREATED, :RATE)");
        q.Prepare();
        for (int i = 0; i < kInsertRows; ++i) {
            q.ParamByName(u"ID")->SetAsInteger(i);
            q.ParamByName(u"AMOUNT")->SetAsCurrency(static_cast<Currency>(i) * 12500);
            q.ParamByName(u"NAME")->SetAsString(data.Names16[static_cast<size_t>(i % kNames)]);
            q.ParamByName(u"CREATED")->SetAsDateTime(base + i / 86400.0);
            q.ParamByName(u"RATE")->SetAsDouble(i / 7.0);
            q.ExecQuery();
        }
        side.Trans.Commit();
    }
    state.SetItemsProcessed(state.iterations() * kInsertRows);
}

void BM_Fetch_Library(benchmark::State &state) {
    TLibrarySide side;
    for (auto _ : state) {
        side.Trans.StartTransaction();
        TIBSQL q(nullptr);
        q.SetDatabase(&side.DB);
        q.SetTransaction(&side.Trans);
        q.SetSQL(u"SELECT ID, AMOUNT, NAME, CREATED, RATE FROM FETCH5");
        q.ExecQuery();
        TIBXSQLVAR *id = q.FieldByName(u"ID");
        TIBXSQLVAR *amount = q.FieldByName(u"AMOUNT");
        TIBXSQLVAR *name = q.FieldByName(u"NAME");
        TIBXSQLVAR *created = q.FieldByName(u"CREATED");
        TIBXSQLVAR *rate = q.FieldByName(u"RATE");
        int64_t rows = 0, sum = 0;
        double dsum = 0;
        while (!q.Eof()) {
            sum += id->AsInteger();
            sum += amount->AsCurrency();
            String text = name->AsString();
            sum += static_cast<int64_t>(text.size());
            dsum += created->AsDateTime();
            dsum += rate->AsDouble();
            ++rows;
            q.Next();
        }
        q.Close();
        side.Trans.Commit();
        if (rows != kFetchRows) state.SkipWithError("wrong row count");
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(dsum);
    }
    state.SetItemsProcessed(state.iterations() * kFetchRows);
}

// ---------------------------------------------------------------------------
// The floor: the client API called directly

struct TClientApi {
    TClientApi() {
        Handle = dlopen("libfbclient.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!Handle) throw std::runtime_error("libfbclient.so.2 not found");
#define RESOLVE(name) name = reinterpret_cast<decltype(::name) *>(dlsym(Handle, #name))
        RESOLVE(isc_attach_database);
        RESOLVE(isc_detach_database);
        RESOLVE(isc_start_transaction);
        RESOLVE(isc_commit_transaction);
        RESOLVE(isc_dsql_allocate_statement);
        RESOLVE(isc_dsql_prepare);
        RESOLVE(isc_dsql_describe_bind);
        RESOLVE(isc_dsql_describe);
        RESOLVE(isc_dsql_execute);
        RESOLVE(isc_dsql_fetch);
        RESOLVE(isc_dsql_free_statement);
        RESOLVE(isc_encode_timestamp);
        RESOLVE(isc_decode_timestamp);
#undef RESOLVE
    }
    void Check(const char *what) {
        if (Status[0] == 1 && Status[1] != 0)
            throw std::runtime_error(std::string(what) + " failed: " + std::to_string(Status[1]));
    }
    void *Handle;
    ISC_STATUS Status[ISC_STATUS_LENGTH] = {};
    decltype(::isc_attach_database) *isc_attach_database;
    decltype(::isc_detach_database) *isc_detach_database;
    decltype(::isc_start_transaction) *isc_start_transaction;
    decltype(::isc_commit_transaction) *isc_commit_transaction;
    decltype(::isc_dsql_allocate_statement) *isc_dsql_allocate_statement;
    decltype(::isc_dsql_prepare) *isc_dsql_prepare;
    decltype(::isc_dsql_describe_bind) *isc_dsql_describe_bind;
    decltype(::isc_dsql_describe) *isc_dsql_describe;
    decltype(::isc_dsql_execute) *isc_dsql_execute;
    decltype(::isc_dsql_fetch) *isc_dsql_fetch;
    decltype(::isc_dsql_free_statement) *isc_dsql_free_statement;
    decltype(::isc_encode_timestamp) *isc_encode_timestamp;
    decltype(::isc_decode_timestamp) *isc_decode_timestamp;
};

struct TFloorSide {
    TFloorSide() {
        std::string dpb = {isc_dpb_version1, isc_dpb_user_name, static_cast<char>(kUser.size())};
        dpb += kUser;
        dpb += static_cast<char>(isc_dpb_password);
        dpb += static_cast<char>(kPassword.size());
        dpb += kPassword;
        dpb += static_cast<char>(isc_dpb_lc_ctype);
        dpb += static_cast<char>(7);
        dpb += "WIN1251";
        const std::string &path = Database().Path;
        Api.isc_attach_database(Api.Status, static_cast<short>(path.size()), path.c_str(), &DB,
                                static_cast<short>(dpb.size()), dpb.data());
        Api.Check("attach");
    }
    ~TFloorSide() { Api.isc_detach_database(Api.Status, &DB); }
    isc_tr_handle Start() {
        isc_tr_handle tr = 0;
        Api.isc_start_transaction(Api.Status, &tr, 1, &DB, 0, nullptr);
        Api.Check("start");
        return tr;
    }
    // A descriptor block with value and indicator buffers for what the
    // statement described.
    struct TArea {
        std::vector<uint64_t> Block;
        std::vector<std::vector<char>> Data;
        std::vector<short> Ind;
        XSQLDA *Da() { return reinterpret_cast<XSQLDA *>(Block.data()); }
        void Size(int n) {
            Block.assign((XSQLDA_LENGTH(n) + 7) / 8, 0);
            Da()->version = SQLDA_VERSION1;
            Da()->sqln = static_cast<short>(n);
        }
        void Allocate() {
            int n = Da()->sqld;
            Data.resize(static_cast<size_t>(n));
            Ind.assign(static_cast<size_t>(n), 0);
            for (int i = 0; i < n; ++i) {
                XSQLVAR &v = Da()->sqlvar[i];
                size_t size = static_cast<size_t>(v.sqllen) + ((v.sqltype & ~1) == SQL_VARYING ? 2 : 0);
                Data[static_cast<size_t>(i)].assign(size, 0);
                v.sqldata = Data[static_cast<size_t>(i)].data();
                v.sqlind = &Ind[static_cast<size_t>(i)];
            }
        }
    };
    TClientApi Api;
    isc_db_handle DB = 0;
};

void DateTimeToTimestamp(TClientApi &api, double value, ISC_TIMESTAMP &out) {
    TDateParts p = DecodeDateTime(value);
    struct tm t = {};
    t.tm_year = p.Year - 1900;
    t.tm_mon = p.Month - 1;
    t.tm_mday = p.Day;
    t.tm_hour = p.Hour;
    t.tm_min = p.Minute;
    t.tm_sec = p.Second;
    api.isc_encode_timestamp(&t, &out);
}

void BM_Insert_Floor(benchmark::State &state) {
    TBenchDatabase &data = Database();
    TFloorSide side;
    TClientApi &api = side.Api;
    const double base = 43831.0;
    for (auto _ : state) {
        isc_tr_handle tr = side.Start();
        isc_stmt_handle stmt = 0;
        api.isc_dsql_allocate_statement(api.Status, &side.DB, &stmt);
        api.Check("allocate");
        const char *sql = "INSERT INTO INS_FLOOR (ID, AMOUNT, NAME, CREATED, RATE) VALUES (?, ?, ?, ?, ?)";
        api.isc_dsql_prepare(api.Status, &tr, &stmt, 0, sql, 3, nullptr);
        api.Check("prepare");
        TFloorSide::TArea in;
        in.Size(5);
        api.isc_dsql_describe_bind(api.Status, &stmt, 3, in.Da());
        api.Check("describe");
        in.Allocate();
        XSQLVAR *v = in.Da()->sqlvar;
        for (int i = 0; i < kInsertRows; ++i) {
            int32_t id = i;
            std::memcpy(v[0].sqldata, &id, 4);
            // NUMERIC(15,2) is a 64-bit integer of hundredths.
            int64_t amount = static_cast<int64_t>(i) * 125;
            std::memcpy(v[1].sqldata, &amount, 8);
            const std::string &name = data.Names8[static_cast<size_t>(i % kNames)];
            uint16_t len = static_cast<uint16_t>(name.size());
            std::memcpy(v[2].sqldata, &len, 2);
            std::memcpy(v[2].sqldata + 2, name.data(), len);
            ISC_TIMESTAMP ts;
            DateTimeToTimestamp(api, base + i / 86400.0, ts);
            std::memcpy(v[3].sqldata, &ts, 8);
            double rate = i / 7.0;
            std::memcpy(v[4].sqldata, &rate, 8);
            api.isc_dsql_execute(api.Status, &tr, &stmt, 3, in.Da());
            api.Check("execute");
        }
        api.isc_dsql_free_statement(api.Status, &stmt, DSQL_drop);
        api.isc_commit_transaction(api.Status, &tr);
        api.Check("commit");
    }
    state.SetItemsProcessed(state.iterations() * kInsertRows);
}

void BM_Fetch_Floor(benchmark::State &state) {
    TFloorSide side;
    TClientApi &api = side.Api;
    for (auto _ : state) {
        isc_tr_handle tr = side.Start();
        isc_stmt_handle stmt = 0;
        api.isc_dsql_allocate_statement(api.Status, &side.DB, &stmt);
        const char *sql = "SELECT ID, AMOUNT, NAME, CREATED, RATE FROM FETCH5";
        api.isc_dsql_prepare(api.Status, &tr, &stmt, 0, sql, 3, nullptr);
        api.Check("prepare");
        TFloorSide::TArea out;
        out.Size(5);
        api.isc_dsql_describe(api.Status, &stmt, 3, out.Da());
        out.Allocate();
        api.isc_dsql_execute(api.Status, &tr, &stmt, 3, nullptr);
        api.Check("execute");
        XSQLVAR *v = out.Da()->sqlvar;
        int64_t rows = 0, sum = 0;
        double dsum = 0;
        while (api.isc_dsql_fetch(api.Status, &stmt, 3, out.Da()) == 0) {
            int32_t id;
            std::memcpy(&id, v[0].sqldata, 4);
            sum += out.Ind[0] < 0 ? 0 : id;
            int64_t amount;
            std::memcpy(&amount, v[1].sqldata, 8);
            sum += out.Ind[1] < 0 ? 0 : amount * 100;  // hundredths to ten-thousandths
            uint16_t len;
            std::memcpy(&len, v[2].sqldata, 2);
            std::u16string text(len, u'\0');
            for (uint16_t k = 0; k < len; ++k) text[k] = static_cast<unsigned char>(v[2].sqldata[2 + k]);
            sum += static_cast<int64_t>(text.size());
            struct tm t;
            api.isc_decode_timestamp(reinterpret_cast<ISC_TIMESTAMP *>(v[3].sqldata), &t);
            TDateTime date = 0, time = 0;
            TryEncodeDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, date);
            TryEncodeTime(t.tm_hour, t.tm_min, t.tm_sec, 0, time);
            dsum += date + time;
            double rate;
            std::memcpy(&rate, v[4].sqldata, 8);
            dsum += rate;
            ++rows;
        }
        api.isc_dsql_free_statement(api.Status, &stmt, DSQL_drop);
        api.isc_commit_transaction(api.Status, &tr);
        if (rows != kFetchRows) state.SkipWithError("wrong row count");
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(dsum);
    }
    state.SetItemsProcessed(state.iterations() * kFetchRows);
}

}  // namespace

BENCHMARK(BM_Insert_Floor)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Insert_Library)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Fetch_Floor)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Fetch_Library)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
