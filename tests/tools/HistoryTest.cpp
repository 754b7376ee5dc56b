// The migration history of vantrel migrate and the commands around it
// (status, validate, baseline, retry, mark-applied), the discovery of
// scripts in a folder, and the reports for pipelines (--json, status
// --exit-code, migrate --dry-run --echo), on real databases: embedded ones
// of both dialects and one through the server on localhost. The history and
// VER are read back with isql; JSON is parsed with jq.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <regex>

#include "support/TestSupport.h"

using namespace vantrel::test;

namespace {

bool Has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// The values isql lists for a query (SET LIST ON), in order: "NAME value".
std::vector<std::string> Values(const std::string &database, const std::string &query) {
    const std::string output = RunIsql(database, "SET LIST ON;\n" + query, false);
    std::vector<std::string> values;
    const std::regex line("\\n([A-Z_]+) +([^\\n]*?) *(?=\\n)");
    for (auto m = std::sregex_iterator(output.begin(), output.end(), line); m != std::sregex_iterator(); ++m)
        values.push_back((*m)[2]);
    return values;
}

long Number(const std::string &database, const std::string &query) {
    const std::vector<std::string> v = Values(database, query);
    return v.empty() ? -1 : std::stol(v[0]);
}

// A filter of jq applied to a JSON text; jq fails (and so the test) on text
// that is not JSON.
std::string Jq(const std::string &json, const std::string &filter) {
    ProcessResult r = RunCommand("jq -r '" + filter + "'", json);
    EXPECT_EQ(r.ExitCode, 0) << "not JSON, or the filter failed: " << filter << "\n" << json << r.Output;
    return r.Output.empty() ? r.Output : r.Output.substr(0, r.Output.size() - 1);
}

// CRC-32 of a text, from the trailer gzip writes: independent of vantrel.
std::string GzipCrc(const std::string &text) {
    ProcessResult r = RunCommand("gzip -c | tail -c 8 | head -c 4 | od -An -tx4 | tr -d ' \\n'", text);
    return r.Output;
}

const char *const kVer = "CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER);\n"
                         "INSERT INTO VER VALUES (1, 1);\n";
const char *const kTwo = "CREATE TABLE CUSTOMER (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40));\n"
                         "INSERT INTO CUSTOMER VALUES (1, 'Ann');\n"
                         "UPDATE VER SET VERSION = 2;\n";
std::string Bump(int version, const std::string &table) {
    return "CREATE TABLE " + table + " (ID INTEGER);\nUPDATE VER SET VERSION = " + std::to_string(version) + ";\n";
}

struct Place {
    const char *Name;
    int Dialect;
    bool Server;
};

// A fresh database (embedded of either dialect, or through the server)
// and an empty script folder.
class History : public ::testing::TestWithParam<Place> {
protected:
    void SetUp() override {
        std::filesystem::create_directory(Folder);
        if (!GetParam().Server) {
            Db = Dir.File("h.fdb");
            CreateDatabase(Db, GetParam().Dialect);
            return;
        }
        Lock.emplace();
        if (!RequireServer()) GTEST_SKIP() << "no Firebird server answers on localhost";
        Db = "localhost:" + Dir.File("h.fdb");
        ProcessResult r = RunCommand("isql-fb -q", "CREATE DATABASE '" + Db + "' USER 'SYSDBA' PASSWORD '" +
                                                       kPassword + "' DEFAULT CHARACTER SET WIN1251;\nCOMMIT;\n");
        ASSERT_EQ(r.ExitCode, 0) << r.Output;
    }
    void Script(const std::string &name, const std::string &text) { WriteFile(Folder + "/" + name, text); }
    ProcessResult Vantrel(const std::string &args) { return RunCommand(SanitizerEnvironment() + CliPath() + " " + args); }
    // vantrel COMMAND [OPTIONS] DATABASE FOLDER [MORE]
    ProcessResult Run(const std::string &command, const std::string &more = "") {
        return Vantrel(command + " " + Db + " " + Folder + (more.empty() ? "" : " " + more));
    }
    // Standard output alone (for JSON).
    ProcessResult Json(const std::string &command) { return Vantrel(command + " " + Db + " " + Folder + " 2>/dev/null"); }
    // The history's rows: "VERSION|SCRIPT|OUTCOME".
    std::vector<std::string> Rows() {
        const std::vector<std::string> v =
            Values(Db, "SELECT VERSION, COALESCE(SCRIPT, ''), OUTCOME FROM VANTREL_HISTORY ORDER BY ID;");
        std::vector<std::string> rows;
        for (size_t i = 0; i + 2 < v.size(); i += 3) rows.push_back(v[i] + "|" + v[i + 1] + "|" + v[i + 2]);
        return rows;
    }
    long Version() { return Number(Db, "SELECT VERSION FROM VER;"); }

