// The connection against real embedded Firebird databases: attaching and
// detaching, dialects, character sets, the reuse of the parameter block,
// server errors, property rules, the lost-connection rule of Call, the
// lists of transactions and SQL objects and their notifications.
#include <gtest/gtest.h>

#include <algorithm>

#include "client/IBSchema.h"
#include "platform/Files.h"
#include "ConnectionFixture.h"

namespace vantrel {
namespace {

using test::ClientErrorOf;
using test::MakeConnection;
using test::ProbeSQLObject;
using test::U;

class DatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        Path = Dir.File("conn.fdb");
        test::CreateDatabase(Path, 3, "WIN1251");
    }
    test::TempDir Dir;
    std::string Path;
};

TEST_F(DatabaseTest, OpenAndCloseFireEventsInOrder) {
    auto db = MakeConnection(Path);
    std::vector<std::string> events;
    db->BeforeConnect = [&](TCustomConnection *) { events.push_back("BeforeConnect"); };
    db->AfterConnect = [&](TCustomConnection *c) {
        events.push_back(c->Connected() ? "AfterConnect(open)" : "AfterConnect(closed)");
    };
    db->BeforeDisconnect = [&](TCustomConnection *c) {
        events.push_back(c->Connected() ? "BeforeDisconnect(open)" : "BeforeDisconnect(closed)");
    };
    db->AfterDisconnect = [&](TCustomConnection *c) {
        events.push_back(c->Connected() ? "AfterDisconnect(open)" : "AfterDisconnect(closed)");
    };
    EXPECT_FALSE(db->Connected());
    EXPECT_EQ(db->Handle(), 0u);
    db->Open();
    EXPECT_TRUE(db->Connected());
    EXPECT_NE(db->Handle(), 0u);
    EXPECT_EQ(db->DBSQLDialect(), 3);
    EXPECT_EQ(db->SQLDialect(), 3);
    db->Open();  // already open: nothing happens
    db->Close();
    EXPECT_FALSE(db->Connected());
    EXPECT_EQ(db->Handle(), 0u);
    EXPECT_EQ(db->DBSQLDialect(), 1);
    db->Close();  // already closed: nothing happens
    EXPECT_EQ(events, (std::vector<std::string>{"BeforeConnect", "AfterConnect(open)", "BeforeDisconnect(open)",
                                                "AfterDisconnect(closed)"}));
}

TEST_F(DatabaseTest, CharacterSetOfTheModuleConnection) {
    auto db = MakeConnection(Path);
    EXPECT_EQ(db->CharacterSet(), u"NONE");
    db->Open();
    EXPECT_EQ(db->CharacterSet(), u"WIN1251");
    EXPECT_EQ(db->CharacterSetCodePage(), 1251);
    ASSERT_TRUE(db->Encoding());
    EXPECT_EQ(db->Encoding()->CodePage(), 1251);
    EXPECT_EQ(db->Encoding()->GetBytes(U("Я")), "\xDF");
}

TEST_F(DatabaseTest, LcCtypeReachesTheServerAndExecuteImmediateSendsTextInIt) {
    // The letter goes out in the attachment's character set, two bytes for
    // UTF8 and one for WIN1251; the server stores it as the one byte 0xFF of
    // the WIN1251 column either way (sent in another set, it would be two).
    test::RunIsql(Path, "CREATE TABLE T (N INTEGER, S VARCHAR(10));");
    for (const char *charset : {"UTF8", "WIN1251"}) {
        auto db = MakeConnection(Path, nullptr, charset);
        db->Open();
        db->ExecuteImmediate(U(std::string("INSERT INTO T VALUES (") + (charset[0] == 'U' ? "1" : "2") + ", 'я')"));
    }
    for (int n : {1, 2}) {
        const std::string row = " FROM T WHERE N = " + std::to_string(n) + ";";
        EXPECT_EQ(test::QueryInteger(Path, "SELECT OCTET_LENGTH(S)" + row), 1) << n;
        EXPECT_EQ(test::QueryInteger(Path, "SELECT ASCII_VAL(S)" + row), 0xFF) << n;
    }
}

TEST_F(DatabaseTest, WithoutLcCtypeTheCharacterSetIsNone) {
    auto db = MakeConnection(Path, nullptr, "");
    db->Open();
    EXPECT_EQ(db->CharacterSet(), u"NONE");
    EXPECT_EQ(db->CharacterSetCodePage(), DefaultAnsiCodePage());
    EXPECT_EQ(db->Encoding()->CodePage(), DefaultAnsiCodePage());
}

