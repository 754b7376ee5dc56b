// The update session and its roads.
#include "entry/UpdateSession.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <new>

#include "client/ClientShutdown.h"
#include "client/GDSLibrary.h"
#include "client/IBDatabase.h"
#include "client/IBErrors.h"
#include "client/IBSQL.h"
#include "client/IBSQLMonitor.h"
#include "client/IBTransaction.h"
#include "client/ServerLibraries.h"
#include "client/TPB.h"
#include "client/TransientTransaction.h"
#include "datasets/Fields.h"
#include "datasets/IBQuery.h"
#include "datasets/IBTable.h"
#include "entry/LockWaits.h"
#include "entry/UDMUpdate.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Finally.h"
#include "platform/MessageBox.h"
#include "platform/Variant.h"
#include "script/IBSQLParser.h"
#include "script/IBScript.h"

namespace vantrel {

namespace {

using Clock = std::chrono::steady_clock;

// A statement that cannot be read, raised from the script's parse error
// handler so that the update ends there as a failure (the executor on its
// own would stop quietly, and the commit would report a half-applied
// script as applied). Its text names the statement's place itself.
class EUnreadableStatement : public Exception {
public:
    EUnreadableStatement(const String &Error, const TScriptLocation &Where)
        : Exception(ParseProblemText(Error, Where)), FWhere(Where) {}
    const TScriptLocation &Where() const noexcept { return FWhere; }

private:
    TScriptLocation FWhere;
};

// A VARIANT holding a copy of a text, for the roads that take their
// arguments as VARIANTs.
class TTextArgument {
public:
    explicit TTextArgument(const String &Text) {
        VariantInit(&FValue);
        FValue.u.bstrVal = SysAllocString(Text);
        FValue.vt = VT_BSTR;
    }
    ~TTextArgument() { VariantClear(&FValue); }
    TTextArgument(const TTextArgument &) = delete;
    TTextArgument &operator=(const TTextArgument &) = delete;
    const VARIANT &Value() const { return FValue; }

private:
    VARIANT FValue;
};

// The text of a failed update: the error's own, or with the lock wait said
// first when the error was one.
String FailureText(std::exception_ptr error, TIBDatabase *db, std::optional<Clock::time_point> waitStarted,
                   int32_t lockTimeout) {
    std::optional<String> lockWait;
    if (waitStarted) {
        // Any other failure (not a database error) is told by its own text.
        Quietly([&] {
            try {
                std::rethrow_exception(error);
            } catch (const EIBError &e) {
                lockWait = LockWaitText(e, db, SecondsSince(*waitStarted), lockTimeout);
            }
        });
    }
    return lockWait ? *lockWait : MessageOf(error);
}

// Where the failure that ended a run stands, as it carries it: the
// statement that could not be read (whose text says so itself), or the one
// that failed.
void LocateFailure(std::exception_ptr error, TUpdateOutcome &outcome) {
    // Out of memory and the like carry no statement.
    Quietly([&] {
        try {
            std::rethrow_exception(error);
        } catch (const EUnreadableStatement &e) {
            outcome.Location = e.Where();
            outcome.LocationInText = true;
        } catch (const Exception &e) {
            if (const TFailedStatement *statement = e.FailedStatement()) outcome.Location = statement->Where;
        }
    });
}

// Table names by relation id, read after the run from the measured
// connection. Tables dropped meanwhile are missing.
std::map<int32_t, String> TableNames(TIBDatabase *db) {
    std::map<int32_t, String> names;
    if (!db || !db->Connected()) return names;
    TTransientTransaction transaction(*db, TStringList());
    TIBSQL query(nullptr);
    query.SetDatabase(db);
    query.SetTransaction(&transaction.Transaction());
    query.SetSQL(u"SELECT RDB$RELATION_ID, RDB$RELATION_NAME FROM RDB$RELATIONS");
    for (query.ExecQuery(); !query.Eof(); query.Next())
        names[query.Current()[0].AsInteger()] = Trim(query.Current()[1].AsString());
    query.Close();
    transaction.Commit();
    return names;
}

// The server's counters of a run, with the tables by name.
void CollectStatistics(TIBScript &script, TRunStatistics &statistics) {
    TIBScriptStats &stats = script.Stats();
    // A run that failed left its measurement running.
    if (stats.Started()) stats.Stop();
    statistics.Reads = stats.Reads();
    statistics.Writes = stats.Writes();
    statistics.Fetches = stats.Fetches();
    statistics.SeqReads = stats.SeqReads();
    statistics.ReadIdx = stats.ReadIdx();
    statistics.DeltaMem = stats.DeltaMem();
    const std::map<int32_t, String> names = TableNames(stats.Database());
    for (const TIBTableStats &counts : stats.TableStats()) {
        TTableStatistics table;
        table.TableId = counts.TableId;
        if (auto name = names.find(counts.TableId); name != names.end()) table.Name = name->second;
        table.SeqReads = counts.SeqReads;
        table.ReadIdx = counts.ReadIdx;
        table.Inserts = counts.Inserts;
        table.Updates = counts.Updates;
        table.Deletes = counts.Deletes;
        statistics.Tables.push_back(std::move(table));
    }
}

bool IsLockConflict(const EIBError &e) { return e.HasStatusCode(kLockTimeout) || e.HasStatusCode(kLockConflict); }

// The lock table is made by the first migrate of a database. Two first runs
// at once both try: the one that loses finds the table made.
void CreateMigrationLockTable(TIBDatabase &db, int32_t seconds) {
    TStringList params;
    params.Add(u"read_committed");
    params.Add(u"rec_version");
    SetLockTimeoutParams(params, seconds);
    // True when the table is there (found or made), false when making it
    // failed.
    auto findOrMake = [&](bool last) {
        TTransientTransaction transaction(db, params);
        TIBSQL query(nullptr);
        query.SetDatabase(&db);
        query.SetTransaction(&transaction.Transaction());
        query.SetSQL(String(u"SELECT 1 FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = '") + kMigrationLockTable + u"'");
        query.ExecQuery();
        const bool exists = !query.Eof();
        query.Close();
        if (exists) {
            transaction.Commit();
            return true;
        }
        try {
            db.ExecuteImmediate(String(u"CREATE TABLE ") + kMigrationLockTable + u" (NO_ROWS SMALLINT)",
                                &transaction.Transaction());
            db.ExecuteImmediate(String(u"COMMENT ON TABLE ") + kMigrationLockTable +
                                    u" IS 'vantrel migrate reserves this table while it runs, so that migrations of "
                                    u"this database run one at a time. It holds no rows.'",
                                &transaction.Transaction());
            transaction.Commit();
            return true;
        } catch (const EIBError &) {
            // Rolled back as the transaction goes; the other run made it.
            if (last) throw;
            return false;
        }
    };
    if (findOrMake(false)) return;
    // The failed CREATE can leave this connection's catalogue cache taking
    // the table for one it never got (Firebird 4 then refuses the
    // reservation as one of a system table): a new connection reads the
    // table as the other run made it.
    db.Close();
    db.Open();
    findOrMake(true);
}

}  // namespace

String MessageOf(std::exception_ptr Failure) {
    try {
        std::rethrow_exception(Failure);
    } catch (const Exception &e) {
        return e.Message();
    } catch (const std::bad_alloc &) {
        return kOutOfMemoryMessage;
    } catch (const std::exception &e) {
        return Utf8ToString(e.what());
    } catch (...) {
        return kUnknownErrorMessage;
    }
}

TConnectFailure ConnectFailureOf(std::exception_ptr Failure) {
    if (!Failure) return TConnectFailure::None;
    try {
        std::rethrow_exception(Failure);
    } catch (const EIBError &e) {
        if (e.HasStatusCode(kLoginRefused)) return TConnectFailure::LoginRefused;
        // A connection lost later is a network error too, with another
        // reason after it.
        if (e.HasStatusCode(kNetworkError) && (e.HasStatusCode(kConnectError) || e.HasStatusCode(kConnectListenError) ||
                                               e.HasStatusCode(kHostLookupError)))
            return TConnectFailure::ServerUnreachable;
        if (e.HasStatusCode(kIOError) && e.HasStatusCode(kIOOpenError)) {
            // The embedded engine passes the system's error number on; a
            // server sends it as its text.
            const std::optional<int64_t> number = e.NumberAfter(kIOOpenError);
            if (number ? *number == ENOENT : e.Message().find(Utf8ToString(std::strerror(ENOENT))) != String::npos)
                return TConnectFailure::DatabaseMissing;
        }
    } catch (...) {
        // Not a database error: none of these.
    }
    return TConnectFailure::None;
}

String InterruptedUpdateText(const std::vector<TScriptLocation> &Committed) {
    String text = kInterruptedMessage;
    if (Committed.empty()) return text + u"\r\n" + kInterruptedNothingCommittedMessage;
    text += String(u"\r\n") + kInterruptedCommittedMessage;
    for (const TScriptLocation &where : Committed) text += u"\r\n  the statement" + LocationText(where, where.Included);
    return text;
}

// ---------------------------------------------------------------------------
// The session and its module

TUpdateSession::TUpdateSession(TSessionSettings Settings) : FSettings(std::move(Settings)) {}

TUpdateSession::~TUpdateSession() {
    ReleaseMigrationLock();
    EndModule();
}

TDMUpdate &TUpdateSession::NewModule() {
    // One module at a time: what the last road left goes first.
    ReleaseMigrationLock();
    EndModule();
    auto module = std::make_unique<TDMUpdate>(nullptr, FSettings);
    FPublishedBefore = DMUpdate;
    FModule = std::move(module);
    DMUpdate = FModule.get();
    return *FModule;
}

void TUpdateSession::EndModule() noexcept {
    if (!FModule) return;
    // Destroyed whatever happens while its components close.
    FModule.reset();
    DMUpdate = FPublishedBefore;
    FPublishedBefore = nullptr;
}

int32_t TUpdateSession::LockTimeout() const {
    return FSettings.LockTimeout ? *FSettings.LockTimeout : LockTimeoutSetting();
}

// ---------------------------------------------------------------------------
// The update

TUpdateOutcome TUpdateSession::Update(const String &DatabaseName, const String &ScriptFile,
                                      const TUpdateHooks &Hooks) {
    const TTextArgument database(DatabaseName), script(ScriptFile);
    return Update(database.Value(), script.Value(), Hooks);
}

TUpdateOutcome TUpdateSession::Update(const VARIANT &DatabaseName, const VARIANT &ScriptFile,
                                      const TUpdateHooks &Hooks) {
    TDMUpdate &module = NewModule();
    TUpdateOutcome outcome;
    TIBScript *script = module.IBScript;
    // Creating the module loaded the client library: from now on a signal
    // that makes it shut the connections down is known to this road.
    WatchForSignalShutdown(*module.DB->GDSLibrary());
    const uint64_t shutdownsBefore = SignalShutdownCount();
    // A statement that cannot be read ends the run as a failure.
    script->OnParseError = [script](TComponent *, const String &Error, const String &, int32_t) {
        throw EUnreadableStatement(Error, script->CurrentLocation());
    };
    bool running = false, ran = false;
    // When the step that failed began, for the report of a lock wait: the
    // statement being run, or the final commit.
    std::optional<Clock::time_point> waitStarted;
    bool interrupted = false;
    // The failure that ended the run itself (it carries the statement).
    std::exception_ptr runFailure;
    Clock::time_point runStarted;
    int32_t statements = 0;
    int32_t lockTimeout = 0;
    bool recorded = false;

    const std::exception_ptr failure = FailureOf([&] {
        const String scriptName = VarToText(ScriptFile);
        CheckFileName(scriptName);
        if (!FileExists(scriptName)) throw Exception(Format(kScriptFileMissingMessage, {scriptName}));
        // A FIFO or device is refused here, before the database is attached
        // and a transaction holds it, rather than blocking in the read.
        CheckRegularFile(scriptName);
        lockTimeout = LockTimeout();
        BoundModuleLockWaits(module, lockTimeout);
        const String databaseName = VarToText(DatabaseName);
        module.DB->SetDatabaseName(databaseName);
        Clock::time_point commitStarted;
        runFailure = FailureOf([&] {
            module.DB->Open();
            if (!module.Trans->InTransaction()) module.Trans->StartTransaction();
            script->LoadScriptFile(scriptName);
            script->SetReleaseReadLines(true);
            script->Stats().SetPerTable(Hooks.Statistics);
            if (Hooks.StatementStarting || Hooks.Statistics) {
                script->OnStatementStart = [&](TIBScript *sender, TIBParseKind kind, const String &text,
                                               const TIBScriptProgress &where) {
                    if (Hooks.StatementStarting) Hooks.StatementStarting(kind, text, sender->Terminator(), where);
                    statements = where.Statement;
                };
            }
            if (Hooks.StatementDone)
                script->OnParse = [&](TComponent *, TIBParseKind, const String &) { Hooks.StatementDone(); };
            if (Hooks.BeforeRun) Hooks.BeforeRun();
            runStarted = Clock::now();
            running = ran = true;
            script->ExecuteScript();
            running = false;
            if (Hooks.Record && module.DB->Connected() && module.DB->DatabaseName() == databaseName) {
                if (!module.Trans->InTransaction()) module.Trans->StartTransaction();
                THistoryRow row = *Hooks.Record;
                row.DurationMs = static_cast<int32_t>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - runStarted).count());
                InsertHistoryRow(*module.DB, *module.Trans, row);
                recorded = true;
            }
            commitStarted = Clock::now();
            if (module.Trans->InTransaction()) module.Trans->Commit();
        });
        if (!runFailure) return;
        if (running && script->StatementStarted() != Clock::time_point()) waitStarted = script->StatementStarted();
        else if (ran) waitStarted = commitStarted;
        interrupted = SignalShutdownCount() != shutdownsBefore;
        // Nothing of a failed run stays pending; a failing rollback replaces
        // the earlier error. After a shutdown there is nothing left to roll
        // back here: closing the connections made the server roll the
        // transactions back.
        if (interrupted) {
            if (module.Trans->InTransaction()) Quietly([&] { module.Trans->Rollback(); });
        } else if (module.Trans->InTransaction()) {
            module.Trans->Rollback();
        }
        std::rethrow_exception(runFailure);
    });
    if (failure) {
        outcome.Failed = true;
        interrupted = interrupted || SignalShutdownCount() != shutdownsBefore;
        if (interrupted) {
            outcome.Interrupted = true;
            outcome.ErrorText = InterruptedUpdateText(script->CommittedStatements());
        } else {
            TIBDatabase *db = script->Database() ? script->Database() : module.DB;
            outcome.ErrorText = FailureText(failure, db, waitStarted, lockTimeout);
            // The script's own CONNECT is a statement that failed, not this.
            if (!ran) outcome.ConnectFailure = ConnectFailureOf(failure);
        }
        if (runFailure) LocateFailure(runFailure, outcome);
        // The text names the statement only while it is the unreadable
        // statement's own.
        if (failure != runFailure || interrupted) outcome.LocationInText = false;
    }
    // Out of memory for the list only costs the report: the outcome stands.
    Quietly([&] { outcome.Committed = script->CommittedStatements(); });
    outcome.Recorded = recorded && !outcome.Failed;

    // Final clean-up: the hooks hear the end, the statistics are read,
    // tracing goes off for the process, the connection closes and the module
    // is destroyed (also when closing fails). A connection that a shutdown
    // has closed (also one that came after the commit) is let go without a
    // word: the outcome stands. So does a committed update whose clean-up
    // fails (a statement that cannot be freed, a detach refused, memory
    // running out): the work is committed and the caller is told so; the
    // failure is only mentioned.
    const std::exception_ptr cleanUpFailure = FailureOf([&] {
        if (ran) {
            if (Hooks.AfterRun) Hooks.AfterRun();
            if (Hooks.Statistics) {
                TRunStatistics &statistics = outcome.Statistics.emplace();
                statistics.Elapsed = Clock::now() - runStarted;
                statistics.Statements = statements;
                try {
                    CollectStatistics(*script, statistics);
                } catch (const Exception &e) {
                    statistics.Problem = e.Message();
                } catch (const std::exception &e) {
                    statistics.Problem = Utf8ToString(e.what());
                }
            }
        }
        MonitorHook().SetEnabled(false);
        if (outcome.Interrupted) module.DB->ForceClose();
        else module.DB->Close();
    });
    EndModule();
    if (cleanUpFailure && !outcome.Failed) {
        Quietly([&] { outcome.CleanupProblem = MessageOf(cleanUpFailure); });
        return outcome;
    }
    if (cleanUpFailure && SignalShutdownCount() == shutdownsBefore) std::rethrow_exception(cleanUpFailure);
    // The host is likely to end its process next: not while the client is
    // still closing down.
    if (outcome.Interrupted) AwaitSignalShutdownEnd(std::chrono::seconds(10));
    return outcome;
}