    std::optional<ServerTestLock> Lock;
    TempDir Dir;
    std::string Db;
    const std::string Folder = Dir.File("scripts");
};

using RowList = std::vector<std::string>;

void PrintTo(const Place &place, std::ostream *out) { *out << place.Name; }

}  // namespace

TEST_P(History, MigrateRecordsEachScriptWithItsChecksumUserTimeAndDuration) {
    Script("0001-ver.sql", kVer);
    Script("0002-customers.sql", kTwo);
    EXPECT_FALSE(Has(Run("status").Output, "applied:")) << "status never creates the history";
    EXPECT_EQ(Number(Db, "SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'VANTREL_HISTORY';"), 0);

    ProcessResult r = Run("migrate");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(Rows(), (RowList{"1|0001-ver.sql|applied", "2|0002-customers.sql|applied"}));
    const std::vector<std::string> row = Values(
        Db, "SELECT CHECKSUM, INSTALLED_BY, DURATION_MS, DATEDIFF(MINUTE, STARTED_AT, "
            "CAST('" + Jq("{}", "now|strftime(\"%Y-%m-%d %H:%M:%S\")") + "' AS TIMESTAMP)) FROM VANTREL_HISTORY "
            "WHERE VERSION = 2;");
    ASSERT_EQ(row.size(), 4u);
    EXPECT_EQ(row[0], GzipCrc(kTwo));
    EXPECT_EQ(row[1], "SYSDBA");
    EXPECT_GE(std::stol(row[2]), 0);
    EXPECT_LE(std::labs(std::stol(row[3])), 2) << "the start is in UTC";

    const std::string status = Run("status").Output;
    EXPECT_TRUE(std::regex_search(status, std::regex("version 2, nothing pending\napplied:\n"
                                                     " +1  0001-ver.sql  [0-9-]+ [0-9:]+ UTC  SYSDBA  [0-9.]+ s\n"
                                                     " +2  0002-customers.sql  [0-9-]+ [0-9:]+ UTC  SYSDBA  [0-9.]+ s\n$")))
        << status;
}