TEST_F(DatabaseTest, SecondOpenReusesTheBlock) {
    auto db = MakeConnection(Path);
    db->Open();
    const std::vector<uint8_t> first = db->DPB();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(db->DPBLength(), static_cast<int16_t>(first.size()));
    db->Close();
    // Closing keeps the character set of the attachment.
    EXPECT_EQ(db->CharacterSet(), u"WIN1251");
    db->Open();
    EXPECT_EQ(db->DPB(), first);
    EXPECT_EQ(db->CharacterSet(), u"WIN1251");
    db->Close();
    // A change of the lines builds a new block on the next open.
    db->Params().SetValue(u"lc_ctype", u"UTF8");
    db->Open();
    EXPECT_NE(db->DPB(), first);
    EXPECT_EQ(db->CharacterSet(), u"UTF8");
    EXPECT_EQ(db->CharacterSetCodePage(), 65001);
}

TEST_F(DatabaseTest, FailedBuildAttachesNothingAndIsRetried) {
    auto db = MakeConnection(Path);
    db->Params().Add(u"user_name = SYSDBA");
    try {
        db->Open();
        FAIL() << "no error";
    } catch (const EIBClientError &e) {
        EXPECT_EQ(e.SQLCode(), 114);
        EXPECT_EQ(e.Message(), u"DPB Constant (user_name ) is unknown");
    }
    EXPECT_FALSE(db->Connected());
    db->Params().Delete(db->Params().Count() - 1);
    db->Open();
    EXPECT_TRUE(db->Connected());
}

TEST_F(DatabaseTest, DialectOneDatabaseLowersSQLDialectOnce) {
    std::string path1 = Dir.File("dialect1.fdb");
    test::CreateDatabase(path1, 1, "WIN1251");
    auto db = MakeConnection(path1);
    int warnings = 0;
    db->OnDialectDowngradeWarning = [&](TIBDatabase *sender) {
        EXPECT_EQ(sender->SQLDialect(), 1);
        ++warnings;
    };
    EXPECT_EQ(db->SQLDialect(), 3);
    db->Open();
    EXPECT_EQ(db->DBSQLDialect(), 1);
    EXPECT_EQ(db->SQLDialect(), 1);
    EXPECT_EQ(warnings, 1);
    db->Close();
    db->Open();
    EXPECT_EQ(warnings, 1);
    // A dialect above the database's is refused while connected.
    EXPECT_EQ(ClientErrorOf([&] { db->SetSQLDialect(3); }), 87);
    EXPECT_EQ(db->SQLDialect(), 1);
}

TEST_F(DatabaseTest, MissingDatabaseFileReportsTheServerMessage) {
    std::string missing = Dir.File("missing.fdb");
    auto db = MakeConnection(missing);
    try {
        db->Open();
        FAIL() << "no error";
    } catch (const EIBInterBaseError &e) {
        EXPECT_EQ(test::N(e.Message()), test::IsqlConnectError(missing, test::kUser, test::kPassword));
        EXPECT_EQ(e.SQLCode(), -902);
        EXPECT_EQ(e.IBErrorCode(), isc_io_error);
        EXPECT_NE(e.Message().find(U(missing)), String::npos);
    }
    EXPECT_FALSE(db->Connected());
    EXPECT_EQ(db->Handle(), 0u);
}

TEST_F(DatabaseTest, GuardsOfAClosedOrUnnamedConnection) {
    TIBDatabase db(nullptr);
    db.SetLoginPrompt(false);
    EXPECT_EQ(ClientErrorOf([&] { db.Open(); }), 17);
    EXPECT_EQ(ClientErrorOf([&] { db.CheckActive(); }), 15);
    EXPECT_NO_THROW(db.CheckInactive());
    EXPECT_NO_THROW(db.ForceClose());
    EXPECT_EQ(ClientErrorOf([&] { db.DropDatabase(); }), 15);
    EXPECT_EQ(ClientErrorOf([&] { db.ExecuteImmediate(u"SELECT 1 FROM RDB$DATABASE"); }), 15);
    EXPECT_FALSE(db.TestConnected());
    // Opening sets the default server type.
    EXPECT_EQ(db.ServerType(), u"IBServer");
}

