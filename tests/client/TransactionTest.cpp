// Transactions against real embedded Firebird databases: what commits and
// rollbacks leave in the data, the ends a closing connection chooses, the
// notifications of linked SQL objects, the block the server receives, the
// connection list and its default, automatic start and stop, idle ticks.
#include <gtest/gtest.h>

#include "ConnectionFixture.h"
#include "client/TPB.h"

namespace vantrel {
namespace {

using test::ClientErrorOf;
using test::MakeConnection;
using test::ProbeSQLObject;
using test::U;

class TransactionTest : public ::testing::Test {
protected:
    void SetUp() override {
        Path = Dir.File("trans.fdb");
        test::CreateDatabase(Path, 3, "WIN1251");
        test::RunIsql(Path, "CREATE TABLE T (I INTEGER);");
        DB = MakeConnection(Path);
        DB->Open();
    }
    void Insert(TIBTransaction &tr, int value, TIBDatabase *db = nullptr) {
        (db ? db : DB.get())->ExecuteImmediate(u"INSERT INTO T VALUES (" + IntToStr(value) + u")", &tr);
    }
    long long Rows() { return test::CountRowsInProcess(Path, "T"); }

    test::TempDir Dir;
    std::string Path;
    std::unique_ptr<TIBDatabase> DB;
};

TEST_F(TransactionTest, CommitKeepsAndRollbackDiscards) {
    TIBTransaction tr(DB.get());
    EXPECT_FALSE(tr.InTransaction());
    tr.StartTransaction();
    EXPECT_TRUE(tr.InTransaction());
    EXPECT_TRUE(tr.Active());
    EXPECT_NE(tr.Handle(), 0u);
    Insert(tr, 1);
    tr.Commit();
    EXPECT_FALSE(tr.InTransaction());
    EXPECT_EQ(tr.Handle(), 0u);
    EXPECT_EQ(Rows(), 1);

    tr.StartTransaction();
    Insert(tr, 2);
    tr.Rollback();
    EXPECT_FALSE(tr.InTransaction());
    EXPECT_EQ(Rows(), 1);
}

TEST_F(TransactionTest, EndsOfAnInactiveTransactionFail) {
    TIBTransaction tr(DB.get());
    tr.StartTransaction();
    tr.Commit();
    EXPECT_EQ(ClientErrorOf([&] { tr.Commit(); }), 18);
    EXPECT_EQ(ClientErrorOf([&] { tr.Rollback(); }), 18);
    EXPECT_EQ(ClientErrorOf([&] { tr.CommitRetaining(); }), 18);
    EXPECT_EQ(ClientErrorOf([&] { tr.RollbackRetaining(); }), 18);
    EXPECT_EQ(ClientErrorOf([&] { tr.CheckInTransaction(); }), 18);
    EXPECT_EQ(ClientErrorOf([&] { DB->ExecuteImmediate(u"INSERT INTO T VALUES (1)", &tr); }), 18);
}

TEST_F(TransactionTest, StartGuards) {
    TIBTransaction tr(DB.get());
    tr.StartTransaction();
    EXPECT_EQ(ClientErrorOf([&] { tr.StartTransaction(); }), 19);
    EXPECT_EQ(ClientErrorOf([&] { tr.CheckNotInTransaction(); }), 19);
    tr.Rollback();

    TIBTransaction lonely(nullptr);
    EXPECT_EQ(ClientErrorOf([&] { lonely.StartTransaction(); }), 21);
    EXPECT_EQ(ClientErrorOf([&] { lonely.CheckDatabasesInList(); }), 21);

    DB->Close();
    EXPECT_EQ(ClientErrorOf([&] { tr.StartTransaction(); }), 15);
    EXPECT_FALSE(tr.InTransaction());
}

TEST_F(TransactionTest, StartOpensAConnectionWhoseStoredConnectFailed) {
    auto db = MakeConnection(Dir.File("missing.fdb"));
    db->BeginLoading();
    db->SetConnected(true);
    EXPECT_THROW(db->EndLoading(), EIBInterBaseError);
    db->SetDatabaseName(U(Path));
    TIBTransaction tr(db.get());
    tr.StartTransaction();
    EXPECT_TRUE(db->Connected());
    EXPECT_TRUE(tr.InTransaction());
}

TEST_F(TransactionTest, ClosingTheConnectionEndsByDefaultAction) {
    struct Case {
        TIBTransactionAction Action;
        long long RowsAfter;
    };
    long long expected = 0;
    for (Case c : {Case{TACommit, 1}, Case{TARollback, 0}, Case{TACommitRetaining, 1}, Case{TARollbackRetaining, 0}}) {
        if (!DB->Connected()) DB->Open();
        TIBTransaction tr(DB.get());
        tr.SetDefaultAction(c.Action);
        ProbeSQLObject sql;
        sql.Base.SetTransaction(&tr);
        tr.StartTransaction();
        Insert(tr, 1);
        DB->Close();
        // A hard end in every case, told to the linked objects.
        EXPECT_FALSE(tr.InTransaction()) << c.Action;
        EXPECT_EQ(sql.Events,
                  (std::vector<std::string>{"Disconnect", "BeforeDatabaseDisconnect", "BeforeTransactionEnd(active)",
                                            "AfterTransactionEnd(ended)", "AfterDatabaseDisconnect"}))
            << c.Action;
        expected += c.RowsAfter;
        EXPECT_EQ(Rows(), expected) << c.Action;
    }
}

TEST_F(TransactionTest, RetainingEndsKeepTheTransactionAndTellNobody) {
    TIBTransaction tr(DB.get());
    ProbeSQLObject sql;
    sql.Base.SetTransaction(&tr);
    tr.StartTransaction();
    const isc_tr_handle handle = tr.Handle();
    Insert(tr, 1);
    tr.CommitRetaining();
    EXPECT_TRUE(tr.InTransaction());
    EXPECT_EQ(tr.Handle(), handle);
    EXPECT_EQ(Rows(), 1);  // committed for everybody else
    Insert(tr, 2);
    tr.RollbackRetaining();
    EXPECT_TRUE(tr.InTransaction());
    EXPECT_EQ(Rows(), 1);
    EXPECT_TRUE(sql.Events.empty());

    tr.Commit();
    EXPECT_EQ(sql.Events, (std::vector<std::string>{"BeforeTransactionEnd(active)", "AfterTransactionEnd(ended)"}));
}

TEST_F(TransactionTest, ParamsCannotChangeWhileActive) {
    TIBTransaction tr(DB.get());
    tr.Params().Add(u"nowait");
    tr.StartTransaction();
    EXPECT_EQ(ClientErrorOf([&] { tr.SetTransactionLevel(ibtrPrecommitted); }), 19);
    EXPECT_EQ(ClientErrorOf([&] { tr.Params().Add(u"read"); }), 19);
    EXPECT_EQ(tr.Params().Join(u","), u"nowait");
    tr.Commit();
    tr.SetTransactionLevel(ibtrPrecommitted);
    EXPECT_EQ(tr.Params().Join(u","), u"read_committed,rec_version,nowait,read");
}

TEST_F(TransactionTest, TheBlockReachesTheServer) {
    TIBTransaction tr(DB.get());
    tr.StartTransaction();
    EXPECT_EQ(tr.TPBLength(), 0);  // no lines: the server's defaults
    EXPECT_TRUE(tr.TPB().empty());
    tr.Commit();

    TIBTransaction readOnly(DB.get(), ibtrPrecommitted);
    readOnly.StartTransaction();
    EXPECT_EQ(readOnly.TPB(), (std::vector<uint8_t>{3, 15, 17, 7, 8}));
    EXPECT_EQ(readOnly.TPBLength(), 5);
    try {
        Insert(readOnly, 1);
        FAIL() << "a read-only transaction accepted an insert";
    } catch (const EIBInterBaseError &e) {
        EXPECT_NE(e.Message().find(u"read-only"), String::npos) << test::N(e.Message());
    }
    readOnly.Rollback();

    // A rejected line stops the start and is reported again next time.
    TIBTransaction bad(DB.get());
    bad.Params().Add(u"autocommit");
    EXPECT_EQ(ClientErrorOf([&] { bad.StartTransaction(); }), 13);
    EXPECT_EQ(ClientErrorOf([&] { bad.StartTransaction(); }), 13);
    EXPECT_FALSE(bad.InTransaction());
}

TEST_F(TransactionTest, SetActive) {
    TIBTransaction tr(DB.get());
    tr.SetActive(true);
    EXPECT_TRUE(tr.Active());
    Insert(tr, 1);
    tr.SetActive(false);  // rolls back
    EXPECT_FALSE(tr.Active());
    EXPECT_EQ(Rows(), 0);
}

TEST_F(TransactionTest, SavepointsNeedAnInterBase71Client) {
    TIBTransaction tr(DB.get());
    EXPECT_EQ(ClientErrorOf([&] { tr.StartSavepoint(u"S1"); }), 18);
    tr.StartTransaction();
    // Firebird's client reports version 3.0: the binding refuses.
    try {
        tr.StartSavepoint(u"S1");
        FAIL() << "no error";
    } catch (const EIBClientError &e) {
        EXPECT_EQ(e.SQLCode(), 0);
        EXPECT_EQ(e.Message(),
                  u"isc_start_savepoint  is an InterBase 7.1 function. Please upgrade to InterBase 7.1 to use this "
                  u"functonality");
    }
    EXPECT_THROW(tr.ReleaseSavepoint(u"S1"), EIBClientError);
    EXPECT_THROW(tr.RollbackSavepoint(u"S1"), EIBClientError);
    EXPECT_TRUE(tr.InTransaction());
}

TEST_F(TransactionTest, DestructionCommitsAndFreesTheLinks) {
    ProbeSQLObject sql;
    const int before = DB->TransactionCount();
    {
        TIBTransaction tr(DB.get());
        EXPECT_EQ(DB->TransactionCount(), before + 1);
        sql.Base.SetTransaction(&tr);
        EXPECT_EQ(sql.Base.Database(), DB.get());  // taken from the transaction
        tr.StartTransaction();
        Insert(tr, 1);
        sql.Events.clear();
    }
    EXPECT_EQ(Rows(), 1);
    EXPECT_EQ(DB->TransactionCount(), before);
    EXPECT_EQ(sql.Base.Transaction(), nullptr);
    EXPECT_EQ(sql.Events, (std::vector<std::string>{"BeforeTransactionEnd(active)", "AfterTransactionEnd(ended)",
                                                    "TransactionFree"}));
}

TEST_F(TransactionTest, DefaultDatabaseKeepsBothListsInStep) {
    auto other = MakeConnection(Path);
    TIBTransaction tr(nullptr);
    ProbeSQLObject viaOwner;
    ProbeSQLObject direct;
    TIBDatabase *assignedThroughOwner = nullptr;
    viaOwner.Base.OwnerSetDatabase = [&](TIBDatabase *db) {
        assignedThroughOwner = db;
        viaOwner.Base.SetDatabase(db);
    };
    viaOwner.Base.SetTransaction(&tr);
    direct.Base.SetTransaction(&tr);
    EXPECT_EQ(viaOwner.Base.Database(), nullptr);

    tr.SetDefaultDatabase(DB.get());
    EXPECT_EQ(tr.DefaultDatabase(), DB.get());
    EXPECT_EQ(tr.FindDatabase(DB.get()), 0);
    EXPECT_GE(DB->FindTransaction(&tr), 0);
    EXPECT_EQ(assignedThroughOwner, DB.get());
    EXPECT_EQ(viaOwner.Base.Database(), DB.get());
    EXPECT_EQ(direct.Base.Database(), DB.get());

    tr.SetDefaultDatabase(other.get());
    EXPECT_EQ(DB->FindTransaction(&tr), -1);
    EXPECT_EQ(tr.FindDatabase(DB.get()), -1);
    EXPECT_EQ(tr.DatabaseCount(), 1);
    EXPECT_EQ(tr.Databases(0), other.get());
    EXPECT_EQ(direct.Base.Database(), DB.get());  // objects keep the connection they have

    other.reset();
    EXPECT_EQ(tr.DefaultDatabase(), nullptr);
    EXPECT_EQ(tr.DatabaseCount(), 0);
    EXPECT_EQ(tr.FindDefaultDatabase(), nullptr);
}

TEST_F(TransactionTest, DefaultTransactionOfTheConnection) {
    TIBTransaction tr(nullptr);
    TIBTransaction second(nullptr);
    DB->SetDefaultTransaction(&tr);
    EXPECT_EQ(DB->DefaultTransaction(), &tr);
    EXPECT_EQ(tr.FindDefaultDatabase(), DB.get());  // through the connection's default
    DB->SetDefaultTransaction(&second);
    // The old one had another default connection (none): it leaves the list.
    EXPECT_EQ(DB->FindTransaction(&tr), -1);
    EXPECT_EQ(tr.DatabaseCount(), 0);
    EXPECT_GE(DB->FindTransaction(&second), 0);
    {
        TIBTransaction gone(nullptr);
        DB->SetDefaultTransaction(&gone);
    }
    EXPECT_EQ(DB->DefaultTransaction(), nullptr);
}

TEST_F(TransactionTest, LosingTheOnlyConnectionEndsTheTransaction) {
    TIBTransaction tr(nullptr);
    tr.AddDatabase(DB.get());
    DB->AddTransaction(&tr);
    tr.SetDefaultAction(TARollback);
    tr.StartTransaction();
    Insert(tr, 1);
    tr.RemoveDatabase(DB.get());
    EXPECT_FALSE(tr.InTransaction());
    EXPECT_EQ(DB->FindTransaction(&tr), -1);
    EXPECT_EQ(Rows(), 0);
}

// A link made from either side is known to both: a closing connection ends
// the transactions that span it, and a connection destroyed first leaves no
// transaction pointing at it.
TEST_F(TransactionTest, LinksMadeFromEitherSideAreTwoSided) {
    TIBTransaction tr(nullptr);
    tr.AddDatabase(DB.get());
    EXPECT_GE(DB->FindTransaction(&tr), 0);
    TIBTransaction other(nullptr);
    DB->AddTransaction(&other);
    EXPECT_EQ(other.FindDatabase(DB.get()), 0);

    tr.StartTransaction();
    Insert(tr, 1);
    DB->Close();
    EXPECT_FALSE(tr.InTransaction());
    EXPECT_EQ(ClientErrorOf([&] { tr.Rollback(); }), 18);
    EXPECT_EQ(Rows(), 1);

    DB->Open();
    tr.StartTransaction();
    Insert(tr, 2);
    DB.reset();
    EXPECT_FALSE(tr.InTransaction());
    EXPECT_EQ(tr.DatabaseCount(), 0);
    EXPECT_EQ(other.DatabaseCount(), 0);
    EXPECT_EQ(ClientErrorOf([&] { tr.Commit(); }), 18);
    EXPECT_EQ(Rows(), 2);
}

// A default connection that was never given a server type has no binding
// to end the transaction through.
TEST_F(TransactionTest, ADefaultConnectionWithoutBindingIsAClientError) {
    TIBDatabase unbound(nullptr);
    TIBTransaction tr(DB.get());
    tr.StartTransaction();
    tr.AddDatabase(&unbound);
    tr.SetDefaultDatabase(&unbound);
    ASSERT_TRUE(tr.InTransaction());
    EXPECT_EQ(ClientErrorOf([&] { tr.Commit(); }), 15);
    EXPECT_EQ(ClientErrorOf([&] { tr.TransactionID(); }), 15);
    tr.AddDatabase(DB.get());
    tr.SetDefaultDatabase(DB.get());
    tr.Rollback();
}

TEST_F(TransactionTest, OneTransactionOverTwoDatabases) {
    std::string path2 = Dir.File("second.fdb");
    test::CreateDatabase(path2, 3, "WIN1251");
    test::RunIsql(path2, "CREATE TABLE T (I INTEGER);");
    auto db2 = MakeConnection(path2);
    db2->Open();
    TIBTransaction tr(DB.get());
    EXPECT_EQ(tr.AddDatabase(db2.get()), 1);
    EXPECT_EQ(tr.AddDatabase(db2.get()), 1);  // present already
    tr.Params().Add(u"concurrency");
    tr.Params().Add(u"wait");
    tr.StartTransaction();
    Insert(tr, 1);
    Insert(tr, 2, db2.get());
    tr.Commit();
    EXPECT_EQ(Rows(), 1);
    EXPECT_EQ(test::CountRowsInProcess(path2, "T"), 1);

    tr.StartTransaction();
    Insert(tr, 3);
    Insert(tr, 4, db2.get());
    tr.Rollback();
    EXPECT_EQ(Rows(), 1);
    EXPECT_EQ(test::CountRowsInProcess(path2, "T"), 1);
}

TEST_F(TransactionTest, AutoStartAndAutoStop) {
    TIBTransaction tr(DB.get());
    ProbeSQLObject dataset(nullptr, true);
    dataset.Base.SetTransaction(&tr);

    tr.SetAllowAutoStart(false);
    tr.AutoStartTransaction();
    EXPECT_FALSE(tr.InTransaction());

    tr.SetAllowAutoStart(true);
    tr.SetAutoStopAction(saCommit);
    tr.AutoStartTransaction();
    EXPECT_TRUE(tr.InTransaction());
    EXPECT_TRUE(tr.AutoStarted());
    Insert(tr, 1);
    dataset.Open = true;
    tr.CheckAutoStop();  // an open dataset keeps it running
    EXPECT_TRUE(tr.InTransaction());
    dataset.Open = false;
    tr.CheckAutoStop();
    EXPECT_FALSE(tr.InTransaction());
    EXPECT_FALSE(tr.AutoStarted());
    EXPECT_EQ(Rows(), 1);

    // Started by hand: never stopped automatically.
    tr.StartTransaction();
    tr.CheckAutoStop();
    EXPECT_TRUE(tr.InTransaction());
    tr.Rollback();

    tr.SetAutoStopAction(saNone);
    tr.AutoStartTransaction();
    tr.CheckAutoStop();
    EXPECT_TRUE(tr.InTransaction());
}

TEST_F(TransactionTest, AutoStopIsSuspendedWhileObjectsAreTold) {
    TIBTransaction tr(DB.get());
    tr.SetAutoStopAction(saRollback);
    ProbeSQLObject sql;
    sql.Base.SetTransaction(&tr);
    TAutoStopAction seen = saRollback;
    sql.Base.BeforeTransactionEnd = [&](TIBBase *) {
        seen = tr.AutoStopAction();
        throw Exception(u"cursor would not close");
    };
    tr.StartTransaction();
    EXPECT_THROW(tr.Commit(), Exception);
    EXPECT_EQ(seen, saNone);
    EXPECT_EQ(tr.AutoStopAction(), saRollback);
    EXPECT_TRUE(tr.InTransaction());  // a failed notification stops a plain end
    // A forced end happens anyway and reports the failure afterwards.
    EXPECT_THROW(tr.EndByDefaultAction(), Exception);
    EXPECT_FALSE(tr.InTransaction());
}

TEST_F(TransactionTest, RefusedCommit) {
    // A commit trigger makes the server refuse commits while a marker row
    // exists.
    DB->Close();
    test::RunIsql(Path,
                  "CREATE EXCEPTION E_NO 'commit refused';\n"
                  "SET TERM ^;\n"
                  "CREATE TRIGGER TR_COMMIT ON TRANSACTION COMMIT AS BEGIN "
                  "IF (EXISTS(SELECT 1 FROM T WHERE I = 666)) THEN EXCEPTION E_NO; END^\n"
                  "SET TERM ;^\n");
    DB->Open();
    TIBTransaction tr(DB.get());
    ProbeSQLObject sql;
    sql.Base.SetTransaction(&tr);
    tr.StartTransaction();
    Insert(tr, 666);
    sql.Events.clear();
    try {
        tr.Commit();
        FAIL() << "commit accepted";
    } catch (const EIBInterBaseError &e) {
        EXPECT_NE(e.Message().find(u"commit refused"), String::npos) << test::N(e.Message());
    }
    EXPECT_TRUE(tr.InTransaction());
    EXPECT_EQ(sql.Events, std::vector<std::string>{"BeforeTransactionEnd(active)"});
    // Closing the connection forces the end: the failed commit is followed
    // by a rollback.
    DB->Close();
    EXPECT_FALSE(tr.InTransaction());
    EXPECT_EQ(Rows(), 0);
}

TEST_F(TransactionTest, IdleTimerTicks) {
    TIBTransaction tr(DB.get());
    EXPECT_EQ(ClientErrorOf([&] { tr.SetIdleTimer(-5); }), 20);
    int fired = 0;
    tr.OnIdleTimer = [&](TIBTransaction *) { ++fired; };
    tr.SetIdleTimer(500);
    EXPECT_EQ(tr.IdleTimer(), 500);
    tr.StartTransaction();
    Insert(tr, 1);
    tr.TimeoutTransaction();
    Insert(tr, 2);
    tr.CommitRetaining();  // activity: a call through the transaction
    tr.TimeoutTransaction();
    EXPECT_TRUE(tr.InTransaction());
    tr.TimeoutTransaction();
    EXPECT_FALSE(tr.InTransaction());  // ended by DefaultAction: commit
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(Rows(), 2);
    tr.TimeoutTransaction();  // inactive: nothing
    EXPECT_EQ(fired, 1);
}

TEST_F(TransactionTest, LostConnectionIsHandedToTheConnection) {
    TIBTransaction tr(DB.get());
    tr.StartTransaction();
    test::FakeLostConnectionStatus();
    EXPECT_EQ(tr.Call(kConnectionLost, false), kConnectionLost);
    EXPECT_TRUE(DB->Connected());
    test::FakeLostConnectionStatus();
    EXPECT_THROW(tr.Call(0, true), EIBInterBaseError);
    EXPECT_FALSE(DB->Connected());
    EXPECT_FALSE(tr.InTransaction());
    test::ClearStatus();
}

TEST_F(TransactionTest, TransactionID) {
    TIBTransaction tr(DB.get());
    EXPECT_EQ(tr.TransactionID(), 0);
    tr.StartTransaction();
    const int64_t first = tr.TransactionID();
    EXPECT_GT(first, 0);
    EXPECT_EQ(tr.TransactionID(), first);
    tr.Commit();
    EXPECT_EQ(tr.TransactionID(), 0);
    tr.StartTransaction();
    EXPECT_GT(tr.TransactionID(), first);
}

TEST_F(TransactionTest, RollbackRetainingAsDefaultAction) {
    // Firebird's client numbers itself 3.0 but has the retaining rollback.
    TIBTransaction tr(DB.get());
    tr.SetDefaultAction(TARollbackRetaining);
    EXPECT_EQ(tr.DefaultAction(), TARollbackRetaining);
    tr.StartTransaction();
    Insert(tr, 1);
    tr.EndByDefaultAction();  // a hard rollback
    EXPECT_FALSE(tr.InTransaction());
    EXPECT_EQ(Rows(), 0);
}

}  // namespace
}  // namespace vantrel