TEST_P(History, AFailedScriptIsRecordedAfterItsRollbackAndWaitsForRetryOrMarkApplied) {
    Script("1.sql", kVer);
    Script("2.sql", "CREATE TABLE HALF (ID INTEGER);\nINSERT INTO NOPE VALUES (1);\nUPDATE VER SET VERSION = 2;\n");
    Script("3.sql", Bump(3, "THREE"));
    EXPECT_EQ(Run("migrate").ExitCode, 1);
    EXPECT_EQ(Rows(), (RowList{"1|1.sql|applied", "2|2.sql|failed"}));
    EXPECT_EQ(Version(), 1);

    // Not again until someone decides.
    ProcessResult again = Run("migrate");
    EXPECT_EQ(again.ExitCode, 1);
    EXPECT_TRUE(Has(again.Output, "2.sql (version 2) failed in an earlier run")) << again.Output;
    EXPECT_TRUE(Has(again.Output, "'vantrel retry DATABASE FOLDER 2'")) << again.Output;
    EXPECT_EQ(Run("validate").ExitCode, 1);
    EXPECT_TRUE(Has(Run("status").Output, "     2  2.sql  (failed ")) << Run("status").Output;

    // Retry: the mended script runs at the next migrate.
    Script("2.sql", "CREATE TABLE ITEMS (ID INTEGER);\nUPDATE VER SET VERSION = 2;\n");
    ProcessResult retry = Run("retry", "2");
    EXPECT_EQ(retry.ExitCode, 0) << retry.Output;
    ProcessResult r = Run("migrate --to 2");
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(Version(), 2);

    // Mark applied: the work of version 3 was done by hand.
    Script("3.sql", "CREATE TABLE THIRD (ID INTEGER);\nINSERT INTO NOPE VALUES (1);\nUPDATE VER SET VERSION = 3;\n");
    Script("4.sql", Bump(4, "FOUR"));
    EXPECT_EQ(Run("migrate").ExitCode, 1);
    EXPECT_EQ(Run("mark-applied", "4").ExitCode, 1) << "version 4 never failed";
    ProcessResult mark = Run("mark-applied", "3");
    EXPECT_EQ(mark.ExitCode, 0) << mark.Output;
    EXPECT_EQ(Version(), 3);
    EXPECT_EQ(Run("migrate").ExitCode, 0);
    EXPECT_EQ(Version(), 4);

    // A failure that left nothing behind needs no decision: the next
    // migrate runs the mended script.
    Script("5.sql", "INSERT INTO NOPE VALUES (1);\nUPDATE VER SET VERSION = 5;\n");
    EXPECT_EQ(Run("migrate").ExitCode, 1);
    Script("5.sql", Bump(5, "FIVE"));
    ProcessResult next = Run("migrate");
    EXPECT_EQ(next.ExitCode, 0) << next.Output;
    EXPECT_EQ(Version(), 5);
    EXPECT_EQ(Rows(), (RowList{"1|1.sql|applied", "2|2.sql|failed", "2|2.sql|retry", "2|2.sql|applied",
                            "3|3.sql|failed", "3|3.sql|marked applied", "4|4.sql|applied", "5|5.sql|rolled back",
                            "5|5.sql|applied"}));
    ProcessResult valid = Run("validate");
    EXPECT_EQ(valid.ExitCode, 0) << valid.Output;
}

TEST_P(History, ValidateCatchesAnEditedScriptOrInputButNotOtherLineEndings) {
    Script("1.sql", kVer);
    Script("part.sql", "INSERT INTO CUSTOMER VALUES (2, 'Bo');\n");
    Script("2.sql", "CREATE TABLE CUSTOMER (ID INTEGER, NAME VARCHAR(9));\nINPUT part.sql;\nUPDATE VER SET VERSION = 2;\n");
    ASSERT_EQ(Run("migrate").ExitCode, 0);
    ProcessResult valid = Run("validate");
    EXPECT_EQ(valid.ExitCode, 0) << valid.Output;
    EXPECT_TRUE(Has(valid.Output, "valid: version 2, 2 applied, 0 pending")) << valid.Output;

    Script("1.sql", std::regex_replace(std::string(kVer), std::regex("\n"), "\r\n"));
    EXPECT_EQ(Run("validate").ExitCode, 0) << "CR LF reads as LF";

    struct Edit {
        const char *File, *Text;
    };
    for (const Edit &e : {Edit{"1.sql", "CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION BIGINT);\n"
                                        "INSERT INTO VER VALUES (1, 1);\n"},
                          Edit{"part.sql", "INSERT INTO CUSTOMER VALUES (3, 'Cy');\n"}}) {
        const std::string before = ReadFile(Folder + "/" + e.File);
        Script(e.File, e.Text);
        ProcessResult r = Run("validate");
        EXPECT_EQ(r.ExitCode, 1) << e.File;
        const std::string script = std::string(e.File) == "1.sql" ? "1.sql" : "2.sql";
        EXPECT_TRUE(Has(r.Output, "(" + script + ") was edited after it was applied")) << r.Output;
        EXPECT_TRUE(Has(Run("status").Output, script + "  ")) << "status flags it too";
        EXPECT_EQ(Jq(Json("status --json").Output, ".applied[] | select(.state == \"edited\") | .script"), script);
        Script(e.File, before);
    }
    // A script removed from the folder after it ran.
    std::filesystem::remove(Folder + "/2.sql");
    ProcessResult missing = Run("validate");
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_TRUE(Has(missing.Output, "version 2 (2.sql) was applied but no script of that version is in the folder"))
        << missing.Output;
}

