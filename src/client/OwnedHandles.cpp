// Client handles held by the code that made them.
#include "client/OwnedHandles.h"

#include "client/GDSLibrary.h"
#include "client/IBDatabase.h"
#include "platform/Finally.h"

namespace vantrel {

TTransactionHandle::~TTransactionHandle() {
    if (FHandle == 0) return;
    ISC_STATUS ignored[ISC_STATUS_LENGTH] = {};
    Quietly([&] { FLibrary.isc_rollback_transaction(ignored, &FHandle); });
}

ISC_STATUS TTransactionHandle::Commit() {
    const ISC_STATUS result = FLibrary.isc_commit_transaction(StatusVector(), &FHandle);
    if (result == 0) FHandle = 0;
    return result;
}

void TTransactionHandle::CommitQuietly() noexcept {
    if (FHandle == 0) return;
    ISC_STATUS ignored[ISC_STATUS_LENGTH] = {};
    Quietly([&] {
        if (FLibrary.isc_commit_transaction(ignored, &FHandle) == 0) FHandle = 0;
    });
}

TStatementHandle::~TStatementHandle() {
    if (FHandle == 0 || !FConnection.Connected()) return;
    ISC_STATUS ignored[ISC_STATUS_LENGTH] = {};
    Quietly([&] { FLibrary.isc_dsql_free_statement(ignored, &FHandle, DSQL_drop); });
}

TBlobHandle::~TBlobHandle() {
    if (FHandle == 0) return;
    ISC_STATUS ignored[ISC_STATUS_LENGTH] = {};
    Quietly([&] {
        if (FAbandon == abCancel) FLibrary.isc_cancel_blob(ignored, &FHandle);
        else FLibrary.isc_close_blob(ignored, &FHandle);
    });
}

ISC_STATUS TBlobHandle::Close() {
    const ISC_STATUS result = FLibrary.isc_close_blob(StatusVector(), &FHandle);
    if (result == 0) FHandle = 0;
    return result;
}

}  // namespace vantrel
