// What the readers send to the server, recorded by the tracing client shim:
// the statements of the first open of the version table in order and on
// which transaction, the reuse of prepared statements on reopen, and the
// field metadata queries running once per process and database name.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "client/GDSLibrary.h"
#include "datasets/DataSetFixture.h"

namespace vantrel::test {
namespace {

const char16_t kTraceServer[] = u"VantrelTrace";

// A binding of its own that loads the shim; the process's ordinary binding
// keeps the real client library.
void RegisterTraceBinding() {
    static bool registered = [] {
        ScopedEnv library("VANTREL_CLIENT_LIBRARY", FakeClientPath("tracingclient").c_str());
        auto binding = std::make_shared<TIBServerLibrary>();
        binding->CheckIBLoaded();
        RegisterServerLibrary(kTraceServer, binding);
        return true;
    }();
    (void)registered;
}

struct TCall {
    std::string Kind;  // prepare, execute, fetch, start, commit, ...
    std::string Tr;
    std::string Stmt;
    int Rc = 0;
    std::string Sql;
};

std::string Field(const std::string &line, const std::string &key) {
    size_t at = line.find(" " + key + "=");
    if (at == std::string::npos) return {};
    at += key.size() + 2;
    if (key == "sql") return line.substr(at);
    return line.substr(at, line.find(' ', at) - at);
}

std::vector<TCall> ReadTrace(const std::string &path) {
    std::vector<TCall> calls;
    std::istringstream in(std::filesystem::exists(path) ? ReadFile(path) : std::string());
    for (std::string line; std::getline(in, line);) {
        TCall call;
        call.Kind = line.substr(0, line.find(' '));
        call.Tr = Field(line, "tr");
        call.Stmt = Field(line, "stmt");
        std::string rc = Field(line, "rc");
        call.Rc = rc.empty() ? 0 : std::stoi(rc);
        call.Sql = Field(line, "sql");
        calls.push_back(call);
    }
    return calls;
}

std::string HexHandle(unsigned handle) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%x", handle);
    return buffer;
}

int Count(const std::vector<TCall> &calls, const std::string &kind, const std::string &stmt = {}) {
    int n = 0;
    for (const TCall &c : calls)
        if (c.Kind == kind && (stmt.empty() || c.Stmt == stmt)) ++n;
    return n;
}

std::vector<TCall> Prepares(const std::vector<TCall> &calls) {
    std::vector<TCall> result;
    for (const TCall &c : calls)
        if (c.Kind == "prepare") result.push_back(c);
    return result;
}

class StatementTrace : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterTraceBinding();
        std::string rows;
        for (int i = 10; i >= 1; --i)
            rows += "insert into VER (ID, VERSION) values (" + std::to_string(i) + ", " + std::to_string(i * 100) + ");\n";
        Path = MakeDatabase(Dir, "trace.fdb", 1,
                            "create table VER (ID integer not null primary key, VERSION integer, SERIAL varchar(4000));\n" +
                                rows);
        TracePath = Dir.File("trace.log");
    }
    // The calls recorded since the last mark.
    std::vector<TCall> Since() {
        std::vector<TCall> all = ReadTrace(TracePath);
        std::vector<TCall> tail(all.begin() + static_cast<long>(std::min(Mark, all.size())), all.end());
        Mark = all.size();
        return tail;
    }
    TempDir Dir;
    std::string Path;
    std::string TracePath;
    size_t Mark = 0;
};

