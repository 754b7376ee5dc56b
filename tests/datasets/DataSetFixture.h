// Shared set-up of the version reader tests: scratch databases and a small
// container wired like the update module (connection, transaction, a query
// or table, integer fields), owned by one component.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "client/IBDatabase.h"
#include "client/IBTransaction.h"
#include "datasets/Fields.h"
#include "datasets/IBQuery.h"
#include "datasets/IBTable.h"
#include "entry/SessionSettings.h"
#include "platform/Exceptions.h"
#include "support/TestSupport.h"

namespace vantrel::test {

inline const char16_t kExistsSQL[] = u"SELECT Count(*) as EXIST FROM rdb$relations WHERE rdb$relation_name = 'VER'";

// A connection and transaction configured as the update module configures
// DB and Trans; everything is owned by Owner and destroyed with it.
class TModuleLike {
public:
    explicit TModuleLike(const std::string &database, const String &serverType = u"IBServer")
        : Owner(std::make_unique<TComponent>(nullptr)) {
        DB = new TIBDatabase(Owner.get());
        DB->SetName(u"DB");
        for (const String &line : TSessionSettings().ConnectionParams()) DB->Params().Add(line);
        DB->SetLoginPrompt(false);
        DB->SetServerType(serverType);
        Trans = new TIBTransaction(Owner.get());
        Trans->SetName(u"Trans");
        Trans->SetDefaultDatabase(DB);
        DB->SetDefaultTransaction(Trans);
        DB->SetDatabaseName(Utf8ToString(database));
    }

    // The existence query with its persistent field, as the module has it.
    TIBQuery *AddQuery(const String &name, const String &sql, const String &fieldName = u"EXIST",
                       TIntegerField **field = nullptr) {
        auto *query = new TIBQuery(Owner.get());
        query->SetName(name);
        query->SetDatabase(DB);
        query->SetTransaction(Trans);
        query->SetBufferChunks(1000);
        query->SetCachedUpdates(false);
        query->SetParamCheck(true);
        query->SQL().Add(sql);
        if (!fieldName.empty()) {
            auto *f = new TIntegerField(Owner.get());
            f->SetFieldName(fieldName);
            f->SetProviderFlags({});
            f->SetDataSet(query);
            if (field) *field = f;
        }
        return query;
    }

    // The version table with its stored definitions and the VERSION field.
    TIBTable *AddTable(const String &name, const String &tableName, TIntegerField **version = nullptr) {
        auto *table = new TIBTable(Owner.get());
        table->SetName(name);
        table->BeginLoading();
        table->SetDatabase(DB);
        table->SetTransaction(Trans);
        table->SetBufferChunks(1000);
        table->SetCachedUpdates(false);
        table->FieldDefs().Add(u"ID", ftInteger, 0, true);
        table->FieldDefs().Add(u"VERSION", ftInteger);
        table->FieldDefs().Add(u"SERIAL", ftString, 4000);
        table->IndexDefs().Add(u"PK_VER", u"ID", {ixUnique});
        table->SetStoreDefs(true);
        table->SetTableName(tableName);
        table->SetUniDirectional(false);
        table->EndLoading();
        auto *f = new TIntegerField(Owner.get());
        f->SetFieldName(u"VERSION");
        f->SetDataSet(table);
        if (version) *version = f;
        return table;
    }

    std::unique_ptr<TComponent> Owner;
    TIBDatabase *DB = nullptr;
    TIBTransaction *Trans = nullptr;
};

// The message of the exception a callable raises ("" when none).
template <typename F>
std::string MessageOf(F &&action) {
    try {
        action();
    } catch (const Exception &e) {
        return e.what();
    } catch (const std::exception &e) {
        return std::string("unexpected exception: ") + e.what();
    }
    return std::string();
}

// A database in a fresh folder, with some SQL run on it (statements end
// with ";").
inline std::string MakeDatabase(const TempDir &dir, const std::string &file, int dialect, const std::string &sql = {}) {
    std::string path = dir.File(file);
    CreateDatabase(path, dialect, "WIN1251");
    if (!sql.empty()) RunIsql(path, "SET SQL DIALECT " + std::to_string(dialect) + ";\n" + sql);
    return path;
}

}  // namespace vantrel::test
