// UpdateDBEx with one chosen client call failing (the injecting client
// library, driven by tests/hosts/sweep_host.cpp in a process of its own):
// the commit of the script's transaction, the commit of a DDL statement, the
// rollback after a failed statement, the statistics, the detach after the
// commit. Each case asserts the exact text and what the database holds.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "support/TestSupport.h"

using namespace vantrel::test;

namespace {

// Kinds of failure of the injecting client and the texts UpdateDB hands back
// for them.
constexpr int kNetwork = 0, kShutdown = 1, kLockConflict = 2, kConnectionLost = 4;
const char kNetworkText[] = "Unable to complete network request to host \"injected\".\r\nError writing data to the connection";

struct TOutcome {
    int Result = -1;
    std::string Text;  // with its line breaks
    bool NullText = false;
    int Left = -1;     // attachments and transactions the library left open
};

class FailingStep : public ::testing::Test {
protected:
    void SetUp() override { NewDatabase(); }
    // A new empty database for the next case.
    void NewDatabase() {
        Db = Dir.File("step" + std::to_string(++Databases) + ".fdb");
        CreateDatabase(Db, 3, "WIN1251");
    }

    // UpdateDBEx of the script with the nth call of the client function
    // failing once ("last": the last of its calls in the run).
    TOutcome Run(const std::string &script, const std::string &call, const std::string &nth, int kind) {
        WriteFile(Dir.File("script.sql"), script);
        ProcessResult r = RunCommand(SanitizerEnvironment() + SweepHostPath() + " scenario=once library=" +
                                     SharedLibraryPath() + " injector=" + FakeClientPath("injectingclient") +
                                     " database=" + Db + " script=" + Dir.File("script.sql") + " call=" + call +
                                     " nth=" + nth + " kind=" + std::to_string(kind) + " password=" + kPassword);
        EXPECT_EQ(r.ExitCode, 0) << r.Output;
        std::map<std::string, std::string> values;
        std::istringstream lines(r.Output);
        std::string line;
        while (std::getline(lines, line))
            if (auto eq = line.find('='); eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
        EXPECT_EQ(values["failed"], call) << r.Output;
        TOutcome o;
        o.Result = std::stoi(values.count("result") ? values["result"] : "-1");
        for (size_t i = 0; i < values["text"].size(); ++i) {
            const std::string &t = values["text"];
            if (t[i] == '\\' && i + 1 < t.size() && (t[i + 1] == 'r' || t[i + 1] == 'n')) {
                o.Text += t[i + 1] == 'r' ? '\r' : '\n';
                ++i;
            } else {
                o.Text += t[i];
            }
        }
        o.NullText = values["nulltext"] == "1";
        o.Left = std::stoi(values.count("left") ? values["left"] : "-1");
        return o;
    }

    // One value read with isql ("?" when the query fails).
    std::string Value(const std::string &select) {
        std::string out = RunIsql(Db, "SELECT '<' || (" + select + ") || '>' FROM RDB$DATABASE;", false);
        auto a = out.find('<'), b = out.find('>', a == std::string::npos ? 0 : a);
        return a == std::string::npos || b == std::string::npos ? "?" : out.substr(a + 1, b - a - 1);
    }
    std::string Tables(const std::string &names) {
        return Value("SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME IN (" + names + ")");
    }

    TempDir Dir;
    std::string Db;
    int Databases = 0;
};

const char kTableAndRow[] = "CREATE TABLE T (ID INTEGER);\nINSERT INTO T VALUES (1);\n";

// The commit of the script's transaction fails: nothing of the transaction
// is committed afterwards, also not by the clean-up that a broken link or
// closing the connection runs (it used to commit the same transaction once
// more); the DDL committed before stays.
TEST_F(FailingStep, TheCommitOfTheScriptsTransactionLeavesItsWorkUncommitted) {
    const struct {
        int Kind;
        const char *Text;
    } cases[] = {
        {kNetwork, kNetworkText},
        {kConnectionLost, "connection lost to database"},
        {kShutdown, "connection shutdown"},
        {kLockConflict,
         "Waited 0.0 s for a lock held by another connection; the update was rolled back\r\n"
         "lock conflict on no wait transaction"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Kind);
        NewDatabase();
        TOutcome o = Run(kTableAndRow, "isc_commit_transaction", "last", c.Kind);
        EXPECT_EQ(o.Result, 0);
        EXPECT_EQ(o.Text, c.Text);
        EXPECT_EQ(Tables("'T'"), "1");
        EXPECT_EQ(Value("SELECT COUNT(*) FROM T"), "0");
        EXPECT_EQ(o.Left, 0);
    }
}

// The commit of the second of two DDL statements fails: the first stays,
// the second is not committed by any clean-up, the DML that follows never
// runs.
TEST_F(FailingStep, TheCommitOfADdlStatementLeavesThatStatementUncommitted) {
    for (auto [kind, text] : {std::pair{kNetwork, kNetworkText}, {kConnectionLost, "connection lost to database"}}) {
        SCOPED_TRACE(kind);
        NewDatabase();
        TOutcome o = Run("CREATE TABLE A (ID INTEGER);\nCREATE TABLE B (ID INTEGER);\nINSERT INTO A VALUES (1);\n",
                         "isc_commit_retaining", "2", kind);
        EXPECT_EQ(o.Text, text);
        EXPECT_EQ(Tables("'A'"), "1");
        EXPECT_EQ(Tables("'B'"), "0");
        EXPECT_EQ(Value("SELECT COUNT(*) FROM A"), "0");
        EXPECT_EQ(o.Left, 0);
    }
}

// After a statement failed, the rollback fails too: its text replaces the
// statement's, and closing the connection rolls the transaction back instead
// of committing it by its default action.
TEST_F(FailingStep, ARollbackThatFailsIsNotFollowedByACommit) {
    TOutcome o = Run(std::string(kTableAndRow) + "INSERT INTO MISSING VALUES (1);\n", "isc_rollback_transaction", "1",
                     kShutdown);
    EXPECT_EQ(o.Text, "connection shutdown");
    EXPECT_EQ(Value("SELECT COUNT(*) FROM T"), "0");
    EXPECT_EQ(o.Left, 0);
}

// The statistics of the run only report on it: a failing measurement does
// not fail the update. One that cost the connection does, as the work can
// no longer be committed, and nothing of it is.
TEST_F(FailingStep, FailingStatisticsDoNotFailTheUpdateUnlessTheConnectionIsLost) {
    TOutcome informational = Run(kTableAndRow, "isc_database_info", "last", kLockConflict);
    EXPECT_EQ(informational.Result, 0);
    EXPECT_TRUE(informational.NullText) << informational.Text;
    EXPECT_EQ(Value("SELECT COUNT(*) FROM T"), "1");

    NewDatabase();
    TOutcome lost = Run(kTableAndRow, "isc_database_info", "last", kNetwork);
    EXPECT_EQ(lost.Text, kNetworkText);
    EXPECT_EQ(Value("SELECT COUNT(*) FROM T"), "0");
    EXPECT_EQ(lost.Left, 0);
}

// Once the update is committed, a detach that fails cannot undo it: the
// caller hears success.
TEST_F(FailingStep, ADetachThatFailsAfterTheCommitLeavesTheUpdateSucceeded) {
    TOutcome o = Run(kTableAndRow, "isc_detach_database", "last", kNetwork);
    EXPECT_EQ(o.Result, 0);
    EXPECT_TRUE(o.NullText) << o.Text;
    EXPECT_EQ(Value("SELECT COUNT(*) FROM T"), "1");
}

// vantrel update says so, after "updated".
TEST_F(FailingStep, VantrelUpdateMentionsAFailureAfterTheCommit) {
    WriteFile(Dir.File("script.sql"), kTableAndRow);
    const std::string report = Dir.File("report");
    const std::string client = "VANTREL_CLIENT_LIBRARY=" + FakeClientPath("injectingclient") +
                               " VANTREL_INJECT_REPORT=" + report + " ";
    const std::string update = CliPath() + " update " + Db + " " + Dir.File("script.sql");
    // A run without faults on a copy counts the calls: which is the detach
    // after the commit (the last detach).
    RunCommand("cp " + Db + " " + Dir.File("copy.fdb"));
    ProcessResult counting = RunCommand(SanitizerEnvironment() + client + CliPath() + " update " +
                                        Dir.File("copy.fdb") + " " + Dir.File("script.sql"));
    ASSERT_EQ(counting.ExitCode, 0) << counting.Output;
    std::istringstream calls(ReadFile(report));
    std::string name;
    std::getline(calls, name);  // the counts
    long n = 0, detach = 0;
    while (std::getline(calls, name))
        if (++n, name == "isc_detach_database") detach = n;
    ASSERT_GT(detach, 0);

    ProcessResult r = RunCommand(SanitizerEnvironment() + client + "VANTREL_INJECT=\"" + std::to_string(detach) +
                                 " 1 0\" " + update);
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_NE(r.Output.find("updated\n"), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("vantrel: note: the update was committed; closing the connection afterwards failed: "
                            "Unable to complete network request to host \"injected\".\r\n"
                            "Error writing data to the connection\n"),
              std::string::npos)
        << r.Output;
    EXPECT_EQ(Value("SELECT COUNT(*) FROM T"), "1");
}

}  // namespace
