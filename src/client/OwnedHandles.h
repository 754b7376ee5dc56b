// Client handles held by the code that made them, for the few places that
// call the client library directly rather than through a component: what
// is still open when the holder goes is ended there, quietly (nothing may
// leave a destructor, and a failure in flight is the one to report). The
// holder's own calls report into a status vector of their own, so the
// thread's status vector keeps the failure being reported.
#pragma once

#include <ibase.h>

namespace vantrel {

class IGDSLibrary;
class TIBDatabase;

// A transaction handle: rolled back when still running as the holder goes.
class TTransactionHandle {
public:
    explicit TTransactionHandle(IGDSLibrary &Library) : FLibrary(Library) {}
    ~TTransactionHandle();
    TTransactionHandle(const TTransactionHandle &) = delete;
    TTransactionHandle &operator=(const TTransactionHandle &) = delete;

    isc_tr_handle *Address() { return &FHandle; }
    bool Active() const { return FHandle != 0; }
    // Commits, the status in the thread's vector (for the Call check); the
    // handle is let go once the commit succeeded.
    ISC_STATUS Commit();
    // Commits whatever the outcome, ignoring a failure: a transaction still
    // running afterwards is rolled back when the holder goes.
    void CommitQuietly() noexcept;

private:
    IGDSLibrary &FLibrary;
    isc_tr_handle FHandle = 0;
};

// A statement handle of a connection: dropped (which closes its cursor) as
// the holder goes, while the connection is attached (a statement goes with
// its connection).
class TStatementHandle {
public:
    TStatementHandle(IGDSLibrary &Library, const TIBDatabase &Connection)
        : FLibrary(Library), FConnection(Connection) {}
    ~TStatementHandle();
    TStatementHandle(const TStatementHandle &) = delete;
    TStatementHandle &operator=(const TStatementHandle &) = delete;

    isc_stmt_handle *Address() { return &FHandle; }

private:
    IGDSLibrary &FLibrary;
    const TIBDatabase &FConnection;
    isc_stmt_handle FHandle = 0;
};

// A blob handle: a blob still open as the holder goes is closed (one being
// read) or cancelled (one being written, whose id must not be used).
class TBlobHandle {
public:
    enum TAbandon { abClose, abCancel };
    TBlobHandle(IGDSLibrary &Library, TAbandon Abandon) : FLibrary(Library), FAbandon(Abandon) {}
    ~TBlobHandle();
    TBlobHandle(const TBlobHandle &) = delete;
    TBlobHandle &operator=(const TBlobHandle &) = delete;

    isc_blob_handle *Address() { return &FHandle; }
    // Closes the blob, the status in the thread's vector; the handle is let
    // go once the close succeeded.
    ISC_STATUS Close();

private:
    IGDSLibrary &FLibrary;
    TAbandon FAbandon;
    isc_blob_handle FHandle = 0;
};

}  // namespace vantrel