TEST_P(History, ADatabaseWithAVersionBeforeTheHistoryStartsItThereAndBaselineStartsItByHand) {
    Script("1.sql", kVer);
    Script("2.sql", kTwo);
    Script("3.sql", Bump(3, "THREE"));
    ASSERT_EQ(Vantrel("update --quiet " + Db + " " + Folder + "/1.sql").ExitCode, 0);
    ASSERT_EQ(Vantrel("update --quiet " + Db + " " + Folder + "/2.sql").ExitCode, 0);
    ProcessResult r = Run("migrate");
    EXPECT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(Rows(), (RowList{"2||baseline", "3|3.sql|applied"}));
    EXPECT_EQ(Run("validate").ExitCode, 0) << Run("validate").Output;

    // baseline on a database without VER: VER made, the history starts at N.
    TempDir other;
    const std::string db = GetParam().Server ? "localhost:" + other.File("b.fdb") : other.File("b.fdb");
    ASSERT_EQ(Vantrel("create " + db + " --dialect " + std::to_string(GetParam().Dialect)).ExitCode, 0);
    ProcessResult baseline = Vantrel("baseline " + db + " 2");
    EXPECT_EQ(baseline.ExitCode, 0) << baseline.Output;
    EXPECT_EQ(Number(db, "SELECT VERSION FROM VER;"), 2);
    ProcessResult more = Vantrel("migrate " + db + " " + Folder);
    EXPECT_EQ(more.ExitCode, 0) << more.Output;
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'CUSTOMER';"), 0)
        << "scripts up to the baseline count as applied";
    EXPECT_EQ(Number(db, "SELECT VERSION FROM VER;"), 3);

    struct Refusal {
        std::string Args;
        int ExitCode;
        const char *Says;
    };
    for (const Refusal &c : {Refusal{"baseline " + db + " 5", 1, "the database has a history already (2 rows)"},
                             Refusal{"baseline " + db + " x", 2, "N must be a version number"},
                             Refusal{"baseline " + db, 2, "missing argument"}}) {
        ProcessResult refused = Vantrel(c.Args);
        EXPECT_EQ(refused.ExitCode, c.ExitCode) << c.Args;
        EXPECT_TRUE(Has(refused.Output, c.Says)) << refused.Output;
    }
}

