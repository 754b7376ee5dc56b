// The script executor on the road of the exported UpdateDB: the executor's
// decisions as the caller of the library sees them.
#include <gtest/gtest.h>

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

TEST_F(ScriptUpdateDBTest, AFailedRunOnTheScriptsOwnConnectionCommitsNothingThere) {
    const std::string other = Dir.File("other.fdb");
    CreateDatabase(other, 3, "WIN1251");
    Isql(other, "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY);");
    const std::string text = Update("CONNECT '" + other + "' USER 'SYSDBA' PASSWORD 'quillfern';\n"
                                    "INSERT INTO T VALUES (1);\nINSERT INTO T VALUES (2);\nINSERT INTO T VALUES (1);\n");
    EXPECT_NE(std::string::npos, text.find("PRIMARY or UNIQUE KEY")) << text;
    // The module is gone; its script's own transaction was rolled back
    // rather than committed by its default action.
    EXPECT_EQ("0", IsqlValue(other, "SELECT COUNT(*) FROM T"));
}

TEST_F(ScriptUpdateDBTest, ASuccessfulRunOnTheScriptsOwnConnectionIsCommittedWhenTheModuleGoes) {
    const std::string other = Dir.File("other.fdb");
    CreateDatabase(other, 3, "WIN1251");
    Isql(other, "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY);");
    EXPECT_EQ("", Update("CONNECT '" + other + "' USER 'SYSDBA' PASSWORD 'quillfern';\nINSERT INTO T VALUES (1);\n"));
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

}  // namespace
}  // namespace vantrel::test
