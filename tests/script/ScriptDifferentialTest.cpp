// The script executor beside isql-fb: the same realistic update scripts
// (tests/data/update) run once through TIBScript, configured like the update
// module, and once through `isql-fb -i` on a twin database; the resulting
// metadata (`isql-fb -x`), table contents and generator values must agree.
//
// Differences by design, and how the comparison deals with them:
// - TIBScript joins the lines of a statement with CR LF (the script format),
//   isql with LF. Stored sources (views, procedures, triggers, checks) thus
//   differ in their line ends only; the comparison drops CR. A string
//   literal that spans lines keeps CR LF in the data (own test below).
// - isql has no body mode: a procedure or trigger written without SET TERM
//   is cut at its first ";". The body-mode script therefore has a twin for
//   isql, identical but for SET TERM around each body.
// - The scripts are read as the update entry point reads them on Linux (no
//   byte-order mark: the default narrow code page, UTF-8) and sent in the
//   connection's WIN1251; isql gets the same text converted to WIN1251.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>

#include "ScriptFixture.h"
#include "entry/UDMUpdate.h"
#include "entry/UpdateSession.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "vantrel/vantrel.h"

namespace vantrel::test {
namespace {

std::string WithoutCR(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

// The schema as isql-fb extracts it, without the CREATE DATABASE line.
std::string Metadata(const std::string &db) {
    ProcessResult r = RunCommand("isql-fb -x -ch UTF8 -user SYSDBA -password " + std::string(kPassword) + " " +
                                 ShellQuoted(db));
    std::string out;
    for (const std::string &line : Lines(WithoutCR(r.Output)))
        if (line.find("CREATE DATABASE") == std::string::npos) out += line + "\n";
    return out;
}

// A name as a statement writes it: in double quotes, except in dialect 1,
// which has no quoted names.
std::string Named(const std::string &name, bool dialect1) { return dialect1 ? name : "\"" + name + "\""; }

// Every user table, all columns (text blobs as text), in a stable order;
// then every generator's value: of the first database and of its twin, read
// in one isql session. The columns are those of the first, whose schema the
// caller finds equal to the twin's.
std::pair<std::string, std::string> Data(const std::string &db, const std::string &twin, bool dialect1 = false) {
    const std::string listing = IsqlRows(
        db,
        "SELECT 'C|' || TRIM(RF.RDB$RELATION_NAME) || '|' || TRIM(RF.RDB$FIELD_NAME) || '|' || F.RDB$FIELD_TYPE\n"
        "FROM RDB$RELATION_FIELDS RF\n"
        "JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE\n"
        "JOIN RDB$RELATIONS R ON R.RDB$RELATION_NAME = RF.RDB$RELATION_NAME\n"
        "WHERE R.RDB$SYSTEM_FLAG = 0 AND R.RDB$VIEW_BLR IS NULL AND R.RDB$RELATION_TYPE IN (0, 1)\n"
        "ORDER BY RF.RDB$RELATION_NAME, RF.RDB$FIELD_POSITION;\n"
        "SELECT 'G|' || TRIM(RDB$GENERATOR_NAME) FROM RDB$GENERATORS WHERE RDB$SYSTEM_FLAG = 0 ORDER BY 1;");
    std::map<std::string, std::vector<std::string>> tables;
    std::vector<std::string> order, generators;
    for (const std::string &line : Lines(listing)) {
        std::string l = line.substr(line.find_first_not_of(' '));
        if (l.rfind("G|", 0) == 0) {
            generators.push_back(l.substr(2));
            continue;
        }
        if (l.rfind("C|", 0) != 0) continue;
        size_t a = l.find('|', 2), b = l.rfind('|');
        std::string table = l.substr(2, a - 2), column = l.substr(a + 1, b - a - 1);
        int type = std::stoi(l.substr(b + 1));
        std::string expr = Named(column, dialect1);
        if (type == 261) expr = "CAST(" + expr + " AS VARCHAR(8000))";
        if (!tables.count(table)) order.push_back(table);
        tables[table].push_back(expr);
    }
    std::string sql;
    for (const std::string &table : order) {
        std::string list, by;
        for (size_t i = 0; i < tables[table].size(); ++i) {
            list += (i ? ", " : "") + tables[table][i];
            by += (i ? ", " : "") + std::to_string(i + 2);
        }
        sql += "SELECT '" + table + "', " + list + " FROM " + Named(table, dialect1) + " ORDER BY " + by + ";\n";
    }
    for (const std::string &name : generators)
        sql += "SELECT '" + name + " = ' || GEN_ID(" + Named(name, dialect1) + ", 0) FROM RDB$DATABASE;\n";
    const std::string marker = "=== the twin ===";
    const std::string both = WithoutCR(IsqlRows(db, sql + "SELECT '" + marker + "' FROM RDB$DATABASE;\nCONNECT " +
                                                        ShellQuoted(twin) + " USER 'SYSDBA' PASSWORD '" + kPassword +
                                                        "';\n" + sql));
    // isql says so when CONNECT ends the reading transaction.
    auto rows = [](const std::string &text) {
        std::string out;
        for (const std::string &line : Lines(text))
            if (line != "Rolling back work.") out += line + "\n";
        return out;
    };
    const size_t at = both.find(marker);
    if (at == std::string::npos) return {rows(both), std::string()};
    return {rows(both.substr(0, at)), rows(both.substr(at + marker.size()))};
}

class ScriptDifferentialTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (DefaultAnsiCodePage() != 65001) GTEST_SKIP() << "the scripts are UTF-8 without a byte-order mark";
        Ours = Dir.File("ours.fdb");
        Theirs = Dir.File("isql.fdb");
        CreateDatabase(Ours, 3, "WIN1251");
        CreateDatabase(Theirs, 3, "WIN1251");
    }

