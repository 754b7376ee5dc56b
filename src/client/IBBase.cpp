// TIBBase: linking SQL objects to their connection and transaction.
#include "client/IBBase.h"

#include "client/IBDatabase.h"
#include "client/IBErrors.h"
#include "client/IBTransaction.h"
#include "platform/Finally.h"

namespace vantrel {

TIBBase::TIBBase(TComponent *AOwner) : FOwner(AOwner) {}

TIBBase::~TIBBase() {
    // Leaving the lists does not fail; nothing may leave a destructor.
    Quietly([this] {
        SetDatabase(nullptr);
        SetTransaction(nullptr);
    });
}

void TIBBase::SetDatabase(TIBDatabase *Value) {
    if (FDatabase) FDatabase->UnlinkSQLObject(this);
    FDatabase = Value;
    if (FDatabase) {
        FIndexInDatabase = FDatabase->LinkSQLObject(this);
        if (!FTransaction) SetTransaction(FDatabase->FindDefaultTransaction());
    }
}

void TIBBase::SetTransaction(TIBTransaction *Value) {
    if (FTransaction) FTransaction->UnlinkSQLObject(this);
    FTransaction = Value;
    if (FTransaction) {
        FTransaction->LinkSQLObject(this);
        if (!FDatabase) SetDatabase(FTransaction->FindDefaultDatabase());
    }
}

void TIBBase::CheckDatabase() {
    if (!FDatabase) RaiseClientError(ClientError::DatabaseNotAssigned);
    FDatabase->CheckActive();
}

void TIBBase::CheckTransaction() {
    if (!FTransaction) RaiseClientError(ClientError::TransactionNotAssigned);
    FTransaction->CheckInTransaction();
}

isc_db_handle *TIBBase::GetDBHandle() {
    CheckDatabase();
    return &FDatabase->FHandle;
}

isc_tr_handle *TIBBase::GetTRHandle() {
    CheckTransaction();
    return &FTransaction->FHandle;
}

void TIBBase::DoBeforeDatabaseDisconnect() {
    if (BeforeDatabaseDisconnect) BeforeDatabaseDisconnect(this);
}

void TIBBase::DoAfterDatabaseDisconnect() {
    if (AfterDatabaseDisconnect) AfterDatabaseDisconnect(this);
}

void TIBBase::DoDatabaseFree() {
    if (OnDatabaseFree) OnDatabaseFree(this);
    SetDatabase(nullptr);
}

void TIBBase::DoBeforeTransactionEnd() {
    if (BeforeTransactionEnd) BeforeTransactionEnd(this);
}

void TIBBase::DoAfterTransactionEnd() {
    if (AfterTransactionEnd) AfterTransactionEnd(this);
}

void TIBBase::DoTransactionFree() {
    if (OnTransactionFree) OnTransactionFree(this);
    SetTransaction(nullptr);
}

}  // namespace vantrel