TEST_F(DatabaseTest, PropertyRulesWhileConnected) {
    auto db = MakeConnection(Path);
    db->Open();
    EXPECT_EQ(ClientErrorOf([&] { db->SetDatabaseName(U(Dir.File("other.fdb"))); }), 16);
    EXPECT_EQ(db->DatabaseName(), U(Path));
    EXPECT_NO_THROW(db->SetDatabaseName(U(Path)));  // the same name is no change

    const int lines = db->Params().Count();
    EXPECT_EQ(ClientErrorOf([&] { db->Params().Add(u"sql_role_name=R"); }), 16);
    EXPECT_EQ(ClientErrorOf([&] { db->Params().Clear(); }), 16);
    EXPECT_EQ(db->Params().Count(), lines);

    try {
        db->SetServerType(u"IBEmbedded");
        FAIL() << "no error";
    } catch (const EIBError &) {
        FAIL() << "a plain exception is expected";
    } catch (const Exception &e) {
        EXPECT_EQ(e.Message(), u"ServerType can not be changed on an active connection");
    }
    EXPECT_NO_THROW(db->SetServerType(u"ibserver"));  // the same type in other case
    EXPECT_EQ(db->ServerType(), u"IBServer");

    EXPECT_EQ(ClientErrorOf([&] { db->SetSQLDialect(0); }), 87);
    EXPECT_EQ(ClientErrorOf([&] { db->SetSQLDialect(4); }), 87);
    db->SetSQLDialect(1);
    EXPECT_EQ(db->SQLDialect(), 1);

    db->Close();
    db->SetServerType(u"IBEmbedded");
    EXPECT_EQ(db->ServerType(), u"IBEmbedded");
    EXPECT_EQ(db->GDSLibrary(), FindServerLibrary(u"IBEmbedded").get());
    db->SetDatabaseName(U(Dir.File("other.fdb")));
    db->Params().Add(u"sql_role_name=R");
    EXPECT_EQ(ClientErrorOf([&] { db->SetSQLDialect(0); }), 87);
    db->SetSQLDialect(3);  // any dialect is accepted while closed
}

TEST_F(DatabaseTest, ServerTypeNames) {
    TIBDatabase db(nullptr);
    EXPECT_EQ(db.GDSLibrary(), nullptr);
    EXPECT_EQ(ClientErrorOf([&] { db.SetServerType(u"Oracle"); }), 123);
    EXPECT_EQ(db.ServerType(), u"");
    db.SetServerType(u"IBSERVER");
    EXPECT_EQ(db.ServerType(), u"IBServer");
    EXPECT_EQ(db.GDSLibrary(), FindServerLibrary(u"IBServer").get());
    EXPECT_GE(db.GDSLibrary()->GetIBClientVersion(), 30000);
}

// A binding whose library file does not exist.
class MissingLibrary : public TIBServerLibrary {
public:
    String LibraryName() const override { return u"libvantrel-missing-client.so"; }
};

TEST_F(DatabaseTest, ServerTypeWithoutItsLibraryFailsAndRetries) {
    static const bool registered = [] {
        RegisterServerLibrary(u"VantrelMissing", std::make_shared<MissingLibrary>());
        return true;
    }();
    ASSERT_TRUE(registered);
    TIBDatabase db(nullptr);
    try {
        db.SetServerType(u"VantrelMissing");
        FAIL() << "no error";
    } catch (const EIBClientError &e) {
        EXPECT_EQ(e.SQLCode(), 1);
        EXPECT_NE(e.Message().find(u"libvantrel-missing-client.so"), String::npos);
    }
    // No unloaded binding is handed out: the next use tries again.
    EXPECT_EQ(ClientErrorOf([&] { db.GDSLibrary(); }), 1);
    db.SetDatabaseName(U(Path));
    db.SetLoginPrompt(false);
    EXPECT_EQ(ClientErrorOf([&] { db.Open(); }), 1);
    EXPECT_FALSE(db.Connected());
}

