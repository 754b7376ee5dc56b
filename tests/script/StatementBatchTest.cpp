// Plain DML combined into shared requests by the script executor: what goes
// together, what must run alone, and failures that read as the failing
// statement's own. The differential corpus compares the same with isql-fb.
#include <gtest/gtest.h>

#include <sstream>

#include "ScriptFixture.h"

namespace vantrel::test {
namespace {

constexpr const char *kSchema =
    "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NOTE VARCHAR(4000), MADE TIMESTAMP);\n"
    "CREATE TABLE L (ID INTEGER, NOTE VARCHAR(40));\n"
    "CREATE GENERATOR G;\n"
    "CREATE EXCEPTION E_NO 'not this one';\n"
    "SET TERM ^ ;\n"
    "CREATE TRIGGER T_AI FOR T AFTER INSERT AS BEGIN\n"
    "  INSERT INTO L VALUES (GEN_ID(G, 1), 'row ' || NEW.ID);\n"
    "  IF (NEW.ID < 0) THEN EXCEPTION E_NO;\n"
    "END^\n"
    "SET TERM ; ^\n";

class StatementBatchTest : public ScriptDatabaseTest {
protected:
    struct Outcome {
        std::string Error;
        TScriptLocation Where;
        size_t Requests = 0;
    };

    // Runs the script (after the schema) with combining on or off, then
    // commits, or rolls back after a failure as UpdateDB does.
    Outcome RunOn(const std::string &db, const std::string &script, bool combine) {
        {
            ScriptModule schema(db);
            schema.Open();
            schema.Run(kSchema);
            schema.CommitAndClose();
        }
        ScriptModule m(db);
        m.Open();
        m.IBScript->SetCombineDML(combine);
        Outcome outcome;
        try {
            m.Run(script);
            m.CommitAndClose();
        } catch (const Exception &e) {
            outcome.Error = N(e.Message());
            outcome.Where = m.IBScript->CurrentLocation();
            m.RollbackAndClose();
        }
        outcome.Requests = m.IBScript->CombinedRequests();
        return outcome;
    }
};

std::string Inserts(int from, int to, const std::string &note = "x") {
    std::ostringstream s;
    for (int i = from; i <= to; ++i) s << "INSERT INTO T (ID, NOTE) VALUES (" << i << ", '" << note << "');\n";
    return s.str();
}

TEST_F(StatementBatchTest, PlainInsertsShareRequestsAndTheirTriggersSeeEveryRow) {
    // 1,000 statements of one relation context each: four requests.
    const Outcome run = RunOn(Db(), Inserts(1, 1000) + "UPDATE T SET NOTE = 'y' WHERE ID > 990;\n", true);
    EXPECT_EQ("", run.Error);
    EXPECT_EQ(4u, run.Requests);
    EXPECT_EQ("1000", IsqlValue(Db(), "SELECT COUNT(*) FROM T"));
    EXPECT_EQ("1000", IsqlValue(Db(), "SELECT COUNT(DISTINCT ID) FROM L"));
    EXPECT_EQ("1000", IsqlValue(Db(), "SELECT GEN_ID(G, 0) FROM RDB$DATABASE"));
    EXPECT_EQ("10", IsqlValue(Db(), "SELECT COUNT(*) FROM T WHERE NOTE = 'y'"));
}

TEST_F(StatementBatchTest, ALongTextGoesOutInSeveralRequests) {
    // 30 statements of some 3,000 bytes: beyond what one request takes.
    const Outcome run = RunOn(Db(), Inserts(1, 30, std::string(3000, 'z')), true);
    EXPECT_EQ("", run.Error);
    EXPECT_EQ(2u, run.Requests);
    EXPECT_EQ("90000", IsqlValue(Db(), "SELECT SUM(CHAR_LENGTH(NOTE)) FROM T"));
}

TEST_F(StatementBatchTest, StatementsThatARequestWouldReadOtherwiseRunAlone) {
    const struct {
        const char *Statement;  // %d: 1, 2, 3
        bool Shared;
    } cases[] = {
        {"INSERT INTO T (ID, NOTE) VALUES (%d, 'plain') -- a comment, the terminator below\n", true},
        {"INSERT INTO T (ID, MADE) VALUES (%d, CURRENT_TIMESTAMP)", false},
        {"INSERT INTO T (ID, MADE) VALUES (%d, 'NOW')", false},
        {"INSERT INTO T (ID, MADE) VALUES (%d, CAST(' today ' AS TIMESTAMP))", false},
        {"INSERT INTO T (ID, MADE) VALUES (%d, LOCALTIMESTAMP)", false},
        {"INSERT INTO T (ID) VALUES (%d) RETURNING ID", false},
        {"UPDATE OR INSERT INTO T (ID, NOTE) VALUES (%d, 'x') MATCHING (ID) RETURNING NOTE", false},
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Statement);
        std::string script;
        for (int i = 1; i <= 3; ++i) {
            char line[256];
            std::snprintf(line, sizeof line, c.Statement, i);
            script += std::string(line) + ";\n";
        }
        const std::string db = Dir.File("case" + std::to_string(++n) + ".fdb");
        CreateDatabase(db, 3, "WIN1251");
        const Outcome run = RunOn(db, script, true);
        EXPECT_EQ("", run.Error);
        EXPECT_EQ(c.Shared ? 1u : 0u, run.Requests);
        EXPECT_EQ("3", IsqlValue(db, "SELECT COUNT(*) FROM T"));
    }
}

TEST_F(StatementBatchTest, AFailureReadsAsTheStatementAloneAndNamesIt) {
    const struct {
        const char *Name;
        std::string Script;
        int Line;  // of the failing statement
    } cases[] = {
        {"duplicate key first", "INSERT INTO T (ID) VALUES (1);\nCOMMIT;\n" + Inserts(1, 5), 3},
        {"trigger exception in the middle", Inserts(1, 3) + "INSERT INTO T (ID) VALUES (-1);\n" + Inserts(4, 6), 4},
        {"conversion error last", Inserts(1, 3) + "INSERT INTO T (ID) VALUES ('four');\n", 4},
        // The block does not compile: it is split until the statement runs
        // alone.
        {"unknown column", Inserts(1, 40) + "INSERT INTO T (NOPE) VALUES (41);\n" + Inserts(42, 60), 41},
        {"multi-line statement",
         Inserts(1, 2) + "UPDATE T\n  SET ID = 2\n  WHERE ID = 1;\n" + Inserts(3, 4), 3},
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string shared = Dir.File("shared" + std::to_string(++n) + ".fdb");
        const std::string alone = Dir.File("alone" + std::to_string(n) + ".fdb");
        CreateDatabase(shared, 3, "WIN1251");
        CreateDatabase(alone, 3, "WIN1251");
        const Outcome combined = RunOn(shared, c.Script, true);
        const Outcome single = RunOn(alone, c.Script, false);
        EXPECT_NE("", single.Error);
        EXPECT_EQ(single.Error, combined.Error);
        EXPECT_EQ(c.Line, combined.Where.Line);
        EXPECT_EQ(N(single.Where.FirstLine), N(combined.Where.FirstLine));
        EXPECT_GT(combined.Requests, 0u);
        EXPECT_EQ(0u, single.Requests);
        // Nothing ran twice: the generator the trigger moves ends where it
        // ends without combining.
        EXPECT_EQ(IsqlValue(alone, "SELECT GEN_ID(G, 0) FROM RDB$DATABASE"),
                  IsqlValue(shared, "SELECT GEN_ID(G, 0) FROM RDB$DATABASE"));
    }
}

}  // namespace
}  // namespace vantrel::test