TEST_F(StatementTrace, FirstOpenOfTheVersionTableSendsTheStatementsInOrder) {
    ScopedEnv trace("VANTREL_TRACE_FILE", TracePath.c_str());
    TModuleLike m(Path, kTraceServer);
    TIntegerField *version = nullptr;
    TIBTable *t = m.AddTable(u"TVer", u"VER", &version);
    m.DB->Open();
    ASSERT_GE(Count(Since(), "attach"), 1);

    t->Open();
    EXPECT_EQ(version->AsInteger(), 100);
    const std::vector<TCall> calls = Since();
    const std::string trans = HexHandle(m.Trans->Handle());
    const std::vector<TCall> prepares = Prepares(calls);
    ASSERT_EQ(prepares.size(), 10u);

    EXPECT_EQ(prepares[0].Sql.rfind("Select R.RDB$FIELD_NAME, R.RDB$FIELD_POSITION, F.RDB$COMPUTED_BLR", 0), 0u);
    EXPECT_NE(prepares[0].Sql.find("R.RDB$RELATION_NAME = 'VER' and"), std::string::npos);
    EXPECT_EQ(prepares[1].Sql.rfind("Select I.RDB$INDEX_NAME, I.RDB$UNIQUE_FLAG", 0), 0u);
    EXPECT_NE(prepares[1].Sql.find("I.RDB$RELATION_NAME = 'VER'"), std::string::npos);
    EXPECT_EQ(prepares[2].Sql, "select VER.*, RDB$DB_KEY as VANTREL_INTERNAL_DBKEY from VER\\r\\n order by ID\\r\\n");
    EXPECT_EQ(prepares[3].Sql,
              "select VER.*, RDB$DB_KEY as VANTREL_INTERNAL_DBKEY from VER where RDB$DB_KEY = ?\\r\\n");
    EXPECT_EQ(prepares[4].Sql.rfind("Select F.RDB$COMPUTED_BLR, F.RDB$DEFAULT_VALUE, R.RDB$DEFAULT_VALUE", 0), 0u);
    EXPECT_NE(prepares[4].Sql.find("R.RDB$RELATION_NAME = ? and"), std::string::npos);
    EXPECT_EQ(prepares[5].Sql.rfind("SELECT RDB$FIELD_NAME, RDB$FIELD_POSITION FROM RDB$RELATION_CONSTRAINTS", 0), 0u);
    EXPECT_EQ(prepares[6].Sql,
              "Select RDB$SYSTEM_FLAG, RDB$DBKEY_LENGTH from RDB$RELATIONS where RDB$RELATION_NAME = 'VER'\\r\\n");
    EXPECT_EQ(prepares[7].Sql, "delete from VER where RDB$DB_KEY = ?\\r\\n");
    EXPECT_EQ(prepares[8].Sql, "insert into VER (ID, VERSION, SERIAL) values (?, ?, ?)\\r\\n");
    EXPECT_EQ(prepares[9].Sql, "update VER set ID = ?, VERSION = ?, SERIAL = ? where RDB$DB_KEY = ?\\r\\n");

    // Catalogue and metadata queries run in private transactions, the
    // table's own statements in Trans; the two metadata queries share one.
    for (int i : {0, 1, 4, 5, 6}) EXPECT_NE(prepares[static_cast<size_t>(i)].Tr, trans) << i;
    for (int i : {2, 3, 7, 8, 9}) EXPECT_EQ(prepares[static_cast<size_t>(i)].Tr, trans) << i;
    EXPECT_EQ(prepares[4].Tr, prepares[5].Tr);

    // Trans plus four private transactions, each private one committed.
    EXPECT_EQ(Count(calls, "start"), 5);
    EXPECT_EQ(Count(calls, "commit"), 4);
    EXPECT_EQ(Count(calls, "rollback"), 0);

    // The select runs once, after every preparation, and one row is fetched.
    const std::string select = prepares[2].Stmt;
    EXPECT_EQ(Count(calls, "execute", select), 1);
    EXPECT_EQ(Count(calls, "fetch", select), 1);
    EXPECT_EQ(calls.back().Kind, "fetch");
    EXPECT_EQ(calls.back().Stmt, select);
    // The companions are prepared only, never executed.
    for (int i : {3, 7, 8, 9}) EXPECT_EQ(Count(calls, "execute", prepares[static_cast<size_t>(i)].Stmt), 0) << i;
    // Every catalogue query was executed once and read to its end.
    for (int i : {0, 1, 4, 5}) {
        EXPECT_EQ(Count(calls, "execute", prepares[static_cast<size_t>(i)].Stmt), 1) << i;
        EXPECT_GE(Count(calls, "fetch", prepares[static_cast<size_t>(i)].Stmt), 1) << i;
    }

    // Reopening within the module neither reads the catalogue nor prepares.
    t->Close();
    Since();
    t->Open();
    std::vector<TCall> reopen = Since();
    EXPECT_EQ(Count(reopen, "prepare"), 0);
    EXPECT_EQ(Count(reopen, "start"), 0);
    EXPECT_EQ(Count(reopen, "execute"), 1);
    EXPECT_EQ(Count(reopen, "fetch"), 1);
    EXPECT_EQ(version->AsInteger(), 100);
}