// ---------------------------------------------------------------------------
// The version

int32_t TUpdateSession::CheckVersion(const VARIANT &DatabaseName) {
    return ReadVersionRoad(
        [&DatabaseName] {
            String text = VarToText(DatabaseName);
            // A local path with a drive letter is tested before connecting;
            // server-qualified names, aliases and relative paths are not.
            if (text.size() >= 2 && text[1] == u':' && !FileExists(text))
                throw Exception(Format(kDatabaseFileMissingMessage, {text}));
            return text;
        },
        true);
}

int32_t TUpdateSession::CheckVersion(const String &DatabaseName) {
    const TTextArgument name(DatabaseName);
    return CheckVersion(name.Value());
}

int32_t TUpdateSession::ReadVersion(const String &DatabaseName) {
    return ReadVersionRoad([&DatabaseName] { return DatabaseName; }, false);
}

namespace {

// The identifier as a dialect 3 statement names it (dialect 1 knows no
// quoted names).
String ColumnName(const String &name, int32_t dialect) {
    if (dialect < 3) return name;
    String quoted = u"\"";
    for (char16_t c : name) {
        quoted += c;
        if (c == u'"') quoted += u'"';
    }
    return quoted + u"\"";
}

// VERSION of the row the version check reads (ordered by the primary key
// when the server named the key's index), read as a number of any type the
// server has: the tools read what the check's 32-bit integer field refuses
// (Firebird 4's INT128, DECIMAL and DECFLOAT). 0 without the table.
int64_t ReadVersionOfAnyNumberType(TDMUpdate &module) {
    TIBDatabase &db = *module.DB;
    TIBSQL query(nullptr);
    query.SetDatabase(&db);
    query.SetTransaction(module.Trans);
    if (!module.Trans->InTransaction()) module.Trans->StartTransaction();
    query.SetSQL(u"SELECT 1 FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'VER'");
    query.ExecQuery();
    const bool exists = !query.Eof();
    query.Close();
    if (!exists) return 0;
    query.SetSQL(u"SELECT S.RDB$FIELD_NAME FROM RDB$INDICES I JOIN RDB$INDEX_SEGMENTS S "
                 u"ON S.RDB$INDEX_NAME = I.RDB$INDEX_NAME WHERE I.RDB$RELATION_NAME = 'VER' "
                 u"AND I.RDB$INDEX_NAME STARTING WITH 'RDB$PRIMARY' ORDER BY S.RDB$FIELD_POSITION");
    String order;
    for (query.ExecQuery(); !query.Eof(); query.Next())
        order += (order.empty() ? u" ORDER BY " : u", ") +
                 ColumnName(Trim(query.Current()[0].AsString()), db.DBSQLDialect());
    query.Close();
    query.SetSQL(u"SELECT VERSION FROM VER" + order);
    query.ExecQuery();
    const int64_t version = !query.Eof() && !query.Current()[0].IsNull() ? query.Current()[0].AsInt64() : 0;
    query.Close();
    return version;
}

}  // namespace

