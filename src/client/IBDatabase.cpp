// TCustomConnection and TIBDatabase: connecting, disconnecting, the status
// check of client calls, and the lists of transactions and SQL objects.
#include "client/IBDatabase.h"

#include <algorithm>
#include <exception>

#include "client/DPB.h"
#include "client/GDSLibrary.h"
#include "client/IBErrors.h"
#include "client/IBSchema.h"
#include "client/IBTransaction.h"
#include "platform/Finally.h"

namespace vantrel {

namespace {

template <typename T>
bool Contains(const std::vector<T *> &list, const T *item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

// ---------------------------------------------------------------------------
// TCustomConnection

TCustomConnection::TCustomConnection(TComponent *AOwner) : TComponent(AOwner) {}

TCustomConnection::~TCustomConnection() = default;

void TCustomConnection::SetConnected(bool Value) {
    if (IsLoading()) {
        FStreamedConnected = Value;
        return;
    }
    if (Value == GetConnected()) return;
    if (Value) {
        if (BeforeConnect) BeforeConnect(this);
        DoConnect();
        SendConnectEvent(true);
        if (AfterConnect) AfterConnect(this);
    } else {
        if (!IsDestroying() && BeforeDisconnect) BeforeDisconnect(this);
        SendConnectEvent(false);
        DoDisconnect();
        if (!IsDestroying() && AfterDisconnect) AfterDisconnect(this);
    }
}

void TCustomConnection::RegisterClient(IConnectionClient *Client) {
    if (Client && !Contains(FClients, Client)) FClients.push_back(Client);
}

void TCustomConnection::UnRegisterClient(IConnectionClient *Client) {
    FClients.erase(std::remove(FClients.begin(), FClients.end(), Client), FClients.end());
}

void TCustomConnection::SendConnectEvent(bool Connecting) {
    // A client may unregister itself (or another) while being told.
    ForEachInPlace(FClients, [&](IConnectionClient *c) { c->ConnectChange(this, Connecting); });
}

void TCustomConnection::Loaded() {
    TComponent::Loaded();
    if (FStreamedConnected) SetConnected(true);
}

// ---------------------------------------------------------------------------
// TIBDatabase: life cycle and properties

TIBDatabase::TIBDatabase(TComponent *AOwner)
    : TCustomConnection(AOwner), FCharacterSetCodePage(DefaultAnsiCodePage()), FEncoding(AnsiEncoding()) {
    FDBParams.OnChanging = [this] { DBParamsChanging(); };
    FDBParams.OnChange = [this] { FDBParamsChanged = true; };
    FInternalTransaction = std::make_unique<TIBTransaction>(nullptr);
    FInternalTransaction->SetDefaultDatabase(this);
}

TIBDatabase::~TIBDatabase() {
    if (FInternalTransaction && FInternalTransaction->InTransaction())
        Quietly([this] { FInternalTransaction->Rollback(); });
    // Components owned by the connection go first, while it is still whole.
    BeginDestruction();
    FTimer.reset();
    if (Connected() && FailureOf([this] { Close(); })) Quietly([this] { ForceClose(); });
    for (int i = static_cast<int>(FSQLObjects.size()) - 1; i >= 0; --i) {
        if (i >= static_cast<int>(FSQLObjects.size())) continue;
        Quietly([&] { FSQLObjects[static_cast<size_t>(i)]->DoDatabaseFree(); });
    }
    while (!FSQLObjects.empty()) {
        TIBBase *obj = FSQLObjects.back();
        FSQLObjects.pop_back();
        if (obj->FDatabase == this) {
            obj->FDatabase = nullptr;
            obj->FRegisteredClient = nullptr;
        }
    }
    Quietly([this] { RemoveTransactions(); });
    FInternalTransaction.reset();
}

void TIBDatabase::DBParamsChanging() { CheckInactive(); }

void TIBDatabase::SetDatabaseName(const String &Value) {
    if (FDBName == Value) return;
    CheckInactive();
    // The client library would take the name only up to the NUL, and so
    // attach (or create, or drop) another database than the one named.
    if (Value.find(u'\0') != String::npos) throw EIBClientError(0, kDatabaseNameHasNulMessage);
    FDBName = Value;
    FSchema = nullptr;
}

void TIBDatabase::SetServerType(const String &Value) {
    if (Value.empty()) {
        if (FServerType.empty()) return;
        if (Connected()) throw Exception(kServerTypeFixedMessage);
        FServerType.clear();
        FGDSLibrary.reset();
        return;
    }
    const String name = MatchServerType(Value);
    if (name == FServerType && FGDSLibrary) return;
    if (Connected() && name != FServerType)
        throw Exception(kServerTypeFixedMessage);
    FServerType = name;
    FGDSLibrary.reset();
    std::shared_ptr<IGDSLibrary> library = FindServerLibrary(FServerType);
    library->CheckIBLoaded();
    // Held only once loaded, so that no call reaches an unloaded binding.
    FGDSLibrary = std::move(library);
}

void TIBDatabase::EnsureServerType() {
    if (FServerType.empty()) SetServerType(u"IBServer");
}

IGDSLibrary *TIBDatabase::GDSLibrary() {
    if (!FGDSLibrary && !FServerType.empty()) {
        std::shared_ptr<IGDSLibrary> library = FindServerLibrary(FServerType);
        library->CheckIBLoaded();
        FGDSLibrary = std::move(library);
    }
    return FGDSLibrary.get();
}

int32_t TIBDatabase::IdleTimer() const { return FTimer.value_or(0); }

void TIBDatabase::SetIdleTimer(int32_t Value) {
    if (Value < 0) RaiseClientError(ClientError::TimeoutNegative);
    if (Value == 0) FTimer.reset();
    else FTimer = Value;
}

void TIBDatabase::SetSQLDialect(int32_t Value) {
    if (Value < 1 || (Connected() && Value > FDBSQLDialect)) RaiseClientError(ClientError::SQLDialectInvalid);
    FSQLDialect = Value;
}

void TIBDatabase::CheckActive() {
    if (FStreamedConnected && !Connected()) Loaded();
    if (FHandle == 0) RaiseClientError(ClientError::DatabaseClosed);
}

void TIBDatabase::CheckInactive() {
    if (FHandle != 0) RaiseClientError(ClientError::DatabaseOpen);
}

void TIBDatabase::CheckDatabaseName() {
    if (FDBName.empty()) RaiseClientError(ClientError::DatabaseNameMissing);
}

void TIBDatabase::Loaded() {
    TComponent::Loaded();
    // The binding of the default type is looked up when first needed.
    if (FServerType.empty()) FServerType = u"IBServer";
    if (!FAllowStreamedConnected) {
        FStreamedConnected = false;
        for (TIBTransaction *tr : FTransactions) tr->FStreamedActive = false;
    }
    if (FStreamedConnected && !Connected()) {
        // A failure propagates and leaves the stored value pending, so that
        // the next CheckActive tries again and reports the real cause.
        Open();
        auto transactions = FTransactions;
        for (TIBTransaction *tr : transactions) {
            if (!Contains(FTransactions, tr)) continue;
            if (tr->FStreamedActive && !tr->InTransaction()) {
                tr->StartTransaction();
                tr->FStreamedActive = false;
            }
        }
        if (FDefaultTransaction && FDefaultTransaction->FStreamedActive && !FDefaultTransaction->InTransaction()) {
            FDefaultTransaction->StartTransaction();
            FDefaultTransaction->FStreamedActive = false;
        }
        FStreamedConnected = false;
    }
}

void TIBDatabase::Notification(TComponent *AComponent, TOperation Operation) {
    TCustomConnection::Notification(AComponent, Operation);
    if (Operation != TOperation::opRemove) return;
    // The component is half destroyed: only its address may be used.
    FTransactions.erase(std::remove(FTransactions.begin(), FTransactions.end(), AComponent), FTransactions.end());
    if (AComponent == FDefaultTransaction) FDefaultTransaction = nullptr;
}

// ---------------------------------------------------------------------------
// Connecting and disconnecting

bool TIBDatabase::Login() {
    if (!OnLogin)
        throw EIBError(0, kNoLoginHandlerMessage);
    TStringList loginParams;
    loginParams.Assign(FDBParams);
    if (!OnLogin(this, loginParams)) return false;
    FDBParams.Assign(loginParams);
    // The password is held back from Params and added to the block only.
    const int i = FDBParams.IndexOfName(u"password");
    if (i >= 0) {
        FHiddenPassword = TStringList::ValuePart(FDBParams[i]);
        FDBParams.Delete(i);
    }
    return true;
}

void TIBDatabase::ApplyDefaultCharacterSet() {
    FCharacterSet = u"NONE";
    FCharacterSetCodePage = DefaultAnsiCodePage();
    FEncoding = TEncoding::GetEncoding(FCharacterSetCodePage);
}

void TIBDatabase::BuildDPBInto(const TStringList &Lines) {
    std::optional<TDPBCharacterSet> characterSet;
    std::vector<uint8_t> block = BuildDPB(Lines, &characterSet);
    FDPB = std::move(block);
    FDPBLength = static_cast<int16_t>(FDPB.size());
    if (characterSet) {
        FCharacterSet = characterSet->CharacterSet;
        FCharacterSetCodePage = characterSet->CodePage;
        FEncoding = TEncoding::GetEncoding(FCharacterSetCodePage);
    }
}

std::vector<uint8_t> TIBDatabase::BlockToSend(IGDSLibrary *Library) const {
    std::vector<uint8_t> block(FDPB.begin(), FDPB.begin() + FDPBLength);
    if (Library->ClientHasFirebird4Types()) return block;
    return WithLegacyTypeBinding(std::move(block));
}

std::string TIBDatabase::DatabaseNameBytes() const {
    std::string name = AnsiServerText(FDBName);
    if (name.size() > 32767)
        throw EIBClientError(0, Format(kDatabaseNameTooLongMessage, {static_cast<int64_t>(name.size())}));
    return name;
}

void TIBDatabase::DoConnect() {
    EnsureServerType();
    CheckInactive();
    CheckDatabaseName();
    if (!FLoginPrompt && !FHiddenPassword.empty()) {
        FHiddenPassword.clear();
        FDBParamsChanged = true;
    }
    if (FLoginPrompt && !Login()) RaiseClientError(ClientError::OperationCancelled);
    if (!FSchema && SchemaProvider()) FSchema = SchemaProvider()(FDBName);
    if (FDBParamsChanged) {
        ApplyDefaultCharacterSet();
        if (FLoginPrompt && !FHiddenPassword.empty()) {
            TStringList lines(FDBParams);
            lines.Add(u"password=" + FHiddenPassword);
            BuildDPBInto(lines);
        } else {
            BuildDPBInto(FDBParams);
        }
        FDBParamsChanged = false;
    }

    IGDSLibrary *lib = GDSLibrary();
    const std::string name = DatabaseNameBytes();
    const std::vector<uint8_t> block = BlockToSend(lib);
    const ISC_STATUS result =
        Call(lib->isc_attach_database(StatusVector(), static_cast<short>(name.size()), name.data(), &FHandle,
                                      static_cast<short>(block.size()), reinterpret_cast<const ISC_SCHAR *>(block.data())),
             false);
    if (result > 0) {
        FHandle = 0;
        RaiseServerError(lib);
    }

    {
        // When the open fails here, no attachment is left behind that nobody
        // knows about (Call may have force-closed it already).
        TOnFailure detach([&] {
            if (FHandle != 0) {
                lib->isc_detach_database(StatusVector(), &FHandle);
                FHandle = 0;
            }
        });
        FDBSQLDialect = QueryDBSQLDialect();
    }
    if (FDBSQLDialect < FSQLDialect) {
        FSQLDialect = FDBSQLDialect;
        if (OnDialectDowngradeWarning) OnDialectDowngradeWarning(this);
    }
}

int64_t TIBDatabase::QueryInfoInteger(uint8_t Item) {
    IGDSLibrary *lib = GDSLibrary();
    const ISC_SCHAR item = static_cast<ISC_SCHAR>(Item);
    ISC_SCHAR buffer[512] = {};
    Call(lib->isc_database_info(StatusVector(), &FHandle, 1, &item, sizeof(buffer), buffer), true);
    if (static_cast<uint8_t>(buffer[0]) != Item) return -1;
    const ISC_LONG length = lib->isc_vax_integer(buffer + 1, 2);
    if (length < 0 || length > 8) return -1;
    return lib->isc_portable_integer(reinterpret_cast<const ISC_UCHAR *>(buffer + 3), static_cast<short>(length));
}

int32_t TIBDatabase::QueryDBSQLDialect() {
    const int64_t dialect = QueryInfoInteger(isc_info_db_sql_dialect);
    return dialect < 0 ? 1 : static_cast<int32_t>(dialect);
}

bool TIBDatabase::IsReadOnly() {
    CheckActive();
    const int64_t ods = QueryInfoInteger(isc_info_ods_version);
    const int64_t readOnly = QueryInfoInteger(isc_info_db_read_only);
    return ods > 9 && readOnly > 0;
}

ISC_STATUS TIBDatabase::Call(ISC_STATUS ErrCode, bool RaiseError) {
    EnsureServerType();
    FCanTimeout = false;
    if (RaiseError && StatusVectorHas({kConnectionLost, kNetworkReadError, kNetworkWriteError})) {
        int32_t sqlCode = 0;
        int32_t errorCode = 0;
        const String text = ComposeServerErrorText(*GDSLibrary(), sqlCode, errorCode, MessageEncoding());
        // The lost link is what the caller has to hear about.
        Quietly([this] { CloseLostConnection(); });
        throw EIBInterBaseError(sqlCode, errorCode, text);
    }
    if (RaiseError && ErrCode > 0) RaiseServerError(GDSLibrary(), MessageEncoding());
    return ErrCode;
}

void TIBDatabase::DoDisconnect() {
    TFinally forgetDialect([this] { FDBSQLDialect = 1; });
    if (!Connected()) return;
    // A detach that fails ends in a forced one; a failure of that forced
    // detach is the one that leaves.
    if (std::exception_ptr failure = FailureOf([this] { DetachDatabase(false); })) {
        ForceClose();
        std::rethrow_exception(failure);
    }
}

void TIBDatabase::DetachDatabase(bool Force) {
    CheckActive();
    IGDSLibrary *lib = GDSLibrary();
    // While forced, the notifications find no connection to work with.
    // A forced disconnect goes on past the failures of the objects.
    {
        const isc_db_handle saved = FHandle;
        if (Force) FHandle = 0;
        TFinally restore([&] {
            if (Force) FHandle = saved;
        });
        TFirstFailure objects(Force);
        objects.ForEach(FSQLObjects, [](TIBBase *obj) { obj->DoBeforeDatabaseDisconnect(); });
        objects.ForEach(FTransactions, [](TIBTransaction *tr) { tr->EndByDefaultAction(); });
    }

    if (!FHandleIsShared) {
        const ISC_STATUS result = Call(lib->isc_detach_database(StatusVector(), &FHandle), false);
        if (result > 0 && !Force) RaiseServerError(lib, MessageEncoding());
    }
    FHandle = 0;
    FHandleIsShared = false;

    TFirstFailure(Force).ForEach(FSQLObjects, [](TIBBase *obj) { obj->DoAfterDatabaseDisconnect(); });
}

void TIBDatabase::ForceClose() {
    if (!Connected()) return;
    // Whatever the handlers do, the connection ends closed; their first
    // failure is passed on afterwards.
    TFirstFailure steps;
    steps.Run([&] {
        if (!IsDestroying() && BeforeDisconnect) BeforeDisconnect(this);
    });
    steps.Run([&] { SendConnectEvent(false); });
    steps.Run([&] { DetachDatabase(true); });
    FHandle = 0;
    FHandleIsShared = false;
    steps.Run([&] {
        if (!IsDestroying() && AfterDisconnect) AfterDisconnect(this);
    });
    steps.RaiseFirst();
}

void TIBDatabase::CloseLostConnection() {
    for (TIBTransaction *tr : FTransactions) tr->SetRollbackOnly();
    ForceClose();
}

void TIBDatabase::TimeoutConnection() {
    if (!FTimer || !Connected()) return;
    if (FCanTimeout) {
        ForceClose();
        if (OnIdleTimer) OnIdleTimer(this);
    } else {
        FCanTimeout = true;
    }
}

// ---------------------------------------------------------------------------
// Transactions and SQL objects

int TIBDatabase::AddTransaction(TIBTransaction *TR) {
    if (!TR || FindTransaction(TR) >= 0) return -1;
    FTransactions.push_back(TR);
    const int i = static_cast<int>(FTransactions.size()) - 1;
    // Two-sided, as the transaction's AddDatabase is.
    TR->AddDatabase(this);
    return i;
}

void TIBDatabase::RemoveTransaction(TIBTransaction *TR) {
    if (!TR) return;
    const int i = FindTransaction(TR);
    if (i < 0) return;
    FTransactions.erase(FTransactions.begin() + i);
    if (TR->FindDatabase(this) >= 0) TR->RemoveDatabase(this);
    if (FDefaultTransaction == TR) FDefaultTransaction = nullptr;
    RemoveFreeNotification(TR);
}

void TIBDatabase::RemoveTransactions() {
    for (int i = static_cast<int>(FTransactions.size()) - 1; i >= 0; --i)
        if (i < static_cast<int>(FTransactions.size())) RemoveTransaction(FTransactions[static_cast<size_t>(i)]);
}

int TIBDatabase::FindTransaction(TIBTransaction *TR) const {
    auto it = std::find(FTransactions.begin(), FTransactions.end(), TR);
    return it == FTransactions.end() ? -1 : static_cast<int>(it - FTransactions.begin());
}

TIBTransaction *TIBDatabase::FindDefaultTransaction() const {
    if (FDefaultTransaction) return FDefaultTransaction;
    for (TIBTransaction *tr : FTransactions)
        if (tr->DefaultDatabase() == this && tr != FInternalTransaction.get()) return tr;
    return nullptr;
}

TIBTransaction *TIBDatabase::GetTransaction(int Index) const {
    if (Index < 0 || Index >= TransactionCount()) throw EListError::IndexOutOfBounds(Index);
    return FTransactions[static_cast<size_t>(Index)];
}

TIBBase *TIBDatabase::GetSQLObject(int Index) const {
    if (Index < 0 || Index >= SQLObjectCount()) throw EListError::IndexOutOfBounds(Index);
    return FSQLObjects[static_cast<size_t>(Index)];
}

void TIBDatabase::SetDefaultTransaction(TIBTransaction *Value) {
    TIBTransaction *old = FDefaultTransaction;
    if (old && old != Value && FindTransaction(old) >= 0 && old->DefaultDatabase() != this) RemoveTransaction(old);
    if (Value && Value != old) AddTransaction(Value);
    FDefaultTransaction = Value;
}

int TIBDatabase::LinkSQLObject(TIBBase *Obj) {
    auto it = std::find(FSQLObjects.begin(), FSQLObjects.end(), Obj);
    if (it != FSQLObjects.end()) return static_cast<int>(it - FSQLObjects.begin());
    FSQLObjects.push_back(Obj);
    Obj->FRegisteredClient = dynamic_cast<IConnectionClient *>(Obj->Owner());
    if (Obj->FRegisteredClient) RegisterClient(Obj->FRegisteredClient);
    return static_cast<int>(FSQLObjects.size()) - 1;
}

void TIBDatabase::UnlinkSQLObject(TIBBase *Obj) {
    auto it = std::find(FSQLObjects.begin(), FSQLObjects.end(), Obj);
    if (it == FSQLObjects.end()) return;
    FSQLObjects.erase(it);
    Obj->FDatabase = nullptr;
    if (Obj->FRegisteredClient) UnRegisterClient(Obj->FRegisteredClient);
    Obj->FRegisteredClient = nullptr;
}

// ---------------------------------------------------------------------------
// Field metadata questions

bool TIBDatabase::Has_COMPUTED_BLR(const String &Relation, const String &Field) {
    return FSchema && FSchema->Has_COMPUTED_BLR(this, Relation, Field);
}

bool TIBDatabase::Has_DEFAULT_VALUE(const String &Relation, const String &Field) {
    return FSchema && FSchema->Has_DEFAULT_VALUE(this, Relation, Field);
}

bool TIBDatabase::In_Key(const String &Relation, const String &Field) {
    return FSchema && FSchema->In_Key(this, Relation, Field);
}

void TIBDatabase::FlushSchema() {
    if (FSchema) FSchema->FreeNodes();
}

}  // namespace vantrel
