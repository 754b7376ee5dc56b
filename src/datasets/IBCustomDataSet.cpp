// The read-only result-set core: preparation, column description, field
// binding, the chunked row buffer and the reaction to the connection and
// transaction ending under it.
#include "datasets/IBCustomDataSet.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string_view>

#include "client/IBDatabase.h"
#include "client/IBErrors.h"
#include "client/IBSQL.h"
#include "client/IBTransaction.h"
#include "client/IBXSQLDA.h"
#include "platform/Exceptions.h"
#include "platform/Finally.h"

namespace vantrel {

namespace {

const char16_t kDBKeyAlias[] = u"VANTREL_INTERNAL_DBKEY";
constexpr size_t kDBKeyLength = 8;

// Row record: header, then one slot per column (slot header + value), then
// the bytes of the row's text values, which their slots point to. Text takes
// only the room its value needs, so a wide column that holds little costs
// little.
struct TRowHeader {
    int32_t RowNumber;
    int32_t UpdateStatus;  // always unmodified: the readers never edit
    uint8_t DBKey[kDBKeyLength];
};

struct TSlotHeader {
    int16_t SQLType;
    int16_t Scale;
    uint8_t Nullable;
    uint8_t IsNull;
    uint8_t BytesPerChar;
    uint8_t Reserved;
    int32_t DataLength;
    uint32_t DataOffset;  // of the value within the row record
};

constexpr size_t Align8(size_t n) { return (n + 7) & ~size_t{7}; }

}  // namespace

TIBCustomDataSet::TIBCustomDataSet(TComponent *AOwner) : TComponent(AOwner), FBase(std::make_unique<TIBBase>(this)) {
    FBase->BeforeDatabaseDisconnect = [this](TIBBase *) { DoBeforeDatabaseDisconnect(); };
    FBase->BeforeTransactionEnd = [this](TIBBase *) { DoBeforeTransactionEnd(); };
    FBase->OwnerSetDatabase = [this](TIBDatabase *value) { SetDatabase(value); };

    // The creation order is part of the contract: the companion statements
    // join the connection's and transaction's lists in this order.
    auto make = [] {
        auto statement = std::make_unique<TIBSQL>(nullptr);
        statement->SetGoToFirstRecordOnExecute(false);
        return statement;
    };
    FQDelete = make();
    FQInsert = make();
    FQRefresh = make();
    FQSelect = make();
    FQModify = make();
    FQSelect->OnSQLChanging = [this](TIBSQL *) { SelectSQLChanging(); };
}

TIBCustomDataSet::~TIBCustomDataSet() {
    Quietly([this] { Close(); });
    // Automatic fields are owned; they leave the field list while the
    // result set is still whole. Persistent fields belong to someone else
    // and only forget this result set.
    BeginDestruction();
    for (TField *field : FFields) field->FDataSet = nullptr;
    FFields.clear();
    FQModify.reset();
    FQSelect.reset();
    FQRefresh.reset();
    FQInsert.reset();
    FQDelete.reset();
}

// ---- properties -----------------------------------------------------------------

TIBDatabase *TIBCustomDataSet::Database() const { return FBase->Database(); }
TIBTransaction *TIBCustomDataSet::Transaction() const { return FBase->Transaction(); }

void TIBCustomDataSet::CheckInactive() const {
    if (Active()) DatabaseError(kDataSetOpenMessage);
}

void TIBCustomDataSet::SetDatabase(TIBDatabase *value) {
    if (value == FBase->Database()) return;
    CheckInactive();
    ForgetPreparation();
    FBase->SetDatabase(value);
    for (TIBSQL *statement : Statements()) statement->SetDatabase(value);
}

void TIBCustomDataSet::SetTransaction(TIBTransaction *value) {
    if (value == FBase->Transaction()) return;
    CheckInactive();
    ForgetPreparation();
    FBase->SetTransaction(value);
    for (TIBSQL *statement : Statements()) statement->SetTransaction(value);
}

void TIBCustomDataSet::SetBufferChunks(int value) { FBufferChunks = value <= 0 ? 1000 : value; }

void TIBCustomDataSet::SetActive(bool value) {
    if (value)
        Open();
    else
        Close();
}

TStringList &TIBCustomDataSet::SelectSQL() { return FQSelect->SQL(); }
TStringList &TIBCustomDataSet::RefreshSQL() { return FQRefresh->SQL(); }
TStringList &TIBCustomDataSet::InsertSQL() { return FQInsert->SQL(); }
TStringList &TIBCustomDataSet::ModifySQL() { return FQModify->SQL(); }
TStringList &TIBCustomDataSet::DeleteSQL() { return FQDelete->SQL(); }

std::array<TIBSQL *, 5> TIBCustomDataSet::Statements() const {
    return {FQDelete.get(), FQInsert.get(), FQRefresh.get(), FQSelect.get(), FQModify.get()};
}

// ---- fields ---------------------------------------------------------------------

void TIBCustomDataSet::AddField(TField *field) {
    CheckInactive();
    FFields.push_back(field);
    field->FDataSet = this;
}

void TIBCustomDataSet::RemoveField(TField *field) {
    FFields.erase(std::remove(FFields.begin(), FFields.end(), field), FFields.end());
    field->FDataSet = nullptr;
    field->FFieldNo = 0;
}

TField *TIBCustomDataSet::FindField(StringView name) const {
    for (TField *field : FFields)
        if (SameTextAscii(field->FieldName(), name)) return field;
    return nullptr;
}

TField *TIBCustomDataSet::FieldByName(StringView name) const {
    TField *field = FindField(name);
    if (!field) DatabaseError(Format(kDataSetFieldNotFoundMessage, {String(name)}));
    return field;
}

void TIBCustomDataSet::CreateAutomaticFields() {
    // Only integer columns get a field object of their own: the readers have
    // no other field classes.
    for (int i = 0; i < FFieldDefs.Count(); ++i) {
        const TFieldDef &def = FFieldDefs[i];
        if (FieldTypeGroup(def.DataType()) != TFieldTypeGroup::Integer) continue;
        auto *field = new TIntegerField(this);
        field->SetFieldName(def.Name());
        field->FAutomatic = true;
        field->SetDataSet(this);
    }
}

void TIBCustomDataSet::DestroyAutomaticFields() {
    std::vector<TField *> automatic;
    for (TField *field : FFields)
        if (field->Automatic()) automatic.push_back(field);
    for (TField *field : automatic) delete field;
}

void TIBCustomDataSet::UnbindFields() {
    for (TField *field : FFields) field->FFieldNo = 0;
}

void TIBCustomDataSet::BindPersistentFields() {
    for (TField *field : FFields) {
        int index = FFieldDefs.IndexOf(field->FieldName());
        if (index < 0) DatabaseError(Format(kDataSetFieldNotFoundMessage, {field->DisplayName()}));
        const TFieldDef &def = FFieldDefs[index];
        field->FFieldNo = index + 1;
        // An integer field takes a 64-bit integer column too (COUNT(*) is one
        // in dialect 3); a value that does not fit is refused when read.
        const bool widened = FieldTypeGroup(field->DataType()) == TFieldTypeGroup::Integer &&
                             FieldTypeGroup(def.DataType()) == TFieldTypeGroup::LargeInt;
        if (FieldTypeGroup(field->DataType()) != FieldTypeGroup(def.DataType()) && !widened) {
            field->FFieldNo = 0;
            DatabaseError(Format(kDataSetTypeMismatchMessage,
                                 {field->DisplayName(), FieldTypeName(field->DataType()), FieldTypeName(def.DataType())}));
        }
        switch (field->DataType()) {
        case ftBytes:
        case ftVarBytes:
        case ftBCD:
            if (field->Size() != def.Size()) {
                field->FFieldNo = 0;
                DatabaseError(Format(kDataSetSizeMismatchMessage,
                                     {field->DisplayName(), int64_t{field->Size()}, int64_t{def.Size()}}));
            }
            break;
        case ftString:
        case ftFixedChar:
        case ftWideString:
        case ftFixedWideChar:
            if (field->Size() > def.Size() && !field->ReadOnly()) field->SetSize(def.Size());
            break;
        default:
            break;
        }
    }
}

// ---- opening --------------------------------------------------------------------

void TIBCustomDataSet::Open() {
    if (Active()) return;
    // An open that fails leaves the result set closed; the open's failure
    // is the one that leaves.
    TOnFailure close([this] {
        FState = dsInactive;
        CloseCursor();
    });
    DoOpenSteps();
    // The row window holds one row: filling it asks for one row.
    FEof = !FetchNextRow();
    FState = dsBrowse;
}

void TIBCustomDataSet::EnsureConnected() {
    if (!Database()) RaiseClientError(ClientError::DatabaseNotAssigned);
    if (!Transaction()) RaiseClientError(ClientError::TransactionNotAssigned);
    if (!Database()->Connected()) Database()->Open();
}

bool TIBCustomDataSet::EnsureTransaction() {
    if (!Transaction()) RaiseClientError(ClientError::TransactionNotAssigned);
    if (Transaction()->InTransaction()) return false;
    Transaction()->AutoStartTransaction();
    return true;
}

void TIBCustomDataSet::InternalOpen() {
    EnsureConnected();
    EnsureTransaction();
    if (SelectSQL().Text().empty()) RaiseClientError(ClientError::EmptyQuery);
    if (!FInternalPrepared) PrepareStatements();
    if (FQSelect->SQLType() == SQLSelect) {
        bool persistent = std::any_of(FFields.begin(), FFields.end(), [](TField *f) { return !f->Automatic(); });
        if (!persistent) CreateAutomaticFields();
        BindPersistentFields();
        FCurrentRecord = -1;
        FQSelect->ExecQuery();
        FOpen = true;
        FEof = false;
        LayoutRecord();
        GrowBuffer();
    } else {
        FQSelect->ExecQuery();
    }
    FRowsAffected = FQSelect->RowsAffected();
}

void TIBCustomDataSet::PrepareStatements() {
    if (FInternalPrepared) return;
    if (Trim(SelectSQL().Text()).empty()) RaiseClientError(ClientError::EmptySQLStatement);
    EnsureConnected();
    const bool started = EnsureTransaction();
    {
        // A transaction started for the preparation stops again as its
        // AutoStopAction says, also when the preparation fails.
        TOnFailure autoStop([this, started] {
            if (started && Transaction()) Transaction()->CheckAutoStop();
        });
        FBase->CheckDatabase();
        FBase->CheckTransaction();
        if (Trim(SelectSQL().Text()).empty()) RaiseClientError(ClientError::EmptyQuery);
        if (!FQSelect->Prepared()) {
            FQSelect->SetParamCheck(FParamCheck);
            FQSelect->Prepare();
        }
        FLiveMode.Clear();
        const std::pair<TIBSQL *, TLiveMode> companions[] = {
            {FQDelete.get(), lmDelete}, {FQInsert.get(), lmInsert}, {FQModify.get(), lmModify}, {FQRefresh.get(), lmRefresh}};
        for (const auto &[statement, mode] : companions) {
            if (Trim(statement->SQL().Text()).empty()) continue;
            if (!statement->Prepared()) {
                try {
                    statement->Prepare();
                } catch (const EIBInterBaseRoleError &) {
                    // No permission for this kind of change: the result set
                    // simply cannot do it.
                }
            }
            if (statement->Prepared()) FLiveMode.Include(mode);
        }
        FInternalPrepared = true;
        DescribeColumns();
    }
    if (started && Transaction()) Transaction()->CheckAutoStop();
}

void TIBCustomDataSet::ResetPreparation() {
    if (!FInternalPrepared) return;
    if (FOpen) RaiseClientError(ClientError::DatasetOpen);
    FFieldDefs.Clear();
    FInternalPrepared = false;
    FLiveMode.Clear();
}

void TIBCustomDataSet::ForgetPreparation() {
    FFieldDefs.Clear();
    FInternalPrepared = false;
    FLiveMode.Clear();
}

void TIBCustomDataSet::SelectSQLChanging() {
    // A new select text describes other columns.
    if (Active()) Close();
    ForgetPreparation();
}

bool TIBCustomDataSet::HasPersistentFloatField(const String &name) const {
    TField *field = FindField(name);
    return field && !field->Automatic() && FieldTypeGroup(field->DataType()) == TFieldTypeGroup::Float;
}

void TIBCustomDataSet::DescribeColumns() {
    FFieldDefs.Clear();
    FMappedFieldPosition.clear();
    TIBXSQLDA &columns = FQSelect->Current();
    const int dialect = Database() ? Database()->SQLDialect() : 3;
    for (int i = 0; i < columns.Count(); ++i) {
        TIBXSQLVAR &column = columns[i];
        TSQLVAR &data = column.Data();
        const String alias = data.AliasName();
        if (alias == kDBKeyAlias) continue;
        const int sqlType = data.SqlDef();
        const int scale = data.SqlScale();
        const int length = data.SqlLen();
        const String relation = data.RelName();

        int size = 0;
        int precision = 0;
        bool fixed = false;
        auto bcdLike = [&](bool widenPrecision) {
            size = -scale;
            precision = data.SqlPrecision();
            if (widenPrecision && precision == -scale) ++precision;
        };
        const TSQLTypeTraits &traits = SQLTypeTraits(sqlType);
        TFieldType type = UnscaledFieldType(traits);
        if (traits.IsText()) {
            size = Trim(relation).empty() ? length : length / std::max(1, column.CharSetSize());
            fixed = traits.Class == TValueClass::FixedText;
        } else if (traits.Class == TValueClass::Blob) {
            size = 8;
            if (data.SqlSubtype() == 1) type = ftWideMemo;
        } else if (traits.Class == TValueClass::Integer && scale != 0) {
            // Scaled numbers: four decimals or fewer are BCD (also every
            // scaled 16-bit number); more are FMTBcd, or float where dialect
            // 1 stores them or a persistent float field asks for it.
            const bool wide = traits.StorageSize == 8;
            if (scale >= -4 || traits.StorageSize == 2) {
                type = ftBCD;
                bcdLike(!wide);
            } else if ((!wide && dialect == 1) || HasPersistentFloatField(alias)) {
                type = ftFloat;
            } else {
                type = ftFMTBcd;
                bcdLike(true);
            }
        } else if (traits.Class == TValueClass::Int128 && scale != 0) {
            // Firebird 4's NUMERIC and DECIMAL above 18 digits.
            type = ftFMTBcd;
            bcdLike(true);
        } else if (traits.Class == TValueClass::DecFloat) {
            precision = data.SqlPrecision();
        }
        if (type == ftUnknown) continue;  // arrays and the like get no field definition

        TFieldDef &def = FFieldDefs.AddFieldDef();
        def.SetName(alias);
        def.SetDataType(type);
        def.SetSize(size);
        def.SetPrecision(precision);
        def.SetFieldNo(i + 1);
        def.SetRequired(!column.IsNullable() && !Trim(relation).empty());
        const String columnName = data.SqlName();
        if (!columnName.empty()) {
            if (!Trim(relation).empty()) {
                if (Database()->Has_COMPUTED_BLR(relation, columnName)) {
                    def.SetAttributes({faReadonly});
                    def.SetInternalCalcField(true);
                } else if (Database()->Has_DEFAULT_VALUE(relation, columnName)) {
                    TFieldAttributes attributes = def.Attributes();
                    attributes.Exclude(faRequired);
                    def.SetAttributes(attributes);
                }
            } else {
                def.SetAttributes({faReadonly});
            }
        }
        if (fixed) {
            TFieldAttributes attributes = def.Attributes();
            attributes.Include(faFixed);
            def.SetAttributes(attributes);
        }
        FMappedFieldPosition.push_back(i + 1);
    }
}

// ---- row buffer -----------------------------------------------------------------

void TIBCustomDataSet::LayoutRecord() {
    FSlots.clear();
    FDBKeyColumn = -1;
    TIBXSQLDA &columns = FQSelect->Current();
    size_t offset = Align8(sizeof(TRowHeader));
    for (int i = 0; i < columns.Count(); ++i) {
        TIBXSQLVAR &column = columns[i];
        TSQLVAR &data = column.Data();
        TColumnSlotLayout slot;
        slot.SQLType = static_cast<int16_t>(data.SqlDef());
        slot.Scale = data.SqlScale();
        slot.Nullable = column.IsNullable();
        const TSQLTypeTraits &type = SQLTypeTraits(data.SqlDef());
        slot.IsText = type.IsText();
        slot.BytesPerChar = slot.IsText ? column.CharSetSize() : 1;
        if (data.AliasName() == kDBKeyAlias) {
            // Only the row's key; never a field. A key longer than the
            // record's key (a view over several tables) is not kept.
            if (FDBKeyColumn < 0 && data.SqlLen() <= kDBKeyLength) FDBKeyColumn = i;
            slot.Kept = false;
        } else {
            slot.DataSize = type.SlotSize();
        }
        slot.Offset = offset;
        offset += Align8(sizeof(TSlotHeader) + static_cast<size_t>(slot.DataSize));
        FSlots.push_back(slot);
    }
    FRecordSize = offset;
}

void TIBCustomDataSet::GrowBuffer() {
    FBufferCapacity += FBufferChunks;
    FRecords.reserve(static_cast<size_t>(FBufferCapacity));
}

const uint8_t *TIBCustomDataSet::RecordAt(int index) const { return FRecords[static_cast<size_t>(index)].get(); }

size_t TIBCustomDataSet::RowBufferBytes() const {
    return FRecordBytes + FRecords.capacity() * sizeof(FRecords[0]);
}

const uint8_t *TIBCustomDataSet::CurrentRecord() const {
    if (!Active() && !FOpen) return nullptr;
    if (FCurrentRecord < 0 || FCurrentRecord >= FRecordCount) return nullptr;
    return RecordAt(FCurrentRecord);
}

const uint8_t *TIBCustomDataSet::CurrentDBKey() const {
    const uint8_t *record = CurrentRecord();
    return record ? reinterpret_cast<const TRowHeader *>(record)->DBKey : nullptr;
}

bool TIBCustomDataSet::FetchNextRow() {
    if (FCurrentRecord + 1 < FRecordCount) {
        ++FCurrentRecord;
        return true;
    }
    if (!FOpen || FQSelect->Eof()) return false;
    if (!FQSelect->Next()) return false;
    if (FRecordCount >= FBufferCapacity) GrowBuffer();
    CopyRowToBuffer();
    ++FRecordCount;
    FCurrentRecord = FRecordCount - 1;
    return true;
}

bool TIBCustomDataSet::Next() {
    if (!Active()) return false;
    if (FetchNextRow()) return true;
    FEof = true;
    return false;
}

void TIBCustomDataSet::CopyRowToBuffer() {
    TIBXSQLDA &columns = FQSelect->Current();
    const int count = std::min(columns.Count(), static_cast<int>(FSlots.size()));
    size_t size = FRecordSize;
    for (int i = 0; i < count; ++i)
        if (FSlots[static_cast<size_t>(i)].Kept && FSlots[static_cast<size_t>(i)].IsText && !columns[i].IsNull())
            size += columns[i].Data().TextBytes().size();
    auto block = std::make_unique<uint8_t[]>(size);  // zeroed
    uint8_t *record = block.get();
    size_t textOffset = FRecordSize;
    auto *header = reinterpret_cast<TRowHeader *>(record);
    header->RowNumber = FRecordCount;
    header->UpdateStatus = 0;
    for (int i = 0; i < count; ++i) {
        TIBXSQLVAR &column = columns[i];
        const TColumnSlotLayout &slot = FSlots[static_cast<size_t>(i)];
        if (i == FDBKeyColumn) {
            if (!column.IsNull()) {
                const std::string_view key = column.Data().TextBytes();
                std::memcpy(header->DBKey, key.data(), std::min(key.size(), kDBKeyLength));
            }
            continue;
        }
        uint8_t *base = record + slot.Offset;
        TSlotHeader slotHeader{};
        slotHeader.SQLType = slot.SQLType;
        slotHeader.Scale = slot.Scale;
        slotHeader.Nullable = slot.Nullable;
        slotHeader.BytesPerChar = static_cast<uint8_t>(slot.BytesPerChar);
        slotHeader.IsNull = column.IsNull();
        uint8_t *value = base + sizeof(TSlotHeader);
        slotHeader.DataOffset = static_cast<uint32_t>(value - record);
        if (slot.Kept && !slotHeader.IsNull && slot.IsText) {
            const std::string_view text = column.Data().TextBytes();
            std::memcpy(record + textOffset, text.data(), text.size());
            slotHeader.DataOffset = static_cast<uint32_t>(textOffset);
            slotHeader.DataLength = static_cast<int32_t>(text.size());
            textOffset += text.size();
        } else if (!slotHeader.IsNull && slot.DataSize > 0) {
            // The value as the client library stored it.
            std::memcpy(value, column.Data().SqlData(), static_cast<size_t>(slot.DataSize));
            slotHeader.DataLength = slot.DataSize;
        }
        std::memcpy(base, &slotHeader, sizeof slotHeader);
    }
    FRecords.push_back(std::move(block));
    FRecordBytes += size;
}

const uint8_t *TIBCustomDataSet::FieldSlot(const TField *field) const {
    if (!field->Bound()) return nullptr;
    const uint8_t *record = CurrentRecord();
    if (!record) return nullptr;
    size_t def = static_cast<size_t>(field->FieldNo() - 1);
    if (def >= FMappedFieldPosition.size()) return nullptr;
    size_t column = static_cast<size_t>(FMappedFieldPosition[def] - 1);
    if (column >= FSlots.size()) return nullptr;
    const uint8_t *slot = record + FSlots[column].Offset;
    TSlotHeader header;
    std::memcpy(&header, slot, sizeof header);
    return header.IsNull ? nullptr : slot;
}

bool TIBCustomDataSet::FieldIsNull(const TField *field) const { return FieldSlot(field) == nullptr; }

bool TIBCustomDataSet::GetFieldInteger(const TField *field, int32_t &value) const {
    const uint8_t *slot = FieldSlot(field);
    if (!slot) return false;
    TSlotHeader header;
    std::memcpy(&header, slot, sizeof header);
    const char *data = reinterpret_cast<const char *>(slot + sizeof(TSlotHeader));
    int64_t number;
    const TSQLTypeTraits &type = SQLTypeTraits(static_cast<uint16_t>(header.SQLType));
    if (!StoredNumberAsInt64(type, header.Scale, data, number)) RaiseClientError(ClientError::InvalidDataConversion);
    // A 64-bit column serves a 32-bit field only with a value that fits;
    // otherwise the mismatch the field's binding would have raised.
    if ((header.SQLType & ~1) == SQL_INT64 && header.Scale == 0 &&
        (number < INT32_MIN || number > INT32_MAX))
        DatabaseError(Format(kDataSetTypeMismatchMessage,
                             {field->DisplayName(), FieldTypeName(field->DataType()), FieldTypeName(ftLargeint)}));
    // The low 32 bits, as a column's integer read gives them.
    value = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(number)));
    return true;
}

