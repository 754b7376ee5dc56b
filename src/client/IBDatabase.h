// The connection component TIBDatabase and its generic base
// TCustomConnection. The connection builds the database parameter block from
// its Params lines, attaches through the client library binding of its
// server type, learns the database's SQL dialect and character set, and
// keeps the lists of transactions and SQL objects that it tells when it
// disconnects or goes away. Database creation and removal live in
// IBDatabaseCreate.cpp.
#pragma once

#include <ibase.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "client/IBBase.h"
#include "platform/Component.h"
#include "platform/Encoding.h"
#include "platform/Strings.h"

namespace vantrel {

class IGDSLibrary;
class TIBSchema;
class TIBTransaction;

// Connected/Open/Close with their events and the registered clients
// (datasets) that are told of connect and disconnect.
class TCustomConnection : public TComponent {
public:
    explicit TCustomConnection(TComponent *AOwner);
    ~TCustomConnection() override;

    using TConnectionEvent = std::function<void(TCustomConnection *Sender)>;

    bool Connected() const { return GetConnected(); }
    // While the stored configuration is being read only remembers the value;
    // setting the current value does nothing.
    void SetConnected(bool Value);
    void Open() { SetConnected(true); }
    void Close() { SetConnected(false); }

    TConnectionEvent BeforeConnect;
    TConnectionEvent AfterConnect;
    TConnectionEvent BeforeDisconnect;
    TConnectionEvent AfterDisconnect;

    void RegisterClient(IConnectionClient *Client);
    void UnRegisterClient(IConnectionClient *Client);
    int ClientCount() const { return static_cast<int>(FClients.size()); }

    void Loaded() override;

protected:
    virtual void DoConnect() = 0;
    virtual void DoDisconnect() = 0;
    virtual bool GetConnected() const = 0;
    // Tells every registered client that the connection opened or closes.
    void SendConnectEvent(bool Connecting);

    bool FStreamedConnected = false;

private:
    std::vector<IConnectionClient *> FClients;
};

enum class TTraceFlag { tfQPrepare, tfQExecute, tfQFetch, tfError, tfStmt, tfConnect, tfTransact, tfBlob, tfService, tfMisc };

class TIBDatabase : public TCustomConnection {
public:
    explicit TIBDatabase(TComponent *AOwner);
    // Rolls the internal transaction back, closes (force-closing on
    // failure), tells the SQL objects that the connection goes away and
    // removes every transaction. Never throws.
    ~TIBDatabase() override;

    // Login handler: receives a copy of Params to complete (user name,
    // password); returns false to decline the connection.
    using TLoginEvent = std::function<bool(TIBDatabase *Database, TStringList &LoginParams)>;
    using TNotifyEvent = std::function<void(TIBDatabase *Sender)>;

    // --- published properties ---
    const String &DatabaseName() const { return FDBName; }
    // Client error 16 when connected and the name differs; a name holding a
    // NUL character is refused. Drops the field metadata cache reference.
    void SetDatabaseName(const String &Value);
    // name=value lines; changing them while connected fails with client
    // error 16, any change marks the parameter block for rebuilding.
    TStringList &Params() { return FDBParams; }
    const TStringList &Params() const { return FDBParams; }
    void SetParams(const TStringList &Value) { FDBParams.Assign(Value); }
    bool LoginPrompt() const { return FLoginPrompt; }
    void SetLoginPrompt(bool Value) { FLoginPrompt = Value; }
    TIBTransaction *DefaultTransaction() const { return FDefaultTransaction; }
    void SetDefaultTransaction(TIBTransaction *Value);
    const String &ServerType() const { return FServerType; }
    // Matches the name against the registered server types and loads the
    // client library of the type (also while the configuration is read).
    // Changing it on an open connection fails.
    void SetServerType(const String &Value);
    int32_t IdleTimer() const;
    // Milliseconds; 0 removes the timer, < 0 fails with client error 20.
    void SetIdleTimer(int32_t Value);
    int32_t SQLDialect() const { return FSQLDialect; }
    // Client error 87 below 1, or above DBSQLDialect while connected.
    void SetSQLDialect(int32_t Value);
    int32_t DBSQLDialect() const { return FDBSQLDialect; }
    const std::vector<TTraceFlag> &TraceFlags() const { return FTraceFlags; }
    void SetTraceFlags(std::vector<TTraceFlag> Value) { FTraceFlags = std::move(Value); }
    bool AllowStreamedConnected() const { return FAllowStreamedConnected; }
    void SetAllowStreamedConnected(bool Value) { FAllowStreamedConnected = Value; }

    TLoginEvent OnLogin;
    TNotifyEvent OnIdleTimer;
    TNotifyEvent OnDialectDowngradeWarning;

