// Scripts that are not what they should be: binary garbage, an unclosed
// comment, a missing included file, a huge single line.
// Each must give a clear result and lose nothing that was there before.
#include <gtest/gtest.h>

#include <random>

#include "ScriptFixture.h"
#include "platform/Files.h"

namespace vantrel::test {
namespace {

class ScriptBadInputTest : public ScriptDatabaseTest {
protected:
    void SetUp() override {
        ScriptDatabaseTest::SetUp();
        Isql(Db(), "CREATE TABLE A (ID INTEGER NOT NULL PRIMARY KEY);\nCOMMIT;\n"
                   "INSERT INTO A VALUES (100);\nINSERT INTO A VALUES (200);\n");
    }

    struct Outcome {
        std::vector<std::string> ParseErrors;
        std::string Exception;  // message of an error that left the run
    };

    // Loads the file as the update entry point does and runs it; commits
    // when the run returns and rolls back when it raises.
    Outcome RunFile(const std::string &bytes) {
        const std::string path = Dir.File("update.sql");
        WriteFile(path, bytes);
        Outcome outcome;
        ScriptModule m(Db());
        m.Open();
        m.IBScript->OnParseError = [&](TComponent *, const String &error, const String &, int32_t) {
            outcome.ParseErrors.push_back(N(error));
        };
        LoadLinesFromFile(Utf8ToString(path), m.IBScript->Script());
        try {
            m.IBScript->ExecuteScript();
            m.CommitAndClose();
        } catch (const Exception &e) {
            outcome.Exception = e.what();
            m.RollbackAndClose();
        }
        return outcome;
    }

    std::string Ids() {
        return IsqlValue(Db(), "SELECT CAST(LIST(ID, ',') AS VARCHAR(8000)) FROM (SELECT ID FROM A ORDER BY ID)");
    }
};

TEST_F(ScriptBadInputTest, BinaryGarbageIsAnInvalidStatementAndChangesNothing) {
    std::mt19937 random(20240611);
    std::string garbage;
    garbage += "\x8F\xFE\x01";  // not a byte-order mark
    for (int i = 0; i < 64 * 1024; ++i) garbage.push_back(static_cast<char>(random() % 255 + 1));
    Outcome outcome = RunFile(garbage);
    EXPECT_EQ("", outcome.Exception);
    EXPECT_EQ((std::vector<std::string>{"Invalid statement"}), outcome.ParseErrors);
    EXPECT_EQ("100,200", Ids());
}

TEST_F(ScriptBadInputTest, GarbageAfterGoodStatementsKeepsThemAndStops) {
    std::string script = "INSERT INTO A VALUES (1);\nINSERT INTO A VALUES (2);\n";
    script += std::string("\xC3\x28\xA0\xA1 \xE2\x82 DELETE FROM A;\n", 18);
    script += "INSERT INTO A VALUES (3);\n";
    Outcome outcome = RunFile(script);
    EXPECT_EQ("", outcome.Exception);
    EXPECT_EQ((std::vector<std::string>{"Invalid statement"}), outcome.ParseErrors);
    EXPECT_EQ("1,2,100,200", Ids());
}

TEST_F(ScriptBadInputTest, AnUnclosedCommentIsReportedAndWhatRanBeforeStays) {
    Outcome outcome = RunFile("INSERT INTO A VALUES (1);\n/* the rest is commented out\nDELETE FROM A;\n"
                              "INSERT INTO A VALUES (3);\n");
    EXPECT_EQ("", outcome.Exception);
    EXPECT_EQ((std::vector<std::string>{"Invalid Comment"}), outcome.ParseErrors);
    EXPECT_EQ("1,100,200", Ids());
}

TEST_F(ScriptBadInputTest, AMissingIncludedFileIsReportedAndTheRunStops) {
    const std::string missing = Dir.File("no-such-file.sql");
    Outcome outcome = RunFile("INSERT INTO A VALUES (1);\nINPUT '" + missing + "';\nDELETE FROM A;\n");
    EXPECT_EQ("", outcome.Exception);
    ASSERT_EQ(1u, outcome.ParseErrors.size());
    EXPECT_EQ(0u, outcome.ParseErrors[0].find("Cannot open file \"" + missing + "\". ")) << outcome.ParseErrors[0];
    EXPECT_EQ("1,100,200", Ids());
}

TEST_F(ScriptBadInputTest, AHugeSingleLineOfStatementsRunsCompletely) {
    std::string line;
    for (int i = 1; i <= 5000; ++i) line += "INSERT INTO A VALUES (" + std::to_string(1000 + i) + ");   ";
    line += "\n";
    ASSERT_GT(line.size(), 150000u);
    Outcome outcome = RunFile(line);
    EXPECT_EQ("", outcome.Exception);
    EXPECT_TRUE(outcome.ParseErrors.empty());
    EXPECT_EQ("5002", IsqlValue(Db(), "SELECT COUNT(*) FROM A"));
    EXPECT_EQ("6000", IsqlValue(Db(), "SELECT MAX(ID) FROM A"));
}

TEST_F(ScriptBadInputTest, AHugeSingleStatementReachesTheServerWhole) {
    // One statement of about 1 MB on one line, most of it a comment with
    // quotes, colons and terminators in it.
    std::string statement = "DELETE FROM A WHERE ID = 100 /*";
    for (int i = 0; i < 24000; ++i) statement += " it's; a :comment \"x\" 0123456789 abcdefghij";
    statement += " */;\n";
    ASSERT_GT(statement.size(), 900000u);
    Outcome outcome = RunFile(statement);
    // Firebird 3 takes statements of up to 10 MB.
    EXPECT_EQ("", outcome.Exception);
    EXPECT_TRUE(outcome.ParseErrors.empty());
    EXPECT_EQ("200", Ids());
}

TEST_F(ScriptBadInputTest, AnEmptyOrCommentOnlyScriptDoesNothing) {
    for (const std::string &script : {std::string(), std::string("\n\n   \n"),
                                      std::string("-- only a comment\n/* and a block\n comment */\n")}) {
        Outcome outcome = RunFile(script);
        EXPECT_EQ("", outcome.Exception);
        EXPECT_TRUE(outcome.ParseErrors.empty());
    }
    EXPECT_EQ("100,200", Ids());
}

}  // namespace
}  // namespace vantrel::test
