// TIBTable: catalogue reading, statement generation and writability of a
// result set over one whole table.
#include "datasets/IBTable.h"

#include <set>

#include "client/IBDatabase.h"
#include "client/IBErrors.h"
#include "client/IBSQL.h"
#include "client/IBTransaction.h"
#include "client/IBXSQLDA.h"
#include "client/TPB.h"
#include "client/TransientTransaction.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Finally.h"

namespace vantrel {

namespace {

const char16_t kDBKeyColumn[] = u"RDB$DB_KEY as VANTREL_INTERNAL_DBKEY from ";
const char16_t kWhereDBKey[] = u" where RDB$DB_KEY = :VANTREL_INTERNAL_DBKEY";

// The name as the catalogue stores it (the rule of the descriptor areas):
// dialect 1 upper-cases; later dialects take a double-quoted name as written
// (inner doubled quotes halved) and upper-case any other.
String NormalizeIdentifier(int dialect, StringView name) {
    String text = Trim(name);
    if (dialect != 1 && !text.empty() && text.front() == u'"') {
        String inner = text.size() >= 2 ? text.substr(1, text.size() - 2) : String();
        String result;
        for (size_t i = 0; i < inner.size(); ++i) {
            result += inner[i];
            if (inner[i] == u'"' && i + 1 < inner.size() && inner[i + 1] == u'"') ++i;
        }
        return result;
    }
    return UpperCaseFull(text);
}

// A catalogue name inside a single-quoted literal: an apostrophe in a name
// must not end the literal.
String QuoteLiteral(const String &name) {
    String result;
    for (char16_t c : name) {
        result += c;
        if (c == u'\'') result += u'\'';
    }
    return result;
}

std::vector<String> SplitFields(const String &list) {
    std::vector<String> items;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(u';', start);
        if (end == String::npos) end = list.size();
        String item = Trim(StringView(list).substr(start, end - start));
        if (!item.empty()) items.push_back(item);
        start = end + 1;
    }
    return items;
}

String Join(const std::vector<String> &items, StringView separator) {
    String result;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) result += separator;
        result += items[i];
    }
    return result;
}

// The private read-only transaction of one catalogue step, with the
// statements it runs: committed by Done, rolled back when the step fails.
// Statements go before the transaction.
class TCatalogueStep {
public:
    explicit TCatalogueStep(TIBDatabase *database) : FTransaction(Connection(database), TransactionLevelParams(ibtrPrecommitted)) {}
    TCatalogueStep(const TCatalogueStep &) = delete;
    TCatalogueStep &operator=(const TCatalogueStep &) = delete;

    TIBSQL &NewStatement(const String &text, bool goToFirstRecord) {
        auto statement = std::make_unique<TIBSQL>(nullptr);
        statement->SetTransaction(&FTransaction.Transaction());
        statement->SetGoToFirstRecordOnExecute(goToFirstRecord);
        statement->SQL().SetText(text);
        FStatements.push_back(std::move(statement));
        return *FStatements.back();
    }

    void Done() {
        FStatements.clear();
        FTransaction.Commit();
    }

private:
    static TIBDatabase &Connection(TIBDatabase *database) {
        // What starting a transaction without a connection reports.
        if (!database) RaiseClientError(ClientError::NoDatabasesInTransaction);
        return *database;
    }

    TTransientTransaction FTransaction;
    std::vector<std::unique_ptr<TIBSQL>> FStatements;
};

}  // namespace

TIBTable::TIBTable(TComponent *AOwner) : TIBCustomDataSet(AOwner) {
    FieldDefs().OnChange = [this] { FStoreDefs = true; };
    FIndexDefs.OnChange = [this] { FStoreDefs = true; };
}

TIBTable::~TIBTable() {
    Quietly([this] { Close(); });
    FieldDefs().OnChange = nullptr;
    FIndexDefs.OnChange = nullptr;
}

void TIBTable::SetTableName(const String &value) {
    if (IsLoading()) {
        FTableName = value;
        return;
    }
    if (value == FTableName) return;
    CheckInactive();
    ResetPreparation();
    FTableName = value;
    SelectSQL().Clear();
    RefreshSQL().Clear();
    InsertSQL().Clear();
    ModifySQL().Clear();
    DeleteSQL().Clear();
    FRegenerateSQL = true;
    FIndexName.clear();
    FFieldsIndex.clear();
    FPrimaryIndexFields.clear();
    // Another table: its definitions must come from the catalogue again.
    FieldDefs().SetUpdated(false);
    FIndexDefs.SetUpdated(false);
}