int32_t TUpdateSession::ReadVersionRoad(const std::function<String()> &DatabaseName, bool ShowFirstConnectionFailure) {
    TDMUpdate &module = NewModule();
    int32_t result = 0;
    const std::exception_ptr failure = FailureOf([&] {
        const String name = DatabaseName();
        const int32_t lockTimeout = LockTimeout();
        BoundModuleLockWaits(module, lockTimeout);
        module.DB->SetDatabaseName(name);
        if (!ShowFirstConnectionFailure) {
            module.DB->Open();
        } else if (std::exception_ptr refused = FailureOf([&] { module.DB->Open(); })) {
            // The first connection failure is shown and the call goes on; the
            // query's open tries once more and lets a second failure leave.
            ShowMessageBox(MessageOf(refused));
        }
        auto readVersion = [&module, ShowFirstConnectionFailure]() -> int64_t {
            // The export reads through the module's components, as it always
            // has; the tools (no message box) read any number type.
            if (!ShowFirstConnectionFailure) return ReadVersionOfAnyNumberType(module);
            module.QVerExists->Open();
            if (module.QVerExistsEXIST->AsInteger() == 0) return 0;
            module.TVer->Open();
            const int32_t version = module.TVerVERSION->AsInteger();
            module.TVer->Close();
            return version;
        };
        auto endFailedRead = [&module] {
            module.QVerExists->Close();
            module.TVer->Close();
            if (module.Trans->InTransaction()) module.Trans->Commit();
        };
        result = static_cast<int32_t>(
            ReadPastVersionTableRedefinition(*module.DB, lockTimeout, readVersion, endFailedRead));
    });
    // Clean-up in every case: close the query, close the connection (which
    // commits the module's transaction), destroy the module. The module is
    // destroyed even when closing fails; the first error of the clean-up
    // then leaves in place of an earlier one.
    TFinally end([this] { EndModule(); });
    module.QVerExists->Close();
    module.DB->Close();
    if (failure) std::rethrow_exception(failure);
    return result;
}