TEST_F(DatabaseTest, LoginPrompt) {
    auto db = MakeConnection(Path);
    db->SetLoginPrompt(true);
    try {
        db->Open();
        FAIL() << "no error";
    } catch (const EIBClientError &) {
        FAIL() << "not a client error";
    } catch (const EIBError &e) {
        EXPECT_EQ(e.Message(), u"Can not find default login prompt dialog.  Please assign an OnLogin handler.");
    }
    EXPECT_FALSE(db->Connected());

    db->OnLogin = [](TIBDatabase *, TStringList &) { return false; };
    EXPECT_EQ(ClientErrorOf([&] { db->Open(); }), 10);
    EXPECT_FALSE(db->Connected());

    int logins = 0;
    db->OnLogin = [&](TIBDatabase *, TStringList &lines) {
        ++logins;
        lines.SetValue(u"password", U(test::kPassword));
        return true;
    };
    db->Open();
    EXPECT_TRUE(db->Connected());
    EXPECT_EQ(logins, 1);
    // The password is held back from Params but reached the block.
    EXPECT_EQ(db->Params().IndexOfName(u"password"), -1);
    std::string block(db->DPB().begin(), db->DPB().end());
    EXPECT_NE(block.find(std::string("\x1d\x09") + test::kPassword), std::string::npos);
    db->Close();
    db->Open();
    EXPECT_EQ(logins, 2);
    db->Close();
    // Without the prompt the held-back password is dropped again.
    db->SetLoginPrompt(false);
    db->Open();
    block.assign(db->DPB().begin(), db->DPB().end());
    EXPECT_EQ(block.find(test::kPassword), std::string::npos);
}

TEST_F(DatabaseTest, LostConnectionRuleOfCall) {
    auto db = MakeConnection(Path);
    db->Open();
    // Without the raise flag a lost connection is only returned.
    test::FakeLostConnectionStatus();
    EXPECT_EQ(db->Call(kConnectionLost, false), kConnectionLost);
    EXPECT_TRUE(db->Connected());
    // With it the connection is force-closed and the error raised, even for
    // a code of 0.
    bool before = false;
    db->BeforeDisconnect = [&](TCustomConnection *) { before = true; };
    test::FakeLostConnectionStatus();
    try {
        db->Call(0, true);
        FAIL() << "no error";
    } catch (const EIBInterBaseError &e) {
        EXPECT_EQ(e.IBErrorCode(), kConnectionLost);
        EXPECT_FALSE(e.Message().empty());
    }
    EXPECT_FALSE(db->Connected());
    EXPECT_TRUE(before);
    test::ClearStatus();
    EXPECT_EQ(db->Call(0, true), 0);
}

TEST_F(DatabaseTest, ServerErrorThroughCall) {
    auto db = MakeConnection(Path);
    db->Open();
    try {
        db->ExecuteImmediate(u"SELECT FROM NOWHERE");
        FAIL() << "no error";
    } catch (const EIBInterBaseError &e) {
        EXPECT_EQ(e.SQLCode(), -104);
        EXPECT_EQ(e.Message().rfind(u"Dynamic SQL Error\r\nSQL error code = -104", 0), 0u) << test::N(e.Message());
    }
    EXPECT_TRUE(db->Connected());
    EXPECT_FALSE(db->InternalTransaction()->InTransaction());
}

TEST_F(DatabaseTest, SQLObjectsAreToldAboutDisconnects) {
    auto db = MakeConnection(Path);
    auto tr = std::make_unique<TIBTransaction>(nullptr);
    tr->SetDefaultDatabase(db.get());
    ProbeSQLObject sql;
    sql.Base.SetDatabase(db.get());
    // The transaction whose default connection this is serves as default.
    EXPECT_EQ(sql.Base.Transaction(), tr.get());
    EXPECT_EQ(db->SQLObjectCount(), 1);
    EXPECT_EQ(db->SQLObjects(0), &sql.Base);
    db->Open();
    tr->StartTransaction();
    sql.Events.clear();
    db->Close();
    // The transaction ends (and tells its objects) between the two
    // notifications of the connection.
    EXPECT_EQ(sql.Events,
              (std::vector<std::string>{"Disconnect", "BeforeDatabaseDisconnect", "BeforeTransactionEnd(active)",
                                        "AfterTransactionEnd(ended)", "AfterDatabaseDisconnect"}));
    EXPECT_FALSE(tr->InTransaction());
}

