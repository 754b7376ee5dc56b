// Helpers of the connection, transaction and server tests: scratch
// databases, connections configured like the update module's, a probe SQL
// object that records the notifications it receives, and isql-based reads
// of what really reached the database.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "client/GDSLibrary.h"
#include "client/IBBase.h"
#include "client/IBDatabase.h"
#include "client/IBErrors.h"
#include "client/IBTransaction.h"
#include "support/TestSupport.h"

namespace vantrel::test {

// A connection with the module's parameter lines (no login prompt).
inline std::unique_ptr<TIBDatabase> MakeConnection(const std::string &name, TComponent *owner = nullptr,
                                                   const std::string &charset = "WIN1251") {
    auto db = std::make_unique<TIBDatabase>(owner);
    db->SetServerType(u"IBServer");
    db->SetDatabaseName(U(name));
    db->Params().Add(u"user_name=SYSDBA");
    db->Params().Add(U(std::string("password=") + kPassword));
    if (!charset.empty()) db->Params().Add(U("lc_ctype=" + charset));
    db->SetLoginPrompt(false);
    return db;
}

// The integer that a single-value query prints in isql (the last number of
// its output); -1 when there is none.
inline long long QueryInteger(const std::string &database, const std::string &sql) {
    std::string out = RunIsql(database, "SET LIST ON;\n" + sql);
    long long value = -1;
    size_t i = out.size();
    while (i > 0 && !std::isdigit(static_cast<unsigned char>(out[i - 1]))) --i;
    size_t end = i;
    while (i > 0 && std::isdigit(static_cast<unsigned char>(out[i - 1]))) --i;
    if (end > i) value = std::stoll(out.substr(i, end - i));
    return value;
}

inline long long CountRows(const std::string &database, const std::string &table) {
    return QueryInteger(database, "SELECT COUNT(*) FROM " + table + ";");
}

// Counts the committed rows of a table through an attachment of this
// process (the embedded engine keeps a database it has open to itself, so
// isql cannot look while a test holds a connection).
inline long long CountRowsInProcess(const std::string &database, const std::string &table) {
    auto db = MakeConnection(database);
    db->Open();
    TIBTransaction tr(db.get());
    tr.StartTransaction();
    TIBBase link(nullptr);
    link.SetDatabase(db.get());
    link.SetTransaction(&tr);
    std::vector<char> buffer(XSQLDA_LENGTH(1));
    auto *da = reinterpret_cast<XSQLDA *>(buffer.data());
    da->version = SQLDA_VERSION1;
    da->sqln = 1;
    da->sqld = 1;
    int64_t value = -1;
    short indicator = 0;
    da->sqlvar[0].sqltype = SQL_INT64 + 1;
    da->sqlvar[0].sqllen = sizeof(value);
    da->sqlvar[0].sqlscale = 0;
    da->sqlvar[0].sqldata = reinterpret_cast<char *>(&value);
    da->sqlvar[0].sqlind = &indicator;
    const std::string sql = "SELECT COUNT(*) FROM " + table;
    db->Call(db->GDSLibrary()->isc_dsql_exec_immed2(StatusVector(), link.DBHandle(), link.TRHandle(), 0, sql.c_str(),
                                                    3, nullptr, da),
             true);
    tr.Commit();
    return value;
}

// The message lines isql-fb prints for a failed CONNECT, joined with CR LF
// the way the client layer composes server errors (isql marks every line
// after the first with "-"; the final full stop is dropped).
inline std::string IsqlConnectError(const std::string &database, const std::string &user,
                                    const std::string &password) {
    ProcessResult r = RunCommand("isql-fb -q", "CONNECT '" + database + "' USER '" + user + "' PASSWORD '" +
                                                   password + "';\n");
    std::string text;
    bool inMessage = false;
    size_t start = 0;
    while (start < r.Output.size()) {
        size_t end = r.Output.find('\n', start);
        if (end == std::string::npos) end = r.Output.size();
        std::string line = r.Output.substr(start, end - start);
        start = end + 1;
        if (line.rfind("Statement failed", 0) == 0) {
            inMessage = true;
            continue;
        }
        if (!inMessage || line.empty()) continue;
        if (!text.empty()) {
            text += "\r\n";
            if (line[0] == '-') line.erase(0, 1);
        }
        text += line;
    }
    if (!text.empty() && text.back() == '.') text.pop_back();
    return text;
}

// An SQL object as statements and datasets are: a component owning a link
// object. It records the notifications it receives and, as a dataset would,
// is told when the connection opens and closes.
class ProbeSQLObject : public TComponent, public IConnectionClient {
public:
    explicit ProbeSQLObject(TComponent *owner = nullptr, bool isDataSet = false)
        : TComponent(owner), Base(this), FIsDataSet(isDataSet) {
        Base.BeforeDatabaseDisconnect = [this](TIBBase *) { Record("BeforeDatabaseDisconnect"); };
        Base.AfterDatabaseDisconnect = [this](TIBBase *) { Record("AfterDatabaseDisconnect"); };
        Base.OnDatabaseFree = [this](TIBBase *) { Record("DatabaseFree"); };
        Base.BeforeTransactionEnd = [this](TIBBase *) { Record("BeforeTransactionEnd"); };
        Base.AfterTransactionEnd = [this](TIBBase *) { Record("AfterTransactionEnd"); };
        Base.OnTransactionFree = [this](TIBBase *) { Record("TransactionFree"); };
    }
    void ConnectChange(TCustomConnection *, bool connecting) override {
        Record(connecting ? "Connect" : "Disconnect");
    }
    bool IsOpenDataSet() const override { return FIsDataSet && Open; }

    void Record(const std::string &what) {
        // Whether the transaction was still running when told, when known.
        if (Base.Transaction() && (what == "BeforeTransactionEnd" || what == "AfterTransactionEnd"))
            Events.push_back(what + (Base.Transaction()->InTransaction() ? "(active)" : "(ended)"));
        else
            Events.push_back(what);
    }

    TIBBase Base;
    std::vector<std::string> Events;
    bool Open = false;

private:
    bool FIsDataSet;
};

// The first client error id raised by an action, -1 when none (other
// exceptions propagate).
template <typename F>
int ClientErrorOf(F &&action) {
    try {
        action();
    } catch (const EIBClientError &e) {
        return e.SQLCode();
    }
    return -1;
}

// Fills the calling thread's status vector as the client library reports a
// lost connection (status vector codes only; no call is made).
inline void FakeLostConnectionStatus() {
    ISC_STATUS *sv = StatusVector();
    for (int i = 0; i < ISC_STATUS_LENGTH; ++i) sv[i] = 0;
    sv[0] = isc_arg_gds;
    sv[1] = kConnectionLost;
    sv[2] = isc_arg_end;
}

inline void ClearStatus() {
    ISC_STATUS *sv = StatusVector();
    for (int i = 0; i < ISC_STATUS_LENGTH; ++i) sv[i] = 0;
    sv[0] = isc_arg_gds;
}

}  // namespace vantrel::test