    // Like the update entry point: connect, start, load, run, commit.
    void RunThroughScript(const std::string &file) {
        ScriptModule m(Ours);
        m.Open();
        LoadLinesFromFile(Utf8ToString(TestDataPath("update/" + file)), m.IBScript->Script());
        m.IBScript->OnParseError = [&](TComponent *, const String &error, const String &text, int32_t line) {
            ADD_FAILURE() << file << ":" << line << ": " << N(error) << ": " << N(text);
        };
        try {
            m.IBScript->ExecuteScript();
        } catch (const Exception &e) {
            ADD_FAILURE() << file << ": " << e.what();
            m.RollbackAndClose();
            return;
        }
        m.CommitAndClose();
    }

    void RunThroughIsql(const std::string &file) {
        const std::vector<uint8_t> bytes = ReadWholeFile(Utf8ToString(TestDataPath("update/" + file)));
        const String text = TEncoding::GetEncoding(65001)->GetString(reinterpret_cast<const char *>(bytes.data()),
                                                                       bytes.size());
        const std::string converted = Dir.File("isql-input.sql");
        WriteFile(converted, TEncoding::GetEncoding(1251)->GetBytes(text));
        ProcessResult r = RunCommand("isql-fb -q -b -ch WIN1251 -user SYSDBA -password " + std::string(kPassword) +
                                     " " + ShellQuoted(Theirs) + " -i " + ShellQuoted(converted));
        EXPECT_EQ(0, r.ExitCode) << file << ":\n" << r.Output;
        EXPECT_EQ(std::string::npos, r.Output.find("Statement failed")) << file << ":\n" << r.Output;
    }

