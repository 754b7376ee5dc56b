// vantrel migrate and update against a server on localhost when other
// connections are at work: migrations of one database run one at a time
// and apply each script once, a killed run leaves no lock behind, a second
// run waits for the lock at most the lock timeout, and SIGINT or SIGTERM
// stops update and migrate with status 130.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <regex>
#include <thread>

#include "platform/Exceptions.h"
#include "support/HeldTransaction.h"
#include "support/TestSupport.h"

using namespace vantrel::test;

namespace {

bool Has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

std::string Quote(const std::string &s) { return "'" + s + "'"; }

class MigrateLock : public ::testing::Test {
protected:
    void SetUp() override {
        Lock.emplace();
        if (!RequireServer()) GTEST_SKIP() << "no Firebird server answers on localhost";
        Db = "localhost:" + Dir.File("m.fdb");
        ProcessResult r = RunCommand("isql-fb -q", "CREATE DATABASE '" + Db + "' USER 'SYSDBA' PASSWORD '" +
                                                       kPassword + "' DEFAULT CHARACTER SET WIN1251;\nCOMMIT;\n");
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
        std::filesystem::create_directory(Folder);
        Script("1.sql", "CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER);\n"
                        "CREATE TABLE T (ID INTEGER);\nCREATE TABLE ITEMS (ID INTEGER);\n"
                        "INSERT INTO VER VALUES (1, 1);\nINSERT INTO T VALUES (1);\n");
    }
    void Script(const std::string &name, const std::string &text) { WriteFile(Folder + "/" + name, text); }
    std::string Command(const std::string &args) { return SanitizerEnvironment() + CliPath() + " " + args; }
    // The first number isql lists for a query.
    long Number(const std::string &query) {
        std::smatch m;
        const std::string output = RunIsql(Db, "SET LIST ON;\n" + query, false);
        return std::regex_search(output, m, std::regex("\\n[A-Z_]+ +(-?[0-9]+)\\n")) ? std::stol(m[1]) : -1;
    }
    bool TableExists(const std::string &table) {
        return Number("SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = '" + table + "';") == 1;
    }
    // Waits until a table exists (a script got that far), at most 10 s.
    void AwaitTable(const std::string &table) {
        for (int i = 0; i < 200 && !TableExists(table); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ASSERT_TRUE(TableExists(table));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }

    std::optional<ServerTestLock> Lock;
    TempDir Dir;
    std::string Db;
    const std::string Folder = Dir.File("scripts");
};

const std::vector<std::string> kMigrationLockParams = {"write", "read_committed", "rec_version",
                                                       "lock_write=VANTREL_MIGRATION_LOCK", "protected", "nowait"};

}  // namespace

TEST_F(MigrateLock, FourMigratesAtOnceApplyEachScriptOnce) {
    std::string inserts;
    for (int i = 0; i < 3000; ++i) inserts += "INSERT INTO ITEMS VALUES (" + std::to_string(i) + ");\n";
    Script("2.sql", inserts + "UPDATE VER SET VERSION = 2;\n");
    Script("3.sql", "CREATE INDEX ITEMS_ID ON ITEMS (ID);\nUPDATE VER SET VERSION = 3;\n");

    std::vector<std::unique_ptr<ChildProcess>> runs;
    for (int i = 0; i < 4; ++i)
        runs.push_back(std::make_unique<ChildProcess>(Command("migrate " + Quote(Db) + " " + Quote(Folder))));
    int applying = 0;
    for (auto &run : runs) {
        const int status = run->Wait(120);
        const std::string output = run->Output();
        EXPECT_EQ(status, 0) << output;
        if (Has(output, "version 0, 3 scripts to apply\n")) {
            ++applying;
            EXPECT_TRUE(Has(output, "now at version 3\n")) << output;
        } else {
            // It found what the first run left, under the lock.
            EXPECT_TRUE(Has(output, "version 3, nothing to apply\n")) << output;
        }
    }
    EXPECT_EQ(applying, 1);
    EXPECT_EQ(Number("SELECT COUNT(*) FROM ITEMS;"), 3000);
    EXPECT_EQ(Number("SELECT VERSION FROM VER;"), 3);
    EXPECT_EQ(Number("SELECT COUNT(*) FROM VANTREL_MIGRATION_LOCK;"), 0);
}

TEST_F(MigrateLock, ASecondMigrateWaitsForTheLockAtMostTheLockTimeout) {
    ASSERT_EQ(RunCommand(Command("migrate --quiet " + Quote(Db) + " " + Quote(Folder))).ExitCode, 0);
    Script("2.sql", "INSERT INTO ITEMS VALUES (2);\nUPDATE VER SET VERSION = 2;\n");
    {
        // Another migrate holds the lock throughout.
        HeldTransaction other(Db, {}, kMigrationLockParams);
        ProcessResult r = RunCommand(Command("migrate --lock-timeout 1 " + Quote(Db) + " " + Quote(Folder)));
        EXPECT_EQ(r.ExitCode, 1) << r.Output;
        EXPECT_TRUE(Has(r.Output, "vantrel: another migrate of this database is running; waiting for it to end "
                                  "(at most 1 s)\n"))
            << r.Output;
        EXPECT_TRUE(std::regex_search(r.Output, std::regex("vantrel: another migrate of this database held the "
                                                           "migration lock throughout the lock timeout \\(waited "
                                                           "[0-9.]+ s\\); nothing was applied\n")))
            << r.Output;
        // The lock is migrate's own: an update runs meanwhile.
        WriteFile(Dir.File("u.sql"), "INSERT INTO ITEMS VALUES (100);\n");
        ProcessResult update = RunCommand(Command("update --lock-timeout 1 " + Quote(Db) + " " + Dir.File("u.sql")));
        EXPECT_EQ(update.ExitCode, 0) << update.Output;
    }
    EXPECT_EQ(Number("SELECT VERSION FROM VER;"), 1);

    // The other one ends while this one waits: this one goes on.
    auto other = std::make_unique<HeldTransaction>(Db, std::vector<std::string>{}, kMigrationLockParams);
    std::thread ending([&other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        other->Rollback();
    });
    ProcessResult r = RunCommand(Command("migrate --lock-timeout 20 " + Quote(Db) + " " + Quote(Folder)));
    ending.join();
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_TRUE(std::regex_search(r.Output, std::regex("vantrel: the other migrate has ended \\(waited [0-9.]+ s\\)\n"
                                                       "version 1, 1 script to apply\n     2  2.sql\nnow at version 2\n")))
        << r.Output;
    EXPECT_EQ(Number("SELECT VERSION FROM VER;"), 2);
}

TEST_F(MigrateLock, AMigrateKilledWithSigkillLeavesNoLockBehind) {
    ASSERT_EQ(RunCommand(Command("migrate --quiet " + Quote(Db) + " " + Quote(Folder))).ExitCode, 0);
    Script("2.sql", "UPDATE T SET ID = 5;\nUPDATE VER SET VERSION = 2;\n");
    {
        // The run waits for this row until it is killed.
        HeldTransaction rowHolder(Db, {"UPDATE T SET ID = 4"});
        ChildProcess run(Command("migrate --lock-timeout 60 " + Quote(Db) + " " + Quote(Folder)));
        bool held = false;
        for (int i = 0; i < 200 && !held; ++i) {
            try {
                HeldTransaction probe(Db, {}, kMigrationLockParams);
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            } catch (const vantrel::Exception &) {
                held = true;  // the run has the lock
            }
        }
        ASSERT_TRUE(held) << run.Output();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        ASSERT_TRUE(run.Running()) << run.Output();
        run.Signal(SIGKILL);
        EXPECT_EQ(run.Wait(30), 128 + SIGKILL);
    }
    ProcessResult r = RunCommand(Command("migrate --lock-timeout 20 " + Quote(Db) + " " + Quote(Folder)));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_TRUE(Has(r.Output, "version 1, 1 script to apply\n     2  2.sql\n")) << r.Output;
    EXPECT_EQ(Number("SELECT VERSION FROM VER;"), 2);
    EXPECT_EQ(Number("SELECT ID FROM T;"), 5);
}

TEST_F(MigrateLock, SigintOrSigtermStopsUpdateAndMigrateWithStatus130) {
    ASSERT_EQ(RunCommand(Command("migrate --quiet " + Quote(Db) + " " + Quote(Folder))).ExitCode, 0);
    HeldTransaction rowHolder(Db, {"UPDATE T SET ID = 4"});
    struct Case {
        std::string Command;  // before the database
        int Signal;
        std::string Table;    // created by the script's first statement
    };
    const Case cases[] = {{"update", SIGTERM, "U1"}, {"update", SIGINT, "U2"}, {"migrate", SIGTERM, "M1"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.Command + " " + std::to_string(c.Signal));
        const std::string text = "CREATE TABLE " + c.Table + " (ID INTEGER);\nUPDATE T SET ID = 5;\n";
        std::string target;
        if (c.Command == "update") {
            WriteFile(Dir.File("u.sql"), text);
            target = Dir.File("u.sql");
        } else {
            Script("2.sql", text + "UPDATE VER SET VERSION = 2;\n");
            target = Folder;
        }
        ChildProcess run(Command(c.Command + " --lock-timeout 60 " + Quote(Db) + " " + Quote(target)));
        AwaitTable(c.Table);
        run.Signal(c.Signal);
        EXPECT_EQ(run.Wait(30), 130) << run.Output();
        const std::string output = run.Output();
        EXPECT_TRUE(Has(output, "vantrel: The update was interrupted (SIGINT or SIGTERM: the client library closed "
                                "the process's connections) and rolled back\r\nCommitted before the interruption, "
                                "and kept:\r\n  the statement at line 1: CREATE TABLE " +
                                    c.Table + " (ID INTEGER)\n"))
            << output;
        if (c.Command == "migrate") {
            EXPECT_TRUE(Has(output, "vantrel: interrupted at version 2 (2.sql); applied before it: none\n")) << output;
        }
    }
    rowHolder.Rollback();
    EXPECT_EQ(Number("SELECT ID FROM T;"), 1);
    EXPECT_EQ(Number("SELECT VERSION FROM VER;"), 1);
}
