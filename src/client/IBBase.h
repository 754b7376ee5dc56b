// TIBBase: the link object that every SQL object (statement, dataset, script
// runner) owns. It ties its owner to one connection and one transaction,
// keeps it in their lists of SQL objects, and forwards their notifications
// (disconnect, transaction end, destruction) to the owner's handlers.
#pragma once

#include <ibase.h>

#include <functional>

#include "platform/Component.h"

namespace vantrel {

class TIBDatabase;
class TIBTransaction;
class TCustomConnection;

// Implemented by dataset components. A connection registers the dataset
// owner of a linked TIBBase as a client and tells it when it opens or is
// about to close; a transaction asks it whether it is open before an
// automatic stop.
class IConnectionClient {
public:
    virtual ~IConnectionClient() = default;
    // Called after the connection opened (Connecting true) and before it
    // closes (Connecting false).
    virtual void ConnectChange(TCustomConnection *Sender, bool Connecting) = 0;
    // True while the dataset is open (keeps an auto-started transaction alive).
    virtual bool IsOpenDataSet() const = 0;
};

class TIBBase {
public:
    // AOwner is the SQL object (a TComponent) that owns this link.
    explicit TIBBase(TComponent *AOwner);
    // Leaves the lists of its connection and transaction.
    virtual ~TIBBase();
    TIBBase(const TIBBase &) = delete;
    TIBBase &operator=(const TIBBase &) = delete;

    using THandler = std::function<void(TIBBase *Sender)>;

    // The owner's handlers; empty when unassigned.
    THandler BeforeDatabaseDisconnect;
    THandler AfterDatabaseDisconnect;
    THandler OnDatabaseFree;
    THandler BeforeTransactionEnd;
    THandler AfterTransactionEnd;
    THandler OnTransactionFree;

    // When a transaction gains a default connection, links without one are
    // pointed at it through their owner's Database property, so that the
    // owner can react (for example by unpreparing). Owners set this to their
    // SetDatabase; without it the link itself is re-pointed.
    std::function<void(TIBDatabase *Value)> OwnerSetDatabase;

    TIBDatabase *Database() const { return FDatabase; }
    TIBTransaction *Transaction() const { return FTransaction; }
    TComponent *Owner() const { return FOwner; }
    int32_t IndexInDatabase() const { return FIndexInDatabase; }

    // Joins Value's list of SQL objects (leaving the old connection's). A
    // link without a transaction then takes Value's default transaction.
    virtual void SetDatabase(TIBDatabase *Value);
    // Joins Value's list of SQL objects (leaving the old transaction's). A
    // link without a connection then takes the transaction's default one.
    virtual void SetTransaction(TIBTransaction *Value);

    // Client error 24 "Database not assigned", else the connection's
    // CheckActive (15 when closed).
    virtual void CheckDatabase();
    // Client error 25 "Transaction not assigned", else the transaction's
    // CheckInTransaction (18 when not active).
    virtual void CheckTransaction();

    // Address of the connection's / transaction's handle, after the check.
    isc_db_handle *DBHandle() { return GetDBHandle(); }
    isc_tr_handle *TRHandle() { return GetTRHandle(); }
    virtual isc_db_handle *GetDBHandle();
    virtual isc_tr_handle *GetTRHandle();

    // Notifications from the connection and the transaction: each calls the
    // owner's handler when one is set; the two Free ones then also drop the
    // link to the object that goes away.
    virtual void DoBeforeDatabaseDisconnect();
    virtual void DoAfterDatabaseDisconnect();
    virtual void DoDatabaseFree();
    virtual void DoBeforeTransactionEnd();
    virtual void DoAfterTransactionEnd();
    virtual void DoTransactionFree();

private:
    friend class TIBDatabase;
    friend class TIBTransaction;
    TIBDatabase *FDatabase = nullptr;
    int32_t FIndexInDatabase = -1;
    TIBTransaction *FTransaction = nullptr;
    TComponent *FOwner;
    // The dataset owner registered with the connection while linked (found
    // once, so that unlinking never inspects an owner that is going away).
    IConnectionClient *FRegisteredClient = nullptr;
};

}  // namespace vantrel
