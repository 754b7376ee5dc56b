// TIBTransaction: starting and ending server transactions across the listed
// connections, and telling linked SQL objects about the ends.
#include "client/IBTransaction.h"

#include <algorithm>
#include <exception>

#include "client/GDSLibrary.h"
#include "client/IBDatabase.h"
#include "client/IBErrors.h"
#include "client/TPB.h"
#include "platform/Encoding.h"
#include "platform/Finally.h"

namespace vantrel {

namespace {

// One record per database of isc_start_multiple, laid out as the client
// library's transaction existence block (natural alignment on 64-bit).
struct TISCTransactionBlock {
    isc_db_handle *db_handle;
    int32_t tpb_length;
    const ISC_SCHAR *tpb_address;
};

template <typename T>
bool Contains(const std::vector<T *> &list, const T *item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

enum TSavepointCall { spStart, spRelease, spRollback };

}  // namespace

TIBTransaction::TIBTransaction(TComponent *AOwner) : TComponent(AOwner) {
    FTRParams.OnChanging = [this] { TRParamsChanging(); };
    FTRParams.OnChange = [this] { FTRParamsChanged = true; };
    if (auto *db = dynamic_cast<TIBDatabase *>(AOwner)) SetDefaultDatabase(db);
}

TIBTransaction::TIBTransaction(TComponent *AOwner, TIBTransactionLevel TransactionLevel)
    : TIBTransaction(AOwner) {
    SetTransactionLevel(TransactionLevel);
}

TIBTransaction::~TIBTransaction() {
    BeginDestruction();
    Quietly([this] { EndByDefaultAction(); });
    FHandle = 0;
    for (int i = static_cast<int>(FSQLObjects.size()) - 1; i >= 0; --i) {
        if (i >= static_cast<int>(FSQLObjects.size())) continue;
        Quietly([&] { FSQLObjects[static_cast<size_t>(i)]->DoTransactionFree(); });
    }
    while (!FSQLObjects.empty()) {
        TIBBase *obj = FSQLObjects.back();
        FSQLObjects.pop_back();
        if (obj->FTransaction == this) obj->FTransaction = nullptr;
    }
    Quietly([this] { RemoveDatabases(); });
}

// ---------------------------------------------------------------------------
// Properties

void TIBTransaction::TRParamsChanging() { CheckNotInTransaction(); }

void TIBTransaction::SetTransactionLevel(TIBTransactionLevel Level) { FTRParams.Assign(TransactionLevelParams(Level)); }

void TIBTransaction::SetActive(bool Value) {
    if (IsLoading()) {
        FStreamedActive = Value;
        return;
    }
    if (Value && !InTransaction()) StartTransaction();
    else if (!Value && InTransaction()) Rollback();
}

int32_t TIBTransaction::IdleTimer() const { return FTimer.value_or(0); }

void TIBTransaction::SetIdleTimer(int32_t Value) {
    if (Value < 0) RaiseClientError(ClientError::TimeoutNegative);
    if (Value == 0) FTimer.reset();
    else FTimer = Value;
}

void TIBTransaction::SetDefaultAction(TIBTransactionAction Value) {
    if (Value == TARollbackRetaining) {
        // The retaining rollback came with version 6 clients.
        std::shared_ptr<IGDSLibrary> fallback;
        IGDSLibrary *lib = nullptr;
        if (TIBDatabase *db = MainDatabase()) lib = db->GDSLibrary();
        if (!lib) {
            fallback = FindServerLibrary(u"IBServer");
            if (fallback->TryIBLoad()) lib = fallback.get();
        }
        if (lib && lib->GetIBClientVersion() < 60000) {
            // Firebird numbers its clients from 1.0 again although they have
            // the function: only a binding that refuses the call refuses the
            // setting (its refusal raises the version-6 error). The probe
            // with no transaction changes nothing on a real client.
            ISC_STATUS status[ISC_STATUS_LENGTH] = {};
            isc_tr_handle none = 0;
            lib->isc_rollback_retaining(status, &none);
        }
    }
    FDefaultAction = Value;
}

void TIBTransaction::SetDefaultDatabase(TIBDatabase *Value) {
    TIBDatabase *old = FDefaultDatabase;
    if (old && old != Value && old->FindTransaction(this) >= 0) old->RemoveTransaction(this);
    if (Value && Value != old) {
        AddDatabase(Value);
        auto objects = FSQLObjects;
        for (TIBBase *obj : objects) {
            if (!Contains(FSQLObjects, obj) || obj->Database()) continue;
            if (obj->OwnerSetDatabase) obj->OwnerSetDatabase(Value);
            else obj->SetDatabase(Value);
        }
    }
    FDefaultDatabase = Value;
}

int64_t TIBTransaction::TransactionID() {
    if (!InTransaction()) return 0;
    if (FTransactionID == 0) {
        IGDSLibrary *lib = MainLibrary();
        const ISC_SCHAR item = isc_info_tra_id;
        ISC_SCHAR buffer[64] = {};
        Call(lib->isc_transaction_info(StatusVector(), &FHandle, 1, &item, sizeof(buffer), buffer), true);
        if (buffer[0] == isc_info_tra_id) {
            const ISC_LONG length = lib->isc_vax_integer(buffer + 1, 2);
            if (length > 0 && length <= 8)
                FTransactionID = lib->isc_portable_integer(reinterpret_cast<const ISC_UCHAR *>(buffer + 3),
                                                           static_cast<short>(length));
        }
    }
    return FTransactionID;
}

void TIBTransaction::Loaded() {
    TComponent::Loaded();
    if (FStreamedActive && !InTransaction() && FDefaultDatabase && FDefaultDatabase->Connected()) {
        StartTransaction();
        FStreamedActive = false;
    }
}

void TIBTransaction::Notification(TComponent *AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != TOperation::opRemove) return;
    // The component is half destroyed: only its address may be used.
    FDatabases.erase(std::remove(FDatabases.begin(), FDatabases.end(), AComponent), FDatabases.end());
    if (AComponent == FDefaultDatabase) FDefaultDatabase = nullptr;
}

// ---------------------------------------------------------------------------
// Guards and the status check

void TIBTransaction::CheckInTransaction() {
    if (FStreamedActive && !InTransaction()) Loaded();
    if (FHandle == 0) RaiseClientError(ClientError::NotInTransaction);
}

void TIBTransaction::CheckNotInTransaction() {
    if (FHandle != 0) RaiseClientError(ClientError::InTransaction);
}

void TIBTransaction::CheckDatabasesInList() {
    if (FDatabases.empty()) RaiseClientError(ClientError::NoDatabasesInTransaction);
}

TIBDatabase *TIBTransaction::MainDatabase() const {
    if (FDefaultDatabase) return FDefaultDatabase;
    return FDatabases.empty() ? nullptr : FDatabases.front();
}

IGDSLibrary *TIBTransaction::MainLibrary() const {
    TIBDatabase *db = MainDatabase();
    if (!db) RaiseClientError(ClientError::NoDatabasesInTransaction);
    return LibraryOf(db);
}

IGDSLibrary *TIBTransaction::LibraryOf(TIBDatabase *DB) {
    // A connection that never had a server type has no binding to call
    // through: it was never opened.
    IGDSLibrary *lib = DB->GDSLibrary();
    if (!lib) RaiseClientError(ClientError::DatabaseClosed);
    return lib;
}

ISC_STATUS TIBTransaction::Call(ISC_STATUS ErrCode, bool RaiseError) {
    for (TIBDatabase *db : FDatabases) db->FCanTimeout = false;
    FCanTimeout = false;
    TIBDatabase *main = MainDatabase();
    if (main && StatusVectorHas({kConnectionLost})) return main->Call(ErrCode, RaiseError);
    if (RaiseError && ErrCode > 0)
        RaiseServerError(main ? main->GDSLibrary() : nullptr, main ? main->MessageEncoding() : nullptr);
    return ErrCode;
}

// ---------------------------------------------------------------------------
// Starting and ending

void TIBTransaction::StartTransaction() {
    CheckNotInTransaction();
    CheckDatabasesInList();
    auto databases = FDatabases;
    for (TIBDatabase *db : databases) {
        if (db->Connected()) continue;
        if (!db->FStreamedConnected) RaiseClientError(ClientError::DatabaseClosed);
        db->Open();
        db->FStreamedConnected = false;
    }
    if (FTRParamsChanged) {
        std::vector<uint8_t> block = BuildTPB(FTRParams);
        FTPB = std::move(block);
        FTPBLength = static_cast<int16_t>(FTPB.size());
        FTRParamsChanged = false;
    }
    std::vector<TISCTransactionBlock> blocks;
    blocks.reserve(FDatabases.size());
    for (TIBDatabase *db : FDatabases)
        blocks.push_back({&db->FHandle, FTPBLength,
                          FTPBLength > 0 ? reinterpret_cast<const ISC_SCHAR *>(FTPB.data()) : nullptr});
    IGDSLibrary *lib = FDatabases.front()->GDSLibrary();
    FRollbackOnly = false;
    const ISC_STATUS result = Call(
        lib->isc_start_multiple(StatusVector(), &FHandle, static_cast<short>(blocks.size()), blocks.data()), false);
    if (result > 0) {
        FHandle = 0;
        RaiseServerError(lib, FDatabases.front()->MessageEncoding());
    }
}

void TIBTransaction::StartTransaction(const String &SetTransactionStatement) {
    CheckNotInTransaction();
    CheckDatabasesInList();
    // The statement names no connection: it starts a transaction on one.
    if (FDatabases.size() != 1) RaiseClientError(ClientError::NotSupported);
    TIBDatabase *db = FDatabases.front();
    if (!db->Connected()) {
        if (!db->FStreamedConnected) RaiseClientError(ClientError::DatabaseClosed);
        db->Open();
        db->FStreamedConnected = false;
    }
    IGDSLibrary *lib = db->GDSLibrary();
    std::string text;
    AppendServerText(db->Encoding() ? *db->Encoding() : *AnsiEncoding(), db->CharacterSet(), SetTransactionStatement,
                     text);
    // Executed without a transaction, the statement hands back the one it
    // started.
    FRollbackOnly = false;
    const ISC_STATUS result =
        Call(lib->isc_dsql_execute_immediate(StatusVector(), &db->FHandle, &FHandle, 0, text.c_str(),
                                             static_cast<unsigned short>(db->SQLDialect()), nullptr),
             false);
    if (result > 0) {
        FHandle = 0;
        RaiseServerError(lib, db->MessageEncoding());
    }
}

void TIBTransaction::Commit() { FinishTransaction(TACommit, false); }
void TIBTransaction::Rollback() { FinishTransaction(TARollback, false); }
void TIBTransaction::CommitRetaining() { FinishTransaction(TACommitRetaining, false); }
void TIBTransaction::RollbackRetaining() { FinishTransaction(TARollbackRetaining, false); }

void TIBTransaction::FinishTransaction(TIBTransactionAction Action, bool Force) {
    CheckInTransaction();
    IGDSLibrary *lib = MainLibrary();
    if (Force && FRollbackOnly) {
        if (Action == TACommit) Action = TARollback;
        if (Action == TACommitRetaining) Action = TARollbackRetaining;
    }
    if (Action == TACommit || Action == TARollback) {
        if (FHandleIsShared && Action != FDefaultAction && !Force)
            RaiseClientError(ClientError::CannotEndSharedTransaction);

        // A forced end happens whatever the SQL objects say; their first
        // failure is passed on once the handle is gone.
        TFirstFailure objects(Force);
        {
            const TAutoStopAction autoStop = std::exchange(FAutoStopAction, saNone);
            TFinally restore([&] { FAutoStopAction = autoStop; });
            objects.ForEach(FSQLObjects, [](TIBBase *obj) { obj->DoBeforeTransactionEnd(); });
        }

        if (InTransaction()) {
            if (FHandleIsShared) {
                FHandle = 0;
                FHandleIsShared = false;
            } else {
                ISC_STATUS result = Call(Action == TARollback ? lib->isc_rollback_transaction(StatusVector(), &FHandle)
                                                              : lib->isc_commit_transaction(StatusVector(), &FHandle),
                                         false);
                if (Force && result > 0) result = Call(lib->isc_rollback_transaction(StatusVector(), &FHandle), false);
                if (Force) {
                    FHandle = 0;
                } else if (result > 0) {
                    FRollbackOnly = true;
                    // A broken link to the server ends the connection: every
                    // later call would fail the same way. Besides the network
                    // error itself, the read, write and lost-connection codes
                    // (what a server that died mid-commit leaves) count too.
                    const bool linkBroken =
                        StatusVectorHas({kNetworkReadError, kNetworkWriteError, kConnectionLost});
                    try {
                        TIBDatabase *main = MainDatabase();
                        RaiseServerError(lib, main ? main->MessageEncoding() : nullptr);
                    } catch (const EIBError &e) {
                        if ((e.SQLCode() == -902 && e.IBErrorCode() == kNetworkError) || linkBroken) {
                            if (TIBDatabase *main = MainDatabase()) Quietly([main] { main->CloseLostConnection(); });
                        }
                        throw;
                    }
                }
            }
            objects.ForEach(FSQLObjects, [](TIBBase *obj) { obj->DoAfterTransactionEnd(); });
        }
        FTransactionID = 0;
        if (!InTransaction()) FAutoStarted = false;
        objects.RaiseFirst();
    } else {
        const ISC_STATUS result = Call(Action == TARollbackRetaining
                                           ? lib->isc_rollback_retaining(StatusVector(), &FHandle)
                                           : lib->isc_commit_retaining(StatusVector(), &FHandle),
                                       false);
        if (result > 0) {
            FRollbackOnly = true;
            TIBDatabase *main = MainDatabase();
            RaiseServerError(lib, main ? main->MessageEncoding() : nullptr);
        }
    }
    if (!InTransaction()) FAutoStarted = false;
}

void TIBTransaction::EndByDefaultAction() {
    if (!InTransaction()) return;
    switch (FDefaultAction) {
    case TACommit:
    case TACommitRetaining:
        FinishTransaction(TACommit, true);
        break;
    case TARollback:
    case TARollbackRetaining:
        FinishTransaction(TARollback, true);
        break;
    }
}

void TIBTransaction::EndByRollback() {
    if (InTransaction()) FinishTransaction(TARollback, true);
}

void TIBTransaction::AutoStartTransaction() {
    if (!FAllowAutoStart) return;
    StartTransaction();
    FAutoStarted = true;
}

void TIBTransaction::CheckAutoStop() {
    if (FAutoStopAction == saNone || !InTransaction() || !FAutoStarted) return;
    for (TIBBase *obj : FSQLObjects) {
        auto *client = dynamic_cast<IConnectionClient *>(obj->Owner());
        if (client && client->IsOpenDataSet()) return;
    }
    switch (FAutoStopAction) {
    case saNone:
        break;
    case saRollback:
        FinishTransaction(TARollback, false);
        break;
    case saCommit:
        FinishTransaction(TACommit, false);
        break;
    case saRollbackRetaining:
        FinishTransaction(TARollbackRetaining, false);
        break;
    case saCommitRetaining:
        FinishTransaction(TACommitRetaining, false);
        break;
    }
}

void TIBTransaction::TimeoutTransaction() {
    if (!FTimer || !InTransaction()) return;
    if (FCanTimeout) {
        FinishTransaction(FDefaultAction, true);
        FCanTimeout = true;
        if (OnIdleTimer) OnIdleTimer(this);
    } else {
        FCanTimeout = true;
    }
}

// ---------------------------------------------------------------------------
// Savepoints

void TIBTransaction::SavepointCall(int Which, const String &Name) {
    CheckInTransaction();
    // A savepoint name is an identifier of the server's, read in the
    // character set of the connection.
    std::string name;
    if (FDatabases.empty()) name = AnsiServerText(Name);
    else AppendServerText(*FDatabases.front()->Encoding(), FDatabases.front()->CharacterSet(), Name, name);
    IGDSLibrary *lib = FDatabases.empty() ? MainLibrary() : LibraryOf(FDatabases.front());
    ISC_STATUS result = 0;
    switch (Which) {
    case spStart:
        result = lib->isc_start_savepoint(StatusVector(), &FHandle, name.c_str());
        break;
    case spRelease:
        result = lib->isc_release_savepoint(StatusVector(), &FHandle, name.c_str());
        break;
    default:
        result = lib->isc_rollback_savepoint(StatusVector(), &FHandle, name.c_str(), 0);
        break;
    }
    Call(result, false);
}

void TIBTransaction::StartSavepoint(const String &Name) { SavepointCall(spStart, Name); }
void TIBTransaction::ReleaseSavepoint(const String &Name) { SavepointCall(spRelease, Name); }
void TIBTransaction::RollbackSavepoint(const String &Name) { SavepointCall(spRollback, Name); }

// ---------------------------------------------------------------------------
// Connections and SQL objects

int TIBTransaction::AddDatabase(TIBDatabase *DB) {
    if (!DB) return -1;
    int i = FindDatabase(DB);
    if (i < 0) {
        FDatabases.push_back(DB);
        i = static_cast<int>(FDatabases.size()) - 1;
    }
    // The link is two-sided: the connection ends the transaction when it
    // disconnects, and whichever goes away first leaves the other's list.
    DB->AddTransaction(this);
    FreeNotification(DB);
    return i;
}

void TIBTransaction::RemoveDatabase(TIBDatabase *DB) {
    if (!DB) return;
    // Losing its only connection ends the transaction.
    TFirstFailure steps;
    if (InTransaction() && FDatabases.size() == 1 && FDatabases.front() == DB) steps.Run([&] { EndByDefaultAction(); });
    const int i = FindDatabase(DB);
    if (i >= 0) FDatabases.erase(FDatabases.begin() + i);
    if (DB->FindTransaction(this) >= 0) DB->RemoveTransaction(this);
    if (FDefaultDatabase == DB) FDefaultDatabase = nullptr;
    RemoveFreeNotification(DB);
    steps.RaiseFirst();
}

void TIBTransaction::RemoveDatabases() {
    for (int i = static_cast<int>(FDatabases.size()) - 1; i >= 0; --i)
        if (i < static_cast<int>(FDatabases.size())) RemoveDatabase(FDatabases[static_cast<size_t>(i)]);
}

int TIBTransaction::FindDatabase(TIBDatabase *DB) const {
    auto it = std::find(FDatabases.begin(), FDatabases.end(), DB);
    return it == FDatabases.end() ? -1 : static_cast<int>(it - FDatabases.begin());
}

TIBDatabase *TIBTransaction::FindDefaultDatabase() const {
    if (FDefaultDatabase) return FDefaultDatabase;
    for (TIBDatabase *db : FDatabases)
        if (db->DefaultTransaction() == this) return db;
    return nullptr;
}

TIBDatabase *TIBTransaction::GetDatabase(int Index) const {
    if (Index < 0 || Index >= DatabaseCount()) throw EListError::IndexOutOfBounds(Index);
    return FDatabases[static_cast<size_t>(Index)];
}

TIBBase *TIBTransaction::GetSQLObject(int Index) const {
    if (Index < 0 || Index >= SQLObjectCount()) throw EListError::IndexOutOfBounds(Index);
    return FSQLObjects[static_cast<size_t>(Index)];
}

void TIBTransaction::LinkSQLObject(TIBBase *Obj) {
    if (Obj && !Contains(FSQLObjects, Obj)) FSQLObjects.push_back(Obj);
}

void TIBTransaction::UnlinkSQLObject(TIBBase *Obj) {
    FSQLObjects.erase(std::remove(FSQLObjects.begin(), FSQLObjects.end(), Obj), FSQLObjects.end());
}

}  // namespace vantrel
