// TIBSQL: one SQL statement on a connection inside a transaction. It turns
// its text into a prepared statement of the client library (parameter
// markers replaced by "?"), executes it, and for a query walks the rows of
// its cursor one at a time. Params holds the input parameters, Current the
// columns of the current row.
#pragma once

#include <ibase.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "client/IBXSQLDA.h"
#include "platform/Component.h"
#include "platform/Strings.h"

namespace vantrel {

class IGDSLibrary;
class TIBBase;
class TIBDatabase;
class TIBTransaction;

// Statement types; the values are the client library's codes. Codes above
// SQLSetGenerator are kept as they come.
enum TIBSQLTypes : int {
    SQLUnknown = 0,
    SQLSelect = 1,
    SQLInsert = 2,
    SQLUpdate = 3,
    SQLDelete = 4,
    SQLDDL = 5,
    SQLGetSegment = 6,
    SQLPutSegment = 7,
    SQLExecProcedure = 8,
    SQLStartTransaction = 9,
    SQLCommit = 10,
    SQLRollback = 11,
    SQLSelectForUpdate = 12,
    SQLSetGenerator = 13,
};

class TIBSQL : public TComponent {
public:
    // An owning TIBDatabase becomes the Database, an owning TIBTransaction
    // the Transaction.
    explicit TIBSQL(TComponent *AOwner);
    // Closes an open cursor and releases the statement, ignoring failures.
    ~TIBSQL() override;

    using TNotifyEvent = std::function<void(TIBSQL *Sender)>;

    // --- published properties ---
    TIBDatabase *Database() const;
    // Only changes the link.
    void SetDatabase(TIBDatabase *Value);
    TIBTransaction *Transaction() const;
    // Releases a prepared statement first.
    void SetTransaction(TIBTransaction *Value);
    // The SQL text. Any change of the lines calls OnSQLChanging and releases
    // the statement, so the next ExecQuery prepares again.
    TStringList &SQL() {
        SplitSharedText();
        return FSQL;
    }
    const TStringList &SQL() const {
        SplitSharedText();
        return FSQL;
    }
    // Replaces the lines unless they are the same already.
    void SetSQL(const TStringList &Value);
    void SetSQL(StringView Text);
    // The same for a text shared with its maker, taken over without a copy:
    // a large statement is held once. Its lines are made from it only when
    // SQL is asked for; until then the text itself is scanned, encoded and
    // sent. A text with line breaks other than CR LF is set as lines.
    void SetSQL(std::shared_ptr<const String> Text);
    bool ParamCheck() const { return FParamCheck; }
    void SetParamCheck(bool Value) { FParamCheck = Value; }
    bool GoToFirstRecordOnExecute() const { return FGoToFirstRecordOnExecute; }
    void SetGoToFirstRecordOnExecute(bool Value) { FGoToFirstRecordOnExecute = Value; }
    TNotifyEvent OnSQLChanging;

    // --- public properties ---
    bool GenerateParamNames() const { return FGenerateParamNames; }
    void SetGenerateParamNames(bool Value) { FGenerateParamNames = Value; }
    // The input parameters. An unprepared statement is prepared first; when
    // its transaction is not active, the transaction is started for the
    // prepare and committed again.
    TIBXSQLDA &Params();
    // The columns of the current row.
    TIBXSQLDA &Current() { return *FSQLRecord; }
    bool Bof() const { return FBOF; }
    // True at the end of the rows and whenever no cursor is open.
    bool Eof() const { return FEOF || !FOpen; }
    bool Open() const { return FOpen; }
    bool Prepared() const { return FPrepared; }
    int32_t RecordCount() const { return FRecordCount; }
    // Rows changed by the last execute of an INSERT, UPDATE or DELETE; -1
    // for other statements and before prepare.
    int RowsAffected();
    TIBSQLTypes SQLType() const { return FSQLType; }
    isc_stmt_handle Handle() const { return FHandle; }
    isc_db_handle *DBHandle();
    isc_tr_handle *TRHandle();
    // The access plan of a prepared query, UPDATE or DELETE.
    String Plan();
    String UniqueRelationName() const { return GetUniqueRelationName(); }
    int FieldCount() const { return FSQLRecord->Count(); }
    bool Canceled() const { return FCanceled; }
    // The text actually prepared (markers replaced by "?").
    const TStringList &ProcessedSQL() const { return FProcessedIsSQL ? SQL() : FProcessedSQL; }
    TIBBase &Base() const { return *FBase; }

    // --- operations ---
    void Prepare();
    void ExecQuery();
    // The next row, or null at the end of the rows.
    TIBXSQLDA *Next();
    void Close() { CloseCursor(true); }
    void FreeHandle() { DropHandle(true); }
    void Unprepare() { DropHandle(true); }
    TIBXSQLVAR *FieldByName(StringView FieldName);
    TIBXSQLVAR *FindField(StringView FieldName);
    int GetFieldIndex(StringView FieldName);
    TIBXSQLVAR *GetFields(int Idx);
    TIBXSQLVAR *ParamByName(StringView Idx);
    bool IsEmpty() const { return Bof() && Eof(); }
    String GetUniqueRelationName() const;
    void CheckClosed();
    void CheckOpen();
    void CheckValidStatement();
    ISC_STATUS Call(ISC_STATUS ErrCode, bool RaiseError);
    // Names the parameters in order of appearance; ProcessedSQL becomes the
    // SQL with every marker replaced by "?" (the SQL itself when it has none).
    void ProcessParamMarkers();

private:
    void CloseCursor(bool RaiseError);
    void DropHandle(bool RaiseError);
    bool HasCursor() const { return FSQLType == SQLSelect || FSQLType == SQLSelectForUpdate; }
    IGDSLibrary &Library();
    // Hands the connection's binding, client version, dialect and encoding
    // to both areas.
    void RefreshContext();
    std::string EncodedProcessedSQL() const;
    void DescribeInput(IGDSLibrary &lib, unsigned short dialect);
    void DescribeOutput(IGDSLibrary &lib, unsigned short dialect);
    void SQLChanging();
    [[noreturn]] void RaiseServerErrorHere();

    void DoBeforeDatabaseDisconnect();
    void DoBeforeTransactionEnd();

    // The shared text becomes the lines, without a change notification.
    void SplitSharedText() const;
    // Before the lines are replaced: the shared text goes.
    void LeaveSharedText();
    // True when the SQL reads as the given text's lines.
    bool SQLIs(StringView Text) const;
    bool SQLIsBlank() const;

    std::unique_ptr<TIBBase> FBase;
    // The SQL is either FSQL's lines or, when FSQLText is set, that text
    // (FSQL then empty). Asking for SQL turns the text into lines.
    mutable TStringList FSQL;
    mutable std::shared_ptr<const String> FSQLText;
    TStringList FProcessedSQL;
    // The processed text is the SQL text itself (no marker replaced).
    bool FProcessedIsSQL = false;
    isc_stmt_handle FHandle = 0;
    bool FPrepared = false;
    bool FOpen = false;
    bool FBOF = false;
    bool FEOF = false;
    int32_t FRecordCount = 0;
    TIBSQLTypes FSQLType = SQLUnknown;
    std::unique_ptr<TIBXSQLDA> FSQLParams;
    std::unique_ptr<TIBXSQLDA> FSQLRecord;
    bool FParamCheck = true;
    bool FGenerateParamNames = false;
    bool FGoToFirstRecordOnExecute = true;
    bool FCanceled = false;
    IGDSLibrary *FGDSLibrary = nullptr;  // binding of the connection at the last prepare
};

}  // namespace vantrel