void TIBTable::SetReadOnly(bool value) {
    if (value == FReadOnly) return;
    CheckInactive();
    FReadOnly = value;
}

void TIBTable::SetIndexName(const String &value) {
    if (value == FIndexName) return;
    FIndexName = value;
    if (!value.empty()) FFieldsIndex.clear();
    FRegenerateSQL = true;
}

void TIBTable::SetIndexFieldNames(const String &value) {
    if (value == FFieldsIndex) return;
    FFieldsIndex = value;
    if (!value.empty()) FIndexName.clear();
    FRegenerateSQL = true;
}

int TIBTable::Dialect() const { return Database() ? Database()->SQLDialect() : 3; }

String TIBTable::QuoteName(const String &name) const {
    if (Dialect() == 1) return UpperCaseFull(Trim(name));
    String result = u"\"";
    for (char16_t c : name) {
        result += c;
        if (c == u'"') result += u'"';
    }
    result += u'"';
    return result;
}

String TIBTable::CatalogueName() const { return NormalizeIdentifier(Dialect(), QuoteName(FTableName)); }

// ---- opening --------------------------------------------------------------------

void TIBTable::DoOpenSteps() {
    if (FTableName.empty()) RaiseClientError(ClientError::NoTableName);
    EnsureConnected();
    EnsureTransaction();
    if (FRegenerateSQL) {
        ResetPreparation();
        BuildStatements();
        FRegenerateSQL = false;
    }
    InternalOpen();
}

void TIBTable::BuildStatements() {
    if (!Database() || !Database()->Connected()) RaiseClientError(ClientError::DatabaseClosed);
    if (!Transaction() || !Transaction()->InTransaction()) RaiseClientError(ClientError::NotInTransaction);

    if (!FIndexDefs.Updated()) {
        ReadIndexDefinitions();
        FIndexDefs.SetUpdated(true);
    }

    String order;
    if (!FFieldsIndex.empty()) {
        order = OrderList(FFieldsIndex, false);
    } else if (!FIndexName.empty()) {
        TIndexDef *index = FIndexDefs.Find(FIndexName);
        if (!index) DatabaseError(Format(kDataSetIndexNotFoundMessage, {FIndexName}));
        order = OrderList(index->Fields(), index->Options().Contains(ixDescending));
    } else if (FDefaultIndex && !FPrimaryIndexFields.empty()) {
        order = OrderList(FPrimaryIndexFields, false);
    }

    const String q = QuoteName(FTableName);
    TStringList select;
    select.Add(u"select " + q + u".*, " + kDBKeyColumn + q);
    if (!order.empty()) select.Add(u" order by " + order);
    SelectSQL().Assign(select);

    RefreshSQL().SetText(u"select " + q + u".*, " + kDBKeyColumn + q + kWhereDBKey);
    FWhereDBKeyRefreshSQL = RefreshSQL().Text();

    try {
        PrepareStatements();
    } catch (const EIBInterBaseError &e) {
        if (e.IBErrorCode() != kBadDbKey) throw;
        RefreshSQL().Clear();
        PrepareStatements();
    }

    if (!FReadOnly) BuildModifyStatements();
}

String TIBTable::OrderList(const String &fieldList, bool descending) const {
    if (Dialect() == 1 && !descending) {
        String list = QuoteName(fieldList);
        String result;
        for (char16_t c : list) {
            if (c == u';')
                result += u", ";
            else
                result += c;
        }
        return result;
    }
    std::vector<String> items;
    for (const String &field : SplitFields(fieldList)) items.push_back(QuoteName(field) + (descending ? u" DESC" : u""));
    return Join(items, u", ");
}

