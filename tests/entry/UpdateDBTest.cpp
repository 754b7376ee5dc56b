// UpdateDB end to end on real embedded databases, through the shared
// library: what a run leaves in the database and what it returns.
#include <gtest/gtest.h>

#include <filesystem>

#include "entry/EntryLibrary.h"
#include "support/TestSupport.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

class UpdateDB : public EntryTest {
protected:
    void SetUp() override {
        EntryTest::SetUp();
        Db = Dir.File("update.fdb");
        CreateDatabase(Db, 3, "WIN1251");
    }
    // Writes the script and runs it; returns the result text.
    String Run(const std::string &script, bool *nullPointer = nullptr) {
        WriteFile(Dir.File("script.sql"), script);
        return Update(Text(Db), Text(Dir.File("script.sql")), nullPointer);
    }
    std::string Query(const std::string &sql) { return RunIsql(Db, sql); }
    // The text of one value, e.g. Value("COUNT(*)", "T"); "?" when the query
    // fails.
    std::string Value(const std::string &expression, const std::string &from) {
        std::string out = RunIsql(Db, "SELECT '<' || COALESCE(" + expression + ", 'null') || '>' FROM " + from + ";",
                                  false);
        auto a = out.find('<'), b = out.find('>', a == std::string::npos ? 0 : a);
        return a == std::string::npos || b == std::string::npos ? "?" : out.substr(a + 1, b - a - 1);
    }
    std::string Db;
};

}  // namespace

TEST_F(UpdateDB, AScriptOfCommentsOnlySucceedsWithANullString) {
    bool nullPointer = false;
    EXPECT_EQ(Run("\n/* nothing to do */\n\n-- really nothing\n", &nullPointer), u"");
    EXPECT_TRUE(nullPointer) << "success leaves VT_BSTR with a null pointer";
}

