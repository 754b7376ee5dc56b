// TTransientTransaction: the transaction of one short piece of work (a
// prepare, a question to the catalogue, one statement run on its own). It
// starts the transaction unless it runs already, commits what it started
// once the work is done, and otherwise ends it by rollback.
//
// The rules it keeps, written here once:
// - after a failure the only way out is a rollback: work that failed, or a
//   scope left before Commit, ends by rollback, never by commit;
// - a failed commit is never followed by another commit: the transaction is
//   rolled back and the commit's failure leaves;
// - the first failure wins: a rollback that fails while an earlier failure
//   is on its way out is dropped;
// - what comes after a successful commit cannot change the outcome: once
//   Commit has returned, nothing is left to end.
// A transaction that was running already belongs to someone else: it is
// neither committed nor ended here.
#pragma once

#include <memory>

namespace vantrel {

class TIBDatabase;
class TIBTransaction;
class TStringList;

class TTransientTransaction {
public:
    // The work runs in Transaction, which is started here unless it runs.
    explicit TTransientTransaction(TIBTransaction &Transaction);
    // The work runs in a transaction of its own on Database, started here
    // with the given parameter lines.
    TTransientTransaction(TIBDatabase &Database, const TStringList &Params);
    // A transaction started here and not committed is rolled back, quietly.
    ~TTransientTransaction();
    TTransientTransaction(const TTransientTransaction &) = delete;
    TTransientTransaction &operator=(const TTransientTransaction &) = delete;

    TIBTransaction &Transaction() const { return *FTransaction; }

    // Commits the transaction when it was started here. A commit that fails
    // is followed by a rollback (whose own failure is dropped), and the
    // commit's failure leaves.
    void Commit();

private:
    std::unique_ptr<TIBTransaction> FOwned;
    TIBTransaction *FTransaction;
    bool FStarted = false;
};

}  // namespace vantrel
