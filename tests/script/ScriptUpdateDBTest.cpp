// The script executor on the road of the exported UpdateDB: the executor's
// decisions as the caller of the library sees them.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "ScriptFixture.h"
#include "platform/Files.h"
#include "vantrel/vantrel.h"

namespace vantrel::test {
namespace {

VARIANT Text(const std::string &utf8) {
    const String text = Utf8ToString(utf8);
    VARIANT v;
    VantrelVariantInit(&v);
    v.vt = VT_BSTR;
    v.u.bstrVal = VantrelSysAllocStringLen(reinterpret_cast<const VANTREL_WCHAR *>(text.data()),
                                         static_cast<uint32_t>(text.size()));
    return v;
}

class ScriptUpdateDBTest : public ScriptDatabaseTest {
protected:
    // Runs UpdateDB on the test database with the script; the result text.
    std::string Update(const std::string &script) {
        const std::string file = Dir.File("update.sql");
        WriteFile(file, script);
        VARIANT db = Text(Db()), path = Text(file), result;
        VantrelVariantInit(&result);
        UpdateDB(db, path, &result);
        std::string text;
        if (result.vt == VT_BSTR && result.u.bstrVal)
            text = N(String(reinterpret_cast<const char16_t *>(result.u.bstrVal), VantrelSysStringLen(result.u.bstrVal)));
        VantrelVariantClear(&result);
        VantrelVariantClear(&db);
        VantrelVariantClear(&path);
        return text;
    }
};

TEST_F(ScriptUpdateDBTest, AFailedRunOnTheScriptsOwnConnectionRollsBackWhatRanAfterTheLastConnect) {
    const std::string other = Dir.File("other.fdb");
    CreateDatabase(other, 3, "WIN1251");
    Isql(other, "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY);");
    const std::string connect = "CONNECT '" + other + "' USER 'SYSDBA' PASSWORD '" + kPassword + "';\n";
    const std::string text =
        Update(connect + "INSERT INTO T VALUES (1);\nINSERT INTO T VALUES (2);\nINSERT INTO T VALUES (1);\n");
    EXPECT_NE(std::string::npos, text.find("PRIMARY or UNIQUE KEY")) << text;
    // The module is gone; its script's own transaction was rolled back
    // rather than committed by its default action.
    EXPECT_EQ("0", IsqlValue(other, "SELECT COUNT(*) FROM T"));

    // A second CONNECT ends the own transaction by commit first.
    EXPECT_NE("", Update(connect + "INSERT INTO T VALUES (1);\n" + connect + "INSERT INTO T VALUES (2);\n" +
                         "INSERT INTO T VALUES (2);\n"));
    EXPECT_EQ("1", IsqlValue(other, "SELECT CAST(LIST(ID) AS VARCHAR(100)) FROM T"));
}

TEST_F(ScriptUpdateDBTest, ASuccessfulRunOnTheScriptsOwnConnectionIsCommittedWhenTheModuleGoes) {
    const std::string other = Dir.File("other.fdb");
    CreateDatabase(other, 3, "WIN1251");
    Isql(other, "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY);");
    EXPECT_EQ("", Update("CONNECT '" + other + "' USER 'SYSDBA' PASSWORD '" + kPassword + "';\nINSERT INTO T VALUES (1);\n"));
    EXPECT_EQ("1", IsqlValue(other, "SELECT COUNT(*) FROM T"));
}

TEST_F(ScriptUpdateDBTest, ARefusedBatchIsTheResultText) {
    Isql(Db(), "CREATE TABLE T (ID INTEGER);");
    EXPECT_EQ("isc_dsql_batch_execute_immed is an InterBase 2007 function. Please upgrade to InterBase 2007 to use "
              "this functonality",
              Update("INSERT INTO T VALUES (1);\nBATCH START;\nINSERT INTO T VALUES (2);\nBATCH EXECUTE;\n"));
    EXPECT_EQ("0", IsqlValue(Db(), "SELECT COUNT(*) FROM T"));
}

TEST_F(ScriptUpdateDBTest, SavepointsWorkThroughTheUpdateRoad) {
    Isql(Db(), "CREATE TABLE T (ID INTEGER);");
    EXPECT_EQ("", Update("INSERT INTO T VALUES (1);\nSAVEPOINT A;\nINSERT INTO T VALUES (2);\n"
                         "ROLLBACK TO SAVEPOINT A;\nRELEASE SAVEPOINT A;\nINSERT INTO T VALUES (3);\n"));
    EXPECT_EQ("4", IsqlValue(Db(), "SELECT SUM(ID) FROM T"));
}

TEST_F(ScriptUpdateDBTest, TheFirstRealisticUpdateScriptGivesVersionOne) {
    const std::vector<uint8_t> bytes = ReadWholeFile(Utf8ToString(TestDataPath("update/01_base_schema.sql")));
    EXPECT_EQ("", Update(std::string(bytes.begin(), bytes.end())));
    EXPECT_EQ("1", IsqlValue(Db(), "SELECT VERSION FROM VER"));
    EXPECT_EQ("4", IsqlValue(Db(), "SELECT COUNT(*) FROM CLIENT"));
}

// "--" comments inside statements: a terminator, quote or colon in them
// changes nothing; the local variables of an EXECUTE BLOCK are no parameters.
TEST_F(ScriptUpdateDBTest, CommentsInsideStatementsAreComments) {
    Isql(Db(), "CREATE TABLE T (A INTEGER, B INTEGER); INSERT INTO T VALUES (1, 0); INSERT INTO T VALUES (2, 0);");
    EXPECT_EQ("", Update("update t set b = 5 -- only row 1; careful\nwhere a = 1;\n"
                         "insert into t -- it's :new, really\nvalues (3, 0);\n"
                         "set term ^ ;\nexecute block as\ndeclare i integer = 0;\nbegin\n"
                         "  while (i < 4) do begin i = i + 1; update t set b = b + :i where a = 2; end\nend^\n"));
    EXPECT_EQ("1:5,2:10,3:0", IsqlValue(Db(), "SELECT CAST(LIST(A || ':' || B) AS VARCHAR(100)) FROM (SELECT A, B FROM T ORDER BY A)"));
}

// Statements Firebird runs are run; isql's session commands change nothing;
// EXIT ends the script.
TEST_F(ScriptUpdateDBTest, StatementsThatIsqlRunsAreRunOrSkippedAsIsqlDoes) {
    Isql(Db(), "CREATE TABLE T (A INTEGER); CREATE TABLE R (X INTEGER);");
    EXPECT_EQ("", Update("SET ECHO ON;\nSET BAIL ON;\nSET LIST ON;\nSHOW TABLES;\n"
                         "COMMENT ON TABLE T IS 'numbers';\nRECREATE TABLE R (X INTEGER, Y INTEGER);\n"
                         "MERGE INTO T USING RDB$DATABASE ON T.A = 1 WHEN NOT MATCHED THEN INSERT (A) VALUES (1);\n"
                         "--nospace comment; with 'a quote\nINSERT\tINTO T VALUES (2);\ncommit work ;\n"
                         "INSERT INTO R (X, Y) VALUES (3, 4);\nEXIT;\nNO STATEMENT AT ALL;\n"));
    EXPECT_EQ("1,2", IsqlValue(Db(), "SELECT CAST(LIST(A) AS VARCHAR(100)) FROM (SELECT A FROM T ORDER BY A)"));
    EXPECT_EQ("numbers", IsqlValue(Db(), "SELECT CAST(RDB$DESCRIPTION AS VARCHAR(100)) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'T'"));
    EXPECT_EQ("7", IsqlValue(Db(), "SELECT X + Y FROM R"));
}

// A statement that cannot be read, an unclosed comment and an unreadable
// INPUT file fail the update: the text says what and where, and nothing of
// the script's DML stays.
TEST_F(ScriptUpdateDBTest, AStatementThatCannotBeReadFailsTheUpdate) {
    Isql(Db(), "CREATE TABLE T (A INTEGER);");
    WriteFile(Dir.File("inc.sql"), "INSERT INTO T VALUES (2);\n\nFROB\n  X;\n");
    const std::string start = "INSERT INTO T VALUES (1);\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {start + "\nQUIT NOW;\nINSERT INTO T VALUES (3);\n", "Invalid statement at line 3: QUIT NOW"},
        {start + "/* never\nclosed\n", "Invalid Comment at line 2: /* never"},
        {start + "INPUT 'missing.sql';\n",
         "Cannot open file \"" + Dir.File("missing.sql") + "\". No such file or directory at line 2: INPUT 'missing.sql'"},
        {start + "INPUT 'inc.sql';\nINSERT INTO T VALUES (3);\n",
         "Invalid statement in \"" + Dir.File("inc.sql") + "\" at line 3: FROB ..."},
    };
    for (const auto &[script, error] : cases) {
        SCOPED_TRACE(script);
        EXPECT_EQ(error, Update(script));
        EXPECT_EQ("0", IsqlValue(Db(), "SELECT COUNT(*) FROM T"));
    }
}

// Nothing supplies a value to a parameter marker of an update script: the
// update fails there, with the statement's line, instead of sending an
// empty value (which deleted every row, or wrote 0 as the version).
TEST_F(ScriptUpdateDBTest, AParameterMarkerFailsTheUpdateWithItsLine) {
    Isql(Db(), "CREATE TABLE T (ID INTEGER); INSERT INTO T VALUES (1); INSERT INTO T VALUES (2);\n"
               "CREATE TABLE VER (VERSION INTEGER); INSERT INTO VER VALUES (3);");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"DELETE FROM T WHERE ID <> :KEEP;\n",
         "Parameter marker :KEEP has no value in a script at line 1: DELETE FROM T WHERE ID <> :KEEP"},
        {"INSERT INTO T VALUES (5);\nUPDATE VER SET VERSION = :X;\n",
         "Parameter marker :X has no value in a script at line 2: UPDATE VER SET VERSION = :X"},
        {"INSERT INTO T VALUES (5);\n\nDELETE FROM T\n WHERE ID = ?;\n",
         "Parameter marker ? has no value in a script at line 3: DELETE FROM T ..."},
    };
    for (const auto &[script, error] : cases) {
        SCOPED_TRACE(script);
        EXPECT_EQ(error, Update(script));
        EXPECT_EQ("2", IsqlValue(Db(), "SELECT COUNT(*) FROM T"));
        EXPECT_EQ("3", IsqlValue(Db(), "SELECT VERSION FROM VER"));
    }
}