TEST_F(StatementTrace, FieldMetadataIsReadOncePerProcessAndDatabaseName) {
    ScopedEnv trace("VANTREL_TRACE_FILE", TracePath.c_str());
    const std::string upper = Dir.File("TRACE.FDB");
    std::filesystem::create_symlink(Path, upper);
    auto metadataQueries = [](const std::vector<TCall> &calls) {
        int n = 0;
        for (const TCall &c : Prepares(calls))
            if (c.Sql.rfind("Select F.RDB$COMPUTED_BLR", 0) == 0 || c.Sql.rfind("SELECT RDB$FIELD_NAME, RDB$FIELD_POSITION", 0) == 0)
                ++n;
        return n;
    };

    for (int call = 0; call < 3; ++call) {
        // A fresh module per call, as each version check makes; the name's
        // letter case alternates.
        TModuleLike m(call % 2 ? upper : Path, kTraceServer);
        TIntegerField *exist = nullptr;
        TIBQuery *q = m.AddQuery(u"QVerExists", kExistsSQL, u"EXIST", &exist);
        TIntegerField *version = nullptr;
        TIBTable *t = m.AddTable(u"TVer", u"VER", &version);
        m.DB->Open();
        q->Open();
        ASSERT_EQ(exist->AsInteger(), 1);
        t->Open();
        EXPECT_EQ(version->AsInteger(), 100);
        t->Close();
        q->Close();
        m.DB->Close();
        std::vector<TCall> calls = Since();
        EXPECT_EQ(metadataQueries(calls), call == 0 ? 2 : 0) << call;
        // The catalogue itself is read again by every module.
        EXPECT_EQ(Count(calls, "prepare"), call == 0 ? 11 : 9) << call;
        // Closing the connection commits Trans.
        EXPECT_EQ(Count(calls, "rollback"), 0);
    }
}

TEST_F(StatementTrace, QueryReopenExecutesWithoutPreparingAndPreparesAfterCommit) {
    ScopedEnv trace("VANTREL_TRACE_FILE", TracePath.c_str());
    TModuleLike m(Path, kTraceServer);
    TIntegerField *exist = nullptr;
    TIBQuery *q = m.AddQuery(u"QVerExists", kExistsSQL, u"EXIST", &exist);
    q->Open();
    std::vector<TCall> first = Since();
    std::vector<TCall> prepares = Prepares(first);
    ASSERT_EQ(prepares.size(), 1u);
    EXPECT_EQ(prepares[0].Sql, "SELECT Count(*) as EXIST FROM rdb$relations WHERE rdb$relation_name = 'VER'\\r\\n");
    EXPECT_EQ(Count(first, "execute"), 1);
    EXPECT_EQ(Count(first, "fetch"), 1);

    q->Close();
    q->Open();
    std::vector<TCall> again = Since();
    EXPECT_EQ(Count(again, "prepare"), 0);
    EXPECT_EQ(Count(again, "execute"), 1);
    EXPECT_EQ(Count(again, "fetch"), 1);

    q->Close();
    m.Trans->Commit();
    q->Open();
    std::vector<TCall> afterCommit = Since();
    EXPECT_EQ(Count(afterCommit, "start"), 1);
    EXPECT_EQ(Count(afterCommit, "prepare"), 1);
    EXPECT_EQ(Count(afterCommit, "execute"), 1);
    EXPECT_EQ(exist->AsInteger(), 1);
}

}  // namespace
}  // namespace vantrel::test
