// vantrel migrate and vantrel status on real embedded databases of both
// dialects: a folder of numbered scripts applied in order, each through the
// update entry, and what stops a run.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "support/TestSupport.h"

using namespace vantrel::test;

namespace {

ProcessResult Vantrel(const std::string &args) { return RunCommand(SanitizerEnvironment() + CliPath() + " " + args); }

bool Has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// The first value isql lists for a query, read independently of vantrel;
// -1 when there is none (for example, no such table).
long Number(const std::string &database, const std::string &query) {
    const std::string output = RunIsql(database, "SET LIST ON;\n" + query, false);
    std::smatch m;
    if (!std::regex_search(output, m, std::regex("\\n[A-Z_]+ +(-?[0-9]+)\\n"))) return -1;
    return std::stol(m[1]);
}

long VersionIn(const std::string &database) { return Number(database, "SELECT VERSION FROM VER;"); }

bool TableExists(const std::string &database, const std::string &table) {
    return Number(database, "SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = '" + table + "';") == 1;
}

// Every object of the database, as isql extracts it.
std::string Metadata(const std::string &database) {
    return RunCommand("isql-fb -x -user SYSDBA -password " + std::string(kPassword) + " " + database).Output;
}

const char *const kVer = "CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER);\n"
                         "INSERT INTO VER VALUES (1, 1);\n";
const char *const kCustomers = "CREATE TABLE CUSTOMER (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40));\n"
                               "INSERT INTO CUSTOMER VALUES (1, 'Ann');\n"
                               "UPDATE VER SET VERSION = 2;\n";
const char *const kIndex = "CREATE INDEX CUSTOMER_NAME ON CUSTOMER (NAME);\n"
                           "UPDATE VER SET VERSION = 3;\n";

// A fresh database of the dialect under test and an empty script folder.
class Migrate : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        std::filesystem::create_directory(Folder);
        CreateDatabase(Db, GetParam());
    }
    void Script(const std::string &name, const std::string &text) { WriteFile(Folder + "/" + name, text); }
    void ThreeScripts() {
        Script("0001-ver.sql", kVer);
        Script("0002-customers.sql", kCustomers);
        Script("V3__index.sql", kIndex);
    }
    // vantrel COMMAND [OPTIONS] DATABASE FOLDER
    ProcessResult Run(const std::string &commandAndOptions) {
        return Vantrel(commandAndOptions + " " + Db + " " + Folder);
    }

    TempDir Dir;
    const std::string Db = Dir.File("m.fdb");
    const std::string Folder = Dir.File("scripts");
};

}  // namespace

TEST_P(Migrate, BringsAFreshDatabaseToTheNewestScriptAndASecondRunAppliesNothing) {
    ThreeScripts();
    Script("README.md", "not a script");
    std::filesystem::create_directory(Folder + "/4-old");

    EXPECT_EQ(Run("status").Output, "version 0, 3 scripts pending\n"
                                    "     1  0001-ver.sql\n     2  0002-customers.sql\n     3  V3__index.sql\n");
    ProcessResult r = Run("migrate");
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(r.Output, "version 0, 3 scripts to apply\n"
                        "     1  0001-ver.sql\n     2  0002-customers.sql\n     3  V3__index.sql\n"
                        "now at version 3\n");
    EXPECT_EQ(VersionIn(Db), 3);
    EXPECT_EQ(Number(Db, "SELECT COUNT(*) FROM RDB$INDICES WHERE RDB$INDEX_NAME = 'CUSTOMER_NAME';"), 1);

    ProcessResult again = Run("migrate");
    EXPECT_EQ(again.ExitCode, 0) << again.Output;
    EXPECT_EQ(again.Output, "version 3, nothing to apply\n");
    EXPECT_EQ(Number(Db, "SELECT COUNT(*) FROM CUSTOMER;"), 1) << "no script ran twice";
    // The applied scripts from the history, with start, user and duration.
    const std::string status = Run("status").Output;
    EXPECT_TRUE(std::regex_match(status, std::regex("version 3, nothing pending\napplied:\n"
                                                    "     1  0001-ver.sql  [0-9: -]+ UTC  SYSDBA  [0-9.]+ s\n"
                                                    "     2  0002-customers.sql  [0-9: -]+ UTC  SYSDBA  [0-9.]+ s\n"
                                                    "     3  V3__index.sql  [0-9: -]+ UTC  SYSDBA  [0-9.]+ s\n")))
        << status;
}