TEST_P(History, JsonReportsParseAndCarryTheirFields) {
    Script("1.sql", kVer);
    Script("2.sql", kTwo);
    ProcessResult dry = Json("migrate --json --dry-run");
    EXPECT_EQ(dry.ExitCode, 0);
    EXPECT_EQ(Jq(dry.Output, "[.dry_run, .version_before, .result, ([.scripts[] | .outcome] | join(\",\"))] | @csv"),
              "true,0,\"ok\",\"would apply,would apply\"");
    EXPECT_EQ(Jq(dry.Output, "[.scripts[].statements] | @csv"), "2,3");

    ProcessResult run = Json("migrate --json");
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(Jq(run.Output, "[.version_before, .version_after, .result, .error, (.scripts | length)] | @csv"),
              "0,2,\"ok\",,2");
    EXPECT_EQ(Jq(run.Output, ".scripts[1] | [.version, .script, .checksum, .outcome] | @csv"),
              "2,\"2.sql\",\"" + GzipCrc(kTwo) + "\",\"applied\"");
    EXPECT_EQ(Jq(run.Output, ".scripts[1].duration_ms >= 0"), "true");

    Script("3.sql", "CREATE TABLE THIRD (ID INTEGER);\nINSERT INTO NOPE VALUES (1);\nUPDATE VER SET VERSION = 3;\n");
    WriteFile(Folder + "/4-notes.txt", "");
    for (const char *command : {"status --json", "validate --json"}) {
        ProcessResult r = Json(command);
        EXPECT_EQ(Jq(r.Output, "[.database, .folder, .version, .history, .valid] | @csv"),
                  "\"" + Db + "\",\"" + Folder + "\"," + std::to_string(Version()) + ",true,true")
            << command;
        EXPECT_EQ(Jq(r.Output, ".applied[1] | [.version, .script, .checksum, .checksum_now, .installed_by, .outcome, "
                               ".state, (.started_at | test(\"^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}$\")), "
                               "(.duration_ms >= 0)] | @csv"),
                  "2,\"2.sql\",\"" + GzipCrc(kTwo) + "\",\"" + GzipCrc(kTwo) + "\",\"SYSDBA\",\"applied\",\"ok\",true,true");
        EXPECT_EQ(Jq(r.Output, ".pending[0] | [.version, .script, .failed_before] | @csv"), "3,\"3.sql\",false");
        EXPECT_EQ(Jq(r.Output, ".problems[0] | [.kind, .version, .script, .fails_validation] | @csv"),
                  "\"ignored_file\",,\"4-notes.txt\",false");
    }
    ProcessResult failed = Json("migrate --json");
    EXPECT_EQ(failed.ExitCode, 1);
    EXPECT_EQ(Jq(failed.Output, "[.result, .version_after, .scripts[0].outcome, .error] | @csv"),
              "\"failed\",2,\"failed\",\"3.sql (version 3) failed\"");

    ProcessResult check = Vantrel("check --json " + Folder + "/2.sql 2>/dev/null");
    EXPECT_EQ(check.ExitCode, 0);
    std::smatch kind;
    const std::string listing = Vantrel("check " + Folder + "/2.sql").Output;
    ASSERT_TRUE(std::regex_search(listing, kind, std::regex("\n +2  (\\S+) "))) << listing;
    EXPECT_EQ(Jq(check.Output, "[.ok, .count, .problem, (.statements | length), .statements[1].line, "
                               ".statements[1].kind, .statements[1].text] | @csv"),
              "true,3,,3,2,\"" + kind.str(1) + "\",\"INSERT INTO CUSTOMER VALUES (1, 'Ann')\"");
    WriteFile(Folder + "/5.sql", "FROBNICATE;\n");
    ProcessResult bad = Vantrel("check --json " + Folder + "/5.sql 2>/dev/null");
    EXPECT_EQ(bad.ExitCode, 1);
    EXPECT_EQ(Jq(bad.Output, "[.ok, .problem] | @csv"), "false,\"Invalid statement at line 1: FROBNICATE\"");
}

TEST_P(History, StatusExitCodeSaysWhenScriptsArePendingAndDryRunEchoPrintsWhatWouldRun) {
    Script("1.sql", kVer);
    Script("2.sql", "SET TERM ^ ;\nCREATE PROCEDURE P RETURNS (X INTEGER) AS BEGIN X = 1; SUSPEND; END^\n"
                    "SET TERM ; ^\nUPDATE VER SET VERSION = 2;\n");
    EXPECT_EQ(Run("status --exit-code").ExitCode, 3);
    EXPECT_EQ(Run("status").ExitCode, 0);
    ASSERT_EQ(Run("migrate --to 1 --quiet").ExitCode, 0);

    ProcessResult dry = Run("migrate --dry-run --echo");
    EXPECT_EQ(dry.ExitCode, 0) << dry.Output;
    EXPECT_EQ(Number(Db, "SELECT COUNT(*) FROM RDB$PROCEDURES WHERE RDB$PROCEDURE_NAME = 'P';"), 0);
    // What the dry run prints is what the update echoes as it runs.
    const size_t from = dry.Output.find("-- "), to = dry.Output.find("     2  2.sql  (4 statements)");
    ASSERT_NE(from, std::string::npos) << dry.Output;
    ASSERT_NE(to, std::string::npos) << dry.Output;
    ProcessResult update = Vantrel("update --quiet --echo " + Db + " " + Folder + "/2.sql");
    EXPECT_EQ(update.ExitCode, 0) << update.Output;
    EXPECT_EQ(dry.Output.substr(from, to - from), update.Output);
    EXPECT_TRUE(Has(update.Output, "SET TERM ^ ;\n")) << update.Output;
    EXPECT_EQ(Run("status --exit-code").ExitCode, 0);
}


