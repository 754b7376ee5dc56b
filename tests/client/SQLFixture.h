// A scratch embedded database with an open connection and a transaction,
// shared by the statement and round-trip suites.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ClientErrorExpect.h"
#include "client/IBDatabase.h"
#include "client/IBErrors.h"
#include "client/IBSQL.h"
#include "client/IBTransaction.h"
#include "support/TestSupport.h"

namespace vantrel::test {

struct TScratchDatabase {
    TScratchDatabase(int dialect, const std::string &charset, const std::string &setupSql = std::string(),
                     const std::string &connectionCharset = std::string(), const String &serverType = String()) {
        Path = Dir.File("scratch.fdb");
        CreateDatabase(Path, dialect, charset);
        if (!setupSql.empty()) RunIsql(Path, setupSql);
        DB = std::make_unique<TIBDatabase>(nullptr);
        if (!serverType.empty()) DB->SetServerType(serverType);
        DB->SetDatabaseName(U(Path));
        DB->Params().Add(u"user_name=SYSDBA");
        DB->Params().Add(U(std::string("password=") + kPassword));
        std::string cs = connectionCharset.empty() ? charset : connectionCharset;
        if (!cs.empty()) DB->Params().Add(U("lc_ctype=" + cs));
        DB->SetLoginPrompt(false);
        DB->SetSQLDialect(dialect);
        DB->Open();
        Trans = std::make_unique<TIBTransaction>(nullptr);
        Trans->SetDefaultDatabase(DB.get());
    }
    ~TScratchDatabase() {
        Trans.reset();
        DB.reset();
    }

    // A statement on the connection and the transaction.
    std::unique_ptr<TIBSQL> Query(const std::string &sql = std::string()) {
        auto q = std::make_unique<TIBSQL>(nullptr);
        q->SetDatabase(DB.get());
        q->SetTransaction(Trans.get());
        if (!sql.empty()) q->SetSQL(U(sql));
        return q;
    }

    // Runs a statement in the transaction (started when needed).
    void Exec(const std::string &sql) {
        if (!Trans->InTransaction()) Trans->StartTransaction();
        auto q = Query(sql);
        q->ExecQuery();
    }

    TempDir Dir;
    std::string Path;
    std::unique_ptr<TIBDatabase> DB;
    std::unique_ptr<TIBTransaction> Trans;
};

}  // namespace vantrel::test
