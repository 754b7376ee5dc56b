// The field metadata cache: per database name, the computed, defaulted and
// primary-key columns of each table, read from the catalogue on the first
// question about a table and kept for the life of the process.
#include "client/IBSchema.h"

#include <map>
#include <mutex>

#include "client/IBDatabase.h"
#include "client/IBSQL.h"
#include "client/IBTransaction.h"
#include "client/IBXSQLDA.h"
#include "client/TPB.h"
#include "client/TransientTransaction.h"
#include "platform/Encoding.h"
#include "platform/Finally.h"

namespace vantrel {

namespace {

const char16_t kColumnsQuery[] =
    u"Select F.RDB$COMPUTED_BLR, F.RDB$DEFAULT_VALUE, R.RDB$DEFAULT_VALUE, R.RDB$FIELD_NAME "
    u"from RDB$RELATION_FIELDS R, RDB$FIELDS F where R.RDB$RELATION_NAME = :RELATION and "
    u"R.RDB$FIELD_SOURCE = F.RDB$FIELD_NAME and ((not F.RDB$COMPUTED_BLR is NULL) or      "
    u"(not (F.RDB$DEFAULT_VALUE is NULL and R.RDB$DEFAULT_VALUE is NULL))) ";

const char16_t kPrimaryKeyQuery[] =
    u"SELECT RDB$FIELD_NAME, RDB$FIELD_POSITION FROM RDB$RELATION_CONSTRAINTS RR JOIN "
    u"RDB$INDEX_SEGMENTS RI ON      RR.RDB$INDEX_NAME = RI.RDB$INDEX_NAME WHERE "
    u"RDB$RELATION_NAME = :relation_name AND       RDB$CONSTRAINT_TYPE = 'PRIMARY KEY ' "
    u"ORDER BY RDB$FIELD_POSITION ";

// Binds a cache statement to the asking connection and a private
// transaction for one query and unbinds it again on every path, so that the
// shared statement never keeps a link to a connection between questions.
class TStatementBinding {
public:
    TStatementBinding(TIBSQL &statement, TIBTransaction &transaction) : FStatement(statement) {
        FStatement.SetTransaction(&transaction);
    }
    // Quiet: on the way out of a failure. A query that ran through closes
    // its cursor itself, so that a failing close is heard.
    ~TStatementBinding() {
        Quietly([this] { FStatement.Close(); });
        Quietly([this] { FStatement.FreeHandle(); });
        Quietly([this] {
            FStatement.SetTransaction(nullptr);
            FStatement.SetDatabase(nullptr);
        });
    }
    TStatementBinding(const TStatementBinding &) = delete;
    TStatementBinding &operator=(const TStatementBinding &) = delete;

private:
    TIBSQL &FStatement;
};

}  // namespace

TSchema::TSchema() : FQuery(std::make_unique<TIBSQL>(nullptr)), FPQuery(std::make_unique<TIBSQL>(nullptr)) {
    FQuery->SQL().SetText(kColumnsQuery);
    FPQuery->SQL().SetText(kPrimaryKeyQuery);
}

TSchema::~TSchema() = default;

void TSchema::FreeNodes() {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    FRelations.clear();
}

bool TSchema::Has_DEFAULT_VALUE(TIBDatabase *Database, const String &Relation, const String &Field) {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    const TFieldNode *node = FindNode(Database, Relation, Field);
    return node && node->DEFAULT_VALUE;
}

bool TSchema::Has_COMPUTED_BLR(TIBDatabase *Database, const String &Relation, const String &Field) {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    const TFieldNode *node = FindNode(Database, Relation, Field);
    return node && node->COMPUTED_BLR;
}

bool TSchema::In_Key(TIBDatabase *Database, const String &Relation, const String &Field) {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    const TFieldNode *node = FindNode(Database, Relation, Field);
    return node && node->In_Key;
}

int TSchema::RelationCount() const {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    return static_cast<int>(FRelations.size());
}

const TFieldNode *TSchema::FindNode(TIBDatabase *Database, const String &Relation, const String &Field) {
    auto relation = FRelations.find(Relation);
    if (relation == FRelations.end()) return LoadRelation(Database, Relation, Field);
    auto node = relation->second->find(Field);
    return node == relation->second->end() ? nullptr : node->second.get();
}

const TFieldNode *TSchema::LoadRelation(TIBDatabase *Database, const String &Relation, const String &Field) {
    // The entry is added first: a failing load leaves the nodes read so far
    // cached rather than asking the catalogue on every later question.
    auto &fields = *FRelations.emplace(Relation, std::make_unique<TFieldNodes>()).first->second;
    const TFieldNode *result = nullptr;

    // The questions run in a read-only transaction of their own.
    TTransientTransaction transaction(*Database, TransactionLevelParams(ibtrPrecommitted));

    {
        TStatementBinding binding(*FQuery, transaction.Transaction());
        FQuery->Params()[0].SetAsString(Relation);
        FQuery->ExecQuery();
        while (!FQuery->Eof()) {
            TIBXSQLDA &row = FQuery->Current();
            auto node = std::make_unique<TFieldNode>();
            node->FieldName = Trim(row[3].AsString());
            node->COMPUTED_BLR = !row[0].IsNull();
            node->DEFAULT_VALUE = !row[1].IsNull() || !row[2].IsNull();
            node->In_Key = false;
            TFieldNode *added = node.get();
            auto inserted = fields.insert_or_assign(node->FieldName, std::move(node));
            (void)inserted;
            if (added->FieldName == Field) result = added;
            FQuery->Next();
        }
        // Closed here, not by the binding, so that a failing close is heard.
        FQuery->Close();
    }
    {
        TStatementBinding binding(*FPQuery, transaction.Transaction());
        FPQuery->Params()[0].SetAsString(Relation);
        FPQuery->ExecQuery();
        while (!FPQuery->Eof()) {
            String name = Trim(FPQuery->Current()[0].AsString());
            auto existing = fields.find(name);
            if (existing != fields.end()) {
                existing->second->In_Key = true;
            } else {
                auto node = std::make_unique<TFieldNode>();
                node->FieldName = name;
                node->In_Key = true;
                TFieldNode *added = node.get();
                fields.emplace(name, std::move(node));
                if (name == Field) result = added;
            }
            FPQuery->Next();
        }
        FPQuery->Close();
    }
    transaction.Commit();
    return result;
}

// ---- process-wide map -----------------------------------------------------------

namespace {

struct TSchemaRegistry {
    std::mutex Lock;
    std::map<String, std::unique_ptr<TSchema>> Items;
};

TSchemaRegistry &Registry() {
    // Destroyed when the library is unloaded (or the process ends), so that
    // a host that loads and unloads the library again and again keeps none
    // of the caches behind.
    static TSchemaRegistry registry;
    return registry;
}

// Created while the library is loaded, before any caller's thread can reach
// it, and so destroyed after everything created later.
[[maybe_unused]] const bool kSchemaRegistryCreated = (Registry(), true);

}  // namespace

TIBSchema *SchemaCache::GetOrCreate(const String &DatabaseName) {
    String key = UpperCaseFull(DatabaseName);
    TSchemaRegistry &registry = Registry();
    std::lock_guard<std::mutex> guard(registry.Lock);
    auto &slot = registry.Items[key];
    if (!slot) slot = std::make_unique<TSchema>();
    return slot.get();
}

int SchemaCache::Count() {
    TSchemaRegistry &registry = Registry();
    std::lock_guard<std::mutex> guard(registry.Lock);
    return static_cast<int>(registry.Items.size());
}

}  // namespace vantrel
