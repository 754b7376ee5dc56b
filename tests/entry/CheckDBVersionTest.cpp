// CheckDBVersion end to end on real embedded databases, through the shared
// library.
#include <gtest/gtest.h>

#include "entry/EntryLibrary.h"
#include "support/TestSupport.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

class CheckDBVersion : public EntryTest {
protected:
    // A dialect 1 database (the version check's road) with the given SQL run.
    std::string Database(const std::string &sql, int dialect = 1) {
        std::string db = Dir.File("v" + std::to_string(++Count) + ".fdb");
        CreateDatabase(db, dialect, "WIN1251");
        if (!sql.empty()) RunIsql(db, sql);
        return db;
    }
    int32_t Check(const std::string &db) { return L().CheckDBVersion(Text(db)); }
    std::string CheckError(const std::string &db) {
        try {
            L().CheckDBVersion(Text(db));
        } catch (const std::exception &e) {
            return e.what();
        }
        return "no error";
    }
    int Count = 0;
};

}  // namespace

TEST_F(CheckDBVersion, NoVersionTableGivesZero) {
    EXPECT_EQ(Check(Database("")), 0);
    EXPECT_TRUE(Messages.empty());
}

TEST_F(CheckDBVersion, AnEmptyVersionTableGivesZero) {
    EXPECT_EQ(Check(Database("CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER);")), 0);
}

TEST_F(CheckDBVersion, ANullVersionInTheFirstRowGivesZero) {
    EXPECT_EQ(Check(Database("CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER);\n"
                             "INSERT INTO VER VALUES (1, NULL);\nINSERT INTO VER VALUES (2, 5);")),
              0);
}

TEST_F(CheckDBVersion, ReadsTheLowestKeysVersionWhenTheServerNamedThePrimaryKey) {
    // Inserted out of key order so that storage order and key order differ.
    std::string db = Database("CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER, SERIAL "
                              "VARCHAR(40));\n"
                              "INSERT INTO VER VALUES (5, 50, 'x');\nINSERT INTO VER VALUES (2, 20, 'y');\n"
                              "INSERT INTO VER VALUES (9, 90, 'z');\nDELETE FROM VER WHERE ID = 5;\n"
                              "INSERT INTO VER VALUES (7, 70, 'w');");
    EXPECT_EQ(Check(db), 20);
    // The same database answers the same again (the field metadata cache is
    // process-wide; the module is new each call).
    EXPECT_EQ(Check(db), 20);
}

TEST_F(CheckDBVersion, WithANamedPrimaryKeyAnyRowMayComeFirst) {
    std::string db = Database("CREATE TABLE VER (ID INTEGER NOT NULL, VERSION INTEGER,\n"
                              "  CONSTRAINT PK_VER PRIMARY KEY (ID));\n"
                              "INSERT INTO VER VALUES (3, 30);\nINSERT INTO VER VALUES (1, 10);");
    int32_t v = Check(db);
    EXPECT_TRUE(v == 30 || v == 10) << v;
}

TEST_F(CheckDBVersion, ASmallintVersionIsReadExactly) {
    EXPECT_EQ(Check(Database("CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION SMALLINT);\n"
                             "INSERT INTO VER VALUES (1, -32768);")),
              -32768);
}

TEST_F(CheckDBVersion, AFloatingPointVersionIsATypeMismatch) {
    // NUMERIC(18) of a dialect 1 database is stored as a double.
    EXPECT_EQ(CheckError(Database("CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION NUMERIC(18,0));\n"
                                  "INSERT INTO VER VALUES (1, 3);")),
              "TVer: Type mismatch for field 'VERSION', expecting: Integer actual: Float");
}

// Dialect 3 returns COUNT(*) as a 64-bit integer, and a BIGINT version is
// one too: read while the value fits, a type mismatch when it does not.
TEST_F(CheckDBVersion, ServesDialectThreeDatabases) {
    EXPECT_EQ(Check(Database("CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER);\n"
                             "INSERT INTO VER VALUES (1, 4);",
                             3)),
              4);
    EXPECT_EQ(Check(Database("", 3)), 0);
    EXPECT_EQ(Check(Database("CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION BIGINT);\n"
                             "INSERT INTO VER VALUES (1, 2147483647);",
                             3)),
              2147483647);
    EXPECT_EQ(CheckError(Database("CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION BIGINT);\n"
                                  "INSERT INTO VER VALUES (1, 2147483648);",
                                  3)),
              "TVer: Type mismatch for field 'VERSION', expecting: Integer actual: LargeInt");
    EXPECT_TRUE(Messages.empty());
}

TEST_F(CheckDBVersion, AViewOverTwoTablesIsReadAsTheVersionTable) {
    std::string db = Database("CREATE TABLE A (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER);\n"
                              "CREATE TABLE B (ID INTEGER NOT NULL PRIMARY KEY);\n"
                              "INSERT INTO A VALUES (1, 8);\nINSERT INTO B VALUES (1);\n"
                              "CREATE VIEW VER (ID, VERSION) AS SELECT A.ID, A.VERSION FROM A JOIN B ON A.ID = B.ID;");
    EXPECT_EQ(Check(db), 8);
}

TEST_F(CheckDBVersion, AMissingDatabaseIsShownThenRaisedAgain) {
    std::string missing = Dir.File("missing.fdb");
    std::string expected = "I/O error during \"open\" operation for file \"" + missing +
                           "\"\r\nError while trying to open file\r\nNo such file or directory";
    EXPECT_EQ(CheckError(missing), expected);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(N(Messages[0]), expected);
}

TEST_F(CheckDBVersion, AServerQualifiedNameIsNotTestedLocally) {
    // "host:/path" has no drive letter: the name goes to the client library
    // unchanged, which reports that it cannot reach the host.
    std::string error = CheckError("no-such-host.invalid:/data/x.fdb");
    EXPECT_EQ(error.find("не найден"), std::string::npos) << error;
    EXPECT_EQ(Messages.size(), 1u);
}
