// CONNECT, RECONNECT, CREATE DATABASE and DROP DATABASE in scripts: the
// connection and parameter lines they produce, the script's own connection
// and transaction, and what ends up in the databases.
#include <gtest/gtest.h>

#include <filesystem>

#include "ScriptFixture.h"
#include "platform/Exceptions.h"

namespace vantrel::test {
namespace {

// The module's login as a script's CONNECT and CREATE DATABASE give it, and
// the parameter line the password becomes.
const std::string kLogin = std::string("USER 'SYSDBA' PASSWORD '") + kPassword + "'";
const std::string kPasswordLine = std::string("password=") + kPassword;

class ScriptDirectivesTest : public ScriptDatabaseTest {
protected:
    void SetUp() override {
        ScriptDatabaseTest::SetUp();
        Other = Dir.File("other.fdb");
        CreateDatabase(Other, 3, "WIN1251");
        for (const std::string &db : {Db(), Other})
            Isql(db, "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, S VARCHAR(50) CHARACTER SET WIN1251);");
    }
    std::string ConnectOther(const std::string &extra = std::string()) {
        return "CONNECT '" + Other + "' " + kLogin + extra + ";\n";
    }
    static std::vector<std::string> ParamLines(TIBDatabase *db) {
        std::vector<std::string> lines;
        for (int i = 0; i < db->Params().Count(); ++i) lines.push_back(N(db->Params()[i]));
        return lines;
    }
    std::string Other;
};

// --- CONNECT and RECONNECT ---

TEST_F(ScriptDirectivesTest, ConnectMovesTheScriptOntoItsOwnConnectionAndTheDMLFollows) {
    {
        ScriptModule m(Db());
        m.Open();
        m.Run("INSERT INTO T (ID) VALUES (1);\n" + ConnectOther() + "INSERT INTO T (ID) VALUES (2);\n");
        TIBDatabase *own = m.IBScript->Database();
        ASSERT_NE(m.DB, own);
        EXPECT_EQ(m.IBScript, own->Owner());
        EXPECT_EQ(m.IBScript, m.IBScript->Transaction()->Owner());
        EXPECT_TRUE(own->Connected());
        EXPECT_FALSE(own->LoginPrompt());
        EXPECT_EQ((std::vector<std::string>{"user_name=SYSDBA", kPasswordLine}), ParamLines(own));
        // The module's connection and transaction are left as they were.
        EXPECT_TRUE(m.DB->Connected());
        EXPECT_TRUE(m.Trans->InTransaction());
        // The DML after CONNECT ran in the script's own transaction.
        EXPECT_TRUE(m.IBScript->Transaction()->InTransaction());
        m.CommitAndClose();
        // The own transaction ends by its default action (commit) when the
        // script goes away with the module.
    }
    EXPECT_EQ("1", IsqlValue(Db(), "SELECT CAST(LIST(ID) AS VARCHAR(100)) FROM T"));
    EXPECT_EQ("2", IsqlValue(Other, "SELECT CAST(LIST(ID) AS VARCHAR(100)) FROM T"));
}

TEST_F(ScriptDirectivesTest, ALaterConnectKeepsTheOwnConnectionAndTransaction) {
    {
        ScriptModule m(Db());
        m.Open();
        m.Run(ConnectOther() + "INSERT INTO T (ID) VALUES (1);\n");
        TIBDatabase *own = m.IBScript->Database();
        TIBTransaction *ownTrans = m.IBScript->Transaction();
        // Connecting again ends the open transaction by disconnecting (commit).
        m.Run("CONNECT '" + Db() + "' " + kLogin + ";\nINSERT INTO T (ID) VALUES (5);\n"
              "COMMIT;\n");
        EXPECT_EQ(own, m.IBScript->Database());
        EXPECT_EQ(ownTrans, m.IBScript->Transaction());
        EXPECT_EQ(Utf8ToString(Db()), own->DatabaseName());
        m.RollbackAndClose();
    }
    EXPECT_EQ("1", IsqlValue(Other, "SELECT CAST(LIST(ID) AS VARCHAR(100)) FROM T"));
    EXPECT_EQ("5", IsqlValue(Db(), "SELECT CAST(LIST(ID) AS VARCHAR(100)) FROM T"));
}

TEST_F(ScriptDirectivesTest, ConnectTakesUserRoleAndPasswordAndSkipsOtherKeywords) {
    ScriptModule m(Db());
    m.Open();
    m.Run("CONNECT '" + Other + "' USER 'SYSDBA' CACHE 100 ROLE 'rdb$admin' PASSWORD '" + kPassword + "';\n");
    EXPECT_EQ((std::vector<std::string>{"user_name=SYSDBA", "sql_role_name=rdb$admin", kPasswordLine}),
              ParamLines(m.IBScript->Database()));
    EXPECT_TRUE(m.IBScript->Database()->Connected());
    // A trailing keyword without a value is ignored.
    m.Run("CONNECT '" + Other + "' USER 'SYSDBA' PASSWORD;\n");
    EXPECT_EQ((std::vector<std::string>{"user_name=SYSDBA"}), ParamLines(m.IBScript->Database()));
    m.CommitAndClose();
}

TEST_F(ScriptDirectivesTest, SetNamesBeforeConnectSetsTheConnectionCharacterSet) {
    {
        ScriptModule m(Db());
        m.Open();
        m.Run("SET NAMES WIN1251;\n" + ConnectOther() + "INSERT INTO T (ID, S) VALUES (1, 'Привет, мир');\n");
        TIBDatabase *own = m.IBScript->Database();
        EXPECT_EQ((std::vector<std::string>{"user_name=SYSDBA", kPasswordLine, "lc_ctype=WIN1251"}),
                  ParamLines(own));
        EXPECT_EQ(u"WIN1251", own->CharacterSet());
        m.CommitAndClose();
    }
    EXPECT_EQ("Привет, мир", IsqlValue(Other, "SELECT S FROM T WHERE ID = 1"));
}

TEST_F(ScriptDirectivesTest, SetNamesLastsOneRunOnly) {
    ScriptModule m(Db());
    m.Open();
    m.Run("SET NAMES WIN1251;\n");
    m.Run(ConnectOther());
    EXPECT_EQ((std::vector<std::string>{"user_name=SYSDBA", kPasswordLine}),
              ParamLines(m.IBScript->Database()));
    m.CommitAndClose();
}

TEST_F(ScriptDirectivesTest, ReconnectKeepsTheParametersAndAppendsNewOnes) {
    {
        ScriptModule m(Db());
        m.Open();
        m.Run(ConnectOther() + "INSERT INTO T (ID) VALUES (1);\nRECONNECT;\n");
        EXPECT_TRUE(m.IBScript->Database()->Connected());
        EXPECT_EQ((std::vector<std::string>{"user_name=SYSDBA", kPasswordLine}),
                  ParamLines(m.IBScript->Database()));
        // Disconnecting committed the insert (the transaction's default
        // action), so the rollback below leaves it.
        m.Run("INSERT INTO T (ID) VALUES (2);\nROLLBACK;\nRECONNECT X ROLE 'rdb$admin' SOMETHING 1;\n");
        EXPECT_EQ((std::vector<std::string>{"user_name=SYSDBA", kPasswordLine, "sql_role_name=rdb$admin"}),
                  ParamLines(m.IBScript->Database()));
        EXPECT_TRUE(m.IBScript->Database()->Connected());
        m.CommitAndClose();
    }
    EXPECT_EQ("1", IsqlValue(Other, "SELECT CAST(LIST(ID) AS VARCHAR(100)) FROM T"));
}

TEST_F(ScriptDirectivesTest, ReconnectWithoutAConnectionDoesNothing) {
    TComponent root(nullptr);
    auto *script = new TIBScript(&root);
    script->Script().SetText(u"RECONNECT;\n");
    EXPECT_NO_THROW(script->ExecuteScript());
    EXPECT_EQ(nullptr, script->Database());
}

TEST_F(ScriptDirectivesTest, AFailedConnectLeavesTheRunAndTheModuleConnection) {
    ScriptModule m(Db());
    m.Open();
    EXPECT_THROW(m.Run("CONNECT '" + Dir.File("missing.fdb") + "' " + kLogin + ";\n"), EIBError);
    EXPECT_TRUE(m.DB->Connected());
    EXPECT_FALSE(m.IBScript->Database()->Connected());
    m.CommitAndClose();
}

TEST_F(ScriptDirectivesTest, AFailedRunRollsBackTheScriptsOwnTransaction) {
    {
        ScriptModule m(Db());
        m.Open();
        EXPECT_THROW(m.Run(ConnectOther() + "INSERT INTO T (ID) VALUES (1);\nINSERT INTO T (ID) VALUES (2);\n"
                                            "INSERT INTO T (ID) VALUES (1);\n"),
                     EIBError);
        EXPECT_FALSE(m.IBScript->Transaction()->InTransaction());
        m.CommitAndClose();
    }
    EXPECT_EQ("0", IsqlValue(Other, "SELECT COUNT(*) FROM T"));
    // A run that ends without an error leaves the own transaction to its
    // default action, as before.
    {
        ScriptModule m(Db());
        m.Open();
        m.Run(ConnectOther() + "INSERT INTO T (ID) VALUES (3);\n");
        m.CommitAndClose();
    }
    EXPECT_EQ("1", IsqlValue(Other, "SELECT COUNT(*) FROM T"));
}

TEST_F(ScriptDirectivesTest, AFailedRunLeavesTheCallersTransactionToTheCaller) {
    ScriptModule m(Db());
    m.Open();
    EXPECT_THROW(m.Run("INSERT INTO T (ID) VALUES (1);\nINSERT INTO T (ID) VALUES (1);\n"), EIBError);
    EXPECT_TRUE(m.Trans->InTransaction());
    m.CommitAndClose();
    EXPECT_EQ("1", IsqlValue(Db(), "SELECT COUNT(*) FROM T"));
}

// --- CREATE DATABASE and DROP DATABASE ---

TEST_F(ScriptDirectivesTest, CreateDatabaseInThePlainFormIsFollowedByDDLAndDML) {
    const std::string created = Dir.File("created.fdb");
    {
        ScriptModule m(Db());
        m.Open();
        m.Run("CREATE DATABASE '" + created + "' PAGE_SIZE 8192 DEFAULT CHARACTER SET WIN1251;\n"
              "CREATE TABLE N (ID INTEGER NOT NULL PRIMARY KEY, S VARCHAR(20));\n"
              "COMMIT;\n"
              "INSERT INTO N VALUES (1, 'one');\n"
              "INSERT INTO N VALUES (2, 'two');\n"
              "COMMIT;\n");
        TIBDatabase *own = m.IBScript->Database();
        EXPECT_EQ(m.IBScript, own->Owner());
        EXPECT_EQ((std::vector<std::string>{" PAGE_SIZE 8192 DEFAULT CHARACTER SET WIN1251"}), ParamLines(own));
        EXPECT_TRUE(own->Connected());
        EXPECT_TRUE(m.DB->Connected());
        m.CommitAndClose();
    }
    ASSERT_TRUE(std::filesystem::exists(created));
    EXPECT_EQ("8192", IsqlValue(created, "SELECT MON$PAGE_SIZE FROM MON$DATABASE"));
    EXPECT_EQ("WIN1251", IsqlValue(created, "SELECT TRIM(RDB$CHARACTER_SET_NAME) FROM RDB$DATABASE"));
    EXPECT_EQ("2", IsqlValue(created, "SELECT COUNT(*) FROM N"));
}

TEST_F(ScriptDirectivesTest, CreateDatabaseInTheExtendedFormBuildsParameterLines) {
    const std::string created = Dir.File("extended.fdb");
    {
        ScriptModule m(Db());
        m.Open();
        m.Run("CREATE DATABASE '" + created + "' " + kLogin + " PAGE_SIZE=16384 "
              "DEFAULT CHARACTER SET WIN1251 FORCE_WRITE SYNC SQL_DIALECT 3;\n"
              "CREATE TABLE N (ID INTEGER NOT NULL, S VARCHAR(20) CHARACTER SET WIN1251);\n"
              "COMMIT;\n"
              "INSERT INTO N VALUES (1, 'Ёжик');\n");
        EXPECT_EQ((std::vector<std::string>{"user_name=SYSDBA", kPasswordLine, "PAGE_SIZE=16384",
                                            "lc_ctype=WIN1251", "force_write=1", "sql_dialect=3"}),
                  ParamLines(m.IBScript->Database()));
        EXPECT_EQ(u"WIN1251", m.IBScript->Database()->CharacterSet());
        m.CommitAndClose();
    }
    EXPECT_EQ("16384", IsqlValue(created, "SELECT MON$PAGE_SIZE FROM MON$DATABASE"));
    EXPECT_EQ("Ёжик", IsqlValue(created, "SELECT S FROM N"));
}

TEST_F(ScriptDirectivesTest, CreateDatabaseWithASecondaryFile) {
    const std::string created = Dir.File("multi.fdb");
    const std::string secondary = Dir.File("multi2.fdb");
    {
        ScriptModule m(Db());
        m.Open();
        m.Run("CREATE DATABASE '" + created + "' " + kLogin + " NO_RESERVE FILE '" + secondary +
              "' STARTING AT PAGE 5000 LENGTH 100;\n");
        EXPECT_EQ((std::vector<std::string>{"user_name=SYSDBA", kPasswordLine, "no_reserve=1",
                                            "FILE '" + secondary + "' STARTING AT PAGE 5000 LENGTH 100"}),
                  ParamLines(m.IBScript->Database()));
        m.CommitAndClose();
    }
    EXPECT_EQ("1", IsqlValue(created, "SELECT COUNT(*) FROM RDB$FILES"));
}

TEST_F(ScriptDirectivesTest, APageSizeWithoutAValueEndsTheScanOfCreateOptions) {
    const std::string created = Dir.File("pagesize.fdb");
    ScriptModule m(Db());
    m.Open();
    m.Run("CREATE DATABASE '" + created + "' " + kLogin + " NO_RESERVE PAGE_SIZE;\n");
    EXPECT_EQ((std::vector<std::string>{"user_name=SYSDBA", kPasswordLine, "no_reserve=1"}),
              ParamLines(m.IBScript->Database()));
    EXPECT_TRUE(m.IBScript->Database()->Connected());
    m.CommitAndClose();
    EXPECT_TRUE(std::filesystem::exists(created));
}

TEST_F(ScriptDirectivesTest, CreateDatabaseWithoutANameIsAListErrorThatNoEventCatches) {
    ScriptModule m(Db());
    m.Open();
    m.IBScript->OnExecuteError = [](TComponent *, const String &, const String &, int32_t, bool &ignore) {
        ignore = true;
    };
    try {
        m.Run("CREATE DATABASE;\n");
        FAIL();
    } catch (const EListError &e) {
        EXPECT_EQ("List index out of bounds (2)", std::string(e.what()));
    }
    m.CommitAndClose();
}

TEST_F(ScriptDirectivesTest, ALaterCreateDatabaseReplacesTheOwnTransaction) {
    const std::string first = Dir.File("first.fdb");
    const std::string second = Dir.File("second.fdb");
    {
        ScriptModule m(Db());
        m.Open();
        m.Run("CREATE DATABASE '" + first + "';\n");
        TIBDatabase *own = m.IBScript->Database();
        m.IBScript->Transaction()->SetName(u"FirstOwnTransaction");
        m.Run("COMMIT;\nDROP DATABASE;\nCREATE DATABASE '" + second + "';\nCREATE TABLE Z (X INTEGER);\n"
              "COMMIT;\nINSERT INTO Z VALUES (9);\nCOMMIT;\n");
        EXPECT_EQ(own, m.IBScript->Database());
        ASSERT_NE(nullptr, m.IBScript->Transaction());
        EXPECT_EQ(u"", m.IBScript->Transaction()->Name());
        EXPECT_EQ(m.IBScript->Transaction(), own->DefaultTransaction());
        m.CommitAndClose();
    }
    EXPECT_FALSE(std::filesystem::exists(first));
    EXPECT_EQ("9", IsqlValue(second, "SELECT X FROM Z"));
}

TEST_F(ScriptDirectivesTest, DropDatabaseRemovesTheScriptsDatabase) {
    const std::string created = Dir.File("dropme.fdb");
    ScriptModule m(Db());
    m.Open();
    m.Run("CREATE DATABASE '" + created + "';\nCREATE TABLE Q (X INTEGER);\n");
    ASSERT_TRUE(std::filesystem::exists(created));
    m.Run("DROP DATABASE;\n");
    EXPECT_FALSE(std::filesystem::exists(created));
    EXPECT_TRUE(m.DB->Connected());
    m.CommitAndClose();
}

TEST_F(ScriptDirectivesTest, DropDatabaseOnTheModuleConnectionDropsItsDatabase) {
    ScriptModule m(Db());
    m.Open();
    m.Run("INSERT INTO T (ID) VALUES (1);\nDROP DATABASE;\n");
    EXPECT_FALSE(std::filesystem::exists(Db()));
}

TEST_F(ScriptDirectivesTest, DropDatabaseWithoutAConnectionIsADatabaseError) {
    TComponent root(nullptr);
    auto *script = new TIBScript(&root);
    script->Script().SetText(u"DROP DATABASE;\n");
    try {
        script->ExecuteScript();
        FAIL();
    } catch (const EIBError &e) {
        EXPECT_EQ("Database not assigned", std::string(e.what()));
    }
}

}  // namespace
}  // namespace vantrel::test
