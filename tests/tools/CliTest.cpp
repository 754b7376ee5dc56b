// The vantrel command-line host, run as a user runs it: from a shell with
// its output collected, or on a terminal (a pseudo-terminal).
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "support/TestSupport.h"

using namespace vantrel::test;

namespace {

ProcessResult Vantrel(const std::string &args) { return RunCommand(SanitizerEnvironment() + CliPath() + " " + args); }

// Runs vantrel with a pseudo-terminal of 100 columns as its standard input,
// output and error, as in a terminal window; returns what the terminal got.
ProcessResult VantrelInTerminal(const std::string &args) {
    const std::string commandLine = "TERM=xterm " + SanitizerEnvironment() + CliPath() + " " + args;
    winsize size{};
    size.ws_col = 100;
    size.ws_row = 30;
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, &size);
    if (pid < 0) {
        ADD_FAILURE() << "forkpty failed";
        return {};
    }
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", commandLine.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    ProcessResult result;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(terminal, buffer, sizeof buffer);
        if (n > 0) result.Output.append(buffer, static_cast<size_t>(n));
        else if (n < 0 && errno == EINTR) continue;
        else break;  // EIO once the child's side is closed
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(terminal);
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool Has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// The counts of one table's row of the --stats table: natural, index,
// insert, update, delete; empty when there is no such row.
std::vector<long> TableRow(const std::string &output, const std::string &table) {
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string name;
        fields >> name;
        if (name != table) continue;
        std::vector<long> counts;
        long count;
        while (fields >> count) counts.push_back(count);
        return counts;
    }
    return {};
}

}  // namespace

TEST(Cli, UsageHelpAndExitCodes) {
    TempDir dir;
    struct Case {
        std::string Args;
        int ExitCode;
        std::string Shows;
    };
    const Case cases[] = {
        {"", 2, "usage: vantrel check [--json] SCRIPT"},
        {"frobnicate x", 2, "unknown command frobnicate"},
        {"update " + dir.File("d.fdb"), 2,
         "usage: vantrel update [--quiet] [--echo] [--stats] [--lock-timeout S] DATABASE SCRIPT"},
        {"update --lock-timeout 32768 a b", 2, "--lock-timeout must be a whole number of seconds from 0 to 32767"},
        {"status --lock-timeout -1 a b", 2, "--lock-timeout must be a whole number of seconds from 0 to 32767"},
        {"update --bogus a b", 2, "unknown option --bogus"},
        {"version a b", 2, "too many arguments"},
        {"create " + dir.File("x.fdb") + " --dialect 2", 2, "--dialect must be 1 or 3"},
        {"create " + dir.File("x.fdb") + " --page-size", 2, "--page-size needs a value"},
        {"create " + dir.File("x.fdb") + " --page-size abc", 2, "--page-size must be a whole number of bytes"},
        {"create " + dir.File("x.fdb") + " --page-size -5", 2, "--page-size must be a whole number of bytes"},
        {"create " + dir.File("x.fdb") + " --page-size=65536", 2, "--page-size must be a whole number of bytes"},
        {"--dialect 2 create " + dir.File("x.fdb"), 2, "--dialect must be 1 or 3"},
        {"--bogus update a b", 2, "unknown option --bogus"},
        {"--lock-timeout 5", 2, "no command given after the options"},
        {"update --quiet=yes a b", 2, "--quiet takes no value"},
        {"migrate --to=x a b", 2, "--to must be a version number, such as --to 5"},
        {"--version extra", 2, "--version takes no arguments"},
        {"--help", 0, "exit status: 0 success, 1 failure, 2 wrong usage"},
        {"update --help", 0, "--stats   at the end"},
        {"help version", 0, "usage: vantrel version [--lock-timeout S] DATABASE"},
        {"check " + dir.File("s.sql") + " -h", 0, "usage: vantrel check [--json] SCRIPT"},
        {"update --stats " + dir.File("d.fdb") + " " + dir.File("none.sql"), 1,
         "the script " + dir.File("none.sql") + " does not exist or is not a file: check the path\n"},
    };
    for (const Case &c : cases) {
        ProcessResult r = Vantrel(c.Args);
        EXPECT_EQ(r.ExitCode, c.ExitCode) << c.Args << "\n" << r.Output;
        EXPECT_TRUE(Has(r.Output, c.Shows)) << c.Args << "\n" << r.Output;
        // Wrong usage points at the help; a run that never started has no statistics.
        EXPECT_EQ(Has(r.Output, "--help' for more"), c.ExitCode == 2) << c.Args << "\n" << r.Output;
        EXPECT_FALSE(Has(r.Output, "\nstatistics\n")) << c.Args << "\n" << r.Output;
    }
    EXPECT_FALSE(std::ifstream(dir.File("x.fdb")).good()) << "wrong usage creates nothing";
}

