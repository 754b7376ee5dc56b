// The field metadata cache: which columns of a table are computed, have a
// default value or belong to the primary key. The connection sees an
// abstract cache object with its four operations and obtains the object of
// its database name through the process-wide hook; SchemaCache is the map
// behind that hook, shared by every connection to the same database name.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "platform/Text.h"

namespace vantrel {

class TIBDatabase;
class TIBSQL;

class TIBSchema {
public:
    virtual ~TIBSchema() = default;
    virtual void FreeNodes() = 0;
    virtual bool Has_DEFAULT_VALUE(TIBDatabase *Database, const String &Relation, const String &Field) = 0;
    virtual bool Has_COMPUTED_BLR(TIBDatabase *Database, const String &Relation, const String &Field) = 0;
    virtual bool In_Key(TIBDatabase *Database, const String &Relation, const String &Field) = 0;
};

// One column that is computed, has a default or belongs to the primary key.
struct TFieldNode {
    String FieldName;
    bool COMPUTED_BLR = false;
    bool DEFAULT_VALUE = false;
    bool In_Key = false;
};

// The cache object of one database name. Questions are serialised by its
// lock; the first question about a table loads all of that table's nodes
// with two catalogue queries in a private read-committed transaction of the
// asking connection.
class TSchema : public TIBSchema {
public:
    TSchema();
    ~TSchema() override;
    TSchema(const TSchema &) = delete;
    TSchema &operator=(const TSchema &) = delete;

    void FreeNodes() override;
    bool Has_DEFAULT_VALUE(TIBDatabase *Database, const String &Relation, const String &Field) override;
    bool Has_COMPUTED_BLR(TIBDatabase *Database, const String &Relation, const String &Field) override;
    bool In_Key(TIBDatabase *Database, const String &Relation, const String &Field) override;

    // Tables cached so far.
    int RelationCount() const;

private:
    using TFieldNodes = std::map<String, std::unique_ptr<TFieldNode>>;
    const TFieldNode *FindNode(TIBDatabase *Database, const String &Relation, const String &Field);
    const TFieldNode *LoadRelation(TIBDatabase *Database, const String &Relation, const String &Field);

    mutable std::recursive_mutex FLock;
    std::map<String, std::unique_ptr<TFieldNodes>> FRelations;
    std::unique_ptr<TIBSQL> FQuery;   // the columns query
    std::unique_ptr<TIBSQL> FPQuery;  // the primary key query
};

// The process-wide map from database name (letter case ignored) to its
// cache object. It owns the objects until the library is unloaded;
// connections keep plain pointers.
class SchemaCache {
public:
    // Under the map's lock: the object of the name, created on first use.
    static TIBSchema *GetOrCreate(const String &DatabaseName);
    // Number of database names seen.
    static int Count();
};

// Get-or-create of the cache object for a database name, as the connection
// calls it when it connects. Defaults to SchemaCache; tests may replace it.
using TSchemaProvider = std::function<TIBSchema *(const String &DatabaseName)>;

inline TSchemaProvider &SchemaProvider() {
    static TSchemaProvider provider = [](const String &DatabaseName) { return SchemaCache::GetOrCreate(DatabaseName); };
    return provider;
}

}  // namespace vantrel
