// The exports called from several threads at once, through the shared
// library: each thread updates and checks a database of its own and one
// database that all of them share, half of them through the exports with
// connection parameters. The threads start together, so the first
// load of the client library, the modules of the calls and the field
// metadata cache are all met at the same time. The tsan preset runs
// this test under the thread sanitizer.
#include <gtest/gtest.h>

#include <barrier>
#include <string>
#include <thread>
#include <vector>

#include "entry/EntryLibrary.h"
#include "support/TestSupport.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 3;

std::string MakeVersionDatabase(const std::string &path, int version) {
    CreateDatabase(path, 1, "WIN1251");
    RunIsql(path, "CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER, SERIAL VARCHAR(100));\n"
                  "INSERT INTO VER VALUES (1, " + std::to_string(version) + ", 'x');\nCREATE TABLE LOG (N INTEGER);\n");
    return path;
}

long long LogRows(const std::string &db) {
    std::string out = RunIsql(db, "SET LIST ON;\nSELECT COUNT(*) AS ROWS_IN_LOG FROM LOG;\n");
    auto at = out.find("ROWS_IN_LOG");
    return at == std::string::npos ? -1 : std::stoll(out.substr(at + 11));
}

// One thread's calls; what went wrong is collected as text.
class TWorker {
public:
    // Params empty: the Ex exports; else the exports with parameters.
    TWorker(Library &lib, std::string params) : L(lib), Params(std::move(params)) {}

    void Update(const std::string &db, const std::string &script) {
        VARIANT d = Text(db), s = Text(script), p = Text(Params), error;
        const int32_t rc = Params.empty() ? L.UpdateDBEx(d, s, &error) : L.UpdateDBWithParams(d, s, p, &error);
        if (rc != 0 || error.vt != VT_BSTR || error.u.bstrVal)
            Failures += "update " + db + ": " + std::to_string(rc) + " " + Message(error) + "\n";
        Clear({&d, &s, &p, &error});
    }
    void Check(const std::string &db, int32_t expected) {
        VARIANT d = Text(db), p = Text(Params), error;
        int32_t version = -1;
        const int32_t rc =
            Params.empty() ? L.CheckDBVersionEx(d, &version, &error) : L.CheckDBVersionWithParams(d, p, &version, &error);
        if (rc != 0 || version != expected)
            Failures += "check " + db + ": " + std::to_string(rc) + " version " + std::to_string(version) + " " +
                        Message(error) + "\n";
        Clear({&d, &p, &error});
    }
    std::string Failures;

private:
    VARIANT Text(const std::string &utf8) {
        String s = U(utf8);
        VARIANT v{};
        v.vt = VT_BSTR;
        v.u.bstrVal = L.SysAllocStringLen(s.data(), static_cast<uint32_t>(s.size()));
        return v;
    }
    std::string Message(const VARIANT &v) {
        return v.vt == VT_BSTR && v.u.bstrVal ? N(String(v.u.bstrVal, L.SysStringLen(v.u.bstrVal))) : "";
    }
    void Clear(std::initializer_list<VARIANT *> values) {
        for (VARIANT *v : values) L.VariantClear(v);
    }
    Library &L;
    std::string Params;
};

}  // namespace

TEST(Threads, UpdatesAndChecksOfSeveralDatabasesAndOfOneAtOnce) {
    Library &lib = Library::Get();
    ASSERT_NE(lib.Handle, nullptr) << dlerror();
    TempDir dir;
    const std::string shared = MakeVersionDatabase(dir.File("shared.fdb"), 7);
    std::vector<std::string> own;
    for (int t = 0; t < kThreads; ++t) own.push_back(MakeVersionDatabase(dir.File("own" + std::to_string(t) + ".fdb"), 0));
    WriteFile(dir.File("own.sql"), "INSERT INTO LOG VALUES (1);\nUPDATE VER SET VERSION = VERSION + 1;\n");
    WriteFile(dir.File("shared.sql"), "INSERT INTO LOG VALUES (1);\n");

    std::barrier start(kThreads);
    std::vector<TWorker> workers;
    for (int t = 0; t < kThreads; ++t) workers.emplace_back(lib, t % 2 ? "lc_ctype=UTF8\nuser_name=SYSDBA" : "");
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            TWorker &w = workers[static_cast<size_t>(t)];
            start.arrive_and_wait();
            for (int round = 1; round <= kRounds; ++round) {
                w.Update(own[static_cast<size_t>(t)], dir.File("own.sql"));
                w.Check(own[static_cast<size_t>(t)], round);
                w.Update(shared, dir.File("shared.sql"));
                w.Check(shared, 7);
            }
        });
    }
    for (std::thread &t : threads) t.join();

    for (const TWorker &w : workers) EXPECT_EQ(w.Failures, "");
    EXPECT_EQ(LogRows(shared), kThreads * kRounds);
    for (const std::string &db : own) EXPECT_EQ(LogRows(db), kRounds);
}
