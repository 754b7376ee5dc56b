// TIBSQL against embedded databases: prepare and its guards, parameter
// markers, execute and fetch, rows affected, statement types, cursors and
// the ends of transactions and connections.
#include <gtest/gtest.h>

#include "SQLFixture.h"

namespace vantrel {
namespace {

using test::N;
using test::TScratchDatabase;
using test::U;

const char *kTable =
    "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(20));\n"
    "COMMIT;\n"
    "INSERT INTO T VALUES (1, 'one');\n"
    "INSERT INTO T VALUES (2, 'two');\n"
    "INSERT INTO T VALUES (3, 'three');\n";

class SQLTest : public ::testing::Test {
protected:
    SQLTest() : S(3, "WIN1251", kTable) {}
    int Count(const std::string &where = "1 = 1") {
        auto q = S.Query("SELECT COUNT(*) FROM T WHERE " + where);
        if (!S.Trans->InTransaction()) S.Trans->StartTransaction();
        q->ExecQuery();
        return q->GetFields(0)->AsInteger();
    }
    TScratchDatabase S;
};

// ---------------------------------------------------------------------------
// The existence query of the version readers

TEST_F(SQLTest, ExistenceQueryHasFetchedItsSingleRow) {
    S.Trans->StartTransaction();
    auto q = S.Query("SELECT Count(*) as EXIST FROM rdb$relations WHERE rdb$relation_name = 'VER'");
    q->ExecQuery();
    EXPECT_EQ(q->SQLType(), SQLSelect);
    EXPECT_TRUE(q->Open());
    EXPECT_FALSE(q->Eof());
    EXPECT_FALSE(q->Bof());
    EXPECT_EQ(q->RecordCount(), 1);
    TIBXSQLVAR *exist = q->FieldByName(u"exist");
    EXPECT_EQ(exist->Name(), u"EXIST");
    EXPECT_EQ(exist->AsInteger(), 0);
    EXPECT_EQ(q->Next(), nullptr);
    EXPECT_TRUE(q->Eof());
    EXPECT_EQ(q->Next(), nullptr);
    q->Close();

    S.Exec("CREATE TABLE VER (VERSION INTEGER)");
    S.Trans->Commit();
    S.Trans->StartTransaction();
    q->ExecQuery();
    EXPECT_EQ(q->FieldByName(u"EXIST")->AsInteger(), 1);
}

TEST_F(SQLTest, WithoutGoingToTheFirstRowTheCursorStartsBeforeIt) {
    S.Trans->StartTransaction();
    auto q = S.Query("SELECT ID FROM T ORDER BY ID");
    q->SetGoToFirstRecordOnExecute(false);
    q->ExecQuery();
    EXPECT_TRUE(q->Bof());
    EXPECT_EQ(q->RecordCount(), 0);
    std::vector<int> ids;
    while (TIBXSQLDA *row = q->Next()) ids.push_back((*row)[0].AsInteger());
    EXPECT_EQ(ids, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(q->RecordCount(), 3);
    EXPECT_TRUE(q->Eof());
    q->Close();
    EXPECT_TRUE(q->Eof());
    EXPECT_FALSE(q->Bof());
    EXPECT_EQ(q->RecordCount(), 0);
}

TEST_F(SQLTest, EmptyResultIsEmpty) {
    S.Trans->StartTransaction();
    auto q = S.Query("SELECT ID FROM T WHERE ID < 0");
    q->ExecQuery();
    EXPECT_TRUE(q->Eof());
    EXPECT_TRUE(q->Bof());
    EXPECT_TRUE(q->IsEmpty());
}

// ---------------------------------------------------------------------------
// Parameter markers

TEST_F(SQLTest, NamedMarkerBecomesAQuestionMark) {
    S.Trans->StartTransaction();
    auto q = S.Query("INSERT INTO T (ID, NAME) VALUES (:NEW_ID, 'x')");
    q->Prepare();
    EXPECT_EQ(q->ProcessedSQL().Text(), u"INSERT INTO T (ID, NAME) VALUES (?, 'x')\r\n");
    EXPECT_EQ(q->Params().Count(), 1);
    EXPECT_EQ(q->Params()[0].Name(), u"NEW_ID");
    q->ParamByName(u"new_id")->SetAsInteger(10);
    q->ExecQuery();
    EXPECT_EQ(Count("ID = 10"), 1);
}

TEST_F(SQLTest, RepeatedMarkerIsOneParameterPerPlaceSharingTheValue) {
    S.Trans->StartTransaction();
    auto q = S.Query("INSERT INTO T (ID, NAME) SELECT :x, CAST(:x AS VARCHAR(20)) FROM RDB$DATABASE");
    q->Prepare();
    ASSERT_EQ(q->Params().Count(), 2);
    EXPECT_EQ(q->Params()[0].Name(), u"X");
    EXPECT_EQ(q->Params()[1].Name(), u"X");
    q->ParamByName(u"X")->SetAsInteger(42);
    q->ExecQuery();
    auto r = S.Query("SELECT NAME FROM T WHERE ID = 42");
    r->ExecQuery();
    EXPECT_EQ(r->FieldByName(u"NAME")->AsString(), u"42");
}

TEST_F(SQLTest, UnnamedMarkerNeedsGeneratedNames) {
    S.Trans->StartTransaction();
    auto q = S.Query("SELECT ID FROM T WHERE ID = ? OR ID = ?");
    EXPECT_CLIENT_ERROR(q->Prepare(), 55, "SQL Parse Error:\r\n\r\nParameter name expected");
    EXPECT_FALSE(q->Prepared());
    EXPECT_EQ(q->Handle(), 0u);
    q->SetGenerateParamNames(true);
    q->Prepare();
    ASSERT_EQ(q->Params().Count(), 2);
    EXPECT_EQ(q->Params()[0].Name(), u"VANTRELPARAM0");
    EXPECT_NE(q->Params().FindVar(u"VantrelParam1"), nullptr);
    q->Params()[0].SetAsInteger(2);
    q->Params()[1].SetAsInteger(3);
    q->SetGoToFirstRecordOnExecute(false);
    q->ExecQuery();
    int rows = 0;
    while (q->Next()) ++rows;
    EXPECT_EQ(rows, 2);
}

TEST_F(SQLTest, MarkersInsideStringsAndCommentsAreText) {
    S.Trans->StartTransaction();
    auto q = S.Query("SELECT ':a', 'it''s ?', \"ID\" /* :b ? 'x */ FROM T WHERE ID = :c");
    q->Prepare();
    EXPECT_EQ(q->ProcessedSQL().Text(), u"SELECT ':a', 'it''s ?', \"ID\" /* :b ? 'x */ FROM T WHERE ID = ?\r\n");
    ASSERT_EQ(q->Params().Count(), 1);
    EXPECT_EQ(q->Params()[0].Name(), u"C");
    q->ParamByName(u"C")->SetAsInteger(2);
    q->ExecQuery();
    EXPECT_EQ(q->GetFields(0)->AsString(), u":a");
    EXPECT_EQ(q->GetFields(1)->AsString(), u"it's ?");
}

TEST_F(SQLTest, QuotedMarkerNamesAreStoredWithoutQuotesInUpperCase) {
    S.Trans->StartTransaction();
    auto q = S.Query("SELECT ID FROM T WHERE ID = :\"my id\"+0");
    q->Prepare();
    EXPECT_EQ(q->ProcessedSQL().Text(), u"SELECT ID FROM T WHERE ID = ?+0\r\n");
    ASSERT_EQ(q->Params().Count(), 1);
    EXPECT_EQ(q->Params()[0].Name(), u"MY ID");
    q->ParamByName(u"my id")->SetAsInteger(3);
    q->ExecQuery();
    EXPECT_EQ(q->GetFields(0)->AsInteger(), 3);
    EXPECT_CLIENT_ERROR(q->ParamByName(u"\"my id\""), 46, "Field \"\"my id\"\" not found");
    EXPECT_NE(q->ParamByName(u"\"MY ID\""), nullptr);
}

TEST_F(SQLTest, UnclosedStringsAndCommentsFailTheScan) {
    S.Trans->StartTransaction();
    auto q = S.Query("SELECT 'abc FROM T");
    EXPECT_CLIENT_ERROR(q->Prepare(), 55, "SQL Parse Error:\r\n\r\nEOF in string detected");
    q->SetSQL(U("SELECT 1 FROM T /* no end"));
    EXPECT_CLIENT_ERROR(q->Prepare(), 55, "SQL Parse Error:\r\n\r\nEOF in comment detected");
    // The line break after the last line lets a literal close there.
    q->SetSQL(U("SELECT 'abc' FROM T WHERE NAME = 'one'"));
    q->ExecQuery();
    EXPECT_EQ(q->GetFields(0)->AsString(), u"abc");
}

TEST_F(SQLTest, LineCommentsAndExecuteBlockBodiesHoldNoMarkers) {
    S.Trans->StartTransaction();
    auto q = S.Query("SELECT ID FROM T -- it's :x, a comment\nWHERE ID = :ID");
    q->Prepare();
    ASSERT_EQ(q->Params().Count(), 1);
    EXPECT_EQ(q->Params()[0].Name(), u"ID");
    q->Params()[0].SetAsInteger(1);
    q->ExecQuery();
    EXPECT_EQ(q->GetFields(0)->AsInteger(), 1);

    // The input parameters of an EXECUTE BLOCK take markers; after its AS,
    // ":name" is one of its variables.
    auto b = S.Query("execute block (n integer = :n) returns (r integer) as\n"
                     "declare i integer = 0;\nbegin\n  r = 0; -- as :n says\n"
                     "  while (i < :n) do begin i = i + 1; r = r + :i; end\n  suspend;\nend");
    b->Prepare();
    ASSERT_EQ(b->Params().Count(), 1);
    EXPECT_EQ(b->Params()[0].Name(), u"N");
    b->Params()[0].SetAsInteger(4);
    b->ExecQuery();
    EXPECT_EQ(b->GetFields(0)->AsInteger(), 10);
}

TEST_F(SQLTest, WithoutTheMarkerScanParametersComeFromTheServer) {
    S.Trans->StartTransaction();
    auto q = S.Query("SELECT NAME FROM T WHERE ID = ?");
    q->SetParamCheck(false);
    q->Prepare();
    ASSERT_EQ(q->Params().Count(), 1);
    q->Params()[0].SetAsInteger(3);
    q->ExecQuery();
    EXPECT_EQ(q->GetFields(0)->AsString(), u"three");
}

// ---------------------------------------------------------------------------
// Guards of prepare

TEST_F(SQLTest, EmptyTextIsAnEmptyQuery) {
    S.Trans->StartTransaction();
    auto q = S.Query();
    EXPECT_CLIENT_ERROR(q->Prepare(), 42, "Empty query");
    q->SetSQL(U("  \r\n  "));
    EXPECT_CLIENT_ERROR(q->ExecQuery(), 42, "Empty query");
    q->SetSQL(String(u"\0SELECT 1 FROM RDB$DATABASE", 27));
    EXPECT_CLIENT_ERROR(q->Prepare(), 42, "Empty query");
}

TEST_F(SQLTest, PrepareNeedsAnAssignedActiveTransactionAndNeverStartsOne) {
    TIBSQL q(nullptr);
    q.SetSQL(U("SELECT 1 FROM RDB$DATABASE"));
    EXPECT_CLIENT_ERROR(q.Prepare(), 24, "Database not assigned");
    q.SetDatabase(S.DB.get());
    q.SetTransaction(nullptr);
    q.Base().SetTransaction(nullptr);
    EXPECT_CLIENT_ERROR(q.Prepare(), 25, "Transaction not assigned");
    q.SetTransaction(S.Trans.get());
    EXPECT_CLIENT_ERROR(q.Prepare(), 18, "Transaction is not active");
    EXPECT_FALSE(S.Trans->InTransaction());
    S.DB->Close();
    EXPECT_CLIENT_ERROR(q.Prepare(), 15, "Cannot perform operation -- DB is not open");
}

TEST_F(SQLTest, ReadingParamsStartsAndCommitsTheTransactionAroundThePrepare) {
    auto q = S.Query("SELECT NAME FROM T WHERE ID = :ID");
    ASSERT_FALSE(S.Trans->InTransaction());
    TIBXSQLDA &params = q->Params();
    EXPECT_EQ(params.Count(), 1);
    EXPECT_TRUE(q->Prepared());
    EXPECT_FALSE(S.Trans->InTransaction());
    // The statement stays prepared and runs in the next transaction.
    isc_stmt_handle handle = q->Handle();
    S.Trans->StartTransaction();
    q->ParamByName(u"ID")->SetAsInteger(2);
    q->ExecQuery();
    EXPECT_EQ(q->Handle(), handle);
    EXPECT_EQ(q->GetFields(0)->AsString(), u"two");
}

TEST_F(SQLTest, RefusedStatementTypesLeaveNoHandle) {
    S.Trans->StartTransaction();
    auto q = S.Query("SET TRANSACTION");
    EXPECT_CLIENT_ERROR(q->Prepare(), 5, "Not permitted");
    EXPECT_EQ(q->Handle(), 0u);
    EXPECT_FALSE(q->Prepared());
    EXPECT_EQ(q->SQLType(), SQLStartTransaction);
}

TEST_F(SQLTest, ServerErrorsOfPrepareReleaseTheHandle) {
    S.Trans->StartTransaction();
    auto q = S.Query("SELECT NOPE FROM T");
    try {
        q->Prepare();
        ADD_FAILURE() << "prepare should fail";
    } catch (const EIBInterBaseError &e) {
        EXPECT_EQ(e.SQLCode(), -206);
        EXPECT_NE(std::string(e.what()).find("NOPE"), std::string::npos) << e.what();
    }
    EXPECT_EQ(q->Handle(), 0u);
    EXPECT_FALSE(q->Prepared());
}

// ---------------------------------------------------------------------------
// Statement types and rows affected

TEST_F(SQLTest, StatementTypesComeFromTheServer) {
    S.Trans->StartTransaction();
    struct {
        const char *sql;
        TIBSQLTypes type;
    } cases[] = {
        {"SELECT ID FROM T", SQLSelect},
        {"INSERT INTO T (ID) VALUES (9)", SQLInsert},
        {"UPDATE T SET NAME = NAME", SQLUpdate},
        {"DELETE FROM T WHERE ID < 0", SQLDelete},
        {"CREATE TABLE X1 (A INTEGER)", SQLDDL},
        {"SELECT ID FROM T FOR UPDATE", SQLSelectForUpdate},
        {"SET GENERATOR G1 TO 5", SQLSetGenerator},
        {"COMMIT", SQLCommit},
        {"ROLLBACK", SQLRollback},
        {"SAVEPOINT S1", static_cast<TIBSQLTypes>(14)},
    };
    S.Exec("CREATE GENERATOR G1");
    S.Trans->CommitRetaining();
    for (auto &c : cases) {
        auto q = S.Query(c.sql);
        q->Prepare();
        EXPECT_EQ(q->SQLType(), c.type) << c.sql;
    }
}

TEST_F(SQLTest, RowsAffectedCountsTheChangedRows) {
    S.Trans->StartTransaction();
    auto q = S.Query("UPDATE T SET NAME = 'x'");
    EXPECT_EQ(q->RowsAffected(), -1);
    q->ExecQuery();
    EXPECT_EQ(q->RowsAffected(), 3);
    q->SetSQL(U("DELETE FROM T WHERE ID > 1"));
    q->ExecQuery();
    EXPECT_EQ(q->RowsAffected(), 2);
    q->SetSQL(U("INSERT INTO T (ID) VALUES (7)"));
    q->ExecQuery();
    EXPECT_EQ(q->RowsAffected(), 1);
    q->SetSQL(U("UPDATE T SET NAME = 'y' WHERE ID < 0"));
    q->ExecQuery();
    EXPECT_EQ(q->RowsAffected(), 0);
    q->SetSQL(U("SELECT ID FROM T"));
    q->ExecQuery();
    EXPECT_EQ(q->RowsAffected(), -1);
    q->Close();
    q->SetSQL(U("CREATE TABLE X2 (A INTEGER)"));
    q->ExecQuery();
    EXPECT_EQ(q->RowsAffected(), -1);
}

TEST_F(SQLTest, PlanOfQueriesOnly) {
    S.Trans->StartTransaction();
    auto q = S.Query("SELECT ID FROM T WHERE ID = 1");
    EXPECT_EQ(q->Plan(), u"");
    q->Prepare();
    EXPECT_EQ(q->Plan(), u"PLAN (T INDEX (RDB$PRIMARY1))");
    q->SetSQL(U("INSERT INTO T (ID) VALUES (5)"));
    q->Prepare();
    EXPECT_EQ(q->Plan(), u"");
}

TEST_F(SQLTest, ExecutableProcedureReturnsOneRowWithoutACursor) {
    S.Exec("CREATE PROCEDURE TWICE (A INTEGER) RETURNS (B INTEGER, C VARCHAR(10)) AS\n"
           "BEGIN B = A * 2; C = 'done'; END");
    S.Trans->CommitRetaining();
    auto q = S.Query("EXECUTE PROCEDURE TWICE :A");
    q->Prepare();
    EXPECT_EQ(q->SQLType(), SQLExecProcedure);
    q->ParamByName(u"A")->SetAsInteger(21);
    q->ExecQuery();
    EXPECT_FALSE(q->Open());
    EXPECT_EQ(q->FieldByName(u"B")->AsInteger(), 42);
    EXPECT_EQ(q->FieldByName(u"c")->AsString(), u"done");
}

TEST_F(SQLTest, SelectForUpdateOpensACursor) {
    S.Trans->StartTransaction();
    auto q = S.Query("SELECT ID FROM T ORDER BY ID FOR UPDATE");
    q->ExecQuery();
    EXPECT_EQ(q->SQLType(), SQLSelectForUpdate);
    EXPECT_TRUE(q->Open());
    EXPECT_EQ(q->GetFields(0)->AsInteger(), 1);
    q->Close();
}

// ---------------------------------------------------------------------------
// Columns by name and index

TEST_F(SQLTest, ColumnsByNameAndIndex) {
    S.Trans->StartTransaction();
    auto q = S.Query("SELECT ID, NAME, ID AS ID, 1 + ID FROM T WHERE ID = 1");
    q->ExecQuery();
    EXPECT_EQ(q->FieldCount(), 4);
    EXPECT_EQ(q->Current().Names(), u"ID\r\nNAME\r\nID1\r\nADD\r\n");
    EXPECT_EQ(q->GetFieldIndex(u"name"), 1);
    EXPECT_EQ(q->GetFieldIndex(u"none"), -1);
    EXPECT_EQ(q->FindField(u"none"), nullptr);
    EXPECT_EQ(q->FieldByName(u"Id1")->AsInteger(), 1);
    EXPECT_CLIENT_ERROR(q->FieldByName(u"Nope"), 46, "Field \"Nope\" not found");
    EXPECT_CLIENT_ERROR(q->GetFields(4), 46, "Field \"4\" not found");
    EXPECT_CLIENT_ERROR(q->GetFields(-1), 46, "Field \"-1\" not found");
    EXPECT_EQ(q->UniqueRelationName(), u"T");
}

TEST_F(SQLTest, UntypedNullParameterTakesTheWrittenType) {
    S.Trans->StartTransaction();
    auto q = S.Query("SELECT COUNT(*) FROM T WHERE :P IS NULL OR ID = :P");
    q->Prepare();
    ASSERT_EQ(q->Params().Count(), 2);
    EXPECT_EQ(q->Params()[0].SqlVar().SqlDef(), SQL_NULL);
    EXPECT_TRUE(q->Params()[0].IsNull());
    q->Params()[1].SetIsNull(true);
    q->ExecQuery();
    EXPECT_EQ(q->GetFields(0)->AsInteger(), 3);
    q->Close();
    q->ParamByName(u"P")->SetAsInteger(2);
    q->ExecQuery();
    EXPECT_EQ(q->GetFields(0)->AsInteger(), 1);
}

// ---------------------------------------------------------------------------
// Cursors, transactions and connections

TEST_F(SQLTest, SecondExecuteOfAnOpenQueryFails) {
    S.Trans->StartTransaction();
    auto q = S.Query("SELECT ID FROM T");
    q->ExecQuery();
    EXPECT_CLIENT_ERROR(q->ExecQuery(), 31, "IBSQL Open");
    EXPECT_CLIENT_ERROR(q->Prepare(), 31, "IBSQL Open");
    q->Close();
    EXPECT_CLIENT_ERROR(q->Next(), 32, "IBSQL Closed");
    q->ExecQuery();
    EXPECT_TRUE(q->Open());
}

TEST_F(SQLTest, CommitClosesTheCursorButCommitRetainingDoesNot) {
    S.Trans->StartTransaction();
    auto q = S.Query("SELECT ID FROM T ORDER BY ID");
    q->ExecQuery();
    S.Trans->CommitRetaining();
    EXPECT_TRUE(q->Open());
    ASSERT_NE(q->Next(), nullptr);
    EXPECT_EQ(q->GetFields(0)->AsInteger(), 2);
    S.Trans->Commit();
    EXPECT_FALSE(q->Open());
    EXPECT_TRUE(q->Prepared());
    // The prepared statement outlives its transaction.
    S.Trans->StartTransaction();
    q->ExecQuery();
    EXPECT_EQ(q->GetFields(0)->AsInteger(), 1);
}

TEST_F(SQLTest, ChangingTheTextReleasesTheStatement) {
    S.Trans->StartTransaction();
    int changes = 0;
    auto q = S.Query("SELECT ID FROM T");
    q->OnSQLChanging = [&](TIBSQL *sender) {
        EXPECT_EQ(sender, q.get());
        ++changes;
    };
    q->Prepare();
    q->SetSQL(U("SELECT ID FROM T"));
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(q->Prepared());
    q->SQL().Add(u"WHERE ID = 2");
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(q->Prepared());
    EXPECT_EQ(q->Handle(), 0u);
    q->ExecQuery();
    EXPECT_EQ(q->GetFields(0)->AsInteger(), 2);
}

// A text shared with the statement is scanned, encoded and sent as the
// lines made from it would be.
TEST_F(SQLTest, SharedTextIsPreparedAsItsLines) {
    S.Trans->StartTransaction();
    const String texts[] = {
        u"SELECT NAME FROM T WHERE ID = :A AND NAME <> 'x'",
        u"SELECT NAME FROM T\r\nWHERE ID = 2 -- :x it's\r\n",
        u"SELECT NAME\nFROM T WHERE ID = ?",
        u"SELECT 'a\r\nb' FROM T WHERE ID = :A\r\n\r\n",
        String(u"SELECT NAME FROM T WHERE ID = 2\0 junk", 37),
        u"SELECT 'open FROM T",
        u"  \r\n  ",
    };
    auto outcome = [&](TIBSQL &q) {
        std::string seen;
        try {
            q.SetGenerateParamNames(true);
            q.Prepare();
            seen = N(q.ProcessedSQL().Text()) + "|";
            for (int i = 0; i < q.Params().Count(); ++i) {
                seen += N(q.Params()[i].Name()) + ",";
                q.Params()[i].SetAsInteger(2);
            }
            q.ExecQuery();
            seen += "|" + N(q.GetFields(0)->AsString());
            q.Close();
        } catch (const Exception &e) {
            seen = "error: " + N(e.Message());
        }
        return seen + "|" + N(q.SQL().Text());
    };
    for (const String &text : texts) {
        SCOPED_TRACE(N(text));
        auto lines = S.Query();
        lines->SetSQL(StringView(text));
        auto shared = S.Query();
        shared->SetSQL(std::make_shared<const String>(text));
        EXPECT_EQ(outcome(*shared), outcome(*lines));
    }
}

TEST_F(SQLTest, SharedTextChangesLikeLines) {
    S.Trans->StartTransaction();
    int changes = 0;
    String before;
    auto q = S.Query();
    q->OnSQLChanging = [&](TIBSQL *) {
        ++changes;
        before = q->SQL().Text();
    };
    const auto text = std::make_shared<const String>(u"SELECT ID FROM T\r\nWHERE ID = 2");
    q->SetSQL(text);
    EXPECT_EQ(changes, 1);
    q->Prepare();
    // The same text, shared or as lines, keeps the statement prepared.
    q->SetSQL(std::make_shared<const String>(*text));
    q->SetSQL(U("SELECT ID FROM T\nWHERE ID = 2"));
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(q->Prepared());
    // Reading the lines changes nothing; editing them does.
    EXPECT_EQ(q->SQL().Count(), 2);
    EXPECT_TRUE(q->Prepared());
    q->SQL().Put(1, u"WHERE ID = 3");
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(q->Prepared());
    q->ExecQuery();
    EXPECT_EQ(q->GetFields(0)->AsInteger(), 3);
    q->Close();
    // A handler of the change sees the text being replaced.
    q->SetSQL(std::make_shared<const String>(u"SELECT ID FROM T WHERE ID = 1"));
    q->SetSQL(U("SELECT ID FROM T WHERE ID = 2"));
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(before, u"SELECT ID FROM T WHERE ID = 1\r\n");

    // A procedure's source is stored as sent: the same from either form.
    const String body = u" AS\r\nDECLARE X INTEGER;\r\nBEGIN\r\n  X = 1;\r\nEND";
    q->SetSQL(std::make_shared<const String>(u"CREATE PROCEDURE P_SHARED" + body));
    q->ExecQuery();
    q->SetSQL(StringView(u"CREATE PROCEDURE P_LINES" + body));
    q->ExecQuery();
    q->SetSQL(U("SELECT RDB$PROCEDURE_SOURCE FROM RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME STARTING 'P_' "
                "ORDER BY RDB$PROCEDURE_NAME"));
    q->ExecQuery();
    const String lines = q->GetFields(0)->AsString();
    q->Next();
    EXPECT_EQ(q->GetFields(0)->AsString(), lines);
    EXPECT_EQ(lines, u"DECLARE X INTEGER;\r\nBEGIN\r\n  X = 1;\r\nEND");
}

TEST_F(SQLTest, AnotherTransactionReleasesThePreparedStatement) {
    S.Trans->StartTransaction();
    auto q = S.Query("SELECT ID FROM T");
    q->Prepare();
    TIBTransaction other(nullptr);
    other.SetDefaultDatabase(S.DB.get());
    q->SetTransaction(&other);
    EXPECT_FALSE(q->Prepared());
    EXPECT_EQ(q->Transaction(), &other);
    q->SetTransaction(S.Trans.get());
}

TEST_F(SQLTest, DisconnectReleasesTheStatementAndReconnectPreparesAgain) {
    S.Trans->StartTransaction();
    auto q = S.Query("SELECT ID FROM T ORDER BY ID");
    q->ExecQuery();
    S.DB->Close();
    EXPECT_FALSE(q->Open());
    EXPECT_FALSE(q->Prepared());
    EXPECT_EQ(q->Handle(), 0u);
    S.DB->Open();
    S.Trans->StartTransaction();
    q->ExecQuery();
    EXPECT_EQ(q->GetFields(0)->AsInteger(), 1);
}

TEST_F(SQLTest, AFailedFetchClosesTheCursor) {
    S.Trans->StartTransaction();
    auto q = S.Query("SELECT 10 / (ID - 2) FROM T ORDER BY ID");
    q->ExecQuery();
    EXPECT_EQ(q->GetFields(0)->AsInteger(), -10);
    EXPECT_THROW(q->Next(), EIBInterBaseError);
    EXPECT_FALSE(q->Open());
    EXPECT_TRUE(q->Eof());
}

TEST_F(SQLTest, OwnersSetTheLinks) {
    TIBSQL *byDb = new TIBSQL(S.DB.get());
    EXPECT_EQ(byDb->Database(), S.DB.get());
    EXPECT_EQ(byDb->Transaction(), S.DB->DefaultTransaction() ? S.DB->DefaultTransaction() : S.Trans.get());
    TIBSQL *byTr = new TIBSQL(S.Trans.get());
    EXPECT_EQ(byTr->Transaction(), S.Trans.get());
    EXPECT_EQ(byTr->Database(), S.DB.get());
    S.Trans->StartTransaction();
    byTr->SetSQL(U("SELECT COUNT(*) FROM T"));
    byTr->ExecQuery();
    EXPECT_EQ(byTr->GetFields(0)->AsInteger(), 3);
    // The owners free them.
}

TEST_F(SQLTest, StatementWithoutTransactionReportsServerErrorsThroughItsDatabase) {
    auto q = S.Query();
    q->SetTransaction(nullptr);
    q->Base().SetTransaction(nullptr);
    EXPECT_EQ(q->Call(0, true), 0);
}

}  // namespace
}  // namespace vantrel