TEST_F(DatabaseTest, DataSetOwnersAreRegisteredClients) {
    auto db = MakeConnection(Path);
    ProbeSQLObject dataset(nullptr, true);
    ProbeSQLObject statement(nullptr, false);
    dataset.Base.SetDatabase(db.get());
    statement.Base.SetDatabase(db.get());
    EXPECT_EQ(db->ClientCount(), 2);  // both owners implement the client interface
    db->Open();
    db->Close();
    EXPECT_EQ(dataset.Events, (std::vector<std::string>{"Connect", "Disconnect", "BeforeDatabaseDisconnect",
                                                        "AfterDatabaseDisconnect"}));
    dataset.Base.SetDatabase(nullptr);
    EXPECT_EQ(db->ClientCount(), 1);
    EXPECT_EQ(db->SQLObjectCount(), 1);
}

TEST_F(DatabaseTest, LinkPicksTheConnectionsDefaultTransaction) {
    auto db = MakeConnection(Path);
    TIBTransaction tr(nullptr);
    db->SetDefaultTransaction(&tr);
    EXPECT_EQ(tr.FindDatabase(db.get()), 0);
    EXPECT_EQ(db->FindTransaction(&tr), db->TransactionCount() - 1);
    ProbeSQLObject sql;
    sql.Base.SetDatabase(db.get());
    EXPECT_EQ(sql.Base.Transaction(), &tr);
    EXPECT_EQ(tr.SQLObjectCount(), 1);
    // Handles are only handed out for an open connection and an active
    // transaction.
    EXPECT_EQ(ClientErrorOf([&] { sql.Base.DBHandle(); }), 15);
    EXPECT_EQ(ClientErrorOf([&] { sql.Base.TRHandle(); }), 18);
    db->Open();
    tr.StartTransaction();
    EXPECT_EQ(*sql.Base.DBHandle(), db->Handle());
    EXPECT_EQ(*sql.Base.TRHandle(), tr.Handle());
    ProbeSQLObject unlinked;
    EXPECT_EQ(ClientErrorOf([&] { unlinked.Base.DBHandle(); }), 24);
    EXPECT_EQ(ClientErrorOf([&] { unlinked.Base.TRHandle(); }), 25);
}

TEST_F(DatabaseTest, DestroyingTheConnectionClearsEveryLink) {
    auto db = MakeConnection(Path);
    TIBTransaction tr(nullptr);
    db->SetDefaultTransaction(&tr);
    ProbeSQLObject sql;
    sql.Base.SetDatabase(db.get());
    db->Open();
    db->ExecuteImmediate(u"CREATE TABLE T (I INTEGER)");
    tr.StartTransaction();
    db->ExecuteImmediate(u"INSERT INTO T VALUES (1)", &tr);
    sql.Events.clear();
    db.reset();
    // The running transaction was committed by its default action.
    EXPECT_FALSE(tr.InTransaction());
    EXPECT_EQ(tr.DatabaseCount(), 0);
    EXPECT_EQ(tr.DefaultDatabase(), nullptr);
    EXPECT_EQ(sql.Base.Database(), nullptr);
    ASSERT_FALSE(sql.Events.empty());
    EXPECT_EQ(sql.Events.back(), "DatabaseFree");
    EXPECT_EQ(test::CountRows(Path, "T"), 1);
}

TEST_F(DatabaseTest, OwnedConnectionAndTransactionGoWithTheirOwner) {
    auto owner = std::make_unique<TComponent>(nullptr);
    auto *db = MakeConnection(Path, owner.get()).release();
    auto *tr = new TIBTransaction(owner.get());
    tr->SetDefaultDatabase(db);
    db->SetDefaultTransaction(tr);
    db->Open();
    db->ExecuteImmediate(u"CREATE TABLE T (I INTEGER)");
    tr->StartTransaction();
    db->ExecuteImmediate(u"INSERT INTO T VALUES (7)", tr);
    owner.reset();  // the transaction goes first (created last), then the connection
    EXPECT_EQ(test::CountRows(Path, "T"), 1);
}

TEST_F(DatabaseTest, InternalTransactionBelongsToTheConnection) {
    auto db = MakeConnection(Path);
    TIBTransaction *internal = db->InternalTransaction();
    ASSERT_NE(internal, nullptr);
    EXPECT_EQ(internal->DefaultDatabase(), db.get());
    EXPECT_EQ(db->FindTransaction(internal), 0);
    // It is never offered as the connection's default transaction.
    EXPECT_EQ(db->FindDefaultTransaction(), nullptr);
    TIBTransaction owned(db.get());
    EXPECT_EQ(owned.DefaultDatabase(), db.get());
    EXPECT_EQ(db->FindDefaultTransaction(), &owned);
}

