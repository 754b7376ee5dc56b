// UpdateDB through a Firebird server on localhost, including a server that
// dies in the middle of a long script.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <optional>
#include <sstream>
#include <thread>

#include "entry/EntryLibrary.h"
#include "support/TestSupport.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

class UpdateDBServer : public EntryTest {
protected:
    void SetUp() override {
        EntryTest::SetUp();
        // Other suites kill the server too; one at a time, across processes.
        Lock.emplace();
        if (!RequireServer()) GTEST_SKIP() << "no Firebird server answers on localhost";
        // Created through the server, so that the server owns the file.
        Remote = "localhost:" + Dir.File("server.fdb");
        ProcessResult r = RunCommand("isql-fb -q", "CREATE DATABASE '" + Remote + "' USER 'SYSDBA' PASSWORD '" +
                                                       kPassword + "' DEFAULT CHARACTER SET WIN1251;\n"
                                                       "CREATE TABLE T (ID INTEGER NOT NULL);\nCOMMIT;\n");
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
    }
    std::string Count() {
        std::string out = RunIsql(Remote, "SELECT '<' || COUNT(*) || '>' FROM T;", false);
        auto a = out.find('<'), b = out.find('>');
        return a == std::string::npos || b == std::string::npos ? out : out.substr(a + 1, b - a - 1);
    }
    std::string Remote;
    std::optional<ServerTestLock> Lock;
};

}  // namespace

TEST_F(UpdateDBServer, UpdatesADatabaseThroughTheServer) {
    WriteFile(Dir.File("s.sql"), "INSERT INTO T VALUES (1);\nINSERT INTO T VALUES (2);\n");
    EXPECT_EQ(Update(Text(Remote), Text(Dir.File("s.sql"))), u"");
    EXPECT_EQ(Count(), "2");
}

TEST_F(UpdateDBServer, AServerThatDiesMidScriptLeavesNoneOfTheRunsData) {
    std::ostringstream script;
    for (int i = 0; i < 400000; ++i) script << "INSERT INTO T VALUES (" << i << ");\n";
    WriteFile(Dir.File("long.sql"), script.str());

    pid_t server = FirebirdServerProcess();
    ASSERT_NE(server, 0);
    std::thread killer([server] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        kill(server, SIGKILL);
    });
    const auto started = std::chrono::steady_clock::now();
    String text = Update(Text(Remote), Text(Dir.File("long.sql")));
    killer.join();
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started).count();

    EXPECT_NE(text.find(u"connection"), String::npos)
        << "a dead server must end the run with the connection error (run took " << seconds << " s): " << N(text);
    ASSERT_TRUE(WaitForServer(Remote, 30)) << "the guardian did not bring the server back";
    EXPECT_EQ(Count(), "0");
}

// Through the server as embedded: statements let go once they ran (the
// copied table can be dropped), queries fetched to their end, SET
// TRANSACTION carried out, and a Firebird 4 session statement sent to the
// server (Firebird 3 refuses it with its own text).
TEST_F(UpdateDBServer, ScriptsRunAsIsqlRunsThemThroughTheServer) {
    WriteFile(Dir.File("s.sql"), "INSERT INTO T VALUES (1);\nINSERT INTO T VALUES (2);\nINSERT INTO T VALUES (3);\n"
                                 "CREATE TABLE C (ID INTEGER);\nINSERT INTO C SELECT ID FROM T;\nSELECT * FROM C;\n"
                                 "COMMIT;\nDROP TABLE C;\nCREATE SEQUENCE G;\nSELECT GEN_ID(G, 1) FROM T;\n"
                                 "SET TRANSACTION READ WRITE NO WAIT;\nINSERT INTO T VALUES (4);\n");
    EXPECT_EQ(Update(Text(Remote), Text(Dir.File("s.sql"))), u"");
    EXPECT_EQ(Count(), "4");
    const std::string generator = RunIsql(Remote, "SELECT '<' || GEN_ID(G, 0) || '>' FROM RDB$DATABASE;", false);
    EXPECT_NE(generator.find("<3>"), std::string::npos) << generator;
    const std::string dropped =
        RunIsql(Remote, "SELECT '<' || COUNT(*) || '>' FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'C';", false);
    EXPECT_NE(dropped.find("<0>"), std::string::npos) << dropped;

    WriteFile(Dir.File("tz.sql"), "INSERT INTO T VALUES (5);\nSET TIME ZONE 'Europe/Moscow';\n");
    const String text = Update(Text(Remote), Text(Dir.File("tz.sql")));
    if (InstalledFirebirdMajor() >= 4) {
        EXPECT_EQ(text, u"");
        EXPECT_EQ(Count(), "5");
    } else {
        EXPECT_NE(text.find(u"Token unknown"), String::npos) << N(text);
        EXPECT_EQ(Count(), "4");
    }
}