bool TIBCustomDataSet::IsEmpty() const { return !Active() || FRecordCount == 0; }

// ---- closing and events ----------------------------------------------------------

void TIBCustomDataSet::Close() {
    if (!Active()) return;
    DoBeforeClose();
    FState = dsInactive;
    CloseCursor();
}

void TIBCustomDataSet::CloseCursor() {
    // Everything is released even when the server refuses to close the
    // cursor; the first failure is reported afterwards.
    TFirstFailure steps;
    steps.Run([&] {
        if (Transaction()) Transaction()->CheckAutoStop();
    });
    steps.Run([&] {
        if (FQSelect->Open()) FQSelect->Close();
    });
    std::vector<std::unique_ptr<uint8_t[]>>().swap(FRecords);
    FRecordBytes = 0;
    FBufferCapacity = 0;
    FSlots.clear();
    FRecordSize = 0;
    FDBKeyColumn = -1;
    FCurrentRecord = -1;
    FOpen = false;
    FEof = false;
    FRecordCount = 0;
    UnbindFields();
    DestroyAutomaticFields();
    steps.RaiseFirst();
}

void TIBCustomDataSet::DoBeforeDatabaseDisconnect() {
    if (Active()) Close();
    FInternalPrepared = false;
}

void TIBCustomDataSet::DoBeforeTransactionEnd() {
    if (Active()) Close();
    for (TIBSQL *statement : Statements()) statement->FreeHandle();
    FInternalPrepared = false;
}

void TIBCustomDataSet::ConnectChange(TCustomConnection *, bool Connecting) {
    if (!Connecting) Close();
}

void TIBCustomDataSet::DatabaseError(const String &message) const {
    if (Name().empty()) throw EDatabaseError(message);
    throw EDatabaseError(Name() + u": " + message);
}

}  // namespace vantrel
