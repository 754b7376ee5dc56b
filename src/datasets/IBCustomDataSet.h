// TIBCustomDataSet: the read-only result-set core of the version readers. It
// prepares a SELECT, describes its columns as field definitions, binds the
// fields to them, executes the select, fetches rows into a chunked row
// buffer and serves field values from the current row.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "client/IBBase.h"
#include "datasets/Fields.h"
#include "platform/Component.h"
#include "platform/Strings.h"
#include "platform/Text.h"

namespace vantrel {

class TIBDatabase;
class TIBTransaction;
class TIBSQL;

enum TLiveMode { lmInsert, lmModify, lmDelete, lmRefresh };
using TLiveModes = TSet<TLiveMode>;

class TIBCustomDataSet : public TComponent, public IConnectionClient {
public:
    explicit TIBCustomDataSet(TComponent *AOwner);
    ~TIBCustomDataSet() override;

    // Connection and transaction (through the link object FBase).
    TIBDatabase *Database() const;
    void SetDatabase(TIBDatabase *value);
    TIBTransaction *Transaction() const;
    void SetTransaction(TIBTransaction *value);
    TIBBase *Base() const { return FBase.get(); }

    int BufferChunks() const { return FBufferChunks; }
    void SetBufferChunks(int value);
    bool CachedUpdates() const { return FCachedUpdates; }
    void SetCachedUpdates(bool value) { FCachedUpdates = value; }
    bool UniDirectional() const { return FUniDirectional; }
    void SetUniDirectional(bool value) { FUniDirectional = value; }

    // Open on an active result set and Close on an inactive one do nothing.
    // A failed open leaves the result set closed and re-raises.
    void Open();
    void Close();
    bool Active() const { return FState != dsInactive; }
    void SetActive(bool value);
    TDataSetState State() const { return FState; }

    TFieldDefs &FieldDefs() { return FFieldDefs; }
    const std::vector<TField *> &Fields() const { return FFields; }
    // Raises "<Name>: Field '<name>' not found".
    TField *FieldByName(StringView name) const;
    TField *FindField(StringView name) const;

    // True when the result set has no rows (or is closed).
    bool IsEmpty() const;
    // Moves to the next row, fetching it when it is not buffered yet; false
    // (and Eof) after the last row.
    bool Next();
    bool Eof() const { return FEof; }
    // Rows fetched into the row buffer so far.
    int RecordCount() const { return FRecordCount; }
    // The select's affected-row count after the last open.
    int RowsAffected() const { return FRowsAffected; }
    // Row records the row buffer has room for (grows in BufferChunks steps).
    int BufferCapacity() const { return FBufferCapacity; }
    // Bytes the row buffer holds: the fetched rows, each as large as its
    // values, and the room of the row index.
    size_t RowBufferBytes() const;
    // The database key of the current row (zero when there is none).
    const uint8_t *CurrentDBKey() const;

    // The statement texts of the select and its companions.
    TStringList &SelectSQL();
    TStringList &RefreshSQL();
    TStringList &InsertSQL();
    TStringList &ModifySQL();
    TStringList &DeleteSQL();
    TIBSQL *QSelect() const { return FQSelect.get(); }
    TIBSQL *QRefresh() const { return FQRefresh.get(); }
    TIBSQL *QInsert() const { return FQInsert.get(); }
    TIBSQL *QModify() const { return FQModify.get(); }
    TIBSQL *QDelete() const { return FQDelete.get(); }

    bool InternalPrepared() const { return FInternalPrepared; }
    TLiveModes LiveMode() const { return FLiveMode; }

    // Value access for the fields: false when there is no current row or the
    // column is NULL.
    bool GetFieldInteger(const TField *field, int32_t &value) const;
    bool FieldIsNull(const TField *field) const;

    // IConnectionClient
    void ConnectChange(TCustomConnection *Sender, bool Connecting) override;
    bool IsOpenDataSet() const override { return Active(); }

protected:
    // The steps of an open that come before the core open; a query prepares
    // itself and copies its parameters, a table generates its statements.
    virtual void DoOpenSteps() = 0;
    virtual void DoBeforeClose() {}

    void EnsureConnected();
    bool EnsureTransaction();
    void PrepareStatements();
    void ResetPreparation();
    void DescribeColumns();
    void BindPersistentFields();
    void InternalOpen();
    bool FetchNextRow();
    void CopyRowToBuffer();
    void CloseCursor();
    void ReleaseStatements();

    // Raises the general database error "<Name>: <message>".
    [[noreturn]] void DatabaseError(const String &message) const;
    // "Cannot perform this operation on an open dataset" while active.
    void CheckInactive() const;
    // Drops the description and the preparation mark without any check
    // (the statements themselves are handled by their owner's change).
    void ForgetPreparation();

    bool CursorOpen() const { return FOpen; }
    bool FParamCheck = true;
    int FRowsAffected = -1;

private:
    friend class TField;
    void AddField(TField *field);
    void RemoveField(TField *field);
    void CreateAutomaticFields();
    void DestroyAutomaticFields();
    void UnbindFields();
    void LayoutRecord();
    void GrowBuffer();
    const uint8_t *RecordAt(int index) const;
    const uint8_t *CurrentRecord() const;
    void DoBeforeDatabaseDisconnect();
    void DoBeforeTransactionEnd();
    void SelectSQLChanging();
    bool HasPersistentFloatField(const String &name) const;
    // The slot of a field's column in the current row; null without a row
    // or for NULL.
    const uint8_t *FieldSlot(const TField *field) const;
    // The five statements in creation order.
    std::array<TIBSQL *, 5> Statements() const;

    std::unique_ptr<TIBBase> FBase;
    // Declared in creation order; destroyed in reverse.
    std::unique_ptr<TIBSQL> FQDelete;
    std::unique_ptr<TIBSQL> FQInsert;
    std::unique_ptr<TIBSQL> FQRefresh;
    std::unique_ptr<TIBSQL> FQSelect;
    std::unique_ptr<TIBSQL> FQModify;

    TDataSetState FState = dsInactive;
    bool FInternalPrepared = false;
    bool FOpen = false;
    bool FEof = false;
    bool FCachedUpdates = false;
    bool FUniDirectional = false;
    int FBufferChunks = 1000;
    int FCurrentRecord = -1;
    int FRecordCount = 0;
    TLiveModes FLiveMode;
    TFieldDefs FFieldDefs;
    std::vector<TField *> FFields;
    // Entry i: the 1-based column position of field definition i.
    std::vector<int> FMappedFieldPosition;

    // Row buffer: one record per fetched row, sized to what the row holds
    // (a text column takes the length of its value, not the declared one);
    // the index of the records grows by BufferChunks entries at a time.
    struct TColumnSlotLayout {
        int16_t SQLType = 0;
        int16_t Scale = 0;
        bool Nullable = false;
        bool IsText = false;  // kept after the slots
        int BytesPerChar = 1;
        int DataSize = 0;     // bytes of the stored value
        bool Kept = true;     // false for the database key column, never a field
        size_t Offset = 0;    // of the slot within the row record
    };
    std::vector<TColumnSlotLayout> FSlots;   // by column position - 1
    int FDBKeyColumn = -1;                   // 0-based, -1 when none
    size_t FRecordSize = 0;  // of a record without its text values
    int FBufferCapacity = 0;
    std::vector<std::unique_ptr<uint8_t[]>> FRecords;
    size_t FRecordBytes = 0;
};

}  // namespace vantrel
