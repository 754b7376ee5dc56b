// Operations of TIBDatabase on the database itself rather than on an
// attachment: running one SQL text, creating and dropping the database, and
// probing whether the attachment still answers.
#include <algorithm>
#include <exception>

#include "client/GDSLibrary.h"
#include "client/IBDatabase.h"
#include "client/IBErrors.h"
#include "client/IBTransaction.h"
#include "client/OwnedHandles.h"
#include "client/TransientTransaction.h"
#include "platform/Finally.h"

namespace vantrel {

namespace {

String ReplaceAll(String text, StringView from, StringView to) {
    size_t pos = 0;
    while ((pos = text.find(from, pos)) != String::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
    return text;
}

// A name that can stand unquoted in a statement.
bool IsPlainIdentifier(StringView name) {
    if (name.empty()) return false;
    for (char16_t c : name)
        if (!((c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' || c == u'$')) return false;
    return true;
}

bool HasFileClause(const String &line) { return AsciiUpper(line).find(u"FILE ") != String::npos; }

}  // namespace

void TIBDatabase::ExecuteImmediate(const String &SQL, TIBTransaction *Transaction) {
    CheckActive();
    IGDSLibrary *lib = GDSLibrary();
    // The attachment reads statements in its character set.
    std::string text;
    AppendServerText(*FEncoding, FCharacterSet, SQL, text);
    auto execute = [&](isc_tr_handle *trHandle) {
        Call(lib->isc_dsql_execute_immediate(StatusVector(), &FHandle, trHandle, 0, text.c_str(),
                                             static_cast<unsigned short>(FSQLDialect), nullptr),
             true);
    };
    if (Transaction) {
        if (!Transaction->InTransaction()) RaiseClientError(ClientError::NotInTransaction);
        execute(&Transaction->FHandle);
        return;
    }
    // A transaction for the statement alone: committed after it, rolled
    // back when it fails.
    TTransientTransaction internal(*FInternalTransaction);
    execute(&internal.Transaction().FHandle);
    internal.Commit();
}

void TIBDatabase::CreateDatabase() {
    CheckInactive();
    EnsureServerType();
    IGDSLibrary *lib = GDSLibrary();

    if (FDBParams.Values(u"user_name").empty()) {
        // The server's own CREATE DATABASE statement, with the parameter
        // lines as its clauses. Quotes in the name are doubled so that the
        // literal names exactly this file.
        // No attachment yet: the statement goes in the default narrow code
        // page, as a database name does.
        const String text = u"CREATE DATABASE '" + ReplaceAll(FDBName, u"'", u"''") + u"' " +
                            ReplaceAll(FDBParams.Text(), u"\r\n", u" ");
        const std::string bytes = AnsiServerText(text);
        isc_tr_handle trHandle = 0;
        Call(lib->isc_dsql_execute_immediate(StatusVector(), &FHandle, &trHandle, 0, bytes.c_str(),
                                             static_cast<unsigned short>(FSQLDialect), nullptr),
             true);
        FDBSQLDialect = QueryDBSQLDialect();
        ApplyDefaultCharacterSet();
        return;
    }

    const bool hasDialect =
        !FDBParams.Values(u"sql_dialect").empty() || !FDBParams.Values(u"isc_dpb_sql_dialect").empty();
    const bool hasFiles = AsciiUpper(FDBParams.Text()).find(u"FILE ") != String::npos;
    if (hasDialect && !hasFiles) {
        BuildDPBInto(FDBParams);
    } else {
        TStringList lines(FDBParams);
        if (!hasDialect) lines.SetValue(u"sql_dialect", IntToStr(FSQLDialect));
        for (int i = lines.Count() - 1; i >= 0; --i)
            if (HasFileClause(lines[i])) lines.Delete(i);
        BuildDPBInto(lines);
    }
    FDBParamsChanged = false;

    const std::string name = DatabaseNameBytes();
    const std::vector<uint8_t> block = BlockToSend(lib);
    const ISC_STATUS result =
        Call(lib->isc_create_database(StatusVector(), static_cast<short>(name.size()), name.data(), &FHandle,
                                      static_cast<short>(block.size()), reinterpret_cast<const ISC_SCHAR *>(block.data()), 0),
             false);
    if (result > 0) {
        FHandle = 0;
        RaiseServerError(lib);
    }

    FDBSQLDialect = QueryDBSQLDialect();
    if (FDBSQLDialect < FSQLDialect) {
        FSQLDialect = FDBSQLDialect;
        if (OnDialectDowngradeWarning) OnDialectDowngradeWarning(this);
    }

    // Runs one statement in a transaction of its own on the new database.
    // The transaction ends in every case: a failed statement is rolled back
    // (or, for the file clauses, committed as the statements before it).
    auto runInOwnTransaction = [&](const String &sql, bool commitOnFailure) {
        TTransactionHandle transaction(*lib);
        if (Call(lib->isc_start_transaction(StatusVector(), transaction.Address(), 1, &FHandle, 0,
                                            static_cast<const ISC_SCHAR *>(nullptr)),
                 false) > 0)
            RaiseServerError(lib, MessageEncoding());
        std::string bytes;
        AppendServerText(*FEncoding, FCharacterSet, sql, bytes);
        {
            TOnFailure keepWhatRanBefore([&] {
                if (commitOnFailure) transaction.CommitQuietly();
            });
            Call(lib->isc_dsql_execute_immediate(StatusVector(), &FHandle, transaction.Address(), 0, bytes.c_str(),
                                                 static_cast<unsigned short>(FSQLDialect), nullptr),
                 true);
        }
        // A commit the server refuses is the statement's failure too: its
        // work is not there.
        if (Call(transaction.Commit(), false) > 0) RaiseServerError(lib, MessageEncoding());
    };

    String characterSet = AsciiUpper(FDBParams.Values(u"lc_ctype"));
    if (characterSet.empty()) characterSet = AsciiUpper(FDBParams.Values(u"isc_dpb_lc_ctype"));
    if (characterSet.empty()) {
        ApplyDefaultCharacterSet();
    } else {
        const String quoted = ReplaceAll(characterSet, u"'", u"''");
        try {
            runInOwnTransaction(Format(u"UPDATE RDB$DATABASE SET RDB$CHARACTER_SET_NAME='%s'", {quoted}), false);
        } catch (const EIBInterBaseError &) {
            // Firebird 3 and later refuse updates of system tables; they set
            // the default character set with their own statement.
            if (!Connected() || !IsPlainIdentifier(characterSet)) throw;
            runInOwnTransaction(Format(u"ALTER DATABASE SET DEFAULT CHARACTER SET %s", {characterSet}), false);
        }
    }

    if (hasFiles) {
        // Firebird 4 creates the file of an ALTER DATABASE ADD FILE run in
        // the first transaction of a new database but loses its RDB$FILES
        // row, so the database's first transaction is an empty one (isql,
        // whose CREATE DATABASE ... FILE keeps the row, starts a transaction
        // of its own after creating, too).
        TTransactionHandle first(*lib);
        if (Call(lib->isc_start_transaction(StatusVector(), first.Address(), 1, &FHandle, 0,
                                            static_cast<const ISC_SCHAR *>(nullptr)),
                 false) > 0 ||
            Call(first.Commit(), false) > 0)
            RaiseServerError(lib, MessageEncoding());
        for (const String &line : FDBParams.Items())
            if (HasFileClause(line)) runInOwnTransaction(u"ALTER DATABASE ADD " + line, true);
    }
}

void TIBDatabase::DropDatabase() {
    CheckActive();
    IGDSLibrary *lib = GDSLibrary();
    auto objects = FSQLObjects;
    for (TIBBase *obj : objects)
        if (std::find(FSQLObjects.begin(), FSQLObjects.end(), obj) != FSQLObjects.end())
            obj->DoBeforeDatabaseDisconnect();
    auto transactions = FTransactions;
    for (TIBTransaction *tr : transactions)
        if (std::find(FTransactions.begin(), FTransactions.end(), tr) != FTransactions.end())
            tr->EndByDefaultAction();
    Call(lib->isc_drop_database(StatusVector(), &FHandle), true);
    FHandle = 0;
    FHandleIsShared = false;
}

bool TIBDatabase::TestConnected() {
    if (!Connected()) return false;
    const std::exception_ptr failure = FailureOf([this] {
        IGDSLibrary *lib = GDSLibrary();
        const ISC_SCHAR item = isc_info_base_level;
        ISC_SCHAR buffer[512] = {};
        Call(lib->isc_database_info(StatusVector(), &FHandle, 1, &item, sizeof(buffer), buffer), true);
    });
    if (failure) {
        // The attachment no longer answers: nothing of it is kept.
        Quietly([this] { ForceClose(); });
        return false;
    }
    return Connected();
}

}  // namespace vantrel
