// TIBTable: a read-only result set over one whole table. It reads the
// table's columns and indexes from the catalogue, orders by the primary key
// when the server named its index, and generates its select and, for a
// writable table, the companion insert, update and delete statements.
#pragma once

#include "datasets/IBCustomDataSet.h"

namespace vantrel {

class TIBTable : public TIBCustomDataSet {
public:
    explicit TIBTable(TComponent *AOwner);
    ~TIBTable() override;

    const String &TableName() const { return FTableName; }
    // While loading only stores the name; later, a different name needs the
    // table closed and makes the next open generate everything again.
    void SetTableName(const String &value);
    TIndexDefs &IndexDefs() { return FIndexDefs; }
    bool StoreDefs() const { return FStoreDefs; }
    void SetStoreDefs(bool value) { FStoreDefs = value; }
    bool DefaultIndex() const { return FDefaultIndex; }
    void SetDefaultIndex(bool value) { FDefaultIndex = value; }
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value);
    const String &IndexName() const { return FIndexName; }
    void SetIndexName(const String &value);
    const String &IndexFieldNames() const { return FFieldsIndex; }
    void SetIndexFieldNames(const String &value);
    // The primary key's columns separated by ";", as the last catalogue read
    // found them; empty when none was recognised.
    const String &PrimaryIndexFields() const { return FPrimaryIndexFields; }

    // Alternative refresh texts (kept, never sent).
    const String &WhereAllRefreshSQL() const { return FWhereAllRefreshSQL; }
    const String &WhereDBKeyRefreshSQL() const { return FWhereDBKeyRefreshSQL; }
    const String &WherePrimaryRefreshSQL() const { return FWherePrimaryRefreshSQL; }

    // The name as it stands in generated statements: upper-cased in dialect
    // 1, double-quoted (inner quotes doubled) otherwise.
    String QuoteName(const String &name) const;
    // The table's name as the catalogue stores it.
    String CatalogueName() const;

protected:
    void DoOpenSteps() override;

private:
    void BuildStatements();
    void ReadIndexDefinitions();
    void ReadColumnDefinitions();
    bool TableIsWritable();
    void BuildModifyStatements();
    String OrderList(const String &fieldList, bool descending) const;
    // The connection's SQL dialect (3 without a connection).
    int Dialect() const;

    String FTableName;
    TIndexDefs FIndexDefs;
    bool FStoreDefs = false;
    bool FDefaultIndex = true;
    bool FReadOnly = false;
    String FIndexName;
    String FFieldsIndex;
    bool FRegenerateSQL = true;
    String FPrimaryIndexFields;
    String FWhereAllRefreshSQL;
    String FWhereDBKeyRefreshSQL;
    String FWherePrimaryRefreshSQL;
};

}  // namespace vantrel