TEST_F(UpdateDB, AMissingDatabaseReturnsTheServersMessage) {
    WriteFile(Dir.File("s.sql"), "CREATE TABLE T (ID INTEGER);\n");
    std::string missing = Dir.File("missing.fdb");
    String text = Update(Text(missing), Text(Dir.File("s.sql")));
    EXPECT_EQ(text, U("I/O error during \"open\" operation for file \"" + missing +
                      "\"\r\nError while trying to open file\r\nNo such file or directory"));
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(UpdateDB, DdlAndDmlOfASuccessfulRunAreCommitted) {
    EXPECT_EQ(Run("CREATE TABLE CUSTOMER (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40));\n"
                  "INSERT INTO CUSTOMER VALUES (1, 'Ivanov');\n"
                  "INSERT INTO CUSTOMER VALUES (2, 'Petrov');\n"
                  "UPDATE CUSTOMER SET NAME = 'Sidorov' WHERE ID = 2;\n"),
              u"");
    EXPECT_EQ(Value("LIST(NAME, ',')", "(SELECT NAME FROM CUSTOMER ORDER BY ID)"), "Ivanov,Sidorov");
}

TEST_F(UpdateDB, AFailingThirdStatementUndoesTheDmlButKeepsTheDdl) {
    Query("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY);");
    String text = Run("INSERT INTO T VALUES (1);\n"
                      "CREATE TABLE LOG_ (ID INTEGER);\n"
                      "INSERT INTO T VALUES (1);\n"  // duplicate key
                      "INSERT INTO T VALUES (3);\n");
    EXPECT_NE(text.find(u"violation of PRIMARY or UNIQUE KEY constraint"), String::npos) << N(text);
    EXPECT_EQ(text.find(u"\r\n\r\n"), String::npos);
    EXPECT_NE(text.back(), u'.');
    // T is empty again (the first insert was rolled back); LOG_ exists.
    EXPECT_EQ(Value("COUNT(*)", "T"), "0");
    EXPECT_EQ(Value("COUNT(*)", "LOG_"), "0");
}

TEST_F(UpdateDB, AnInvalidStatementFailsTheRunAndRollsBackWhatRan) {
    Query("CREATE TABLE T (ID INTEGER);");
    EXPECT_EQ(Run("INSERT INTO T VALUES (1);\n"
                  "FROB THIS IS NOT A STATEMENT;\n"
                  "INSERT INTO T VALUES (2);\n"),
              u"Invalid statement at line 2: FROB THIS IS NOT A STATEMENT");
    EXPECT_EQ(Value("COUNT(*)", "T"), "0");
}

TEST_F(UpdateDB, ACommitInTheScriptKeepsWhatCameBeforeAFailure) {
    Query("CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY);");
    String text = Run("INSERT INTO T VALUES (1);\n"
                      "COMMIT;\n"
                      "INSERT INTO T VALUES (2);\n"
                      "INSERT INTO NOPE VALUES (3);\n");
    EXPECT_NE(text.find(u"Table unknown"), String::npos) << N(text);
    EXPECT_EQ(Value("LIST(ID)", "T"), "1");
}

TEST_F(UpdateDB, AScriptThatEndsTheTransactionItselfSucceeds) {
    Query("CREATE TABLE T (ID INTEGER);");
    EXPECT_EQ(Run("INSERT INTO T VALUES (7);\nCOMMIT;\n"), u"");
    EXPECT_EQ(Value("LIST(ID)", "T"), "7");
}

TEST_F(UpdateDB, DmlSeesTablesThatTheSameScriptCreated) {
    // DML runs in the module's transaction, started before the script; the
    // tables created (and committed) by the script's DDL must be usable.
    EXPECT_EQ(Run("INSERT INTO RDB$DATABASE SELECT * FROM RDB$DATABASE WHERE 1 = 0;\n"
                  "CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER);\n"
                  "INSERT INTO VER VALUES (1, 12);\n"),
              u"");
    EXPECT_EQ(Value("VERSION", "VER"), "12");
}

TEST_F(UpdateDB, CyrillicTextReachesTheDatabaseInWin1251) {
    Query("CREATE TABLE NAMES (NAME VARCHAR(20) CHARACTER SET WIN1251);");
    // A UTF-8 script with a byte-order mark.
    EXPECT_EQ(Run("\xEF\xBB\xBFINSERT INTO NAMES VALUES ('Привет');\n"), u"");
    std::string out = RunCommand("printf 'SET NAMES UTF8; CONNECT \"" + Db +
                                 "\" USER SYSDBA PASSWORD x; SELECT NAME, OCTET_LENGTH(NAME) FROM NAMES;' | "
                                 "isql-fb -q -ch UTF8")
                          .Output;
    EXPECT_NE(out.find("Привет"), std::string::npos) << out;
    EXPECT_NE(out.find("6"), std::string::npos) << "six single-byte characters: " << out;
}

TEST_F(UpdateDB, DialectOneDatabasesAreUpdatedToo) {
    std::string db1 = Dir.File("d1.fdb");
    CreateDatabase(db1, 1, "WIN1251");
    WriteFile(Dir.File("d1.sql"), "CREATE TABLE T (D DATE);\nINSERT INTO T VALUES ('2024-01-02 10:11:12');\n");
    EXPECT_EQ(Update(Text(db1), Text(Dir.File("d1.sql"))), u"");
    EXPECT_NE(RunIsql(db1, "SELECT D FROM T;").find("2024"), std::string::npos);
}

TEST_F(UpdateDB, TheCallersArgumentsSurviveAFailedRun) {
    WriteFile(Dir.File("bad.sql"), "INSERT INTO NOPE VALUES (1);\n");
    VARIANT db = Text(Db), script = Text(Dir.File("bad.sql"));
    VARIANT dbBefore = db, scriptBefore = script;
    EXPECT_NE(Update(db, script), u"");
    EXPECT_EQ(std::memcmp(&db, &dbBefore, sizeof db), 0);
    EXPECT_EQ(std::memcmp(&script, &scriptBefore, sizeof script), 0);
    EXPECT_EQ(String(script.u.bstrVal), U(Dir.File("bad.sql")));
}

TEST(UpdateDBProcess, AMissingClientLibraryFailsModuleCreationAndIsRetried) {
    // A fresh process: the client library is loaded once per process.
    TempDir dir;
    WriteFile(dir.File("s.sql"), "-- empty\n");
    std::string db = dir.File("db.fdb");
    CreateDatabase(db);
    std::string cmd = SanitizerEnvironment() + "VANTREL_CLIENT_LIBRARY=/nonexistent/libnothing.so " +
                      EntryHostPath() + " update " + db +
                      " " + dir.File("s.sql") + " update " + db + " " + dir.File("s.sql") +
                      " setenv VANTREL_CLIENT_LIBRARY libfbclient.so.2 update " + db + " " + dir.File("s.sql");
    ProcessResult r = RunCommand(cmd);
    const std::string failure =
        "update 1 Error reading DB.ServerType: InterBase library /nonexistent/libnothing.so not found in the "
        "path. Please install InterBase to use this functionality\n";
    EXPECT_EQ(r.Output, failure + failure + "update 0 <null>\n");
}