// The module talks WIN1251, which has neither "ä" nor "ø": a script's file
// name is still recorded, listed and matched by validate as it is.
TEST_P(History, AScriptNamedInAnyAlphabetIsRecordedAndMatchedByItsName) {
    const std::string name = "0002-Kunden-ä-данные-ø.sql";
    Script("0001-ver.sql", kVer);
    Script(name, kTwo);
    ProcessResult r = Run("migrate");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_EQ(Rows(), (RowList{"1|0001-ver.sql|applied", "2|" + name + "|applied"}));
    EXPECT_TRUE(Has(Run("status").Output, "  " + name + "  ")) << Run("status").Output;
    EXPECT_EQ(Jq(Json("status --json").Output, ".applied[1].script"), name);
    ProcessResult validate = Run("validate");
    EXPECT_EQ(validate.ExitCode, 0) << validate.Output;
}
INSTANTIATE_TEST_SUITE_P(Places, History,
                         ::testing::Values(Place{"EmbeddedDialect1", 1, false}, Place{"EmbeddedDialect3", 3, false},
                                           Place{"Server", 3, true}),
                         [](const ::testing::TestParamInfo<Place> &info) { return std::string(info.param.Name); });

// Which files are scripts, and what a folder's versions say, as status and
// validate report them (a database at version 0 unless the case migrates
// some first).
TEST(Discovery, OnlySqlFilesAreScriptsAndGapsAndSkippedScriptsAreReported) {
    struct Case {
        std::vector<std::string> Files;
        std::vector<std::string> MigrateFirst;  // in the folder while migrate runs, then the rest added
        std::string Pending;                    // versions
        std::string Problems;                   // kinds
        int Validate;
    };
    const Case cases[] = {
        {{"0001-a.sql", "2.SQL", "V3__c.Sql", "v4_d.sql", "README.md", "Views.sql", "notes-5.sql"}, {}, "1,2,3,4", "", 0},
        {{"1.sql", "2024-notes.txt"}, {}, "1", "ignored_file", 0},
        {{"1.sql", "0003-proc.sql~", "2.sql", "3-proc.sql"}, {}, "1,2,3", "ignored_file", 0},
        {{"1.sql", "4.sql"}, {}, "1,4", "gap", 1},
        {{"1.sql", "2.sql", "5.sql"}, {}, "1,2,5", "gap", 1},
        {{"3.sql"}, {"1.sql", "2.sql", "4.sql"}, "", "not_applied", 1},
    };
    for (const Case &c : cases) {
        TempDir dir;
        const std::string db = dir.File("d.fdb"), folder = dir.File("s");
        CreateDatabase(db);
        std::filesystem::create_directory(folder);
        auto write = [&](const std::string &name) {
            const int version = std::stoi(name.substr(name.find_first_of("0123456789")));
            WriteFile(folder + "/" + name, version == 1 ? std::string(kVer) : Bump(version, "T" + std::to_string(version)));
        };
        for (const std::string &name : c.MigrateFirst) write(name);
        if (!c.MigrateFirst.empty()) {
            ProcessResult r = RunCommand(SanitizerEnvironment() + CliPath() + " migrate --quiet " + db + " " + folder);
            ASSERT_EQ(r.ExitCode, 0) << r.Output;
        }
        for (const std::string &name : c.Files)
            if (name.find_first_of("0123456789") != std::string::npos) write(name);
            else WriteFile(folder + "/" + name, "");
        const std::string label = c.Files[0] + "...";
        ProcessResult status = RunCommand(SanitizerEnvironment() + CliPath() + " status --json " + db + " " + folder);
        EXPECT_EQ(status.ExitCode, 0) << label << status.Output;
        EXPECT_EQ(Jq(status.Output, "[.pending[].version] | join(\",\")"), c.Pending) << label;
        EXPECT_EQ(Jq(status.Output, "[.problems[].kind] | unique | join(\",\")"), c.Problems) << label;
        ProcessResult validate = RunCommand(SanitizerEnvironment() + CliPath() + " validate " + db + " " + folder);
        EXPECT_EQ(validate.ExitCode, c.Validate) << label << validate.Output;
    }
}