TEST(Cli, VersionNamesTheLoadedClientLibrary) {
    ProcessResult r = Vantrel("--version");
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_TRUE(std::regex_search(r.Output, std::regex("^vantrel [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << r.Output;
    EXPECT_TRUE(std::regex_search(
        r.Output, std::regex("client library libfbclient\\.so\\.2 \\(/.*libfbclient\\.so[.0-9]*\\): "
                             ".*Firebird.*client version [0-9]+\\.[0-9]")))
        << r.Output;
    ProcessResult missing = RunCommand("VANTREL_CLIENT_LIBRARY=libnone.so.9 " + SanitizerEnvironment() + CliPath() +
                                       " --version");
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_TRUE(Has(missing.Output, "library libnone.so.9 not found")) << missing.Output;
}

TEST(Cli, CheckListsStatementsWithKindAndLine) {
    TempDir dir;
    WriteFile(dir.File("s.sql"), "/* header */\nCREATE TABLE T (ID INTEGER);\n\nINSERT INTO T VALUES (1);\nCOMMIT;\n");
    ProcessResult r = Vantrel("check " + dir.File("s.sql"));
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_NE(r.Output.find("     2  DDL                    CREATE TABLE T (ID INTEGER)"), std::string::npos) << r.Output;
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

// What the parser and the statement scanner find without a database, check
// finds: with the text and line that the update fails with.
TEST(Cli, CheckFindsWhatTheUpdateWouldFailOnWithTheSameText) {
    TempDir dir;
    const std::string db = dir.File("c.fdb");
    CreateDatabase(db, 3);
    RunIsql(db, "CREATE TABLE Q1 (ID INTEGER, S VARCHAR(10));");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"CREATE TABLE A (ID INTEGER);\nINSERT INTO Q1 VALUES (1, 'it''s);\n",
         "EOF in string detected at line 2: INSERT INTO Q1 VALUES (1, 'it''s);"},
        {"CREATE TABLE A (ID INTEGER);\nDELETE FROM Q1 WHERE ID = ?;\n",
         "Parameter marker ? has no value in a script at line 2: DELETE FROM Q1 WHERE ID = ?"},
        {"CREATE TABLE A (ID INTEGER);\nUPDATE Q1 SET ID = :NEW_ID;\n",
         "Parameter marker :NEW_ID has no value in a script at line 2: UPDATE Q1 SET ID = :NEW_ID"},
        {"SET TERM ^ ;\nCREATE TABLE A (ID INTEGER)^\nCREATE TABLE B (ID INTEGER);\n",
         "End of file before the terminator \"^\" at line 3: CREATE TABLE B (ID INTEGER);"},
        {"CREATE TABLE A (ID INTEGER);\nSHELL echo hello;\n", "Cannot be carried out in a script at line 2: SHELL echo hello"},
    };
    for (const auto &[script, text] : cases) {
        SCOPED_TRACE(script);
        WriteFile(dir.File("s.sql"), script);
        ProcessResult check = Vantrel("check " + dir.File("s.sql"));
        EXPECT_EQ(check.ExitCode, 1);
        EXPECT_TRUE(Has(check.Output, "vantrel: " + text + "\n")) << check.Output;
        ProcessResult update = Vantrel("update --quiet " + db + " " + dir.File("s.sql"));
        EXPECT_EQ(update.ExitCode, 1);
        EXPECT_EQ(update.Output, "vantrel: " + text + "\n");
        RunIsql(db, "DROP TABLE A;");
    }
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
}

// A missing script: in English, and what to do.
TEST(Cli, AMissingScriptSaysWhatToDo) {
    TempDir dir;
    CreateDatabase(dir.File("d.fdb"));
    ProcessResult script = RunCommand("cd " + dir.Path() + " && " + SanitizerEnvironment() + CliPath() +
                                      " update d.fdb none.sql");
    EXPECT_EQ(script.ExitCode, 1);
    EXPECT_EQ(script.Output, "vantrel: the script none.sql does not exist or is not a file: check the path (taken "
                             "from the current folder, " + dir.Path() + ")\n");
}

// A connection that cannot be made: the error once, then what to do about
// it, whichever command it was.
TEST(Cli, AConnectionThatCannotBeMadeSaysWhatToDo) {
    TempDir dir;
    CreateDatabase(dir.File("d.fdb"));
    WriteFile(dir.File("u.sql"), "CREATE TABLE T (ID INTEGER);\n");
    std::filesystem::create_directory(dir.File("s"));
    struct Case {
        std::string Database;
        std::string Options;
        std::string Hint;
        bool Server;
    };
    const Case cases[] = {
        {dir.File("missing.fdb"), "", "check the database's path", false},
        {"localhost:" + dir.File("missing.fdb"), "", "check the database's path", true},
        {"localhost:" + dir.File("d.fdb"), "--password wrong ", "check the user name and password", true},
        {"localhost/3999:" + dir.File("d.fdb"), "", "check that a Firebird server runs on that host", false},
    };
    const bool server = RequireServer();
    for (const Case &c : cases) {
        if (c.Server && !server) continue;
        for (const std::string command : {"version ", "update --quiet ", "status "}) {
            const std::string more = command[0] == 'u' ? " " + dir.File("u.sql")
                                     : command[0] == 's' ? " " + dir.File("s")
                                                         : std::string();
            ProcessResult r = Vantrel(command + c.Options + c.Database + more);
            SCOPED_TRACE(command + c.Options + c.Database);
            EXPECT_EQ(r.ExitCode, 1);
            const size_t hint = r.Output.find("vantrel: " + c.Hint);
            EXPECT_NE(hint, std::string::npos) << r.Output;
            EXPECT_EQ(r.Output.find(c.Hint, hint + 9 + c.Hint.size()), std::string::npos) << "said once:\n" << r.Output;
            const size_t error = r.Output.find('\n');
            EXPECT_EQ(r.Output.find(r.Output.substr(0, error), error), std::string::npos)
                << "the error printed once:\n" << r.Output;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing.fdb")));
}

// A failed create leaves no file, so that the retry succeeds; an existing
// file is never touched.
TEST(Cli, AFailedCreateLeavesNothingBehind) {
    TempDir dir;
    const std::string db = dir.File("new.fdb");
    ProcessResult bogus = Vantrel("create " + db + " --charset BOGUS");
    EXPECT_EQ(bogus.ExitCode, 1);
    EXPECT_TRUE(Has(bogus.Output, "CHARACTER SET BOGUS is not defined")) << bogus.Output;
    EXPECT_FALSE(std::filesystem::exists(db));
    ProcessResult retry = Vantrel("create " + db + " --charset WIN1252");
    EXPECT_EQ(retry.ExitCode, 0) << retry.Output;
    ProcessResult again = Vantrel("create " + db);
    EXPECT_EQ(again.ExitCode, 1);
    EXPECT_TRUE(Has(again.Output, "is there already, and it is left as it is")) << again.Output;
    EXPECT_TRUE(Has(RunIsql(db, "SELECT RDB$CHARACTER_SET_NAME FROM RDB$DATABASE;"), "WIN1252"));
}

// Options before the command and as --name=value, as after it.
TEST(Cli, OptionsBeforeTheCommandAndWithAnEqualsSign) {
    TempDir dir;
    const std::string db = dir.File("d.fdb");
    CreateDatabase(db);
    std::filesystem::create_directory(dir.File("m"));
    WriteFile(dir.File("m/1.sql"), "CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER);\n"
                                   "INSERT INTO VER VALUES (1, 1);\n");
    for (const char *v : {"2", "3"}) WriteFile(dir.File("m/" + std::string(v) + ".sql"),
                                               "UPDATE VER SET VERSION = " + std::string(v) + ";\n");
    ProcessResult to = Vantrel("--lock-timeout=5 --quiet migrate --to=2 " + db + " " + dir.File("m"));
    EXPECT_EQ(to.ExitCode, 0) << to.Output;
    EXPECT_EQ(to.Output, "");
    EXPECT_EQ(Vantrel("--lock-timeout 5 version " + db).Output, "2\n");
}

TEST(Cli, AFailedUpdateNamesTheStatementHoldingACharacterTheConnectionLacks) {
    TempDir dir;
    std::string db = dir.File("d.fdb");
    CreateDatabase(db);
    WriteFile(dir.File("u.sql"), "CREATE TABLE T (S VARCHAR(9));\n\nINSERT INTO T VALUES ('中');\n");
    ProcessResult u = Vantrel("update " + db + " " + dir.File("u.sql"));
    EXPECT_EQ(u.ExitCode, 1);
    EXPECT_NE(u.Output.find("vantrel: Character U+4E2D cannot be represented in character set WIN1251 (code page "
                            "1251)\nvantrel: failed statement in \"" +
                            dir.File("u.sql") + "\" at line 3: INSERT INTO T VALUES ('中')\n"),
              std::string::npos)
        << u.Output;
    // In a connection of that character set it goes through.
    const std::string utf8 = dir.File("u8.fdb");
    CreateDatabase(utf8, 3, "UTF8");
    ProcessResult wide = Vantrel("update --charset UTF8 " + utf8 + " " + dir.File("u.sql"));
    EXPECT_EQ(wide.ExitCode, 0) << wide.Output;
    EXPECT_TRUE(Has(RunIsql(utf8, "SELECT '<' || S || '>' FROM T;"), "<中>"));
}

TEST(Cli, ProgressShowsOnATerminalAndNotWhenPipedOrQuiet) {
    TempDir dir;
    const std::string db = dir.File("p.fdb");
    CreateDatabase(db);
    std::string script = "CREATE TABLE T (ID INTEGER);\n";
    for (int i = 1; i <= 400; ++i) script += "INSERT INTO T VALUES (" + std::to_string(i) + ");\n";
    WriteFile(dir.File("p.sql"), script);
    const std::string args = db + " " + dir.File("p.sql");

    ProcessResult terminal = VantrelInTerminal("update " + args);
    EXPECT_EQ(terminal.ExitCode, 0) << terminal.Output;
    // Drawn in place from the first statement on, and erased before the
    // result is printed.
    EXPECT_TRUE(Has(terminal.Output, "\r[....................]   0%  line 1/401  0 statements done  0:00."))
        << terminal.Output;
    const size_t erased = terminal.Output.rfind("\r\x1b[K");
    ASSERT_NE(erased, std::string::npos) << terminal.Output;
    EXPECT_EQ(terminal.Output.substr(erased), "\r\x1b[Kupdated\r\n");

    for (const std::string &run : {"update " + args, "update " + args + " --quiet"}) {
        ProcessResult r = run.find("--quiet") != std::string::npos ? VantrelInTerminal(run) : Vantrel(run);
        EXPECT_EQ(r.ExitCode, 1) << "the table exists by now: " << r.Output;
        EXPECT_FALSE(Has(r.Output, "statements done")) << run << "\n" << r.Output;
        EXPECT_FALSE(Has(r.Output, "\x1b[")) << run << "\n" << r.Output;
        EXPECT_TRUE(Has(r.Output, "Table T already exists")) << r.Output;
    }
    // Quiet success says nothing at all.
    WriteFile(dir.File("q.sql"), "INSERT INTO T VALUES (0);\n");
    ProcessResult quiet = VantrelInTerminal("update --quiet " + db + " " + dir.File("q.sql"));
    EXPECT_EQ(quiet.ExitCode, 0);
    EXPECT_EQ(quiet.Output, "");
}

TEST(Cli, EchoPrintsEachStatementWithItsFileAndLineAsARunnableScript) {
    TempDir dir;
    const std::string db = dir.File("e.fdb");
    CreateDatabase(db);
    const std::string path = dir.File("e.sql");
    // The lines are those of the statements' first words, also after a
    // leading comment block.
    WriteFile(path, "/* The table and\n"
                    "   its procedure. */\n"
                    "CREATE TABLE T (ID INTEGER);\n"
                    "SET TERM ^ ;\n"
                    "CREATE PROCEDURE P AS\n"
                    "BEGIN\n"
                    "  INSERT INTO T VALUES (1);\n"
                    "END^\n"
                    "SET TERM ; ^\n"
                    "SET AUTODDL OFF;\n"
                    "EXECUTE PROCEDURE P;\n");
    ProcessResult r = Vantrel("update --echo " + db + " " + path);
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    const std::string expected = "-- " + path + ":3\nCREATE TABLE T (ID INTEGER);\n"
                                 "-- " + path + ":4\nSET TERM ^ ;\n"
                                 "-- " + path + ":5\nCREATE PROCEDURE P AS\nBEGIN\n  INSERT INTO T VALUES (1);\nEND^\n"
                                 "-- " + path + ":9\nSET TERM ; ^\n"
                                 "-- " + path + ":10\nSET AUTODDL OFF;\n"
                                 "-- " + path + ":11\nEXECUTE PROCEDURE P;\n"
                                 "updated\n";
    EXPECT_EQ(r.Output, expected);
    // What was echoed runs again as a script.
    WriteFile(dir.File("echoed.sql"), expected.substr(0, expected.size() - std::string("updated\n").size()));
    const std::string db2 = dir.File("e2.fdb");
    CreateDatabase(db2);
    EXPECT_EQ(Vantrel("update --quiet " + db2 + " " + dir.File("echoed.sql")).Output, "");
    EXPECT_NE(RunIsql(db2, "SELECT COUNT(*) FROM T;").find("1"), std::string::npos);
}

TEST(Cli, StatsPrintTheRunsCountersAndThePerTableCounts) {
    TempDir dir;
    const std::string db = dir.File("s.fdb");
    CreateDatabase(db);
    RunIsql(db, "CREATE TABLE KEPT (ID INTEGER NOT NULL PRIMARY KEY);\nCOMMIT;\n"
                "INSERT INTO KEPT VALUES (1);\nINSERT INTO KEPT VALUES (2);\nINSERT INTO KEPT VALUES (3);\n");
    WriteFile(dir.File("s.sql"), "CREATE TABLE T (ID INTEGER, V INTEGER);\n"
                                 "INSERT INTO T VALUES (1, 0);\nINSERT INTO T VALUES (2, 0);\n"
                                 "INSERT INTO T VALUES (3, 0);\n"
                                 "UPDATE T SET V = 1 WHERE ID = 2;\n"
                                 "DELETE FROM T WHERE ID = 3;\n"
                                 "SELECT COUNT(*) FROM KEPT WHERE ID = 2;\n");
    ProcessResult r = Vantrel("update --stats --quiet " + db + " " + dir.File("s.sql"));
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_TRUE(std::regex_search(r.Output, std::regex("statistics\n  elapsed time   [0-9]+\\.[0-9]{3} s\n"
                                                       "  statements     7\n  page reads     [0-9]+\n"
                                                       "  page writes    [1-9][0-9]*\n  page fetches   [1-9][0-9]*\n")))
        << r.Output;
    // natural, index, insert, update, delete: the update and delete scan T.
    EXPECT_EQ(TableRow(r.Output, "T"), (std::vector<long>{6, 0, 3, 1, 1})) << r.Output;
    EXPECT_EQ(TableRow(r.Output, "KEPT"), (std::vector<long>{0, 1, 0, 0, 0})) << r.Output;
    EXPECT_TRUE(std::regex_search(r.Output, std::regex("\\([0-9]+ system tables\\)")))
        << "CREATE TABLE wrote the catalogue";

    // A failed run shows what it did before the failure, then rolled back.
    WriteFile(dir.File("f.sql"), "INSERT INTO KEPT VALUES (10);\nINSERT INTO KEPT VALUES (1);\n");
    ProcessResult failed = Vantrel("update --stats " + db + " " + dir.File("f.sql"));
    EXPECT_EQ(failed.ExitCode, 1);
    EXPECT_TRUE(Has(failed.Output, "violation of PRIMARY or UNIQUE KEY constraint")) << failed.Output;
    EXPECT_TRUE(Has(failed.Output, "  statements     2\n")) << failed.Output;
    const std::vector<long> kept = TableRow(failed.Output, "KEPT");
    ASSERT_EQ(kept.size(), 5u) << failed.Output;
    EXPECT_EQ(kept[2], 2) << "both inserts, the refused one too: " << failed.Output;
    EXPECT_EQ(RunIsql(db, "SELECT COUNT(*) FROM KEPT WHERE ID = 10;").find("1\n"), std::string::npos);
}

TEST(Cli, TheVersionOfADialect3DatabaseIsPrinted) {
    TempDir dir;
    const std::string db = dir.File("d3.fdb");
    CreateDatabase(db, 3);
    ProcessResult r = Vantrel("version " + db);
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(r.Output, "0\n");
}