TEST_F(DatabaseTest, IdleTimerTicks) {
    auto db = MakeConnection(Path);
    EXPECT_EQ(ClientErrorOf([&] { db->SetIdleTimer(-1); }), 20);
    EXPECT_EQ(db->IdleTimer(), 0);
    int fired = 0;
    db->OnIdleTimer = [&](TIBDatabase *) { ++fired; };
    db->Open();
    db->TimeoutConnection();  // no timer: ticks do nothing
    db->TimeoutConnection();
    EXPECT_TRUE(db->Connected());

    db->SetIdleTimer(1000);
    EXPECT_EQ(db->IdleTimer(), 1000);
    db->TimeoutConnection();
    db->ExecuteImmediate(u"CREATE TABLE T (I INTEGER)");  // activity
    db->TimeoutConnection();
    EXPECT_TRUE(db->Connected());
    db->TimeoutConnection();  // a whole interval without a call
    EXPECT_FALSE(db->Connected());
    EXPECT_EQ(fired, 1);
    db->SetIdleTimer(0);
    EXPECT_EQ(db->IdleTimer(), 0);
}

TEST_F(DatabaseTest, IsReadOnlyAsksTheDatabase) {
    auto db = MakeConnection(Path);
    EXPECT_EQ(ClientErrorOf([&] { db->IsReadOnly(); }), 15);
    db->Open();
    EXPECT_FALSE(db->IsReadOnly());
    db->Close();
    test::ProcessResult r = test::RunCommand("gfix -mode read_only '" + Path + "'");
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    db->Open();
    EXPECT_TRUE(db->IsReadOnly());
}

// A metadata cache that answers from a fixed table and counts questions.
class FakeSchema : public TIBSchema {
public:
    void FreeNodes() override { ++Flushes; }
    bool Has_DEFAULT_VALUE(TIBDatabase *, const String &r, const String &f) override {
        return r == u"T" && f == u"D";
    }
    bool Has_COMPUTED_BLR(TIBDatabase *, const String &r, const String &f) override {
        return r == u"T" && f == u"C";
    }
    bool In_Key(TIBDatabase *, const String &r, const String &f) override { return r == u"T" && f == u"K"; }
    int Flushes = 0;
};

TEST_F(DatabaseTest, MetadataQuestionsGoToTheCacheOfTheName) {
    auto db = MakeConnection(Path);
    EXPECT_FALSE(db->Has_COMPUTED_BLR(u"T", u"C"));  // no cache: false
    db->FlushSchema();

    FakeSchema schema;
    std::vector<String> asked;
    const TSchemaProvider saved = SchemaProvider();
    SchemaProvider() = [&](const String &name) {
        asked.push_back(name);
        return &schema;
    };
    try {
        db->Open();
    } catch (...) {
        SchemaProvider() = saved;
        throw;
    }
    SchemaProvider() = saved;
    EXPECT_EQ(asked, std::vector<String>{U(Path)});
    EXPECT_EQ(db->Schema(), &schema);
    EXPECT_TRUE(db->Has_COMPUTED_BLR(u"T", u"C"));
    EXPECT_FALSE(db->Has_COMPUTED_BLR(u"T", u"D"));
    EXPECT_TRUE(db->Has_DEFAULT_VALUE(u"T", u"D"));
    EXPECT_TRUE(db->In_Key(u"T", u"K"));
    db->FlushSchema();
    EXPECT_EQ(schema.Flushes, 1);
    db->Close();
    db->SetDatabaseName(U(Dir.File("other.fdb")));
    EXPECT_EQ(db->Schema(), nullptr);
    EXPECT_FALSE(db->In_Key(u"T", u"K"));
}

TEST_F(DatabaseTest, StoredConnectedOpensWhenLoaded) {
    auto db = MakeConnection(Path);
    TIBTransaction tr(nullptr);
    db->BeginLoading();
    tr.BeginLoading();
    db->SetDefaultTransaction(&tr);
    db->SetConnected(true);
    tr.SetActive(true);
    EXPECT_FALSE(db->Connected());
    tr.EndLoading();  // its connection is not open yet: the value stays pending
    EXPECT_FALSE(tr.InTransaction());
    db->EndLoading();
    EXPECT_TRUE(db->Connected());
    EXPECT_TRUE(tr.InTransaction());
}

