// The directives that let a script choose, create and drop its database:
// CONNECT, RECONNECT, CREATE DATABASE (or SCHEMA) and DROP DATABASE. They
// read the statement's tokens and turn them into the connection's name and
// parameter lines; CONNECT and CREATE DATABASE move the script onto a
// connection and a transaction of its own.
#include <initializer_list>

#include "client/IBDatabase.h"
#include "client/IBErrors.h"
#include "client/IBSQL.h"
#include "client/IBTransaction.h"
#include "platform/Encoding.h"
#include "script/IBScript.h"

namespace vantrel {

namespace {

// Parameter name of a CONNECT/RECONNECT keyword; empty for any other word.
// The role goes under the parameter block's own name for it: a line
// "user_role" would make every such connect fail as an unknown constant.
String ConnectParamName(const String &keyword) {
    if (SameTextAscii(keyword, u"USER")) return u"user_name";
    if (SameTextAscii(keyword, u"PASSWORD")) return u"password";
    if (SameTextAscii(keyword, u"ROLE")) return u"sql_role_name";
    return String();
}

bool Contains(const String &text, StringView part) { return text.find(part) != String::npos; }

}  // namespace

String TIBScript::StripQuotes(const String &text) {
    String result = Trim(text);
    if (!result.empty() && (result.front() == u'\'' || result.front() == u'"')) {
        result.erase(0, 1);
        if (!result.empty()) result.pop_back();
    }
    return result;
}

bool TIBScript::HasExtendedCreateOptions() const {
    const TStringList &tokens = CurrentTokens();
    for (int i = 3; i < tokens.Count(); ++i) {
        const String upper = UpperCaseFull(tokens[i]);
        for (StringView option : {u"NO_RESERVE", u"SET_PAGE_BUFFERS", u"PREALLOCATE", u"FORCE_WRITE", u"SQL_DIALECT",
                                  u"SET_GROUP_COMMIT", u"SWEEP_INTERVAL", u"TRANSACTION", u"ODS_VERSION_MAJOR"})
            if (upper == option) return true;
    }
    return false;
}

void TIBScript::CreateOwnConnection() {
    if (!FDatabase || FDatabase->Owner() != this) {
        if (FDatabase) FDDLTransaction->RemoveDatabase(FDatabase);
        SetDatabase(new TIBDatabase(this));
    }
    FDatabase->SetLoginPrompt(false);
    if (FTransaction && FTransaction->Owner() == this) delete FTransaction;  // clears FTransaction
    FTransaction = new TIBTransaction(this);
    BoundLockWaits(FTransaction);
    FDatabase->SetDefaultTransaction(FTransaction);
    FTransaction->SetDefaultDatabase(FDatabase);
    FDDLTransaction->SetDefaultDatabase(FDatabase);
    FDDLQuery->SetDatabase(FDatabase);
    // The DML that follows runs on the new connection, so it needs the new
    // connection's transaction too.
    if (FDMLQuery) {
        FDMLQuery->SetTransaction(FTransaction);
        FDMLQuery->SetDatabase(FDatabase);
    }
}

void TIBScript::AddConnectParams(int first) {
    const TStringList &tokens = CurrentTokens();
    TStringList &params = FDatabase->Params();
    for (int i = first; i < tokens.Count() - 1; i += 2) {
        const String name = ConnectParamName(tokens[i]);
        // An unknown keyword and its value are skipped: guessing a parameter
        // name for them would hand the server a wrong login.
        if (name.empty()) continue;
        params.Add(name + u"=" + StripQuotes(tokens[i + 1]));
    }
}

void TIBScript::NoteClosingCommit() {
    // Closing a connection commits its running transaction (its default
    // action), which makes that work stay as a COMMIT would.
    if (FTransaction && FTransaction->InTransaction() && FTransaction->DefaultDatabase() == FDatabase &&
        FDatabase->Connected())
        FCommitted.push_back(CurrentLocation());
}

void TIBScript::ConnectDatabase(const String &) {
    if (!FDatabase || FDatabase->Owner() != this) CreateOwnConnection();
    NoteClosingCommit();
    if (FDatabase->Connected()) FDatabase->Close();
    FDatabase->SetSQLDialect(FSQLDialect);
    FDatabase->Params().Clear();
    FDatabase->SetDatabaseName(StripQuotes(CurrentTokens()[1]));
    AddConnectParams(2);
    if (!FCharSet.empty()) FDatabase->Params().Add(u"lc_ctype=" + FCharSet);
    FDatabase->Open();
}

void TIBScript::ReconnectDatabase(const String &) {
    if (!FDatabase) return;
    NoteClosingCommit();
    FDatabase->Close();
    AddConnectParams(2);
    FDatabase->Open();
}

void TIBScript::DropCurrentDatabase(const String &) {
    if (!FDatabase) RaiseClientError(ClientError::DatabaseNotAssigned);
    FDatabase->DropDatabase();
}

void TIBScript::CreateNewDatabase(const String &) {
    CreateOwnConnection();
    const TStringList &tokens = CurrentTokens();
    FDatabase->SetDatabaseName(StripQuotes(tokens[2]));
    TStringList &params = FDatabase->Params();
    const int count = tokens.Count();
    if (!HasExtendedCreateOptions()) {
        String line;
        for (int i = 3; i < count; ++i) line += u" " + tokens[i];
        params.SetText(line);
    } else {
        int p = 3;
        auto upper = [&](int i) { return UpperCaseFull(tokens[i]); };
        while (p < count) {
            const String u = upper(p);
            const bool hasNext = p + 1 < count;
            if (u == u"USER" && hasNext) {
                params.Add(u"user_name=" + StripQuotes(tokens[p + 1]));
                p += 2;
            } else if (u == u"PASSWORD" && hasNext) {
                params.Add(u"password=" + StripQuotes(tokens[p + 1]));
                p += 2;
            } else if (Contains(u, u"PAGE_SIZE")) {
                if (Contains(u, u"=")) {
                    params.Add(tokens[p]);
                    p += 1;
                } else if (hasNext) {
                    params.Add(u"page_size=" + tokens[p + 1]);
                    p += 2;
                } else {
                    // A PAGE_SIZE that ends the statement has no value to give.
                    p += 1;
                }
            } else if (u == u"WITH" && p + 2 < count && upper(p + 1) == u"ADMIN" && upper(p + 2) == u"OPTION") {
                params.Add(u"admin_option=1");
                p += 3;
            } else if (u == u"DEFAULT" && p + 3 < count && upper(p + 1) == u"CHARACTER" && upper(p + 2) == u"SET") {
                params.Add(u"lc_ctype=" + tokens[p + 3]);
                p += 4;
            } else if (u == u"NO_RESERVE") {
                params.Add(u"no_reserve=1");
                p += 1;
            } else if (u == u"SET_GROUP_COMMIT") {
                params.Add(u"set_group_commit=1");
                p += 1;
            } else if (hasNext && (u == u"SET_PAGE_BUFFERS" || u == u"PREALLOCATE" || u == u"ODS_VERSION_MAJOR" ||
                                   u == u"SQL_DIALECT" || u == u"SWEEP_INTERVAL" || u == u"TRANSACTION")) {
                params.Add(AsciiLower(u) + u"=" + tokens[p + 1]);
                p += 2;
            } else if (u == u"FORCE_WRITE" && hasNext) {
                const String mode = upper(p + 1);
                if (mode == u"ASYNC") params.Add(u"force_write=0");
                else if (mode == u"SYNC") params.Add(u"force_write=1");
                else if (mode == u"DIRECT") params.Add(u"force_write=2");
                p += 2;
            } else if (u == u"FILE" && hasNext) {
                String line = tokens[p] + u" " + tokens[p + 1];
                p += 2;
                if (p < count) {
                    const String next = upper(p);
                    if (Contains(next, u"LENGTH")) {
                        if (Contains(next, u"=")) {
                            line += u" " + tokens[p];
                            p += 1;
                        } else if (p + 1 < count) {
                            line += u" " + tokens[p] + u" " + tokens[p + 1];
                            p += 2;
                        }
                    } else if (next == u"STARTING") {
                        line += u" " + tokens[p];
                        p += 1;
                        if (p < count && upper(p) == u"AT") line += u" " + tokens[p++];
                        if (p < count && upper(p) == u"PAGE") line += u" " + tokens[p++];
                        if (p < count) line += u" " + tokens[p++];
                        if (p + 1 < count && upper(p) == u"LENGTH") {
                            line += u" " + tokens[p] + u" " + tokens[p + 1];
                            p += 2;
                        }
                    }
                }
                params.Add(line);
            } else {
                p += 1;
            }
        }
    }
    FDatabase->SetSQLDialect(FSQLDialect);
    FDatabase->CreateDatabase();
    if (FStatsOn && FDatabase->Connected()) FStats->Start();
}

}  // namespace vantrel