    TempDir Dir;
    std::string Ours, Theirs;
};

TEST_F(ScriptDifferentialTest, UpdateScriptsLeaveTheSameSchemaAndDataAsIsql) {
    const std::vector<std::pair<std::string, std::string>> steps = {
        {"01_base_schema.sql", "01_base_schema.sql"},
        {"02_body_without_term.sql", "02_body_without_term.isql.sql"},
        {"03_alter_and_data.sql", "03_alter_and_data.sql"},
        {"04_comments_everywhere.sql", "04_comments_everywhere.sql"},
        {"05_win1251_data.sql", "05_win1251_data.sql"},
    };
    for (const auto &[ours, theirs] : steps) {
        SCOPED_TRACE(ours);
        RunThroughScript(ours);
        RunThroughIsql(theirs);
        const std::string metadata = Metadata(Ours);
        EXPECT_EQ(Metadata(Theirs), metadata);
        const auto [ourData, theirData] = Data(Ours, Theirs);
        EXPECT_EQ(theirData, ourData);
        // Sanity of the comparison itself: it sees what the step made.
        EXPECT_NE(std::string::npos, metadata.find("CREATE TABLE"));
    }
    const std::string data = Data(Ours, Theirs).first;
    if (std::getenv("VANTREL_SHOW_DIFF_DATA")) std::cout << data << Metadata(Ours);
    EXPECT_NE(std::string::npos, data.find("GEN_CLIENT_ID = 105"));
    EXPECT_NE(std::string::npos, data.find("Ёлкино"));
    // A few facts the scripts must have produced, read independently.
    EXPECT_EQ("5", IsqlValue(Ours, "SELECT VERSION FROM VER WHERE ID = 1"));
    EXPECT_EQ("схема 5 — кириллица", IsqlValue(Ours, "SELECT SERIAL FROM VER WHERE ID = 1"));
    EXPECT_EQ("ИП Петров; филиал № 2", IsqlValue(Ours, "SELECT NAME FROM CLIENT WHERE ID = 102"));
    EXPECT_EQ("Кафе 'Уют'", IsqlValue(Ours, "SELECT NAME FROM CLIENT WHERE ID = 103"));
    EXPECT_EQ("55", IsqlValue(Ours, "SELECT R FROM SUM_TO(10)"));
    EXPECT_EQ("первая /* не комментарий */", IsqlValue(Ours, "SELECT BODY FROM NOTES WHERE ID = 1"));
    EXPECT_EQ("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ",
              IsqlValue(Ours, "SELECT \"Наименование\" FROM \"Справочник\" WHERE \"Код\" = 2"));
}

TEST_F(ScriptDifferentialTest, AStringLiteralSpanningLinesKeepsTheScriptsCRLF) {
    const std::string script = "CREATE TABLE M (ID INTEGER, S VARCHAR(100));\nCOMMIT;\n"
                               "INSERT INTO M VALUES (1, 'first line\nsecond line');\n";
    {
        ScriptModule m(Ours);
        m.Open();
        m.Run(script);
        m.CommitAndClose();
    }
    const std::string file = Dir.File("multi.sql");
    WriteFile(file, script);
    RunCommand("isql-fb -q -b -user SYSDBA -password " + std::string(kPassword) + " " + ShellQuoted(Theirs) + " -i " +
               ShellQuoted(file));
    EXPECT_EQ("23", IsqlValue(Ours, "SELECT CHAR_LENGTH(S) FROM M"));
    EXPECT_EQ("11", IsqlValue(Ours, "SELECT POSITION(ASCII_CHAR(13) IN S) FROM M"));
    EXPECT_EQ("22", IsqlValue(Theirs, "SELECT CHAR_LENGTH(S) FROM M"));
    EXPECT_EQ("0", IsqlValue(Theirs, "SELECT POSITION(ASCII_CHAR(13) IN S) FROM M"));
}

// The corpus: realistic update scripts (tests/data/corpus/NN_*.sql; the
// files they include lie in folders beside them), each applied to a fresh
// database through the exported UpdateDB and to its twin through
// `isql-fb -b -i` (bail at the first error, as UpdateDB stops there). Both
// must fail or succeed alike, and leave the same schema and data; a failed
// run keeps the DDL that AUTODDL committed and none of the DML, in both.
// UpdateDB reads the UTF-8 files and talks WIN1251 to the server; isql gets
// the same text in WIN1251 (a copy of the corpus) and talks WIN1251 too, so
// that both give literals and computed columns the same character set. A
// case whose name holds _fb4 runs where Firebird 4 or later is installed,
// one whose name holds _fb3 only where Firebird 3 is (it shows Firebird 3
// refusing what later versions run).
std::vector<std::string> CorpusCases() {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(TestDataPath("corpus"))) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name.size() > 7 && std::isdigit(static_cast<unsigned char>(name[0])) &&
            std::isdigit(static_cast<unsigned char>(name[1])) && name[2] == '_' && entry.path().extension() == ".sql")
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A copy of the corpus with every file converted to WIN1251; the path of
// the case's copy.
std::string Win1251Copy(const std::string &folder, const std::string &caseName) {
    const std::filesystem::path source = TestDataPath("corpus");
    std::filesystem::create_directories(folder);
    for (const auto &entry : std::filesystem::recursive_directory_iterator(source)) {
        const std::filesystem::path target = folder / std::filesystem::relative(entry.path(), source);
        if (entry.is_directory()) {
            std::filesystem::create_directories(target);
        } else if (entry.path().extension() == ".sql") {
            const std::string bytes = ReadFile(entry.path().string());
            WriteFile(target.string(),
                      TEncoding::GetEncoding(1251)->GetBytes(TEncoding::GetEncoding(65001)->GetString(bytes)));
        }
    }
    return folder + "/" + caseName;
}

// The road of UpdateDB, also telling where a failed run stopped; with
// combine off, every statement goes to the server on its own.
TUpdateOutcome UpdateThroughTheLibrary(const std::string &database, const std::string &script, bool combine = true) {
    TSessionSettings settings;
    settings.CombineDML = combine;
    return UpdateDatabase(Utf8ToString(database), Utf8ToString(script), TUpdateHooks(), settings);
}