TEST_P(Migrate, AFailingScriptStopsTheRunWithItsErrorAndWhatWasAppliedBefore) {
    Script("0001-ver.sql", kVer);
    Script("0002-orders.sql", "CREATE TABLE ORDERS (ID INTEGER);\n"
                              "INSERT INTO NOPE VALUES (1);\n"
                              "UPDATE VER SET VERSION = 2;\n");
    Script("0003-more.sql", "CREATE TABLE MORE (ID INTEGER);\nUPDATE VER SET VERSION = 3;\n");
    ProcessResult r = Run("migrate");
    EXPECT_EQ(r.ExitCode, 1) << r.Output;
    const size_t error = r.Output.find("Table unknown\r\nNOPE\r\n");
    const size_t stop = r.Output.find(
        "vantrel: stopped at version 2 (0002-orders.sql); applied before it: 1; the database is at version 1\n");
    ASSERT_NE(error, std::string::npos) << r.Output;
    ASSERT_NE(stop, std::string::npos) << r.Output;
    EXPECT_LT(error, stop) << "the error text comes first";
    EXPECT_FALSE(Has(r.Output, "0003-more.sql")) << r.Output;
    EXPECT_EQ(VersionIn(Db), 1);
    EXPECT_FALSE(TableExists(Db, "MORE"));
    EXPECT_TRUE(Has(Run("status").Output, "version 1, 2 scripts pending\n"));
}

TEST_P(Migrate, AScriptThatDoesNotWriteItsVersionStopsTheRun) {
    Script("0001-ver.sql", kVer);
    Script("0002-forgot.sql", "CREATE TABLE FORGOT (ID INTEGER);\n");
    Script("0003-more.sql", "CREATE TABLE MORE (ID INTEGER);\nUPDATE VER SET VERSION = 3;\n");
    ProcessResult r = Run("migrate");
    EXPECT_EQ(r.ExitCode, 1) << r.Output;
    EXPECT_TRUE(Has(r.Output, "vantrel: 0002-forgot.sql ran and was committed, but VER holds version 1 afterwards "
                              "instead of 2: the script must write its version into VER\n"
                              "vantrel: stopped at version 2 (0002-forgot.sql); applied before it: 1; "
                              "the database is at version 1\n"))
        << r.Output;
    EXPECT_TRUE(TableExists(Db, "FORGOT"));
    EXPECT_FALSE(TableExists(Db, "MORE"));
}

TEST_P(Migrate, TwoScriptsOfOneVersionAreRefusedBeforeAnythingRuns) {
    ThreeScripts();
    Script("3-again.sql", kIndex);
    for (const char *command : {"migrate", "status"}) {
        ProcessResult r = Run(command);
        EXPECT_EQ(r.ExitCode, 1) << r.Output;
        EXPECT_EQ(r.Output, "vantrel: two scripts of version 3: 3-again.sql and V3__index.sql\n");
    }
    EXPECT_FALSE(TableExists(Db, "VER"));
}

