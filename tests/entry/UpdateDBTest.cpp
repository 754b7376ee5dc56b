// UpdateDB end to end on real embedded databases, through the shared
// library: what a run leaves in the database and what it returns.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

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

TEST_F(UpdateDB, AWindows1251ScriptWithoutMarkStoresItsCyrillicText) {
    // The module's connection is WIN1251 whatever the database's own
    // character set.
    for (const char *charset : {"WIN1251", "UTF8"}) {
        SCOPED_TRACE(charset);
        std::string db = Dir.File(std::string(charset) + ".fdb");
        CreateDatabase(db, 3, charset);
        WriteFile(Dir.File("cp1251.sql"), "CREATE TABLE NAMES (NAME VARCHAR(20));\r\n"
                                           "INSERT INTO NAMES VALUES ('\xCF\xF0\xE8\xE2\xE5\xF2');\r\n");
        EXPECT_EQ(Update(Text(db), Text(Dir.File("cp1251.sql"))), u"");
        std::string out = RunCommand("printf 'SET NAMES UTF8; CONNECT \"" + db +
                                     "\" USER SYSDBA PASSWORD x; SELECT CHAR_LENGTH(NAME), NAME FROM NAMES;' | "
                                     "isql-fb -q -ch UTF8")
                              .Output;
        EXPECT_NE(out.find("6 Привет"), std::string::npos) << out;
    }
}

TEST_F(UpdateDB, AnUndecodableScriptFailsTheUpdateWithFileAndLine) {
    Query("CREATE TABLE T (ID INTEGER);");
    const struct {
        std::string Bytes;
        std::string Holds;
    } cases[] = {
        {"\xEF\xBB\xBFINSERT INTO T VALUES (1);\n-- \xE6\n", "Line 2 holds byte 0xE6, which UTF-8 cannot decode"},
        {std::string("\xFF\xFE" "1\0;\0\r\0\n\0\r\0\n\0-\0-\0 \0\x3D\xD8\n\0", 24),
         "Line 3 holds an unpaired surrogate (U+D83D)"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Run(c.Bytes), U("Cannot read file \"" + Dir.File("script.sql") + "\". " + c.Holds));
        EXPECT_EQ(Value("COUNT(*)", "T"), "0") << "nothing of the script ran";
    }
}

TEST_F(UpdateDB, CharactersThatWin1251LacksFailTheUpdateInsteadOfBecomingQuestionMarks) {
    Query("CREATE TABLE NAMES (NAME VARCHAR(20) CHARACTER SET UTF8);");
    const struct {
        const char *Text;
        const char *Named;
    } cases[] = {{"中文", "U+4E2D"}, {"ok 😀", "U+1F600"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Named);
        EXPECT_EQ(Run(std::string("INSERT INTO NAMES VALUES ('Привет');\nINSERT INTO NAMES VALUES ('") + c.Text +
                      "');\n"),
                  U(std::string("Character ") + c.Named +
                    " cannot be represented in character set WIN1251 (code page 1251)"));
        EXPECT_EQ(Value("COUNT(*)", "NAMES"), "0") << "the run was rolled back";
    }
}