// A NUL byte ends nothing silently: the file cannot be read, and nothing of
// it runs.
TEST_F(ScriptUpdateDBTest, ANulByteFailsTheUpdateBeforeAnythingRuns) {
    Isql(Db(), "CREATE TABLE T (ID INTEGER);");
    std::string script = "CREATE TABLE N (ID INTEGER);\nINSERT INTO T VALUES (1);\n";
    script.push_back('\0');
    script += "\nINSERT INTO T VALUES (2);\n";
    EXPECT_EQ("Cannot read file \"" + Dir.File("update.sql") + "\". Line 3 holds a NUL character (U+0000)",
              Update(script));
    EXPECT_FALSE(RelationExists(Db(), "N"));
    EXPECT_EQ("0", IsqlValue(Db(), "SELECT COUNT(*) FROM T"));
}

// The end of the file inside a string, a comment, or a statement that SET
// TERM left without its terminator: the statement is not sent.
TEST_F(ScriptUpdateDBTest, AFileEndingInsideAStatementFailsWithItsLine) {
    Isql(Db(), "CREATE TABLE Q1 (ID INTEGER, S VARCHAR(10));");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"INSERT INTO Q1 VALUES (1, 'a');\nINSERT INTO Q1 VALUES (2, 'it''s);\n",
         "EOF in string detected at line 2: INSERT INTO Q1 VALUES (2, 'it''s);"},
        {"INSERT INTO Q1 VALUES (1, 'a');\nINSERT INTO Q1 /* the rest\nVALUES (2, 'b');\n",
         "EOF in comment detected at line 2: INSERT INTO Q1 /* the rest ..."},
        {"INSERT INTO Q1 VALUES (1, 'a');\nSET TERM ^ ;\nINSERT INTO Q1 VALUES (2, 'b');\n",
         "End of file before the terminator \"^\" at line 3: INSERT INTO Q1 VALUES (2, 'b');"},
    };
    for (const auto &[script, error] : cases) {
        SCOPED_TRACE(script);
        EXPECT_EQ(error, Update(script));
        EXPECT_EQ("0", IsqlValue(Db(), "SELECT COUNT(*) FROM Q1"));
    }
}

