// A client older than the server: this machine's client library against a
// Firebird 4 server, whose INT128, DECFLOAT and zoned values the older
// client cannot describe. The connection asks for their legacy forms.
// scripts/debian13.sh runs these with VANTREL_NEWER_SERVER=localhost/PORT
// (the server) and VANTREL_NEWER_SERVER_ROOT (the folder that the server
// sees as /); without them, or with a client that knows the types, they
// are skipped.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "SQLFixture.h"
#include "client/GDSLibrary.h"

namespace vantrel {
namespace {

using test::N;
using test::U;
using ::testing::HasSubstr;

class NewerServer : public ::testing::Test {
protected:
    void SetUp() override {
        const char *server = std::getenv("VANTREL_NEWER_SERVER");
        const char *root = std::getenv("VANTREL_NEWER_SERVER_ROOT");
        if (!server || !*server || !root || !*root) GTEST_SKIP() << "VANTREL_NEWER_SERVER is not set";
        if (test::InstalledFirebirdMajor() >= 4) GTEST_SKIP() << "the client knows Firebird 4's types";
        // A folder the server (its own user) can write, under its root.
        std::string folder = std::string(root) + "/tmp/vantrel-newer-XXXXXX";
        ASSERT_NE(mkdtemp(folder.data()), nullptr);
        chmod(folder.c_str(), 0777);
        Folder = folder;
        Name = std::string(server) + ":" + folder.substr(std::string(root).size()) + "/newer.fdb";
        DB = std::make_unique<TIBDatabase>(nullptr);
        DB->SetDatabaseName(U(Name));
        DB->Params().Add(u"user_name=SYSDBA");
        DB->Params().Add(U(std::string("password=") + test::kPassword));
        DB->Params().Add(u"lc_ctype=UTF8");
        DB->SetLoginPrompt(false);
        DB->CreateDatabase();
        Trans = std::make_unique<TIBTransaction>(nullptr);
        Trans->SetDefaultDatabase(DB.get());
        Trans->StartTransaction();
    }
    void TearDown() override {
        Trans.reset();
        if (DB && DB->Connected()) DB->DropDatabase();
        DB.reset();
        if (!Folder.empty()) std::filesystem::remove_all(Folder);
    }
    std::unique_ptr<TIBSQL> Query(const std::string &sql) {
        auto q = std::make_unique<TIBSQL>(nullptr);
        q->SetDatabase(DB.get());
        q->SetTransaction(Trans.get());
        q->SetSQL(U(sql));
        return q;
    }
    std::string Folder, Name;
    std::unique_ptr<TIBDatabase> DB;
    std::unique_ptr<TIBTransaction> Trans;
};

TEST_F(NewerServer, TheOlderClientReadsEveryNewTypeInItsLegacyForm) {
    auto q = Query("SELECT SUM(CAST(ID AS BIGINT)), CAST(12.34 AS NUMERIC(38, 2)), CAST(1.5 AS DECFLOAT(34)), "
                   "TIMESTAMP '2024-03-01 10:00:00 Europe/Berlin', CURRENT_TIMESTAMP, TIME '09:30:00 +05:30' "
                   "FROM (SELECT 5 AS ID FROM RDB$DATABASE UNION ALL SELECT 7 FROM RDB$DATABASE)");
    q->ExecQuery();
    TIBXSQLDA &r = q->Current();
    EXPECT_EQ(r[0].SQLType(), SQL_INT64);
    EXPECT_EQ(r[0].AsInt64(), 12);
    EXPECT_EQ(r[1].SQLType(), SQL_INT64);
    EXPECT_EQ(N(r[1].AsString()), "12.34");
    EXPECT_EQ(r[2].SQLType(), SQL_DOUBLE);
    EXPECT_EQ(r[2].AsDouble(), 1.5);
    EXPECT_EQ(r[3].SQLType(), SQL_TIMESTAMP);
    EXPECT_EQ(r[4].SQLType(), SQL_TIMESTAMP);
    EXPECT_EQ(r[5].SQLType(), SQL_TYPE_TIME);
}

TEST_F(NewerServer, AValueBeyondItsLegacyFormFailsWithTheServersOverflowError) {
    auto q = Query("SELECT CAST(170141183460469231731687303715884105727 AS INT128) FROM RDB$DATABASE");
    try {
        q->ExecQuery();
        FAIL() << "BIGINT cannot hold the value";
    } catch (const EIBInterBaseError &e) {
        EXPECT_THAT(N(e.Message()), HasSubstr("overflow"));
    }
}

TEST_F(NewerServer, AnUpdateScriptSelectsAndStoresTheNewTypes) {
    DB->Close();
    const std::string script = Folder + "/update.sql";
    test::WriteFile(script,
                    "CREATE TABLE T (ID BIGINT, N NUMERIC(38, 2), D DECFLOAT(34), TS TIMESTAMP WITH TIME ZONE);\n"
                    "INSERT INTO T VALUES (1, 12.5, 1.5, CURRENT_TIMESTAMP);\n"
                    "INSERT INTO T VALUES (2, 99999999999999999999999999999999.99, 2.5, "
                    "TIMESTAMP '2024-03-01 10:00:00 Europe/Berlin');\n"
                    "SELECT SUM(ID) FROM T;\n"
                    "SELECT CURRENT_TIMESTAMP FROM RDB$DATABASE;\n"
                    "SELECT ID, D, TS FROM T;\n"
                    "CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION INT128);\n"
                    "INSERT INTO VER VALUES (1, 4);\n");
    const test::ProcessResult update =
        test::RunCommand(test::SanitizerEnvironment() + test::CliPath() + " update " + Name + " " + script);
    EXPECT_EQ(update.ExitCode, 0) << update.Output;
    EXPECT_THAT(update.Output, HasSubstr("updated"));
    const std::string folder = Folder + "/none";
    std::filesystem::create_directory(folder);
    const test::ProcessResult status =
        test::RunCommand(test::SanitizerEnvironment() + test::CliPath() + " status " + Name + " " + folder);
    EXPECT_THAT(status.Output, HasSubstr("version 4,"));
    DB->Open();
}

}  // namespace
}  // namespace vantrel