    // --- public read-only properties ---
    isc_db_handle Handle() const { return FHandle; }
    bool HandleIsShared() const { return FHandleIsShared; }
    // Asks the server on each read: on-disk structure above 9 and read-only.
    bool IsReadOnly();
    int SQLObjectCount() const { return static_cast<int>(FSQLObjects.size()); }
    TIBBase *SQLObjects(int Index) const { return GetSQLObject(Index); }
    int TransactionCount() const { return static_cast<int>(FTransactions.size()); }
    TIBTransaction *Transactions(int Index) const { return GetTransaction(Index); }
    TIBTransaction *InternalTransaction() const { return FInternalTransaction.get(); }
    const String &CharacterSet() const { return FCharacterSet; }
    int32_t CharacterSetCodePage() const { return FCharacterSetCodePage; }
    const std::shared_ptr<const TEncoding> &Encoding() const { return FEncoding; }
    // The decoding of server messages about this connection: its character
    // set while attached; otherwise null, the default narrow code page (a
    // failed attach or create names the database as it was sent).
    const TEncoding *MessageEncoding() const { return FHandle != 0 ? FEncoding.get() : nullptr; }
    // The last built database parameter block (empty until the first build).
    const std::vector<uint8_t> &DPB() const { return FDPB; }
    int16_t DPBLength() const { return FDPBLength; }

    // The binding object of ServerType, looked up and loaded on first use;
    // null while no server type is set.
    IGDSLibrary *GDSLibrary();

    // --- operations ---
    // Disconnects ignoring failures; the handle ends as 0.
    void ForceClose();
    void CheckActive();
    void CheckInactive();
    void CheckDatabaseName();
    // The status check of every client call made for this connection: a
    // lost server link (with RaiseError) force-closes and raises
    // EIBInterBaseError; otherwise a positive code raises the server error
    // when RaiseError is set. Returns ErrCode.
    ISC_STATUS Call(ISC_STATUS ErrCode, bool RaiseError);

    // Runs one SQL text (default narrow code page) with
    // isc_dsql_execute_immediate in SQLDialect. With Transaction it must be
    // active; without one the internal transaction is started and committed
    // afterwards.
    void ExecuteImmediate(const String &SQL, TIBTransaction *Transaction = nullptr);
    // Creates the database named by DatabaseName and stays attached to it.
    void CreateDatabase();
    // Drops the attached database.
    void DropDatabase();
    // False (after force-closing) when the attachment no longer answers.
    bool TestConnected();

    int AddTransaction(TIBTransaction *TR);
    void RemoveTransaction(TIBTransaction *TR);
    void RemoveTransactions();
    int FindTransaction(TIBTransaction *TR) const;
    TIBTransaction *FindDefaultTransaction() const;
    TIBTransaction *GetTransaction(int Index) const;
    TIBBase *GetSQLObject(int Index) const;

    // Used by TIBBase only.
    int LinkSQLObject(TIBBase *Obj);
    void UnlinkSQLObject(TIBBase *Obj);

    // Field metadata questions, answered by the cache object of this
    // database name; false without one.
    bool Has_COMPUTED_BLR(const String &Relation, const String &Field);
    bool Has_DEFAULT_VALUE(const String &Relation, const String &Field);
    bool In_Key(const String &Relation, const String &Field);
    void FlushSchema();
    TIBSchema *Schema() const { return FSchema; }

    // One idle-timer tick (the timer itself is left to the host): a
    // connection idle since the previous tick is force-closed and
    // OnIdleTimer fires.
    void TimeoutConnection();

    void Loaded() override;
    void Notification(TComponent *AComponent, TOperation Operation) override;

protected:
    void DoConnect() override;
    void DoDisconnect() override;
    bool GetConnected() const override { return FHandle != 0; }

private:
    friend class TIBBase;
    friend class TIBTransaction;

    bool Login();
    // The database name as the client takes it (the default narrow code
    // page, at most 32767 bytes).
    std::string DatabaseNameBytes() const;
    void DetachDatabase(bool Force);
    int32_t QueryDBSQLDialect();
    // Database information item as an integer (-1 when not answered).
    int64_t QueryInfoInteger(uint8_t Item);
    void ApplyDefaultCharacterSet();
    void BuildDPBInto(const TStringList &Lines);
    // The block an attach or create sends: the DPB, and for a client older
    // than Firebird 4 the request for the legacy forms of Firebird 4's types.
    std::vector<uint8_t> BlockToSend(IGDSLibrary *Library) const;
    void DBParamsChanging();
    void EnsureServerType();

    String FHiddenPassword;
    std::vector<TTraceFlag> FTraceFlags;
    int32_t FDBSQLDialect = 3;
    int32_t FSQLDialect = 3;
    bool FCanTimeout = false;
    std::vector<TIBBase *> FSQLObjects;
    std::vector<TIBTransaction *> FTransactions;
    String FDBName;
    TStringList FDBParams;
    bool FDBParamsChanged = true;
    std::vector<uint8_t> FDPB;
    int16_t FDPBLength = 0;
    isc_db_handle FHandle = 0;
    bool FHandleIsShared = false;
    TIBTransaction *FDefaultTransaction = nullptr;
    std::unique_ptr<TIBTransaction> FInternalTransaction;
    std::optional<int32_t> FTimer;  // interval of the idle timer, absent when off
    bool FAllowStreamedConnected = true;
    bool FLoginPrompt = true;
    TIBSchema *FSchema = nullptr;  // owned by the process-wide cache
    std::shared_ptr<IGDSLibrary> FGDSLibrary;
    String FCharacterSet = u"NONE";
    int32_t FCharacterSetCodePage;
    String FServerType;
    std::shared_ptr<const TEncoding> FEncoding;
};

}  // namespace vantrel