// The session statements of Firebird 4 and 5 go to the server as statements:
// Firebird 4 runs its own (and the update goes on), Firebird 3 refuses them
// and its own text is the result.
TEST_F(ScriptUpdateDBTest, Firebird4And5SessionStatementsReachTheServer) {
    Isql(Db(), "CREATE TABLE T (ID INTEGER);");
    const bool firebird4 = InstalledFirebirdMajor() >= 4;
    const std::string unknownBefore4 = firebird4 ? "" : "Token unknown";
    struct Case {
        std::string Statement, Server;  // Server: empty when it runs
    };
    const std::vector<Case> cases = {
        {"SET TIME ZONE 'Europe/Moscow'", unknownBefore4},
        {"SET BIND OF DECFLOAT TO LEGACY", unknownBefore4},
        {"SET DECFLOAT ROUND CEILING", unknownBefore4},
        {"SET STATEMENT TIMEOUT 10", unknownBefore4},
        {"SET SESSION IDLE TIMEOUT 10 MINUTE", unknownBefore4},
        {"SET OPTIMIZE FOR FIRST ROWS", "Token unknown"},  // Firebird 5's
        // Firebird 3 has these two, and finds no such role.
        {"SET ROLE NOBODY", "Role NOBODY is invalid or unavailable"},
        {"SET TRUSTED ROLE", "Your attachment has no trusted role"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Statement);
        const std::string text = Update("INSERT INTO T VALUES (1);\n" + c.Statement + ";\nINSERT INTO T VALUES (2);\n");
        if (c.Server.empty()) {
            EXPECT_EQ("", text);
            EXPECT_EQ("2", IsqlValue(Db(), "SELECT COUNT(*) FROM T"));
            Isql(Db(), "DELETE FROM T;");
        } else {
            EXPECT_NE(std::string::npos, text.find(c.Server)) << text;
            EXPECT_EQ(std::string::npos, text.find("at line")) << "a server's text: " << text;
            EXPECT_EQ("0", IsqlValue(Db(), "SELECT COUNT(*) FROM T"));
        }
    }
}