TEST(HistoryByHand, AFailureGotPastOutsideVantrelCanOnlyBeMarkedAppliedAndVerStays) {
    TempDir dir;
    const std::string db = dir.File("p.fdb"), folder = dir.File("s");
    CreateDatabase(db);
    std::filesystem::create_directory(folder);
    WriteFile(folder + "/1.sql", kVer);
    WriteFile(folder + "/2.sql", "CREATE TABLE HALF (ID INTEGER);\nINSERT INTO NOPE VALUES (1);\nUPDATE VER SET VERSION = 2;\n");
    auto vantrel = [&](const std::string &args) {
        return RunCommand(SanitizerEnvironment() + CliPath() + " " + args + " " + db + " " + folder);
    };
    EXPECT_EQ(vantrel("migrate").ExitCode, 1);
    RunIsql(db, "UPDATE VER SET VERSION = 3;");
    ProcessResult status = vantrel("status");
    EXPECT_TRUE(Has(status.Output, "version 2 (2.sql) failed in its last run, yet the database is at version 3"))
        << status.Output;
    ProcessResult retry = vantrel("retry");
    EXPECT_EQ(retry.ExitCode, 2) << "N is missing";
    retry = RunCommand(SanitizerEnvironment() + CliPath() + " retry " + db + " " + folder + " 2");
    EXPECT_EQ(retry.ExitCode, 1);
    EXPECT_TRUE(Has(retry.Output, "use 'vantrel mark-applied'")) << retry.Output;
    ProcessResult mark = RunCommand(SanitizerEnvironment() + CliPath() + " mark-applied " + db + " " + folder + " 2");
    EXPECT_EQ(mark.ExitCode, 0) << mark.Output;
    EXPECT_EQ(Number(db, "SELECT VERSION FROM VER;"), 3) << "never lowered";
    EXPECT_EQ(Values(db, "SELECT OUTCOME FROM VANTREL_HISTORY ORDER BY ID;"),
              (std::vector<std::string>{"applied", "failed", "marked applied"}));
}

TEST(HistoryByHand, AScriptsRowIsCommittedWithItsWorkOrNotAtAll) {
    TempDir dir;
    const std::string db = dir.File("t.fdb"), folder = dir.File("s");
    CreateDatabase(db);
    std::filesystem::create_directory(folder);
    WriteFile(folder + "/1.sql", std::string(kVer) + "CREATE TABLE T (ID INTEGER);\n");
    // The row cannot be written after this script: its data changes go too.
    WriteFile(folder + "/2.sql", "INSERT INTO T VALUES (5);\nDROP TABLE VANTREL_HISTORY;\nUPDATE VER SET VERSION = 2;\n");
    ProcessResult r = RunCommand(SanitizerEnvironment() + CliPath() + " migrate " + db + " " + folder);
    EXPECT_EQ(r.ExitCode, 1) << r.Output;
    EXPECT_TRUE(Has(r.Output, "VANTREL_HISTORY")) << r.Output;
    EXPECT_EQ(Number(db, "SELECT VERSION FROM VER;"), 1);
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM T;"), 0);
}
