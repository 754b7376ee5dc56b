// The transaction of one short piece of work, against real embedded
// databases, through a binding that counts the commits and rollbacks the
// client library is asked for: what is committed, what is rolled back, that
// nothing is committed after a failure, and that a transaction running
// already is left to its owner.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>

#include "ConnectionFixture.h"
#include "client/ServerLibraries.h"
#include "client/TPB.h"
#include "client/TransientTransaction.h"

namespace vantrel {
namespace {

using test::MakeConnection;

// The real client binding with the ends of transactions counted.
class TCountingEnds : public TIBServerLibrary {
public:
    static constexpr const char16_t *kServerType = u"TransientCounting";
    static TCountingEnds &Instance() {
        static const std::shared_ptr<TCountingEnds> instance = [] {
            auto library = std::make_shared<TCountingEnds>();
            RegisterServerLibrary(kServerType, library);
            return library;
        }();
        return *instance;
    }

    ISC_STATUS isc_commit_transaction(ISC_STATUS *status, isc_tr_handle *tr) override {
        ++Commits;
        return TIBServerLibrary::isc_commit_transaction(status, tr);
    }
    ISC_STATUS isc_rollback_transaction(ISC_STATUS *status, isc_tr_handle *tr) override {
        ++Rollbacks;
        return TIBServerLibrary::isc_rollback_transaction(status, tr);
    }

    int Commits = 0;
    int Rollbacks = 0;
};

class TransientTransactionTest : public ::testing::Test {
protected:
    void SetUp() override {
        Path = Dir.File("transient.fdb");
        test::CreateDatabase(Path, 3, "WIN1251");
        test::RunIsql(Path, "CREATE TABLE T (I INTEGER);");
        Ends().Commits = Ends().Rollbacks = 0;
        DB = MakeConnection(Path);
        DB->SetServerType(TCountingEnds::kServerType);
        DB->Open();
    }
    static TCountingEnds &Ends() { return TCountingEnds::Instance(); }
    void Insert(TIBTransaction &tr, int value) {
        DB->ExecuteImmediate(u"INSERT INTO T VALUES (" + IntToStr(value) + u")", &tr);
    }
    long long Rows() { return test::CountRowsInProcess(Path, "T"); }

    test::TempDir Dir;
    std::string Path;
    std::unique_ptr<TIBDatabase> DB;
};

TEST_F(TransientTransactionTest, WorkDoneIsCommittedOnceAndNothingEndsItAfterwards) {
    // A transaction of its own, and an idle one it is lent and starts.
    TIBTransaction lent(DB.get());
    const std::vector<std::function<std::unique_ptr<TTransientTransaction>()>> cases = {
        [&] { return std::make_unique<TTransientTransaction>(*DB, TStringList()); },
        [&] { return std::make_unique<TTransientTransaction>(lent); },
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        Ends().Commits = Ends().Rollbacks = 0;
        {
            const std::unique_ptr<TTransientTransaction> work = cases[i]();
            EXPECT_TRUE(work->Transaction().InTransaction());
            Insert(work->Transaction(), 1);
            work->Commit();
            EXPECT_FALSE(work->Transaction().InTransaction());
        }
        EXPECT_EQ(static_cast<long long>(i + 1), Rows());
        EXPECT_EQ(1, Ends().Commits);
        EXPECT_EQ(0, Ends().Rollbacks);
    }
}

TEST_F(TransientTransactionTest, WorkThatFailsOrIsLeftBeforeCommitIsRolledBackNeverCommitted) {
    struct Case {
        const char *Name;
        std::function<void(TTransientTransaction &)> Work;
        bool Throws;
    };
    const Case cases[] = {
        {"a statement fails",
         [&](TTransientTransaction &work) {
             Insert(work.Transaction(), 1);
             DB->ExecuteImmediate(u"INSERT INTO NO_SUCH_TABLE VALUES (1)", &work.Transaction());
             work.Commit();
         },
         true},
        {"the scope is left before Commit", [&](TTransientTransaction &work) { Insert(work.Transaction(), 2); },
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.Name);
        Ends().Commits = Ends().Rollbacks = 0;
        bool threw = false;
        try {
            TTransientTransaction work(*DB, TStringList());
            c.Work(work);
        } catch (const EIBInterBaseError &e) {
            // The work's own failure leaves, not one of the clean-up.
            threw = true;
            EXPECT_NE(std::string::npos, test::N(e.Message()).find("NO_SUCH_TABLE")) << test::N(e.Message());
        }
        EXPECT_EQ(c.Throws, threw);
        EXPECT_EQ(0, Ends().Commits);
        EXPECT_EQ(1, Ends().Rollbacks);
    }
    EXPECT_EQ(0, Rows());
}

TEST_F(TransientTransactionTest, AFailedCommitIsRolledBackAndNeverCommittedAgain) {
    // Another connection uses table T: Firebird carries the DROP out when it
    // is committed, and refuses it there at once (no wait).
    auto other = MakeConnection(Path);
    other->Open();
    TIBTransaction otherWork(other.get());
    otherWork.StartTransaction();
    other->ExecuteImmediate(u"INSERT INTO T VALUES (7)", &otherWork);

    TStringList noWait;
    SetLockTimeoutParams(noWait, 0);
    TTransientTransaction work(*DB, noWait);
    DB->ExecuteImmediate(u"DROP TABLE T", &work.Transaction());
    EXPECT_THROW(work.Commit(), EIBInterBaseError);
    EXPECT_FALSE(work.Transaction().InTransaction());
    EXPECT_EQ(1, Ends().Commits);
    EXPECT_EQ(1, Ends().Rollbacks);

    // The drop was rolled back: the table and the other connection's row
    // are there.
    otherWork.Commit();
    EXPECT_EQ(1, Rows());
}

TEST_F(TransientTransactionTest, ATransactionRunningAlreadyIsLeftToItsOwner) {
    TIBTransaction running(DB.get());
    running.StartTransaction();
    {
        TTransientTransaction work(running);
        Insert(work.Transaction(), 1);
        work.Commit();
    }
    EXPECT_THROW(
        {
            TTransientTransaction work(running);
            throw std::runtime_error("the work failed");
        },
        std::runtime_error);
    EXPECT_TRUE(running.InTransaction());
    EXPECT_EQ(0, Ends().Commits);
    EXPECT_EQ(0, Ends().Rollbacks);
    running.Commit();
    EXPECT_EQ(1, Rows());
}

}  // namespace
}  // namespace vantrel
