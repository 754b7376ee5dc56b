// The transaction of one short piece of work.
#include "client/TransientTransaction.h"

#include "client/IBDatabase.h"
#include "client/IBTransaction.h"
#include "platform/Finally.h"

namespace vantrel {

TTransientTransaction::TTransientTransaction(TIBTransaction &Transaction) : FTransaction(&Transaction) {
    if (FTransaction->InTransaction()) return;
    FTransaction->StartTransaction();
    FStarted = true;
}

TTransientTransaction::TTransientTransaction(TIBDatabase &Database, const TStringList &Params)
    : FOwned(std::make_unique<TIBTransaction>(nullptr)), FTransaction(FOwned.get()) {
    FOwned->SetParams(Params);
    FOwned->SetDefaultDatabase(&Database);
    FOwned->StartTransaction();
    FStarted = true;
}

TTransientTransaction::~TTransientTransaction() {
    if (FStarted && FTransaction->InTransaction()) Quietly([this] { FTransaction->EndByRollback(); });
}

void TTransientTransaction::Commit() {
    if (!FStarted) return;
    TOnFailure rollback([this] { FTransaction->EndByRollback(); });
    FTransaction->Commit();
    FStarted = false;
}

}  // namespace vantrel