// SET TRANSACTION starts the script's transaction as it says: NO WAIT (or a
// lock timeout) fails at a locked row instead of waiting for its holder.
TEST_F(ScriptUpdateDBTest, SetTransactionOptionsReachTheServer) {
    Isql(Db(), "CREATE TABLE T (ID INTEGER, N INTEGER); INSERT INTO T VALUES (1, 0);");
    for (const std::string options : {"NO WAIT", "WAIT LOCK TIMEOUT 1"}) {
        SCOPED_TRACE(options);
        // Another attachment holds the row. It lets go after a while, so
        // that a script that waited would end, and succeed.
        ScriptModule holder(Db());
        holder.Open();
        holder.DB->ExecuteImmediate(u"UPDATE T SET N = N + 100", holder.Trans);
        std::mutex mutex;
        std::condition_variable done;
        bool updated = false;
        std::thread release([&] {
            std::unique_lock<std::mutex> lock(mutex);
            done.wait_for(lock, std::chrono::seconds(10), [&] { return updated; });
            holder.Trans->Rollback();
        });
        const std::string text = Update("SET TRANSACTION " + options + ";\nUPDATE T SET N = N + 1;\n");
        {
            std::lock_guard<std::mutex> lock(mutex);
            updated = true;
        }
        done.notify_one();
        release.join();
        holder.CommitAndClose();
        EXPECT_NE(std::string::npos, text.find("conflict")) << text;
        EXPECT_EQ("0", IsqlValue(Db(), "SELECT N FROM T"));
    }
}

// COMMIT [WORK] RETAINING is InterBase's spelling of Firebird's RETAIN: the
// transaction stays, with its options (a read-only one refuses the update).
TEST_F(ScriptUpdateDBTest, RetainingKeepsTheTransactionInEverySpelling) {
    Isql(Db(), "CREATE TABLE T (ID INTEGER);");
    for (const char *end : {"COMMIT RETAINING", "COMMIT WORK RETAINING", "commit work retain", "ROLLBACK RETAINING",
                            "ROLLBACK WORK RETAIN"}) {
        SCOPED_TRACE(end);
        const std::string text = Update("SET TRANSACTION READ ONLY;\n" + std::string(end) +
                                        ";\nINSERT INTO T VALUES (1);\n");
        EXPECT_EQ("attempted update during read-only transaction", text);
    }
    EXPECT_EQ("", Update("SET TRANSACTION READ ONLY;\nCOMMIT WORK;\nINSERT INTO T VALUES (1);\n"));
    EXPECT_EQ("1", IsqlValue(Db(), "SELECT COUNT(*) FROM T"));
}

// A failing statement's result text is the server's own, without a location.
TEST_F(ScriptUpdateDBTest, AServersErrorTextIsReturnedAsItIs) {
    const std::string text = Update("CREATE TABLE T (A INTEGER);\nINSERT INTO T VALUES (1);\nINSERT INTO NOPE VALUES (1);\n");
    EXPECT_EQ(0u, text.find("Dynamic SQL Error")) << text;
    EXPECT_EQ(std::string::npos, text.find("INSERT INTO")) << text;
    EXPECT_EQ("0", IsqlValue(Db(), "SELECT COUNT(*) FROM T"));
}

// An INPUT inside an included file runs that file, then the rest of the
// including one; relative names start from the including file's folder.
TEST_F(ScriptUpdateDBTest, IncludedFilesNest) {
    Isql(Db(), "CREATE TABLE T (A INTEGER, N INTEGER GENERATED BY DEFAULT AS IDENTITY);");
    std::filesystem::create_directory(Dir.File("sub"));
    WriteFile(Dir.File("sub/a.sql"), "INSERT INTO T (A) VALUES (2);\nINPUT b.sql;\nINSERT INTO T (A) VALUES (4);\n");
    WriteFile(Dir.File("sub/b.sql"), "INSERT INTO T (A) VALUES (3);\n");
    EXPECT_EQ("", Update("INSERT INTO T (A) VALUES (1);\nINPUT 'sub/a.sql';\nINSERT INTO T (A) VALUES (5);\n"));
    EXPECT_EQ("1,2,3,4,5", IsqlValue(Db(), "SELECT CAST(LIST(A) AS VARCHAR(100)) FROM (SELECT A FROM T ORDER BY N)"));
}

}  // namespace
}  // namespace vantrel::test
