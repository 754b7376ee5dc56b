// Shared set-up of the script executor tests: a connection, a transaction
// and a script wired like the update module's, on a scratch embedded
// database; a binding that counts and records selected client calls; and
// helpers that look at a database through isql-fb afterwards.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "client/GDSLibrary.h"
#include "client/IBDatabase.h"
#include "client/IBErrors.h"
#include "client/IBSQL.h"
#include "client/IBTransaction.h"
#include "entry/SessionSettings.h"
#include "platform/Component.h"
#include "platform/Finally.h"
#include "script/IBScript.h"
#include "support/TestSupport.h"

namespace vantrel::test {

// The real client binding with a few calls counted or replaced. Registered
// once per process under the server type "ScriptCounting".
class TCountingLibrary : public TIBServerLibrary {
public:
    static TCountingLibrary &Instance();
    static constexpr const char16_t *kServerType = u"ScriptCounting";

    void Reset() {
        DatabaseInfoCalls = 0;
        InfoItems.clear();
        SavepointCalls.clear();
        Batches.clear();
        VersionOverride = 0;
    }

    int DatabaseInfoCalls = 0;
    std::vector<int> InfoItems;
    // Answer of GetIBClientVersion when not 0: lets a test pose as a client
    // that has the savepoint (7.1) or batch (8.0) entry points.
    int64_t VersionOverride = 0;
    // "start SP1", "release SP1", "rollback SP1 0": the savepoint calls of a
    // posing client.
    std::vector<std::string> SavepointCalls;
    // Statements handed to isc_dsql_batch_execute_immed by a posing client;
    // they are run one by one with isc_dsql_execute_immediate.
    std::vector<std::vector<std::string>> Batches;

    int64_t GetIBClientVersion() override {
        return VersionOverride != 0 ? VersionOverride : TIBServerLibrary::GetIBClientVersion();
    }
    ISC_STATUS isc_database_info(ISC_STATUS *status_vector, isc_db_handle *db_handle, short item_list_buffer_length,
                                 const ISC_SCHAR *item_list_buffer, short result_buffer_length,
                                 ISC_SCHAR *result_buffer) override {
        ++DatabaseInfoCalls;
        InfoItems.push_back(item_list_buffer_length > 0 ? static_cast<unsigned char>(item_list_buffer[0]) : -1);
        return TIBServerLibrary::isc_database_info(status_vector, db_handle, item_list_buffer_length,
                                                   item_list_buffer, result_buffer_length, result_buffer);
    }
    ISC_STATUS isc_start_savepoint(ISC_STATUS *status, isc_tr_handle *tr, const ISC_SCHAR *name) override {
        if (VersionOverride < 71000) return TIBServerLibrary::isc_start_savepoint(status, tr, name);
        SavepointCalls.push_back(std::string("start ") + name);
        return Succeed(status);
    }
    ISC_STATUS isc_release_savepoint(ISC_STATUS *status, isc_tr_handle *tr, const ISC_SCHAR *name) override {
        if (VersionOverride < 71000) return TIBServerLibrary::isc_release_savepoint(status, tr, name);
        SavepointCalls.push_back(std::string("release ") + name);
        return Succeed(status);
    }
    ISC_STATUS isc_rollback_savepoint(ISC_STATUS *status, isc_tr_handle *tr, const ISC_SCHAR *name,
                                      ISC_USHORT option) override {
        if (VersionOverride < 71000) return TIBServerLibrary::isc_rollback_savepoint(status, tr, name, option);
        SavepointCalls.push_back(std::string("rollback ") + name + " " + std::to_string(option));
        return Succeed(status);
    }
    ISC_STATUS isc_dsql_batch_execute_immed(ISC_STATUS *status, isc_db_handle *db, isc_tr_handle *tr,
                                            unsigned short dialect, ISC_ULONG count, ISC_SCHAR **statements,
                                            ISC_ULONG *rows) override {
        if (VersionOverride < 80000)
            return TIBServerLibrary::isc_dsql_batch_execute_immed(status, db, tr, dialect, count, statements, rows);
        std::vector<std::string> batch;
        for (ISC_ULONG i = 0; i < count; ++i) batch.emplace_back(statements[i]);
        Batches.push_back(batch);
        for (ISC_ULONG i = 0; i < count; ++i) {
            ISC_STATUS rc = isc_dsql_execute_immediate(status, db, tr, 0, statements[i], dialect, nullptr);
            if (rc != 0) return rc;
        }
        return Succeed(status);
    }

private:
    static ISC_STATUS Succeed(ISC_STATUS *status) {
        status[0] = 1;
        status[1] = 0;
        status[2] = 0;
        return 0;
    }
};

// A connection, a transaction and a script configured like the update
// module's (its login and character set, no login prompt, script terminator
// ";"), owned by one root component.
class ScriptModule {
public:
    explicit ScriptModule(const std::string &databasePath, const String &serverType = u"IBServer");
    ~ScriptModule();

    TComponent Root{nullptr};
    TIBDatabase *DB = nullptr;
    TIBTransaction *Trans = nullptr;
    TIBScript *IBScript = nullptr;

    // Connects and starts the transaction, as the update entry point does.
    void Open();
    // Loads the text into the script and runs it.
    void Run(const std::string &utf8Script);
    // Ends the transaction (commit when active) and disconnects.
    void CommitAndClose();
    void RollbackAndClose();
};

// Runs statements through isql-fb (embedded for a plain path) with the
// UTF8 connection character set; fails the test on an error when asked.
std::string Isql(const std::string &database, const std::string &sql, bool failOnError = true);
std::string ShellQuoted(const std::string &text);
// One value (first column of the first row) of a query run through
// isql-fb; trimmed, "<null>" for NULL, empty when there is no row.
std::string IsqlValue(const std::string &database, const std::string &select);
// The whole output of isql-fb for the statements (headings off).
std::string IsqlRows(const std::string &database, const std::string &selects);
// Names of the user tables, views, procedures, triggers, generators and
// domains of a database, for "what exists" checks.
bool RelationExists(const std::string &database, const std::string &name);

// A scratch folder with one empty WIN1251 dialect-3 database "test.fdb".
class ScriptDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override;
    std::string Db() const { return FPath; }
    TempDir Dir;

private:
    std::string FPath;
};

}  // namespace vantrel::test
