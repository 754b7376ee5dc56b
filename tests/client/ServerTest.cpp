// The connection through a running Firebird server (localhost:/path): a
// normal attachment, a refused password with the server's own text, and a
// server that dies under an open connection. The databases here are
// created by the server and never opened by the embedded engine.
//
// Without a server the tests are skipped, unless VANTREL_REQUIRE_SERVER=1
// (CI) makes them fail. scripts/firebird-server.sh starts one.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "ConnectionFixture.h"

namespace vantrel {
namespace {

using test::MakeConnection;
using test::U;

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Other test processes may use (or kill) the server too.
        Lock.emplace();
        if (!test::RequireServer()) GTEST_SKIP() << "no Firebird server answers on localhost";
        Path = Dir.File("server.fdb");
        Remote = "localhost:" + Path;
        // Created by the server, so that the file belongs to it.
        test::ProcessResult r = test::RunCommand(
            "isql-fb -q", "SET SQL DIALECT 3;\nCREATE DATABASE '" + Remote + "' USER 'SYSDBA' PASSWORD '" +
                              test::kPassword + "' DEFAULT CHARACTER SET WIN1251;\nCREATE TABLE T (I INTEGER);\n" +
                              "COMMIT;\n");
        ASSERT_TRUE(std::filesystem::exists(Path)) << r.Output;
    }

    // Kills the server process under the open connections; the guardian
    // brings a new one up for the tests that follow.
    void KillServer() {
        const pid_t pid = test::FirebirdServerProcess();
        ASSERT_GT(pid, 0) << "server process not found";
        ASSERT_EQ(kill(pid, SIGKILL), 0) << "cannot kill the server process (not root?)";
        // Dead once it is gone or a zombie waiting for its guardian.
        auto dead = [pid] {
            std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
            std::string line;
            if (!std::getline(stat, line)) return true;
            const size_t paren = line.rfind(')');
            return paren != std::string::npos && paren + 2 < line.size() && line[paren + 2] == 'Z';
        };
        for (int i = 0; i < 100 && !dead(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        Killed = true;
    }

    void TearDown() override {
        if (Killed) {
            // Later tests need the server back.
            EXPECT_TRUE(test::WaitForServer(Remote, 30)) << "the server did not come back";
        }
    }

    std::optional<test::ServerTestLock> Lock;  // released after TearDown
    test::TempDir Dir;
    std::string Path;
    std::string Remote;
    bool Killed = false;
};

TEST_F(ServerTest, AttachesThroughTheServer) {
    auto db = MakeConnection(Remote);
    db->Open();
    EXPECT_TRUE(db->Connected());
    EXPECT_EQ(db->DBSQLDialect(), 3);
    EXPECT_EQ(db->CharacterSet(), u"WIN1251");
    EXPECT_TRUE(db->TestConnected());
    TIBTransaction tr(db.get());
    tr.StartTransaction();
    db->ExecuteImmediate(u"INSERT INTO T VALUES (1)", &tr);
    tr.Commit();
    // Another process sees the data through the server while we are attached.
    EXPECT_EQ(test::CountRows(Remote, "T"), 1);
    db->Close();
    EXPECT_FALSE(db->Connected());
}

TEST_F(ServerTest, WrongPasswordIsRefusedWithTheServersText) {
    auto db = MakeConnection(Remote);
    db->Params().SetValue(u"password", u"not-the-password");
    try {
        db->Open();
        FAIL() << "the server accepted a wrong password";
    } catch (const EIBInterBaseError &e) {
        EXPECT_EQ(test::N(e.Message()), test::IsqlConnectError(Remote, test::kUser, "not-the-password"));
        EXPECT_EQ(e.IBErrorCode(), isc_login);
        EXPECT_EQ(e.SQLCode(), -902);
    }
    EXPECT_FALSE(db->Connected());
    EXPECT_EQ(db->Handle(), 0u);
}

TEST_F(ServerTest, LostConnectionForceClosesAndRaises) {
    auto db = MakeConnection(Remote);
    TIBTransaction tr(db.get());
    test::ProbeSQLObject sql;
    sql.Base.SetDatabase(db.get());
    int afterDisconnect = 0;
    db->AfterDisconnect = [&](TCustomConnection *) { ++afterDisconnect; };
    db->Open();
    tr.StartTransaction();
    db->ExecuteImmediate(u"INSERT INTO T VALUES (1)", &tr);
    sql.Events.clear();

    KillServer();
    try {
        db->IsReadOnly();  // any call through the connection
        FAIL() << "a call on a dead server succeeded";
    } catch (const EIBInterBaseError &e) {
        EXPECT_FALSE(e.Message().empty());
        EXPECT_EQ(e.SQLCode(), -902) << test::N(e.Message());
    }
    EXPECT_FALSE(db->Connected());
    EXPECT_EQ(db->Handle(), 0u);
    EXPECT_FALSE(tr.InTransaction());
    EXPECT_EQ(afterDisconnect, 1);
    ASSERT_FALSE(sql.Events.empty());
    EXPECT_EQ(sql.Events.front(), "Disconnect");
    EXPECT_EQ(sql.Events.back(), "AfterDatabaseDisconnect");

    // Once the server is back the same component connects again; the
    // uncommitted row is gone.
    ASSERT_TRUE(test::WaitForServer(Remote, 30));
    db->Open();
    EXPECT_TRUE(db->Connected());
    db->Close();
    EXPECT_EQ(test::CountRows(Remote, "T"), 0);
}

TEST_F(ServerTest, TestConnectedNoticesADeadServer) {
    auto db = MakeConnection(Remote);
    db->Open();
    EXPECT_TRUE(db->TestConnected());
    KillServer();
    EXPECT_FALSE(db->TestConnected());
    EXPECT_FALSE(db->Connected());
}

TEST_F(ServerTest, CommitOnADeadServerClosesTheConnection) {
    auto db = MakeConnection(Remote);
    TIBTransaction tr(db.get());
    db->Open();
    tr.StartTransaction();
    db->ExecuteImmediate(u"INSERT INTO T VALUES (1)", &tr);
    KillServer();
    try {
        tr.Commit();
        FAIL() << "a commit on a dead server succeeded";
    } catch (const EIBInterBaseError &e) {
        EXPECT_EQ(e.SQLCode(), -902) << test::N(e.Message());
    }
    EXPECT_FALSE(db->Connected());
    EXPECT_FALSE(tr.InTransaction());
}

}  // namespace
}  // namespace vantrel