TEST_F(DatabaseTest, StoredConnectedIsDroppedWhenNotAllowed) {
    auto db = MakeConnection(Path);
    db->SetAllowStreamedConnected(false);
    db->BeginLoading();
    db->SetConnected(true);
    db->EndLoading();
    EXPECT_FALSE(db->Connected());
    EXPECT_EQ(ClientErrorOf([&] { db->CheckActive(); }), 15);
}

TEST_F(DatabaseTest, FailedStoredConnectIsReportedAndRetriedByTheNextCheck) {
    auto db = MakeConnection(Dir.File("missing.fdb"));
    db->BeginLoading();
    db->SetConnected(true);
    EXPECT_THROW(db->EndLoading(), EIBInterBaseError);
    EXPECT_FALSE(db->Connected());
    // The stored value stays pending: the next check connects.
    db->SetDatabaseName(U(Path));
    db->CheckActive();
    EXPECT_TRUE(db->Connected());
}


// Creating and dropping databases, running single statements.
class DatabaseCreateTest : public ::testing::Test {
protected:
    test::TempDir Dir;
};

TEST_F(DatabaseCreateTest, PlainFormRunsTheServersCreateStatement) {
    std::string path = Dir.File("plain.fdb");
    TIBDatabase db(nullptr);
    db.SetLoginPrompt(false);
    db.SetDatabaseName(U(path));
    db.Params().Add(U(std::string("USER 'SYSDBA' PASSWORD '") + test::kPassword + "'"));
    db.Params().Add(u"PAGE_SIZE 8192");
    db.Params().Add(u"DEFAULT CHARACTER SET WIN1251");
    int events = 0;
    db.BeforeConnect = db.AfterConnect = [&](TCustomConnection *) { ++events; };
    db.CreateDatabase();
    EXPECT_TRUE(db.Connected());
    EXPECT_EQ(events, 0);  // creating is no connect
    EXPECT_EQ(db.ServerType(), u"IBServer");
    EXPECT_EQ(db.DBSQLDialect(), 3);
    EXPECT_EQ(db.CharacterSet(), u"NONE");
    EXPECT_EQ(db.Encoding()->CodePage(), DefaultAnsiCodePage());
    db.ExecuteImmediate(u"CREATE TABLE T (I INTEGER)");
    EXPECT_EQ(ClientErrorOf([&] { db.CreateDatabase(); }), 16);
    db.Close();
    EXPECT_EQ(test::QueryInteger(path, "SELECT MON$PAGE_SIZE FROM MON$DATABASE;"), 8192);
    std::string charset = test::RunIsql(path, "SELECT RDB$CHARACTER_SET_NAME FROM RDB$DATABASE;");
    EXPECT_NE(charset.find("WIN1251"), std::string::npos) << charset;
    EXPECT_EQ(test::CountRows(path, "T"), 0);
}

TEST_F(DatabaseCreateTest, QuotesInTheNameAreKeptInTheStatement) {
    std::string path = Dir.File("it's.fdb");
    TIBDatabase db(nullptr);
    db.SetDatabaseName(U(path));
    db.Params().Add(U(std::string("USER 'SYSDBA' PASSWORD '") + test::kPassword + "'"));
    db.CreateDatabase();
    EXPECT_TRUE(db.Connected());
    db.Close();
    EXPECT_TRUE(FileExists(U(path)));
}

TEST_F(DatabaseCreateTest, ParameterFormBuildsABlockWithTheDialect) {
    std::string path = Dir.File("block.fdb");
    auto db = MakeConnection(path);
    db->Params().Add(u"page_size=4096");
    db->SetSQLDialect(1);
    int warnings = 0;
    db->OnDialectDowngradeWarning = [&](TIBDatabase *) { ++warnings; };
    db->CreateDatabase();
    EXPECT_TRUE(db->Connected());
    EXPECT_EQ(db->DBSQLDialect(), 1);
    EXPECT_EQ(warnings, 0);  // the client asked for dialect 1 itself
    EXPECT_EQ(db->CharacterSet(), u"WIN1251");
    EXPECT_EQ(db->CharacterSetCodePage(), 1251);
    // The block carries the dialect item although Params name none.
    std::vector<uint8_t> dialectItem{63, 4, 1, 0, 0, 0};
    EXPECT_NE(std::search(db->DPB().begin(), db->DPB().end(), dialectItem.begin(), dialectItem.end()),
              db->DPB().end());
    EXPECT_EQ(db->Params().IndexOfName(u"sql_dialect"), -1);
    const std::vector<uint8_t> block = db->DPB();
    db->Close();
    // A later open reuses the block.
    db->Open();
    EXPECT_EQ(db->DPB(), block);
    db->Close();
    EXPECT_EQ(test::QueryInteger(path, "SELECT MON$SQL_DIALECT FROM MON$DATABASE;"), 1);
    EXPECT_EQ(test::QueryInteger(path, "SELECT MON$PAGE_SIZE FROM MON$DATABASE;"), 4096);
    std::string charset = test::RunIsql(path, "SELECT RDB$CHARACTER_SET_NAME FROM RDB$DATABASE;");
    EXPECT_NE(charset.find("WIN1251"), std::string::npos) << charset;
}