TEST_P(Migrate, DryRunParsesAndListsWhatWouldRunAndChangesNothing) {
    ThreeScripts();
    ASSERT_EQ(Run("migrate --to 1 --quiet").ExitCode, 0);
    const std::string before = Metadata(Db);
    ASSERT_TRUE(Has(before, "CREATE TABLE VER")) << before;

    ProcessResult r = Run("migrate --dry-run");
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(r.Output, "version 1, 2 scripts to apply\n"
                        "     2  0002-customers.sql  (3 statements)\n"
                        "     3  V3__index.sql  (2 statements)\n"
                        "dry run: nothing was applied\n");
    EXPECT_EQ(VersionIn(Db), 1);
    EXPECT_EQ(Metadata(Db), before);

    // A pending script that does not parse fails the dry run, and keeps a
    // real run from starting at all.
    Script("0004-bad.sql", "UPDATE VER SET VERSION = 4;\nFROBNICATE THE DATABASE;\n");
    for (const char *command : {"migrate --dry-run", "migrate"}) {
        ProcessResult bad = Run(command);
        EXPECT_EQ(bad.ExitCode, 1) << command;
        EXPECT_TRUE(Has(bad.Output, "vantrel: Invalid statement at line 2: FROBNICATE THE DATABASE\n"
                                    "vantrel: 0004-bad.sql (version 4) does not parse; nothing was applied\n"))
            << bad.Output;
    }
    // So does one that the statement scanner refuses, after DDL that an
    // update would have committed.
    Script("0004-bad.sql", "CREATE TABLE MARKED (ID INTEGER);\nUPDATE VER SET VERSION = :V;\n");
    ProcessResult marked = Run("migrate");
    EXPECT_EQ(marked.ExitCode, 1);
    EXPECT_TRUE(Has(marked.Output, "vantrel: Parameter marker :V has no value in a script at line 2: "
                                   "UPDATE VER SET VERSION = :V\n"
                                   "vantrel: 0004-bad.sql (version 4) does not parse; nothing was applied\n"))
        << marked.Output;
    EXPECT_EQ(VersionIn(Db), 1);
    EXPECT_EQ(Metadata(Db), before);
}

