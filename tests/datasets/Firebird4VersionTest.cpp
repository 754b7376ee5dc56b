// A VER whose VERSION has one of Firebird 4's number types: read exactly
// where the reader asks for a number (vantrel status), and, by the table
// reader's integer field, as a column of the nearest older type is read.
// Skipped where the installed Firebird is older than 4.
#include <gtest/gtest.h>

#include <filesystem>

#include "datasets/DataSetFixture.h"

namespace vantrel::test {
namespace {

class Firebird4Versions : public ::testing::Test {
protected:
    void SetUp() override {
        if (InstalledFirebirdMajor() < 4) GTEST_SKIP() << "needs Firebird 4; installed: " << InstalledFirebirdVersion();
    }
    // A database whose VER has a VERSION of the type, holding 12.
    std::string VerOf(const std::string &file, int dialect, const std::string &type) {
        return MakeDatabase(Dir, file, dialect,
                            "create table VER (ID integer not null primary key, VERSION " + type +
                                ");\ninsert into VER values (1, 12);\n");
    }
    // What the table reader's integer field makes of VERSION: its value, or
    // the error without the component's name.
    std::string ReadByTheTableReader(const std::string &path) {
        TModuleLike m(path);
        TIntegerField *version = nullptr;
        TIBTable *t = m.AddTable(u"TVer", u"VER", &version);
        try {
            t->Open();
            return std::to_string(version->AsInteger());
        } catch (const std::exception &e) {
            const std::string what = e.what();
            return what.substr(what.find(':') + 1);
        }
    }
    TempDir Dir;
};

TEST_F(Firebird4Versions, StatusReadsAVersionOfEveryNewNumberType) {
    const std::string folder = Dir.File("scripts");
    std::filesystem::create_directory(folder);
    int n = 0;
    for (int dialect : {1, 3}) {
        for (const char *type : {"INT128", "NUMERIC(38, 0)", "DECIMAL(30, 2)", "DECFLOAT(16)", "DECFLOAT(34)"}) {
            SCOPED_TRACE(std::string(type) + ", dialect " + std::to_string(dialect));
            const std::string db = VerOf("v" + std::to_string(++n) + ".fdb", dialect, type);
            const ProcessResult status = RunCommand(SanitizerEnvironment() + CliPath() + " status " + db + " " + folder);
            EXPECT_EQ(status.ExitCode, 0) << status.Output;
            EXPECT_EQ(status.Output.rfind("version 12,", 0), 0u) << status.Output;
        }
    }
}

TEST_F(Firebird4Versions, AnInt128VersionReadsAsABigintVersionDoes) {
    const std::string bigint = ReadByTheTableReader(VerOf("bigint.fdb", 3, "BIGINT"));
    EXPECT_EQ(ReadByTheTableReader(VerOf("int128.fdb", 3, "INT128")), bigint);
    EXPECT_FALSE(bigint.empty());
}

TEST_F(Firebird4Versions, ADecimalFloatVersionIsAClearErrorNamingTheColumn) {
    const std::string outcome = ReadByTheTableReader(VerOf("decfloat.fdb", 1, "DECFLOAT(34)"));
    EXPECT_NE(outcome.find("'VERSION'"), std::string::npos) << outcome;
    EXPECT_NE(outcome.find("FMTBcd"), std::string::npos) << outcome;
}

}  // namespace
}  // namespace vantrel::test
