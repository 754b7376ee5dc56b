// The transaction component TIBTransaction: spans one or more connections,
// builds its transaction parameter block from Params, starts the server
// transaction with isc_start_multiple and ends it hard or retaining. Linked
// SQL objects are told before and after a hard end; a transaction still
// running when its connection goes away ends by its DefaultAction.
#pragma once

#include <ibase.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "client/IBBase.h"
#include "platform/Component.h"
#include "platform/Strings.h"

namespace vantrel {

class TIBDatabase;
class IGDSLibrary;

enum TIBTransactionAction : int { TARollback, TACommit, TARollbackRetaining, TACommitRetaining };
enum TAutoStopAction : int { saNone, saRollback, saCommit, saRollbackRetaining, saCommitRetaining };
enum TIBTransactionLevel : int {
    ibtrSnapshot,
    ibtrReadCommitted,
    ibtrReadOnlyTableStability,
    ibtrReadWriteTableStability,
    ibtrPrecommitted
};

class TIBTransaction : public TComponent {
public:
    // When AOwner is a connection, it becomes the DefaultDatabase.
    explicit TIBTransaction(TComponent *AOwner);
    // The same, with Params set to the lines of TransactionLevel.
    TIBTransaction(TComponent *AOwner, TIBTransactionLevel TransactionLevel);
    // Ends a running transaction by DefaultAction, tells the SQL objects that
    // it goes away and leaves every connection. Never throws.
    ~TIBTransaction() override;

    using TNotifyEvent = std::function<void(TIBTransaction *Sender)>;

    // --- published properties ---
    bool Active() const { return InTransaction(); }
    // True starts an inactive transaction, false rolls an active one back;
    // while the configuration is read only remembered.
    void SetActive(bool Value);
    bool AllowAutoStart() const { return FAllowAutoStart; }
    void SetAllowAutoStart(bool Value) { FAllowAutoStart = Value; }
    TIBDatabase *DefaultDatabase() const { return FDefaultDatabase; }
    void SetDefaultDatabase(TIBDatabase *Value);
    int32_t IdleTimer() const;
    // Milliseconds; 0 removes the timer, < 0 fails with client error 20.
    void SetIdleTimer(int32_t Value);
    TIBTransactionAction DefaultAction() const { return FDefaultAction; }
    // TARollbackRetaining needs a client of version 6.0 or later.
    void SetDefaultAction(TIBTransactionAction Value);
    // Changing the lines of an active transaction fails with client error 19.
    TStringList &Params() { return FTRParams; }
    const TStringList &Params() const { return FTRParams; }
    void SetParams(const TStringList &Value) { FTRParams.Assign(Value); }
    TAutoStopAction AutoStopAction() const { return FAutoStopAction; }
    void SetAutoStopAction(TAutoStopAction Value) { FAutoStopAction = Value; }
    TNotifyEvent OnIdleTimer;

    // --- public read-only properties ---
    bool InTransaction() const { return FHandle != 0; }
    isc_tr_handle Handle() const { return FHandle; }
    bool HandleIsShared() const { return FHandleIsShared; }
    int DatabaseCount() const { return static_cast<int>(FDatabases.size()); }
    TIBDatabase *Databases(int Index) const { return GetDatabase(Index); }
    int SQLObjectCount() const { return static_cast<int>(FSQLObjects.size()); }
    TIBBase *SQLObjects(int Index) const { return GetSQLObject(Index); }
    const std::vector<uint8_t> &TPB() const { return FTPB; }
    int16_t TPBLength() const { return FTPBLength; }
    // The server's id of the running transaction (read once, 0 when not
    // active).
    int64_t TransactionID();
    bool AutoStarted() const { return FAutoStarted; }

    // --- operations ---
    void StartTransaction();
    // Starts the transaction as a SET TRANSACTION statement says, on its one
    // connection: the server reads the options, so whatever it knows (lock
    // timeout, RESERVING lists, ...) is honoured. Params are not used; the
    // next StartTransaction uses them again.
    void StartTransaction(const String &SetTransactionStatement);
    void Commit();
    void Rollback();
    void CommitRetaining();
    void RollbackRetaining();
    void CheckInTransaction();
    void CheckNotInTransaction();
    void CheckDatabasesInList();
    // The status check of every client call made for the transaction.
    ISC_STATUS Call(ISC_STATUS ErrCode, bool RaiseError);