// ---------------------------------------------------------------------------
// Creating a database

namespace {

// A connection that logs in with the session's login (and role and other
// lines) to the named database, without a character set.
void LogIn(TIBDatabase &db, const TSessionSettings &settings, const String &name) {
    db.SetLoginPrompt(false);
    db.SetDatabaseName(name);
    for (const String &line : settings.ConnectionParams())
        if (!StartsWith(line, u"lc_ctype=")) db.Params().Add(line);
}

// True when the server says for certain that the database is not there:
// attaching fails with its I/O error (no such file). A database that
// answers, or another failure, is not known to be absent.
bool DatabaseIsAbsent(const TSessionSettings &settings, const String &name) {
    TIBDatabase probe(nullptr);
    LogIn(probe, settings, name);
    try {
        probe.Open();
    } catch (const EIBInterBaseError &e) {
        return e.IBErrorCode() == isc_io_error;
    } catch (const Exception &) {
        return false;
    }
    Quietly([&probe] { probe.ForceClose(); });
    return false;
}

}  // namespace

void TUpdateSession::CreateDatabase(const String &DatabaseName, const TNewDatabase &Options) {
    // Whether a failed creation may have left a database of its own behind:
    // only then is one there afterwards dropped. An existing database is
    // never touched (its creation fails with "File exists").
    const bool absentBefore = DatabaseIsAbsent(FSettings, DatabaseName);
    TIBDatabase db(nullptr);
    // The session's login; the character set is the new database's own.
    LogIn(db, FSettings, DatabaseName);
    if (!Options.PageSize.empty()) db.Params().Add(u"page_size=" + Options.PageSize);
    if (!Options.CharacterSet.empty()) db.Params().Add(u"lc_ctype=" + Options.CharacterSet);
    db.SetSQLDialect(Options.Dialect);
    try {
        db.CreateDatabase();
    } catch (...) {
        // The server made the file before the creation failed (Firebird
        // leaves the database of an unknown lc_ctype in place, and a later
        // step can fail too): it goes again, so that a retry with the
        // mistake mended does not find a half-made database in its way.
        // A creation refused with an I/O error made no file of its own (the
        // file exists, perhaps because another process created it after the
        // probe above, or the folder refuses): nothing is dropped then.
        const std::exception_ptr failure = std::current_exception();
        bool ioError = false;
        Quietly([&] {
            try {
                std::rethrow_exception(failure);
            } catch (const EIBInterBaseError &e) {
                ioError = e.IBErrorCode() == isc_io_error;
            }
        });
        if (db.Connected()) {
            Quietly([&db] { db.DropDatabase(); });
        } else if (absentBefore && !ioError) {
            Quietly([&] {
                TIBDatabase left(nullptr);
                LogIn(left, FSettings, DatabaseName);
                left.Open();
                left.DropDatabase();
            });
        }
        throw;
    }
    db.Close();
}