TEST_P(Migrate, ToStopsAfterTheGivenVersion) {
    ThreeScripts();
    ProcessResult r = Run("migrate --to 2");
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_TRUE(Has(r.Output, "now at version 2\n")) << r.Output;
    EXPECT_EQ(VersionIn(Db), 2);
    EXPECT_EQ(Run("migrate --to 1").Output, "version 2, nothing to apply\n");
    EXPECT_EQ(Run("status").Output.rfind("version 2, 1 script pending\n     3  V3__index.sql\napplied:\n", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Dialects, Migrate, ::testing::Values(1, 3),
                         [](const ::testing::TestParamInfo<int> &info) { return "Dialect" + std::to_string(info.param); });

TEST(MigrateFolder, AScriptIsAFileWhoseNameStartsWithAVersion) {
    TempDir dir;
    const std::string db = dir.File("f.fdb"), folder = dir.File("s");
    CreateDatabase(db);
    std::filesystem::create_directory(folder);
    for (const char *name : {"0001-a.sql", "2.sql", "V3__c.sql", "v4_d.sql", "10.txt", "11-caf\xe9.txt", "README.md",
                             "V.sql", "Views.sql", "notes-5.sql", ".6-hidden-ish"})
        WriteFile(folder + "/" + name, "");
    std::filesystem::create_directory(folder + "/7-folder");
    EXPECT_EQ(Vantrel("status " + db + " " + folder).Output,
              "version 0, 4 scripts pending\n"
              "     1  0001-a.sql\n     2  2.sql\n     3  V3__c.sql\n     4  v4_d.sql\n"
              "problems:\n  10.txt is not a script (only .sql files are) and is ignored\n"
              "  11-caf\\xe9.txt is not a script (only .sql files are) and is ignored\n");

    struct Case {
        const char *Name;
        const char *Error;
    };
    for (const Case &c : {Case{"0-base.sql", "0-base.sql: version 0 is never applied (versions start at 1)"},
                          Case{"V20240101120000__x.sql", "V20240101120000__x.sql: the version number is too large "
                                                         "(VER keeps a 32-bit integer)"},
                          Case{"2-caf\xe9.sql", "2-caf\\xe9.sql: the file name is not UTF-8; rename the file (for "
                                                "example with convmv) before it can run"}}) {
        const std::string bad = dir.File(std::string("bad-") + c.Name);
        std::filesystem::create_directory(bad);
        WriteFile(bad + "/" + c.Name, "");
        ProcessResult r = Vantrel("status " + db + " " + bad);
        EXPECT_EQ(r.ExitCode, 1);
        EXPECT_EQ(r.Output, std::string("vantrel: ") + c.Error + "\n");
    }
}

TEST(MigrateFolder, TheVersionIsTheRowTheVersionCheckReads) {
    // Stored out of key order: the first row by primary key holds 7.
    for (int dialect : {1, 3}) {
        TempDir dir;
        const std::string db = dir.File("v.fdb");
        CreateDatabase(db, dialect);
        RunIsql(db, "CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER);\nCOMMIT;\n"
                    "INSERT INTO VER VALUES (2, 5);\nINSERT INTO VER VALUES (1, 7);\n");
        std::filesystem::create_directory(dir.File("s"));
        WriteFile(dir.File("s/1.sql"), kVer);
        EXPECT_EQ(Vantrel("status " + db + " " + dir.File("s")).Output,
                  "version 7, nothing pending\n(the database is newer than the newest script, version 1)\n")
            << dialect;
        if (dialect == 1) {
            EXPECT_EQ(Vantrel("version " + db).Output, "7\n");
        }
    }
}

TEST(MigrateCommand, UsageAndTheOptionsOfUpdate) {
    TempDir dir;
    const std::string db = dir.File("u.fdb"), folder = dir.File("s");
    struct Case {
        std::string Args;
        int ExitCode;
        std::string Shows;
    };
    const Case usage[] = {
        {"migrate " + db, 2, "missing argument"},
        {"migrate --to x " + db + " " + folder, 2, "--to must be a version number"},
        {"status --to 3 " + db + " " + folder, 2, "unknown option --to"},
        {"migrate --help", 0, "--dry-run  parse the scripts and list what would run"},
        {"--help", 0, "  migrate   apply the newer numbered scripts of a folder, in order"},
        {"status " + db + " " + dir.File("none"), 1, "vantrel: cannot read the folder " + dir.File("none")},
    };
    for (const Case &c : usage) {
        ProcessResult r = Vantrel(c.Args);
        EXPECT_EQ(r.ExitCode, c.ExitCode) << c.Args << "\n" << r.Output;
        EXPECT_TRUE(Has(r.Output, c.Shows)) << c.Args << "\n" << r.Output;
    }

    // --echo and --stats work per script as for update; --quiet drops the
    // listing, and leaves only what the options ask for.
    CreateDatabase(db);
    std::filesystem::create_directory(folder);
    WriteFile(folder + "/1.sql", kVer);
    WriteFile(folder + "/2.sql", "CREATE TABLE T (ID INTEGER);\nINSERT INTO T VALUES (1);\nUPDATE VER SET VERSION = 2;\n");
    ProcessResult r = Vantrel("migrate --quiet --echo --stats " + db + " " + folder);
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_TRUE(r.Output.rfind("-- " + folder + "/1.sql:1\nCREATE TABLE VER", 0) == 0) << r.Output;
    EXPECT_TRUE(Has(r.Output, "-- " + folder + "/2.sql:2\nINSERT INTO T VALUES (1);\n")) << r.Output;
    const size_t first = r.Output.find("\nstatistics\n  elapsed time");
    ASSERT_NE(first, std::string::npos) << r.Output;
    EXPECT_LT(first, r.Output.find("-- " + folder + "/2.sql:1")) << "each script's statistics follow it";
    EXPECT_TRUE(Has(r.Output.substr(first), "  statements     2\n")) << r.Output;
    EXPECT_TRUE(Has(r.Output.substr(r.Output.rfind("\nstatistics\n")), "  statements     3\n")) << r.Output;
    EXPECT_FALSE(Has(r.Output, "now at version")) << r.Output;
    EXPECT_EQ(VersionIn(db), 2);
}