TEST_F(DatabaseCreateTest, ParameterFormAddsSecondaryFiles) {
    std::string path = Dir.File("multi.fdb");
    std::string second = Dir.File("multi2.fdb");
    auto db = MakeConnection(path, nullptr, "");
    db->Params().Add(u"sql_dialect=3");
    db->Params().Add(U("FILE '" + second + "' STARTING AT 2000"));
    db->CreateDatabase();
    EXPECT_TRUE(db->Connected());
    EXPECT_EQ(db->CharacterSet(), u"NONE");
    db->Close();
    std::string files = test::RunIsql(path, "SELECT RDB$FILE_NAME, RDB$FILE_START FROM RDB$FILES;");
    EXPECT_NE(files.find(second), std::string::npos) << files;
    EXPECT_NE(files.find("2000"), std::string::npos) << files;
}

TEST_F(DatabaseCreateTest, CreateFailureLeavesTheConnectionClosed) {
    auto db = MakeConnection(Dir.File("no-such-dir/x.fdb"));
    EXPECT_THROW(db->CreateDatabase(), EIBInterBaseError);
    EXPECT_FALSE(db->Connected());
    EXPECT_EQ(db->Handle(), 0u);
}

TEST_F(DatabaseCreateTest, DropEndsTheTransactionFirstAndFiresNoEvents) {
    std::string path = Dir.File("drop.fdb");
    test::CreateDatabase(path, 3, "WIN1251");
    auto db = MakeConnection(path);
    TIBTransaction tr(db.get());
    tr.SetDefaultAction(TARollback);
    ProbeSQLObject sql;
    sql.Base.SetDatabase(db.get());
    db->Open();
    tr.StartTransaction();
    int events = 0;
    db->BeforeDisconnect = db->AfterDisconnect = [&](TCustomConnection *) { ++events; };
    sql.Events.clear();
    db->DropDatabase();
    EXPECT_FALSE(db->Connected());
    EXPECT_FALSE(tr.InTransaction());
    EXPECT_EQ(events, 0);
    EXPECT_EQ(sql.Events, (std::vector<std::string>{"BeforeDatabaseDisconnect", "BeforeTransactionEnd(active)",
                                                    "AfterTransactionEnd(ended)"}));
    EXPECT_FALSE(FileExists(U(path)));
}

TEST_F(DatabaseCreateTest, ExecuteImmediateWithAndWithoutATransaction) {
    std::string path = Dir.File("exec.fdb");
    test::CreateDatabase(path, 3, "WIN1251");
    auto db = MakeConnection(path);
    db->Open();
    db->ExecuteImmediate(u"CREATE TABLE T (I INTEGER)");
    EXPECT_FALSE(db->InternalTransaction()->InTransaction());
    TIBTransaction tr(db.get());
    EXPECT_EQ(ClientErrorOf([&] { db->ExecuteImmediate(u"INSERT INTO T VALUES (1)", &tr); }), 18);
    tr.StartTransaction();
    db->ExecuteImmediate(u"INSERT INTO T VALUES (1)", &tr);
    db->ExecuteImmediate(u"INSERT INTO T VALUES (2)");  // committed at once
    EXPECT_EQ(test::CountRowsInProcess(path, "T"), 1);
    tr.Rollback();
    EXPECT_EQ(test::CountRowsInProcess(path, "T"), 1);
    EXPECT_TRUE(db->TestConnected());
}

}  // namespace
}  // namespace vantrel