// ---------------------------------------------------------------------------
// The migration lock

std::optional<String> TUpdateSession::TakeMigrationLock(const String &DatabaseName,
                                                        const std::function<void(int32_t Seconds)> &Waiting) {
    const int32_t seconds = LockTimeout();
    TDMUpdate &module = NewModule();
    // A lock that is not taken leaves nothing behind.
    TOnFailure release([this] {
        ReleaseMigrationLock();
        EndModule();
    });
    module.DB->SetDatabaseName(DatabaseName);
    module.DB->Open();
    CreateMigrationLockTable(*module.DB, seconds);
    FMigrationLock = std::make_unique<TIBTransaction>(nullptr);
    FMigrationLock->SetDefaultDatabase(module.DB);
    TStringList &params = FMigrationLock->Params();
    for (const char16_t *line : {u"write", u"read_committed", u"rec_version"}) params.Add(line);
    // The table, then how it is reserved.
    params.Add(String(u"lock_write=") + kMigrationLockTable);
    params.Add(u"protected");
    // First without waiting, to say why the run stands still when it has to
    // wait.
    SetLockTimeoutParams(params, 0);
    try {
        FMigrationLock->StartTransaction();
        return std::nullopt;
    } catch (const EIBError &e) {
        if (!IsLockConflict(e)) throw;
    }
    if (seconds > 0 && Waiting) Waiting(seconds);
    SetLockTimeoutParams(params, seconds);
    const auto started = Clock::now();
    try {
        if (seconds > 0) FMigrationLock->StartTransaction();
    } catch (const EIBError &e) {
        if (!IsLockConflict(e)) throw;
    }
    if (!FMigrationLock->InTransaction()) throw Exception(Format(kMigrationLockHeldMessage, {SecondsSince(started)}));
    return SecondsSince(started);
}

