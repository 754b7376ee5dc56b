// The vantrel command-line host, run as a user runs it.
#include <gtest/gtest.h>

#include "support/TestSupport.h"

using namespace vantrel::test;

namespace {

ProcessResult Vantrel(const std::string &args) { return RunCommand(SanitizerEnvironment() + CliPath() + " " + args); }

}  // namespace

TEST(Cli, WithoutArgumentsPrintsUsageAndFails) {
    ProcessResult r = Vantrel("");
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Output.find("usage: vantrel check SCRIPT"), std::string::npos) << r.Output;
    EXPECT_EQ(Vantrel("frobnicate x").ExitCode, 1);
    EXPECT_EQ(Vantrel("--help").ExitCode, 0);
}

TEST(Cli, CheckListsStatementsWithKindAndLine) {
    TempDir dir;
    WriteFile(dir.File("s.sql"), "/* header */\nCREATE TABLE T (ID INTEGER);\n\nINSERT INTO T VALUES (1);\nCOMMIT;\n");
    ProcessResult r = Vantrel("check " + dir.File("s.sql"));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_NE(r.Output.find("     1  DDL                    CREATE TABLE T (ID INTEGER)"), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("     4  DML                    INSERT INTO T VALUES (1)"), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("COMMIT"), std::string::npos);
    EXPECT_NE(r.Output.find("3 statement(s)"), std::string::npos) << r.Output;
}

TEST(Cli, CheckStopsAtAParseErrorWithTheTextAnUpdateFailsWith) {
    TempDir dir;
    WriteFile(dir.File("bad.sql"), "INSERT INTO T VALUES (1);\n\nINPUT inc.sql;\nINSERT INTO T VALUES (2);\n");
    WriteFile(dir.File("inc.sql"), "\n/* a comment */ FROB INTO X;\n");
    ProcessResult r = Vantrel("check " + dir.File("bad.sql"));
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Output.find("vantrel: Invalid statement in \"" + dir.File("inc.sql") + "\" at line 2: FROB INTO X\n"),
              std::string::npos)
        << r.Output;
    EXPECT_EQ(r.Output.find("VALUES (2)"), std::string::npos) << "nothing after the error is listed";
}

TEST(Cli, CheckOfAMissingFileFailsWithTheFileError) {
    TempDir dir;
    ProcessResult r = Vantrel("check " + dir.File("none.sql"));
    EXPECT_EQ(r.ExitCode, 1);
    EXPECT_NE(r.Output.find("Cannot open file"), std::string::npos) << r.Output;
}

TEST(Cli, CreateUpdateAndVersionOnAnEmbeddedDatabase) {
    TempDir dir;
    std::string db = dir.File("demo.fdb");
    ProcessResult c = Vantrel("create " + db + " --dialect 1 --charset WIN1251 --page-size 8192");
    ASSERT_EQ(c.ExitCode, 0) << c.Output;
    EXPECT_NE(RunIsql(db, "SELECT MON$PAGE_SIZE, MON$SQL_DIALECT FROM MON$DATABASE;").find("8192"),
              std::string::npos);
    WriteFile(dir.File("u.sql"), "CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER);\n"
                                 "INSERT INTO VER VALUES (1, 42);\n");
    ProcessResult u = Vantrel("update " + db + " " + dir.File("u.sql"));
    EXPECT_EQ(u.ExitCode, 0) << u.Output;
    ProcessResult v = Vantrel("version " + db);
    EXPECT_EQ(v.ExitCode, 0) << v.Output;
    EXPECT_EQ(v.Output, "42\n");
}

TEST(Cli, AFailedUpdatePrintsTheErrorAndFails) {
    TempDir dir;
    std::string db = dir.File("d.fdb");
    CreateDatabase(db);
    WriteFile(dir.File("u.sql"), "INSERT INTO NOPE VALUES (1);\n");
    ProcessResult u = Vantrel("update " + db + " " + dir.File("u.sql"));
    EXPECT_EQ(u.ExitCode, 1);
    EXPECT_NE(u.Output.find("Table unknown"), std::string::npos) << u.Output;
    // After the server's text: which statement it was.
    const size_t where = u.Output.find("vantrel: failed statement in \"" + dir.File("u.sql") +
                                       "\" at line 1: INSERT INTO NOPE VALUES (1)\n");
    EXPECT_NE(where, std::string::npos) << u.Output;
    EXPECT_LT(u.Output.find("Table unknown"), where) << u.Output;
    ProcessResult v = Vantrel("version " + dir.File("missing.fdb"));
    EXPECT_EQ(v.ExitCode, 1);
    EXPECT_NE(v.Output.find("Error while trying to open file"), std::string::npos) << v.Output;
}