void TIBTable::ReadIndexDefinitions() {
    if (IsLoading()) return;
    if (!Active() && !FieldDefs().Updated()) {
        ReadColumnDefinitions();
        FieldDefs().SetUpdated(true);
    }
    FIndexDefs.Clear();
    FPrimaryIndexFields.clear();

    TCatalogueStep step(Database());
    TIBSQL &indexes = step.NewStatement(
        u"Select I.RDB$INDEX_NAME, I.RDB$UNIQUE_FLAG, I.RDB$INDEX_TYPE, I.RDB$SEGMENT_COUNT, S.RDB$FIELD_NAME from "
        u"RDB$INDICES I, RDB$INDEX_SEGMENTS S where I.RDB$INDEX_NAME = S.RDB$INDEX_NAME and I.RDB$RELATION_NAME = '" +
            QuoteLiteral(CatalogueName()) + u"'",
        false);
    TIBSQL *segments = nullptr;
    indexes.ExecQuery();
    // The join gives one row per segment. The rows of an index normally
    // come together; an index already read is skipped wherever its further
    // rows turn up, so an interleaving plan cannot duplicate it.
    std::set<String> seen;
    while (TIBXSQLDA *row = indexes.Next()) {
        const String name = Trim((*row)[0].AsString());
        if (!seen.insert(name).second) continue;
        TIndexOptions options;
        if (StartsWith(name, u"RDB$PRIMARY")) options.Include(ixPrimary);
        if ((*row)[1].AsInteger() == 1) options.Include(ixUnique);
        if ((*row)[2].AsInteger() == 1) options.Include(ixDescending);
        String fields;
        if ((*row)[3].AsInteger() == 1) {
            fields = Trim((*row)[4].AsString());
        } else {
            const String catalogueIndexName = NormalizeIdentifier(Dialect(), QuoteName(name));
            const String text = u"Select RDB$FIELD_NAME from RDB$INDEX_SEGMENTS where RDB$INDEX_NAME = '" +
                                QuoteLiteral(catalogueIndexName) + u"'" + u" ORDER BY RDB$FIELD_POSITION";
            if (!segments)
                segments = &step.NewStatement(text, false);
            else
                segments->SQL().SetText(text);
            segments->ExecQuery();
            std::vector<String> names;
            while (TIBXSQLDA *segment = segments->Next()) names.push_back(Trim((*segment)[0].AsString()));
            segments->Close();
            fields = Join(names, u";");
        }
        TIndexDef &def = FIndexDefs.Add(name, fields, options);
        if (options.Contains(ixDescending)) def.SetDescFields(fields);
        if (options.Contains(ixPrimary)) FPrimaryIndexFields = fields;
    }
    indexes.Close();
    step.Done();
}

void TIBTable::ReadColumnDefinitions() {
    if (FTableName.empty()) RaiseClientError(ClientError::NoTableName);
    TCatalogueStep step(Database());
    TIBSQL &columns = step.NewStatement(
        u"Select R.RDB$FIELD_NAME, R.RDB$FIELD_POSITION, F.RDB$COMPUTED_BLR, R.RDB$DEFAULT_VALUE, "
        u"R.RDB$NULL_FLAG, F.RDB$FIELD_LENGTH, F.RDB$FIELD_SCALE, F.RDB$FIELD_TYPE, F.RDB$FIELD_SUB_TYPE, "
        u"F.RDB$EXTERNAL_LENGTH, F.RDB$EXTERNAL_SCALE, F.RDB$EXTERNAL_TYPE from RDB$RELATION_FIELDS R, "
        u"RDB$FIELDS F where R.RDB$RELATION_NAME = '" +
            QuoteLiteral(CatalogueName()) + u"' " + u"and R.RDB$FIELD_SOURCE = F.RDB$FIELD_NAME " +
            u"order by R.RDB$FIELD_POSITION",
        false);
    columns.ExecQuery();
    FieldDefs().Clear();
    while (TIBXSQLDA *row = columns.Next()) {
        TIBXSQLDA &r = *row;
        const int scale = r[6].AsInteger();
        TFieldType type = ftUnknown;
        int size = 0;
        int precision = 0;
        auto scaled = [&](TFieldType exact, int digits, bool floatBelow4) {
            if (scale == 0) {
                type = exact;
            } else if (floatBelow4 && scale < -4) {
                type = ftFloat;
            } else {
                type = ftBCD;
                precision = digits;
                size = -scale;
            }
        };
        switch (r[7].AsInteger()) {
        case 7: scaled(ftSmallint, 4, false); break;
        case 8: scaled(ftInteger, 9, true); break;
        case 16: scaled(ftLargeint, 18, true); break;
        // Firebird 4: INT128 (and NUMERIC and DECIMAL above 18 digits),
        // DECFLOAT(16) and (34), times and timestamps with a time zone.
        case 26:
            if (scale == 0) {
                type = ftLargeint;
            } else {
                type = ftFMTBcd;
                precision = 38;
                size = -scale;
            }
            break;
        case 24:
        case 25:
            type = ftFMTBcd;
            precision = r[7].AsInteger() == 24 ? 16 : 34;
            break;
        case 28: type = ftTime; break;
        case 29: type = ftDateTime; break;
        case 10:
        case 11:
        case 27: type = ftFloat; break;
        case 12: type = ftDate; break;
        case 13: type = ftTime; break;
        case 35: type = ftDateTime; break;
        case 14:
        case 37:
            type = ftString;
            size = r[5].AsInteger();
            break;
        case 71: type = ftBoolean; break;
        case 261: type = r[8].AsInteger() == 1 ? ftWideMemo : ftBlob; break;
        case 9:
            type = ftUnknown;
            size = 8;
            break;
        default: type = ftUnknown; break;
        }
        TFieldDef &def = FieldDefs().AddFieldDef();
        def.SetFieldNo(r[1].AsInteger());
        def.SetName(Trim(r[0].AsString()));
        def.SetDataType(type);
        def.SetSize(size);
        def.SetPrecision(precision);
        if (!r[2].IsNull()) {
            def.SetAttributes({faReadonly});
            def.SetInternalCalcField(true);
        } else if (r[3].IsNull() && r[4].AsInteger() == 1) {
            def.SetAttributes({faRequired});
        }
    }
    columns.Close();
    step.Done();
}