void TUpdateSession::ReleaseMigrationLock() noexcept {
    if (!FMigrationLock) return;
    Quietly([this] { FMigrationLock->EndByRollback(); });
    FMigrationLock.reset();
    // Nothing was changed, so a close that fails (after a shutdown) loses
    // nothing. Closed rather than force-closed: a detach that fails once is
    // made again, so that a passing failure leaves no attachment behind.
    if (FModule) Quietly([this] { FModule->DB->Close(); });
    EndModule();
}

// ---------------------------------------------------------------------------
// Whole roads and the roads without a database

TUpdateOutcome UpdateDatabase(const VARIANT &DatabaseName, const VARIANT &ScriptFile, const TUpdateHooks &Hooks,
                              const TSessionSettings &Settings) {
    TUpdateSession session(Settings);
    return session.Update(DatabaseName, ScriptFile, Hooks);
}

TUpdateOutcome UpdateDatabase(const String &DatabaseName, const String &ScriptFile, const TUpdateHooks &Hooks,
                              const TSessionSettings &Settings) {
    TUpdateSession session(Settings);
    return session.Update(DatabaseName, ScriptFile, Hooks);
}

TUpdateOutcome UpdateDatabaseEx(const VARIANT &DatabaseName, const VARIANT &ScriptFile, const TUpdateHooks &Hooks,
                                const TSessionSettings &Settings) noexcept {
    TUpdateOutcome outcome;
    if (const std::exception_ptr failure =
            FailureOf([&] { outcome = UpdateDatabase(DatabaseName, ScriptFile, Hooks, Settings); })) {
        outcome = TUpdateOutcome();
        outcome.Failed = true;
        // Out of memory even for the message: the failure stands without it.
        Quietly([&] { outcome.ErrorText = MessageOf(failure); });
    }
    return outcome;
}