TEST_F(UpdateDB, AFailingStatementReturnsItsCyrillicTableNameIntact) {
    for (const char *charset : {"WIN1251", "UTF8"}) {
        SCOPED_TRACE(charset);
        std::string db = Dir.File(std::string("names-") + charset + ".fdb");
        CreateDatabase(db, 3, charset);
        WriteFile(Dir.File("s.sql"), "INSERT INTO \"ТАБЛИЦА\" VALUES (1);\n");
        EXPECT_EQ(Update(Text(db), Text(Dir.File("s.sql"))),
                  U("Dynamic SQL Error\r\nSQL error code = -204\r\nTable unknown\r\nТАБЛИЦА\r\n"
                    "At line 1, column 13"));
    }
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

TEST(UpdateDBProcess, AClientLibraryThatCannotBeLoadedIsReportedWithTheLoadersReason) {
    // Files that exist but are no library for this machine: the reason is
    // the loader's, not "not found in the path".
    TempDir dir;
    WriteFile(dir.File("s.sql"), "-- empty\n");
    WriteFile(dir.File("libtext.so"), "not a library\n");
    WriteFile(dir.File("lib32.so"), std::string("\x7f" "ELF\x01\x01\x01", 7) + std::string(57, '\0'));
    for (const char *name : {"libtext.so", "lib32.so"}) {
        std::string library = dir.File(name);
        ASSERT_EQ(dlopen(library.c_str(), RTLD_NOW), nullptr);
        std::string reason = dlerror();
        ProcessResult r = RunCommand(SanitizerEnvironment() + "VANTREL_CLIENT_LIBRARY=" + library + " " +
                                     EntryHostPath() + " update " + dir.File("db.fdb") + " " + dir.File("s.sql"));
        EXPECT_EQ(r.Output, "update 1 Error reading DB.ServerType: InterBase library " + library +
                                " cannot be loaded: " + reason + "\n");
    }
}

// Only regular files, or links to one, are read: a FIFO would block the
// call for ever with the database attached, and a device may never end.
TEST_F(UpdateDB, ScriptsAndIncludedFilesThatAreNotRegularFilesAreRefused) {
    const std::string fifo = Dir.File("pipe.sql");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Should a reader block on the FIFO, a writer that comes and goes lets
    // it go on: the expectations then fail instead of the test hanging.
    std::atomic<bool> done{false};
    std::thread unblocker([&] {
        for (int i = 0; i < 600 && !done; ++i) {
            int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    Query("CREATE TABLE A (ID INTEGER);");
    for (const std::string &special : {fifo, std::string("/dev/zero")}) {
        // The script itself is refused before any database is attached (this
        // one does not even exist).
        EXPECT_EQ(Update(Text(Dir.File("none.fdb")), Text(special)),
                  U("Cannot open file \"" + special + "\". Not a regular file"));
        // An included one fails the run there, as a file that cannot be read,
        // and nothing of the script stays.
        EXPECT_EQ(Run("INSERT INTO A VALUES (1);\nINPUT '" + special + "';\nINSERT INTO A VALUES (2);\n"),
                  U("Cannot open file \"" + special + "\". Not a regular file at line 2: INPUT '" + special + "'"));
    }
    done = true;
    unblocker.join();
    EXPECT_EQ(Value("COUNT(*)", "A"), "0");

    WriteFile(Dir.File("real.sql"), "INSERT INTO A VALUES (3);\n");
    std::filesystem::create_symlink(Dir.File("real.sql"), Dir.File("link.sql"));
    EXPECT_EQ(Update(Text(Db), Text(Dir.File("link.sql"))), u"");
    EXPECT_EQ(Value("SUM(ID)", "A"), "3");
}

// A name is never cut at a NUL character: what it would then name is not
// what the caller named.
TEST_F(UpdateDB, NamesHoldingANulCharacterAreRefused) {
    WriteFile(Dir.File("s.sql"), "CREATE TABLE T (ID INTEGER);\n");
    const std::string nul(1, '\0');
    EXPECT_EQ(Update(Text(Db + nul + Dir.File("other.fdb")), Text(Dir.File("s.sql"))),
              u"Database name contains a NUL character");
    EXPECT_EQ(Update(Text(Db), Text(Dir.File("s.sql") + nul + "more")), u"File name contains a NUL character");
    EXPECT_EQ(Value("COUNT(*)", "RDB$RELATIONS WHERE RDB$RELATION_NAME = 'T'"), "0");

    VARIANT error;
    int32_t version = -1;
    EXPECT_EQ(L().CheckDBVersionEx(Text(Db + nul + "x"), &version, &error), 1);
    EXPECT_EQ(ResultText(error), u"Database name contains a NUL character");
    L().VariantClear(&error);
}