// isql's report of a failed statement as the lines of its messages: the
// lines after "Statement failed", without their leading "-", up to the line
// that says where; one final full stop dropped, as the library drops it.
std::vector<std::string> IsqlErrorLines(const std::string &output) {
    std::vector<std::string> lines;
    bool in = false;
    for (const std::string &line : Lines(WithoutCR(output))) {
        if (line.rfind("Statement failed", 0) == 0) {
            in = true;
            continue;
        }
        if (!in) continue;
        if (line.rfind("After line ", 0) == 0 || line.rfind("At line ", 0) == 0) break;
        lines.push_back(line[0] == '-' ? line.substr(1) : line);
    }
    if (!lines.empty() && !lines.back().empty() && lines.back().back() == '.') lines.back().pop_back();
    return lines;
}

class ScriptCorpusTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ScriptCorpusTest, UpdateDBLeavesWhatIsqlLeaves) {
    if (DefaultAnsiCodePage() != 65001) GTEST_SKIP() << "the scripts are UTF-8 without a byte-order mark";
    // Cases named _fb4 use what Firebird 4 brought (types, statements).
    if (GetParam().find("_fb4") != std::string::npos && InstalledFirebirdMajor() < 4)
        GTEST_SKIP() << "needs Firebird 4; installed: " << InstalledFirebirdVersion();
    if (GetParam().find("_fb3") != std::string::npos && InstalledFirebirdMajor() != 3)
        GTEST_SKIP() << "shows Firebird 3's refusal; installed: " << InstalledFirebirdVersion();
    const std::string script = TestDataPath("corpus/" + GetParam());
    TempDir dir;
    const std::string ours = dir.File("ours.fdb"), theirs = dir.File("isql.fdb"), alone = dir.File("alone.fdb");
    const bool dialect1 = GetParam().find("_dialect1") != std::string::npos;
    CreateDatabase(ours, dialect1 ? 1 : 3, "WIN1251");
    // Without forced writes every DDL commit would wait for the disk.
    RunCommand("gfix -write async -user SYSDBA -password " + std::string(kPassword) + " " + ShellQuoted(ours));
    std::filesystem::copy_file(ours, theirs);
    std::filesystem::copy_file(ours, alone);

    const TUpdateOutcome outcome = UpdateThroughTheLibrary(ours, script);
    const std::string error = N(outcome.ErrorText);
    const std::string converted = Win1251Copy(dir.File("corpus"), GetParam());
    const ProcessResult isql = RunCommand("isql-fb -q -b -ch WIN1251 -user SYSDBA -password " +
                                          std::string(kPassword) + " " + ShellQuoted(theirs) + " -i " +
                                          ShellQuoted(converted));
    const bool isqlFailed = isql.ExitCode != 0 || isql.Output.find("Statement failed") != std::string::npos;
    EXPECT_EQ(isqlFailed, !error.empty()) << "UpdateDB: " << error << "\nisql-fb:\n" << isql.Output;
    // The cases named for an error are meant to fail.
    EXPECT_EQ(GetParam().find("_error") != std::string::npos, isqlFailed) << isql.Output;
    if (outcome.Failed) {
        // A server's error reads as isql reads it (where isql reports a failed
        // statement, not a command of its own it refused), and names the
        // statement that every statement run on its own names.
        if (!outcome.LocationInText && isql.Output.find("Statement failed") != std::string::npos) {
            const String isqlText = TEncoding::GetEncoding(1251)->GetString(isql.Output);
            EXPECT_EQ(IsqlErrorLines(N(isqlText)), Lines(WithoutCR(error))) << isql.Output;
        }
        const TUpdateOutcome single = UpdateThroughTheLibrary(alone, script, false);
        EXPECT_EQ(N(single.ErrorText), error);
        EXPECT_EQ(single.Location.Line, outcome.Location.Line);
        EXPECT_EQ(N(single.Location.FileName), N(outcome.Location.FileName));
        EXPECT_EQ(N(single.Location.FirstLine), N(outcome.Location.FirstLine));
        EXPECT_GT(outcome.Location.Line, 0);
    }

    const std::string metadata = Metadata(ours);
    EXPECT_EQ(Metadata(theirs), metadata);
    const auto [ourData, theirData] = Data(ours, theirs, dialect1);
    EXPECT_EQ(theirData, ourData);
    // The comparison sees what the script made.
    EXPECT_NE(std::string::npos, metadata.find("CREATE TABLE")) << metadata;
    if (std::getenv("VANTREL_SHOW_DIFF_DATA")) std::cout << error << "\n" << metadata << ourData;
}

INSTANTIATE_TEST_SUITE_P(Corpus, ScriptCorpusTest, ::testing::ValuesIn(CorpusCases()),
                         [](const ::testing::TestParamInfo<std::string> &info) {
                             std::string name = info.param.substr(0, info.param.size() - 4);
                             for (char &c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

}  // namespace
}  // namespace vantrel::test