bool TIBTable::TableIsWritable() {
    TCatalogueStep step(Database());
    TIBSQL &relation = step.NewStatement(
        u"Select RDB$SYSTEM_FLAG, RDB$DBKEY_LENGTH from RDB$RELATIONS where RDB$RELATION_NAME = '" +
            QuoteLiteral(CatalogueName()) + u"'",
        true);
    relation.ExecQuery();
    int systemFlag = 0;
    int dbKeyLength = 0;
    if (!relation.Eof()) {
        systemFlag = relation.Current()[0].AsInteger();
        dbKeyLength = relation.Current()[1].AsInteger();
    }
    relation.Close();
    step.Done();
    return systemFlag == 0 && dbKeyLength == 8;
}

void TIBTable::BuildModifyStatements() {
    if (!TableIsWritable()) {
        FReadOnly = true;
        return;
    }
    const String q = QuoteName(FTableName);
    DeleteSQL().SetText(u"delete from " + q + u" where RDB$DB_KEY = " + u":VANTREL_INTERNAL_DBKEY");

    std::vector<String> columns, values, assignments, whereAll;
    for (int i = 0; i < FieldDefs().Count(); ++i) {
        const TFieldDef &def = FieldDefs()[i];
        if (def.InternalCalcField() || def.Attributes().Contains(faReadonly) || def.DataType() == ftUnknown) continue;
        const String n = QuoteName(def.Name());
        columns.push_back(n);
        values.push_back(u":" + n);
        assignments.push_back(n + u" = :" + n);
        whereAll.push_back(n + u" = :" + n);
    }
    if (columns.empty()) {
        FReadOnly = true;
        return;
    }
    InsertSQL().SetText(u"insert into " + q + u" (" + Join(columns, u", ") + u") values (" + Join(values, u", ") + u")");
    ModifySQL().SetText(u"update " + q + u" set " + Join(assignments, u", ") + kWhereDBKey);
    FWhereAllRefreshSQL = u"select " + q + u".*, " + kDBKeyColumn + q + u" where " + Join(whereAll, u" and ");
    if (!FPrimaryIndexFields.empty()) {
        std::vector<String> keys;
        for (const String &field : SplitFields(FPrimaryIndexFields)) {
            const String n = QuoteName(field);
            keys.push_back(n + u" = :" + n);
        }
        FWherePrimaryRefreshSQL = u"select " + q + u".*, " + kDBKeyColumn + q + u" where " + Join(keys, u" and ");
    }

    try {
        ResetPreparation();
        PrepareStatements();
    } catch (...) {
        // A table the user may read but not change stays readable: without
        // the companion texts the next preparation does not try them again.
        FReadOnly = true;
        DeleteSQL().Clear();
        InsertSQL().Clear();
        ModifySQL().Clear();
        ResetPreparation();
        PrepareStatements();
    }
}

}  // namespace vantrel