    int AddDatabase(TIBDatabase *DB);
    void RemoveDatabase(TIBDatabase *DB);
    void RemoveDatabases();
    int FindDatabase(TIBDatabase *DB) const;
    TIBDatabase *FindDefaultDatabase() const;
    TIBDatabase *GetDatabase(int Index) const;
    TIBBase *GetSQLObject(int Index) const;

    // Used by TIBBase only: add unless present / remove if present.
    void LinkSQLObject(TIBBase *Obj);
    void UnlinkSQLObject(TIBBase *Obj);

    // For datasets: start when AllowAutoStart; stop again by AutoStopAction
    // once no linked dataset is open.
    void AutoStartTransaction();
    void CheckAutoStop();

    // Savepoints (client 7.1 and later; older clients refuse with the
    // version error of the binding). Server failures are not reported.
    void StartSavepoint(const String &Name);
    void ReleaseSavepoint(const String &Name);
    void RollbackSavepoint(const String &Name);

    // Replaces Params with the lines of the level (client error 19 while
    // active, Params unchanged).
    void SetTransactionLevel(TIBTransactionLevel Level);

    // Ends a running transaction by DefaultAction, forced: a failed commit is
    // followed by a rollback, a failed rollback is ignored. A transaction
    // that must not be committed (RollbackOnly) is rolled back whatever
    // DefaultAction says.
    void EndByDefaultAction();
    // Ends a running transaction by rollback, forced: the handle is gone
    // afterwards whatever the server says. What is left to raise is the
    // first failure of the linked SQL objects.
    void EndByRollback();

    // Once an end of the transaction has failed (a commit, a rollback, or a
    // retaining one), or its connection was lost, nobody can tell what the
    // server did with it; the only way out left is a rollback. A forced end
    // (default action, idle timer, closing the connection) then rolls back
    // instead of committing, so that no clean-up commits work that its owner
    // was told had failed. An explicit Commit stays the owner's decision.
    // Cleared when the next transaction starts.
    bool RollbackOnly() const { return FRollbackOnly; }
    void SetRollbackOnly() { FRollbackOnly = FHandle != 0; }

    // One idle-timer tick (the timer itself is left to the host): a
    // transaction idle since the previous tick ends by DefaultAction and
    // OnIdleTimer fires.
    void TimeoutTransaction();

    void Loaded() override;
    void Notification(TComponent *AComponent, TOperation Operation) override;

private:
    friend class TIBBase;
    friend class TIBDatabase;

    void FinishTransaction(TIBTransactionAction Action, bool Force);
    void TRParamsChanging();
    // The connection whose binding and Call the transaction uses:
    // DefaultDatabase, else the first of the list.
    TIBDatabase *MainDatabase() const;
    IGDSLibrary *MainLibrary() const;
    // The connection's binding; client error 15 when it has none.
    static IGDSLibrary *LibraryOf(TIBDatabase *DB);
    void SavepointCall(int Which, const String &Name);

    bool FCanTimeout = false;
    std::vector<TIBDatabase *> FDatabases;
    std::vector<TIBBase *> FSQLObjects;
    TIBDatabase *FDefaultDatabase = nullptr;
    isc_tr_handle FHandle = 0;
    bool FHandleIsShared = false;
    bool FStreamedActive = false;
    std::vector<uint8_t> FTPB;
    int16_t FTPBLength = 0;
    std::optional<int32_t> FTimer;  // interval of the idle timer, absent when off
    TIBTransactionAction FDefaultAction = TACommit;
    TStringList FTRParams;
    bool FTRParamsChanged = true;
    bool FAutoStarted = false;
    bool FRollbackOnly = false;
    TAutoStopAction FAutoStopAction = saNone;
    bool FAllowAutoStart = true;
    int64_t FTransactionID = 0;
};

}  // namespace vantrel