TUpdateOutcome UpdateDatabaseEx(const String &DatabaseName, const String &ScriptFile, const TUpdateHooks &Hooks,
                                const TSessionSettings &Settings) noexcept {
    TUpdateOutcome outcome;
    if (const std::exception_ptr failure = FailureOf([&] {
            const TTextArgument database(DatabaseName), script(ScriptFile);
            outcome = UpdateDatabaseEx(database.Value(), script.Value(), Hooks, Settings);
        })) {
        outcome = TUpdateOutcome();
        outcome.Failed = true;
        Quietly([&] { outcome.ErrorText = MessageOf(failure); });
    }
    return outcome;
}

TScriptCheck CheckScript(const String &FileName,
                         const std::function<void(const TScriptLocation &, TIBParseKind, const String &)> &Each) {
    TIBSQLParser parser(nullptr);
    parser.LoadFromFile(FileName);
    TScriptCheck check;
    parser.SetOnParse([&](TComponent *, TIBParseKind kind, const String &text) {
        ++check.Statements;
        if (Each) Each(parser.CurrentLocation(), kind, text);
    });
    parser.SetOnError([&](TComponent *, const String &error, const String &, int32_t) {
        check.Failed = true;
        // The text an update run fails with.
        check.Problem = ParseProblemText(error, parser.CurrentLocation());
        parser.SetPaused(true);  // stop at the first problem, as an update run does
    });
    parser.Parse();
    return check;
}

TClientLibraryInfo ClientLibraryInfo() {
    TIBDatabase db(nullptr);
    db.SetServerType(u"IBServer");  // loads the client library
    IGDSLibrary *lib = db.GDSLibrary();
    TClientLibraryInfo info;
    info.FileName = lib->LibraryName();
    try {
        char text[256] = {};
        lib->isc_get_client_version(text);
        info.VersionText = text;
    } catch (const Exception &) {
        // A client from before version 7 has no such call: its version
        // number is all there is.
    }
    info.Version = lib->GetIBClientVersion();
    return info;
}

bool ShutDownClientConnections() {
    const std::shared_ptr<IGDSLibrary> library = FindServerLibrary(u"IBServer");
    return library && ShutDownForSignal(*library);
}

}  // namespace vantrel
