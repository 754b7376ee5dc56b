// The script executor on real embedded databases: what DDL, DML and the
// script's own directives leave in the database, how errors end a run, and
// what the events see.
#include <gtest/gtest.h>

#include "ScriptFixture.h"
#include "client/IBXSQLDA.h"
#include "platform/Exceptions.h"

namespace vantrel::test {
namespace {

class ScriptExecutorTest : public ScriptDatabaseTest {
protected:
    void SetUp() override {
        ScriptDatabaseTest::SetUp();
        Isql(Db(), "CREATE TABLE A (ID INTEGER NOT NULL PRIMARY KEY, S VARCHAR(100), SEQ INTEGER);\n"
                   "CREATE GENERATOR G;\nCOMMIT;");
    }
    std::string Count(const std::string &table = "A") { return IsqlValue(Db(), "SELECT COUNT(*) FROM " + table); }
    // The ids of A, in insertion order (SEQ) unless told otherwise.
    std::string Ids(const std::string &order = "SEQ, ID") {
        std::string out = IsqlRows(Db(), "SELECT CAST(LIST(ID, ',') AS VARCHAR(2000)) FROM (SELECT ID FROM A ORDER BY " + order + ");");
        size_t a = out.find_first_not_of(" \n\r");
        size_t b = out.find_last_not_of(" \n\r");
        return a == std::string::npos ? std::string() : out.substr(a, b - a + 1);
    }
};

// --- errors and transactions ---

TEST_F(ScriptExecutorTest, FailingThirdStatementLeavesDDLCommittedAndDMLForTheCallerToRollBack) {
    ScriptModule m(Db());
    m.Open();
    try {
        m.Run("INSERT INTO A (ID) VALUES (1);\n"
              "CREATE TABLE B (X INTEGER);\n"
              "INSERT INTO A (ID) VALUES (2);\n"
              "INSERT INTO A (ID) VALUES (1);\n"
              "INSERT INTO A (ID) VALUES (3);\n");
        FAIL() << "the duplicate key should end the run";
    } catch (const EIBError &e) {
        EXPECT_EQ(-803, e.SQLCode());
        EXPECT_NE(std::string::npos, std::string(e.what()).find("PRIMARY or UNIQUE KEY")) << e.what();
    }
    // The executor leaves the script's transaction alone; the caller decides.
    EXPECT_TRUE(m.Trans->InTransaction());
    EXPECT_FALSE(m.IBScript->Executing());
    m.RollbackAndClose();
    EXPECT_EQ("0", Count());
    EXPECT_TRUE(RelationExists(Db(), "B"));
}

TEST_F(ScriptExecutorTest, InvalidStatementEndsTheRunQuietlyAndKeepsWhatRan) {
    ScriptModule m(Db());
    m.Open();
    std::vector<std::string> errors;
    std::vector<int> lines;
    m.IBScript->OnParseError = [&](TComponent *sender, const String &error, const String &text, int32_t line) {
        EXPECT_EQ(m.IBScript, sender);
        errors.push_back(N(error) + "|" + N(text));
        lines.push_back(line);
    };
    EXPECT_NO_THROW(m.Run("INSERT INTO A (ID) VALUES (1);\n"
                          "\n"
                          "UPSERT INTO A USING RDB$DATABASE ON 1 = 0 WHEN NOT MATCHED THEN INSERT (ID) VALUES (9);\n"
                          "INSERT INTO A (ID) VALUES (2);\n"));
    ASSERT_EQ(1u, errors.size());
    EXPECT_EQ("Invalid statement|UPSERT INTO A USING RDB$DATABASE ON 1 = 0 WHEN NOT MATCHED THEN INSERT (ID) VALUES (9)",
              errors[0]);
    EXPECT_EQ(3, lines[0]);
    EXPECT_TRUE(m.IBScript->Paused());
    m.CommitAndClose();
    EXPECT_EQ("1", Ids());
}

TEST_F(ScriptExecutorTest, CommitInTheMiddleEndsTheTransactionAndTheNextDMLStartsItAgain) {
    ScriptModule m(Db());
    m.Open();
    m.Run("INSERT INTO A (ID) VALUES (1);\nCOMMIT;\nINSERT INTO A (ID) VALUES (2);\n");
    EXPECT_TRUE(m.Trans->InTransaction());
    m.RollbackAndClose();
    EXPECT_EQ("1", Ids());
}

TEST_F(ScriptExecutorTest, CommitAndRollbackVariantsActOnTheScriptTransaction) {
    ScriptModule m(Db());
    m.Open();
    m.Run("INSERT INTO A (ID) VALUES (1);\n"
          "ROLLBACK;\n"
          "INSERT INTO A (ID) VALUES (2);\n"
          "COMMIT RETAINING;\n"
          "INSERT INTO A (ID) VALUES (3);\n"
          "ROLLBACK RETAINING;\n"
          "INSERT INTO A (ID) VALUES (4);\n"
          "COMMIT WORK;\n"
          "INSERT INTO A (ID) VALUES (5);\n");
    EXPECT_TRUE(m.Trans->InTransaction());
    m.RollbackAndClose();
    EXPECT_EQ("2,4", Ids());
}

TEST_F(ScriptExecutorTest, DDLWithAutoDDLIsCommittedAtOnceWithoutStartingTheScriptTransaction) {
    ScriptModule m(Db());
    m.DB->Open();
    m.Run("CREATE TABLE B (X INTEGER);\nCREATE INDEX IDX_B ON B (X);\nALTER TABLE B ADD Y VARCHAR(10);\n");
    EXPECT_FALSE(m.Trans->InTransaction());
    m.DB->Close();
    EXPECT_TRUE(RelationExists(Db(), "B"));
    EXPECT_EQ("1", IsqlValue(Db(), "SELECT COUNT(*) FROM RDB$INDICES WHERE RDB$INDEX_NAME = 'IDX_B'"));
}

TEST_F(ScriptExecutorTest, AutoDDLOffRunsDDLInTheScriptTransaction) {
    {
        ScriptModule m(Db());
        m.Open();
        m.Run("SET AUTODDL OFF;\nCREATE TABLE B (X INTEGER);\n");
        EXPECT_FALSE(m.IBScript->AutoDDL());
        EXPECT_TRUE(m.Trans->InTransaction());
        m.RollbackAndClose();
    }
    EXPECT_FALSE(RelationExists(Db(), "B"));
    {
        ScriptModule m(Db());
        m.Open();
        m.Run("SET AUTODDL OFF;\nCREATE TABLE C (X INTEGER);\nCOMMIT;\nINSERT INTO C VALUES (7);\n"
              "SET AUTODDL ON;\nCREATE TABLE D (X INTEGER);\n");
        EXPECT_TRUE(m.IBScript->AutoDDL());
        m.RollbackAndClose();
    }
    EXPECT_TRUE(RelationExists(Db(), "C"));
    EXPECT_EQ("0", Count("C"));
    EXPECT_TRUE(RelationExists(Db(), "D"));
}

TEST_F(ScriptExecutorTest, FailingDDLRollsBackItsOwnTransactionAndKeepsEarlierDDL) {
    ScriptModule m(Db());
    m.DB->Open();
    EXPECT_THROW(m.Run("CREATE TABLE B (X INTEGER);\nCREATE TABLE B (Y INTEGER);\nCREATE TABLE C (X INTEGER);\n"),
                 EIBError);
    m.DB->Close();
    EXPECT_TRUE(RelationExists(Db(), "B"));
    EXPECT_FALSE(RelationExists(Db(), "C"));
}

TEST_F(ScriptExecutorTest, SelectRunsAndItsRowsAreIgnored) {
    ScriptModule m(Db());
    m.Open();
    m.Run("INSERT INTO A (ID) VALUES (1);\nSELECT * FROM A;\nSELECT ID FROM A WHERE ID = 1;\n"
          "INSERT INTO A (ID) VALUES (2);\n");
    m.CommitAndClose();
    EXPECT_EQ("1,2", Ids());
}

// --- SET directives and terminators ---

TEST_F(ScriptExecutorTest, SetSqlDialectReopensTheConnectionInTheNewDialect) {
    ScriptModule m(Db());
    m.Open();
    EXPECT_EQ(3, m.DB->SQLDialect());
    // In dialect 1 a double-quoted text is a string literal.
    m.Run("INSERT INTO A (ID, S) VALUES (1, 'before');\n"
          "SET SQL DIALECT 1;\n"
          "INSERT INTO A (ID, S) VALUES (2, \"dialect one\");\n");
    EXPECT_EQ(1, m.IBScript->SQLDialect());
    EXPECT_EQ(1, m.DB->SQLDialect());
    EXPECT_TRUE(m.DB->Connected());
    m.CommitAndClose();
    EXPECT_EQ("dialect one", IsqlValue(Db(), "SELECT S FROM A WHERE ID = 2"));
    // Closing the connection ended the transaction of the first insert by
    // its default action (commit).
    EXPECT_EQ("before", IsqlValue(Db(), "SELECT S FROM A WHERE ID = 1"));
}

TEST_F(ScriptExecutorTest, SetSqlDialectWithATextRaisesTheConversionErrorWhateverTheEvents) {
    ScriptModule m(Db());
    m.Open();
    int calls = 0;
    m.IBScript->OnExecuteError = [&](TComponent *, const String &, const String &, int32_t, bool &ignore) {
        ++calls;
        ignore = true;
    };
    try {
        m.Run("SET SQL DIALECT X;\n");
        FAIL() << "expected a conversion error";
    } catch (const EConvertError &e) {
        EXPECT_EQ("'X' is not a valid integer value", std::string(e.what()));
    }
    EXPECT_EQ(0, calls);
}

TEST_F(ScriptExecutorTest, SetTermIsFollowedByTheStoredTerminatorAndTheParser) {
    ScriptModule m(Db());
    m.Open();
    m.Run("SET TERM ^ ;\n"
          "CREATE PROCEDURE P_ADD (X INTEGER) AS\nBEGIN\n  INSERT INTO A (ID) VALUES (:X);\nEND^\n"
          "COMMIT^\n"
          "EXECUTE PROCEDURE P_ADD (5)^\n");
    EXPECT_EQ(u"^", m.IBScript->Terminator());
    m.CommitAndClose();
    EXPECT_EQ("5", Ids());
}

TEST_F(ScriptExecutorTest, SavepointsClientItemIsKeptForAClientWithSavepoints) {
    TCountingLibrary &lib = TCountingLibrary::Instance();
    lib.Reset();
    ScriptModule m(Db(), TCountingLibrary::kServerType);
    m.DB->Open();
    lib.VersionOverride = 71000;
    m.Run("SET SAVEPOINTS OFF;\n");
    lib.VersionOverride = 0;
    ASSERT_EQ(1, m.Trans->Params().Count());
    EXPECT_EQ(u"no_savepoint", m.Trans->Params()[0]);
    m.Run("SET SAVEPOINTS ON;\n");
    EXPECT_EQ(0, m.Trans->Params().Count());
}

TEST_F(ScriptExecutorTest, DMLOnObjectsCreatedInTheRunNeedsACommitOfTheSnapshotBetween) {
    // A script's transaction started before the run with the server's
    // default snapshot isolation does not see a procedure that the DDL
    // transaction committed later (the update module's transaction is read
    // committed for this reason); such a transaction needs a COMMIT between.
    ScriptModule m(Db());
    m.Open();
    EXPECT_THROW(m.Run("CREATE PROCEDURE P_SEVEN AS BEGIN INSERT INTO A (ID) VALUES (7); END;\n"
                       "EXECUTE PROCEDURE P_SEVEN;\n"),
                 EIBError);
    m.Run("COMMIT;\nEXECUTE PROCEDURE P_SEVEN;\n");
    m.CommitAndClose();
    EXPECT_EQ("7", Ids());
}

TEST_F(ScriptExecutorTest, SetSavepointsOffAsksAFirebirdTransactionForNoUndoAndOnTakesItBack) {
    ScriptModule m(Db());
    m.DB->Open();
    m.Run("SET SAVEPOINTS OFF;\nSET SAVEPOINTS OFF;\n");
    EXPECT_EQ(1, m.Trans->Params().Count());
    EXPECT_EQ(u"no_auto_undo", m.Trans->Params()[0]);
    m.Run("INSERT INTO A (ID) VALUES (1);\n");  // starts with the new block
    EXPECT_TRUE(m.Trans->InTransaction());
    m.Trans->Commit();
    m.Run("SET SAVEPOINTS ON;\n");
    EXPECT_EQ(0, m.Trans->Params().Count());
    m.DB->Close();
    EXPECT_EQ("1", Ids());
}

// --- savepoints ---

TEST_F(ScriptExecutorTest, SavepointsRunAsSQLWithTheFirebirdClient) {
    ScriptModule m(Db());
    m.Open();
    m.Run("INSERT INTO A (ID) VALUES (1);\n"
          "SAVEPOINT SP1;\n"
          "INSERT INTO A (ID) VALUES (2);\n"
          "ROLLBACK TO SAVEPOINT SP1;\n"
          "INSERT INTO A (ID) VALUES (3);\n"
          "SAVEPOINT SP2;\n"
          "INSERT INTO A (ID) VALUES (4);\n"
          "ROLLBACK WORK TO SAVEPOINT SP2;\n"
          "RELEASE SAVEPOINT SP1;\n"
          "INSERT INTO A (ID) VALUES (5);\n");
    m.CommitAndClose();
    EXPECT_EQ("1,3,5", Ids());
}

TEST_F(ScriptExecutorTest, CyrillicSavepointNamesReachTheServerInTheConnectionsCharacterSet) {
    ScriptModule m(Db());
    m.Open();
    m.Run("INSERT INTO A (ID) VALUES (1);\n"
          "SAVEPOINT \"Точка\";\n"
          "INSERT INTO A (ID) VALUES (2);\n"
          "ROLLBACK TO SAVEPOINT \"Точка\";\n");
    try {
        m.Run("RELEASE SAVEPOINT \"Нет\";\n");
        FAIL() << "no such savepoint";
    } catch (const EIBInterBaseError &e) {
        EXPECT_EQ(e.Message(), U("Unable to find savepoint with name Нет in transaction context")) << N(e.Message());
    }
    m.CommitAndClose();
    EXPECT_EQ("1", Ids());
}

TEST_F(ScriptExecutorTest, SavepointFailuresOfTheServerAreDatabaseErrors) {
    ScriptModule m(Db());
    m.Open();
    EXPECT_THROW(m.Run("INSERT INTO A (ID) VALUES (1);\nRELEASE SAVEPOINT NEVER_SET;\n"), EIBError);
}

// As in isql, whose transaction runs from one end to the next, a savepoint
// after a COMMIT is one of the next transaction; ROLLBACK [WORK] TO [SAVEPOINT]
// and RELEASE ... ONLY are read as Firebird reads them.
TEST_F(ScriptExecutorTest, SavepointsAfterACommitAndInEveryFirebirdSpelling) {
    ScriptModule m(Db());
    m.Open();
    m.Run("INSERT INTO A (ID) VALUES (1);\nCOMMIT;\nSAVEPOINT S1;\nINSERT INTO A (ID) VALUES (2);\nROLLBACK TO S1;\n"
          "SAVEPOINT S2;\nINSERT INTO A (ID) VALUES (3);\nrollback work to s2;\nSAVEPOINT S3;\nSAVEPOINT S4;\n"
          "INSERT INTO A (ID) VALUES (4);\nRELEASE SAVEPOINT S3 ONLY;\nROLLBACK WORK TO SAVEPOINT S4;\n"
          "INSERT INTO A (ID) VALUES (5);\n");
    m.CommitAndClose();
    EXPECT_EQ("1,5", Ids());
}

TEST_F(ScriptExecutorTest, SavepointWithoutANameIsAListErrorThatNoEventCatches) {
    ScriptModule m(Db());
    m.Open();
    m.IBScript->OnExecuteError = [](TComponent *, const String &, const String &, int32_t, bool &ignore) {
        ignore = true;
    };
    try {
        m.Run("SAVEPOINT;\n");
        FAIL();
    } catch (const EListError &e) {
        EXPECT_EQ("List index out of bounds (1)", std::string(e.what()));
    }
}

TEST_F(ScriptExecutorTest, SavepointsUseTheClientEntryPointsWhenTheClientHasThem) {
    TCountingLibrary &lib = TCountingLibrary::Instance();
    lib.Reset();
    ScriptModule m(Db(), TCountingLibrary::kServerType);
    m.Open();
    lib.VersionOverride = 71000;
    // No statement is prepared while the client poses as 7.1.
    m.Run("SAVEPOINT SP1;\nROLLBACK TO SAVEPOINT SP1;\nRELEASE SAVEPOINT SP1;\nRELEASE SAVEPOINT;\n"
          "SAVEPOINT \"Точка\";\n");
    lib.VersionOverride = 0;
    // Names in the connection's character set (WIN1251).
    EXPECT_EQ((std::vector<std::string>{"start SP1", "rollback SP1 0", "release SP1", "release ",
                                        "start \"\xD2\xEE\xF7\xEA\xE0\""}),
              lib.SavepointCalls);
    m.CommitAndClose();
}

// --- batches ---

TEST_F(ScriptExecutorTest, BatchesRefusedByTheFirebirdClientEndTheRun) {
    ScriptModule m(Db());
    m.Open();
    try {
        m.Run("BATCH START;\nINSERT INTO A (ID) VALUES (1);\nINSERT INTO A (ID) VALUES (2);\nBATCH EXECUTE;\n"
              "INSERT INTO A (ID) VALUES (3);\n");
        FAIL() << "the Firebird client has no batch execution";
    } catch (const EIBError &e) {
        EXPECT_EQ("isc_dsql_batch_execute_immed is an InterBase 2007 function. Please upgrade to InterBase 2007 to "
                  "use this functonality",
                  std::string(e.what()));
    }
    // Batch mode ended with the refused call: the next run executes DML.
    m.Run("INSERT INTO A (ID) VALUES (4);\n");
    m.CommitAndClose();
    EXPECT_EQ("4", Ids());
}

TEST_F(ScriptExecutorTest, BatchesCollectStatementsForOneClientCall) {
    TCountingLibrary &lib = TCountingLibrary::Instance();
    lib.Reset();
    ScriptModule m(Db(), TCountingLibrary::kServerType);
    m.Open();
    lib.VersionOverride = 80000;
    m.Run("BATCH START;\nINSERT INTO A (ID, S) VALUES (1, 'Один');\nSET TERM ^ ;\n"
          "INSERT INTO A (ID) VALUES (2)^\nBATCH EXECUTE^\nSET TERM ; ^\n");
    lib.VersionOverride = 0;
    ASSERT_EQ(1u, lib.Batches.size());
    ASSERT_EQ(2u, lib.Batches[0].size());
    // The statements reach the client in the connection's character set.
    EXPECT_EQ("INSERT INTO A (ID, S) VALUES (1, '\xCE\xE4\xE8\xED')", lib.Batches[0][0]);
    EXPECT_EQ("INSERT INTO A (ID) VALUES (2)", lib.Batches[0][1]);
    EXPECT_EQ(u";", m.IBScript->Terminator());
    m.CommitAndClose();
    EXPECT_EQ("1,2", Ids());
    EXPECT_EQ("Один", IsqlValue(Db(), "SELECT S FROM A WHERE ID = 1"));
}

TEST_F(ScriptExecutorTest, OnlyDDLAndDMLMayStandInABatch) {
    ScriptModule m(Db());
    m.Open();
    try {
        m.Run("BATCH START;\nINSERT INTO A (ID) VALUES (1);\nCOMMIT;\nBATCH EXECUTE;\n");
        FAIL();
    } catch (const EIBError &e) {
        EXPECT_EQ(-1, e.SQLCode());
        EXPECT_EQ("Only DDL and DML (excluding Select statements) allowed within a Batch block", std::string(e.what()));
    }
    // The collected statement was never run.
    m.CommitAndClose();
    EXPECT_EQ("0", Count());
}

// --- included files ---

TEST_F(ScriptExecutorTest, InputRunsTheIncludedStatementsBeforeTheRestOfTheScript) {
    const std::string included = Dir.File("more.sql");
    WriteFile(included, "INSERT INTO A (ID, SEQ) VALUES (20, GEN_ID(G, 1));\n"
                        "INSERT INTO A (ID, SEQ) VALUES (21, GEN_ID(G, 1));\n");
    ScriptModule m(Db());
    m.Open();
    int dml = 0;
    m.IBScript->OnParse = [&](TComponent *, TIBParseKind kind, const String &) { dml += kind == stmtDML; };
    m.Run("INSERT INTO A (ID, SEQ) VALUES (10, GEN_ID(G, 1));\n"
          "INPUT '" + included + "';\n"
          "INSERT INTO A (ID, SEQ) VALUES (30, GEN_ID(G, 1));\n");
    EXPECT_EQ(4, dml);
    m.CommitAndClose();
    EXPECT_EQ("10,20,21,30", Ids());
}

// --- events ---

TEST_F(ScriptExecutorTest, OnStatementStartTellsWhereTheRunStandsBeforeEachStatement) {
    const std::string included = Dir.File("more.sql");
    WriteFile(included, "INSERT INTO A (ID) VALUES (20);\n");
    ScriptModule m(Db());
    m.Open();
    std::vector<std::string> seen;
    m.IBScript->OnStatementStart = [&](TIBScript *sender, TIBParseKind kind, const String &text,
                                       const TIBScriptProgress &p) {
        EXPECT_EQ(m.IBScript, sender);
        seen.push_back(std::to_string(p.Statement) + " " + std::to_string(kind) + " " + N(text) + " @" +
                       std::to_string(p.Line) + (p.Included ? " of " + N(p.FileName) : "") + " " +
                       std::to_string(p.LinesRead) + "/" + std::to_string(p.LineCount));
    };
    const std::string script = "INSERT INTO A (ID) VALUES (1);\n"
                               "\n"
                               "INPUT '" + included + "';\n"
                               "INSERT INTO A (ID)\n  VALUES (2);\n"
                               "INSERT INTO A (ID) VALUES (1);\n"
                               "INSERT INTO A (ID) VALUES (3);\n";
    EXPECT_THROW(m.Run(script), EIBError);
    // Numbered from 1, the failing statement included; the included
    // statement stands at its line in its file; nothing after the failure.
    EXPECT_EQ((std::vector<std::string>{"1 1 INSERT INTO A (ID) VALUES (1) @1 1/7",
                                        "2 1 INSERT INTO A (ID) VALUES (20) @1 of " + included + " 3/7",
                                        "3 1 INSERT INTO A (ID)\r\n  VALUES (2) @4 5/7",
                                        "4 1 INSERT INTO A (ID) VALUES (1) @6 6/7"}),
              seen);
    // Validation carries nothing out and so tells nothing; a new run counts
    // from 1 again.
    seen.clear();
    m.IBScript->Script().SetText(U("INSERT INTO A (ID) VALUES (5);\n"));
    EXPECT_TRUE(m.IBScript->ValidateScript());
    EXPECT_TRUE(seen.empty());
    m.IBScript->ExecuteScript();
    EXPECT_EQ((std::vector<std::string>{"1 1 INSERT INTO A (ID) VALUES (5) @1 1/1"}), seen);
    m.RollbackAndClose();
}

TEST_F(ScriptExecutorTest, OnExecuteErrorWithIgnoreSkipsTheStatementAndGoesOn) {
    ScriptModule m(Db());
    m.Open();
    std::vector<std::string> parsed;
    std::vector<std::string> failed;
    m.IBScript->OnParse = [&](TComponent *sender, TIBParseKind, const String &text) {
        EXPECT_EQ(m.IBScript, sender);
        parsed.push_back(N(text));
    };
    m.IBScript->OnExecuteError = [&](TComponent *sender, const String &error, const String &text, int32_t line,
                                     bool &ignore) {
        EXPECT_EQ(m.IBScript, sender);
        EXPECT_FALSE(ignore);
        EXPECT_NE(std::string::npos, N(error).find("PRIMARY or UNIQUE KEY"));
        failed.push_back(N(text) + "@" + std::to_string(line));
        ignore = true;
    };
    m.Run("INSERT INTO A (ID) VALUES (1);\nINSERT INTO A (ID) VALUES (1);\nINSERT INTO A (ID) VALUES (2);\n");
    EXPECT_EQ((std::vector<std::string>{"INSERT INTO A (ID) VALUES (1)@2"}), failed);
    EXPECT_EQ((std::vector<std::string>{"INSERT INTO A (ID) VALUES (1)", "INSERT INTO A (ID) VALUES (2)"}), parsed);
    EXPECT_FALSE(m.IBScript->Paused());
    m.CommitAndClose();
    EXPECT_EQ("1,2", Ids());
}

TEST_F(ScriptExecutorTest, OnExecuteErrorWithoutIgnoreEndsTheRunQuietly) {
    ScriptModule m(Db());
    m.Open();
    int calls = 0;
    m.IBScript->OnExecuteError = [&](TComponent *, const String &, const String &, int32_t, bool &) { ++calls; };
    EXPECT_NO_THROW(m.Run("INSERT INTO A (ID) VALUES (1);\nINSERT INTO A (ID) VALUES (1);\n"
                          "INSERT INTO A (ID) VALUES (2);\n"));
    EXPECT_EQ(1, calls);
    EXPECT_TRUE(m.IBScript->Paused());
    m.CommitAndClose();
    EXPECT_EQ("1", Ids());
}

TEST_F(ScriptExecutorTest, ParseErrorsReachOnParseErrorOnly) {
    ScriptModule m(Db());
    m.Open();
    std::vector<std::string> errors;
    int executeErrors = 0;
    m.IBScript->OnParseError = [&](TComponent *, const String &error, const String &text, int32_t line) {
        errors.push_back(N(error) + "|" + N(text) + "|" + std::to_string(line));
    };
    m.IBScript->OnExecuteError = [&](TComponent *, const String &, const String &, int32_t, bool &) {
        ++executeErrors;
    };
    EXPECT_NO_THROW(m.Run("INSERT INTO A (ID) VALUES (1);\n/* a comment\nthat never ends;\n"));
    ASSERT_EQ(1u, errors.size());
    EXPECT_EQ("Invalid Comment||2", errors[0]);
    EXPECT_EQ(0, executeErrors);
    m.CommitAndClose();
    EXPECT_EQ("1", Ids());
}

// --- parameters and pausing ---

TEST_F(ScriptExecutorTest, AParameterThatNoOnParamCheckFillsEndsTheRunUnexecuted) {
    ScriptModule m(Db());
    m.Open();
    std::vector<std::string> errors;
    m.IBScript->OnParseError = [&](TComponent *, const String &error, const String &, int32_t line) {
        errors.push_back(N(error) + " (" + std::to_string(line) + ")");
    };
    m.Run("INSERT INTO A (ID) VALUES (1);\nINSERT INTO A (ID, S) VALUES (2, :TEXT_VALUE);\nINSERT INTO A (ID) VALUES (3);\n");
    m.CommitAndClose();
    EXPECT_EQ((std::vector<std::string>{"Parameter marker :TEXT_VALUE has no value in a script (2)"}), errors);
    EXPECT_EQ("1", Ids());
}

TEST_F(ScriptExecutorTest, OnParamCheckFillsParametersBeforeTheStatementRuns) {
    ScriptModule m(Db());
    m.Open();
    int checks = 0;
    m.IBScript->OnParamCheck = [&](TIBScript *sender, bool &pause) {
        EXPECT_FALSE(pause);
        ++checks;
        sender->ParamByName(u"ID")->SetAsInteger(40 + checks);
    };
    m.Run("INSERT INTO A (ID) VALUES (:ID);\nINSERT INTO A (ID) VALUES (7);\nINSERT INTO A (ID) VALUES (:ID);\n");
    EXPECT_EQ(2, checks);
    m.CommitAndClose();
    EXPECT_EQ("7,41,42", Ids("ID"));
}

TEST_F(ScriptExecutorTest, PausingFromOnParamCheckKeepsTheStatementForTheResume) {
    ScriptModule m(Db());
    m.Open();
    m.IBScript->OnParamCheck = [&](TIBScript *, bool &pause) { pause = true; };
    m.Run("INSERT INTO A (ID, SEQ) VALUES (1, GEN_ID(G, 1));\n"
          "INSERT INTO A (ID, S, SEQ) VALUES (:ID, :S, GEN_ID(G, 1));\n"
          "INSERT INTO A (ID, SEQ) VALUES (3, GEN_ID(G, 1));\n");
    // The run returned at the pause; the statement waits for its values.
    EXPECT_TRUE(m.IBScript->Paused());
    EXPECT_FALSE(m.IBScript->Executing());
    ASSERT_EQ(2, m.IBScript->Params().Count());
    m.IBScript->ParamByName(u"ID")->SetAsInteger(2);
    m.IBScript->ParamByName(u"S")->SetAsString(u"filled after the pause");
    m.IBScript->OnParamCheck = nullptr;
    m.IBScript->SetPaused(false);
    EXPECT_FALSE(m.IBScript->Paused());
    m.CommitAndClose();
    EXPECT_EQ("1,2,3", Ids());
    EXPECT_EQ("filled after the pause", IsqlValue(Db(), "SELECT S FROM A WHERE ID = 2"));
}

TEST_F(ScriptExecutorTest, AFailingResumedStatementGoesThroughTheErrorHandling) {
    ScriptModule m(Db());
    m.Open();
    m.IBScript->OnParamCheck = [&](TIBScript *, bool &pause) { pause = true; };
    m.Run("INSERT INTO A (ID) VALUES (1);\nINSERT INTO A (ID) VALUES (:ID);\nINSERT INTO A (ID) VALUES (3);\n");
    ASSERT_TRUE(m.IBScript->Paused());
    m.IBScript->ParamByName(u"ID")->SetAsInteger(1);  // duplicate key
    m.IBScript->OnParamCheck = nullptr;
    EXPECT_THROW(m.IBScript->SetPaused(false), EIBError);
    EXPECT_FALSE(m.IBScript->Executing());
    m.CommitAndClose();
    EXPECT_EQ("1", Ids());
}

TEST_F(ScriptExecutorTest, PausingAndResumingInsideAHandlerContinuesTheRun) {
    ScriptModule m(Db());
    m.Open();
    int calls = 0;
    m.IBScript->OnParse = [&](TComponent *, TIBParseKind, const String &) {
        if (++calls != 1) return;
        m.IBScript->SetPaused(true);
        m.IBScript->SetPaused(false);  // the rest runs from here
    };
    m.Run("INSERT INTO A (ID, SEQ) VALUES (1, GEN_ID(G, 1));\nINSERT INTO A (ID, SEQ) VALUES (2, GEN_ID(G, 1));\n"
          "INSERT INTO A (ID, SEQ) VALUES (3, GEN_ID(G, 1));\n");
    EXPECT_EQ(3, calls);
    EXPECT_FALSE(m.IBScript->Executing());
    m.CommitAndClose();
    EXPECT_EQ("1,2,3", Ids());
}

// --- validation ---

TEST_F(ScriptExecutorTest, ValidateScriptExecutesNothingAndFindsInvalidStatements) {
    ScriptModule m(Db());
    m.DB->Open();
    std::vector<TIBParseKind> kinds;
    m.IBScript->OnParse = [&](TComponent *, TIBParseKind kind, const String &) { kinds.push_back(kind); };
    m.IBScript->Script().SetText(u"INSERT INTO A (ID) VALUES (1);\nCREATE TABLE B (X INTEGER);\n"
                                 u"SET TERM ^ ;\nCOMMIT^\n");
    EXPECT_TRUE(m.IBScript->ValidateScript());
    EXPECT_EQ((std::vector<TIBParseKind>{stmtDML, stmtDDL, stmtTERM, stmtCOMMIT}), kinds);
    // The stored terminator does not follow SET TERM during validation.
    EXPECT_EQ(u";", m.IBScript->Terminator());
    EXPECT_FALSE(m.Trans->InTransaction());

    kinds.clear();
    m.IBScript->Script().SetText(u"INSERT INTO A (ID) VALUES (1);\nINSERT_INTO A VALUES (2);\n"
                                 u"INSERT INTO A (ID) VALUES (3);\n");
    EXPECT_FALSE(m.IBScript->ValidateScript());
    EXPECT_EQ(1u, kinds.size());
    m.DB->Close();
    EXPECT_EQ("0", Count());
    EXPECT_FALSE(RelationExists(Db(), "B"));
}

TEST_F(ScriptExecutorTest, ExecutionAfterValidationStartsFromTheOriginalTerminator) {
    ScriptModule m(Db());
    m.Open();
    m.IBScript->Script().SetText(u"SET TERM ^ ;\n"
                                 u"CREATE PROCEDURE P_ONE RETURNS (R INTEGER) AS BEGIN R = 1; SUSPEND; END^\n"
                                 u"INSERT INTO A (ID) VALUES (1)^\n");
    ASSERT_TRUE(m.IBScript->ValidateScript());
    m.IBScript->ExecuteScript();
    m.CommitAndClose();
    EXPECT_EQ("1", Ids());
    EXPECT_EQ("1", IsqlValue(Db(), "SELECT R FROM P_ONE"));
}

}  // namespace
}  // namespace vantrel::test
