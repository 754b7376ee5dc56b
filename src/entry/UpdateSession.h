// TUpdateSession: the one door through which the project's own C++ code
// (the exported functions, the vantrel host, the benchmarks and the tests'
// fixtures) works with a database the way the update module does. A session
// holds the settings its module connects with (the module's own unless the
// host gives others) and offers the roads: apply a script with hooks that
// watch the run, read the schema version on databases of either dialect,
// create a database, hold the migration lock; and, without a database,
// parse a script and name the statement kinds.
//
// Each road runs on an update module of its own, made at its start and
// published as the calling thread's module (DMUpdate) for as long as it
// lives, exactly as every exported call makes its module: the update and
// the version read close the connection and destroy the module at their
// end; the migration lock keeps its module until it is released.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "entry/MigrationHistory.h"
#include "entry/SessionSettings.h"
#include "platform/Text.h"
#include "script/ScriptTypes.h"
#include "vantrel/vantrel.h"

namespace vantrel {

class TDMUpdate;
class TIBTransaction;

// Texts of the roads.
// A database path with a drive letter that names no file (CheckDBVersion).
inline constexpr const char16_t *kDatabaseFileMissingMessage = u"Файл %s не найден";
// The script file is not there (UpdateDB).
inline constexpr const char16_t *kScriptFileMissingMessage = u"Не найден файл обновления БД%s";
// An update ended by SIGINT or SIGTERM; the second line leads the list of
// what stays committed.
inline constexpr const char16_t *kInterruptedMessage =
    u"The update was interrupted (SIGINT or SIGTERM: the client library closed the process's connections) "
    u"and rolled back";
inline constexpr const char16_t *kInterruptedCommittedMessage = u"Committed before the interruption, and kept:";
inline constexpr const char16_t *kInterruptedNothingCommittedMessage =
    u"Nothing of the script had been committed on its own";
// Another migrate held the migration lock for the whole lock timeout: the
// seconds waited.
inline constexpr const char16_t *kMigrationLockHeldMessage =
    u"another migrate of this database held the migration lock throughout the lock timeout (waited %s s); "
    u"nothing was applied";
// Shown for failures that carry no text of their own.
inline constexpr const char16_t *kOutOfMemoryMessage = u"Out of memory";
inline constexpr const char16_t *kUnknownErrorMessage = u"Unknown error";

// The table whose reservation is the migration lock. It holds no rows.
inline constexpr const char16_t *kMigrationLockTable = u"VANTREL_MIGRATION_LOCK";

// What one table went through in a run, by the server's relation id; Name
// is empty for a table that is gone by the end of the run.
struct TTableStatistics {
    int32_t TableId = 0;
    String Name;
    int64_t SeqReads = 0;
    int64_t ReadIdx = 0;
    int64_t Inserts = 0;
    int64_t Updates = 0;
    int64_t Deletes = 0;
};

// What a run cost the server: from the script executor's run statistics,
// up to the failure when the run failed.
struct TRunStatistics {
    std::chrono::steady_clock::duration Elapsed{};  // from just before the run to its end
    int32_t Statements = 0;                         // statements begun
    int64_t Reads = 0, Writes = 0, Fetches = 0, SeqReads = 0, ReadIdx = 0, DeltaMem = 0;
    // Every table the run touched, in the server's order.
    std::vector<TTableStatistics> Tables;
    // Why the server's counters could not be read, if so (then only the
    // time and the statements are known).
    String Problem;
};

// Hooks that watch an update while it runs; any may be empty.
struct TUpdateHooks {
    // After the script was loaded, just before it runs.
    std::function<void()> BeforeRun;
    // Before each statement is carried out: its kind, its text, the
    // terminator in force and where the run stands. A failure raised here
    // stops the run as the statement's own would.
    std::function<void(TIBParseKind Kind, const String &Text, const String &Terminator,
                       const TIBScriptProgress &Where)>
        StatementStarting;
    // After each statement was carried out.
    std::function<void()> StatementDone;
    // After the transaction was committed or rolled back, before the
    // connection closes; also after a failed run, when the script had
    // started. Must not throw.
    std::function<void()> AfterRun;
    // Measure the run (per table too); the outcome then holds Statistics.
    bool Statistics = false;
    // A row of the migration history written in the script's own
    // transaction just before its commit, with the run's duration filled
    // in, so that it stands exactly when the script's work does. Written
    // only while the script's connection is still on the database it was
    // given (a script that connects elsewhere leaves it to the caller; see
    // TUpdateOutcome::Recorded).
    std::optional<THistoryRow> Record;
};

// What kind of failure kept a connection from being made, for a host that
// says what to do about it.
enum class TConnectFailure {
    None,             // not one of these (or no failure)
    DatabaseMissing,  // no database file at that path
    LoginRefused,     // the user name or password was not accepted
    ServerUnreachable // no server answered at that host and port
};

struct TUpdateOutcome {
    bool Failed = false;
    // What UpdateDB hands back: empty after success.
    String ErrorText;
    // The statement that failed, or that could not be read, as the failure
    // carried it; Line is 0 when the run failed elsewhere (connecting,
    // reading the script file, the final commit).
    TScriptLocation Location;
    // The error text names the location itself (a statement that could not
    // be read); a server's error text never does.
    bool LocationInText = false;
    // The run was ended by SIGINT or SIGTERM (the client library shut the
    // process's connections down); the error text says so.
    bool Interrupted = false;
    // What the run committed on its own and keeps in any case: DDL under
    // AutoDDL, the script's COMMITs.
    std::vector<TScriptLocation> Committed;
    // A failure after the update succeeded (closing the connection): it
    // cannot undo the commit, so the update stands as succeeded and this
    // only mentions it. Empty when the clean-up went through.
    String CleanupProblem;
    // When the hooks asked for them, once the script had started.
    std::optional<TRunStatistics> Statistics;
    // The hooks' history row was committed with the script.
    bool Recorded = false;
    // When the run failed to connect: why.
    TConnectFailure ConnectFailure = TConnectFailure::None;
};

// The error text of an update that SIGINT or SIGTERM ended, listing what it
// had committed on its own (TUpdateOutcome::Committed), which stays.
String InterruptedUpdateText(const std::vector<TScriptLocation> &Committed);

// What a new database is made with.
struct TNewDatabase {
    int32_t Dialect = 3;
    // The default character set; none when empty.
    String CharacterSet;
    // The page size as given (the server checks it); the server's default
    // when empty.
    String PageSize;
};

class TUpdateSession {
public:
    explicit TUpdateSession(TSessionSettings Settings = TSessionSettings());
    // Releases the migration lock when held and destroys what is left of
    // the last road, quietly.
    ~TUpdateSession();
    TUpdateSession(const TUpdateSession &) = delete;
    TUpdateSession &operator=(const TUpdateSession &) = delete;

    const TSessionSettings &Settings() const { return FSettings; }

    // UpdateDB's road: applies the script to the database in the module's
    // transaction, committed when the run ends without an error and rolled
    // back otherwise, and reports how it went. The arguments are converted
    // to text at their use, as UpdateDB converts them. Errors of the
    // module's creation and of the final clean-up leave as exceptions, as
    // they leave UpdateDB; everything else is the outcome.
    TUpdateOutcome Update(const VARIANT &DatabaseName, const VARIANT &ScriptFile,
                          const TUpdateHooks &Hooks = TUpdateHooks());
    TUpdateOutcome Update(const String &DatabaseName, const String &ScriptFile,
                          const TUpdateHooks &Hooks = TUpdateHooks());

    // CheckDBVersion's road: a name that is a local path with a drive letter
    // must name a file; the first connection failure is shown in the message
    // box and the read goes on (the query connects once more, and a second
    // failure leaves); then the version as ReadVersion reads it.
    int32_t CheckVersion(const VARIANT &DatabaseName);
    int32_t CheckVersion(const String &DatabaseName);
    // The schema version: VERSION of the first row of table VER (by the
    // primary key when the server named the key's index), 0 without the
    // table, on databases of either dialect, whatever number type VERSION
    // has (CheckVersion reads it into a 32-bit integer field, as the
    // module always has). While another connection drops
    // or recreates VER without having ended its transaction, the read waits
    // for it at most the lock timeout. A connection failure leaves at once.
    // The connection is closed in every case; a failure of that clean-up
    // leaves in place of an earlier one.
    int32_t ReadVersion(const String &DatabaseName);

    // Creates an empty database with the session's login (not its
    // character set: the new database's is the one given) and closes it.
    // A database the server made before a later step of the creation
    // failed is dropped again.
    void CreateDatabase(const String &DatabaseName, const TNewDatabase &Options);

    // Takes the migration lock of the database: on a connection of its own,
    // a transaction that reserves table VANTREL_MIGRATION_LOCK for
    // protected write (the first lock of a database creates the table). The
    // server grants the reservation to one transaction at a time, so
    // migrations of one database exclude each other from whatever machine;
    // a crashed holder's connection goes, and its reservation with it.
    // Waiting hears the lock timeout before a wait (not when the timeout is
    // 0). Returns how long it waited (seconds, one decimal) when it had to
    // wait, nothing when the lock was free; fails with
    // kMigrationLockHeldMessage when the lock timeout ran out. Held until
    // ReleaseMigrationLock or the end of the session.
    std::optional<String> TakeMigrationLock(const String &DatabaseName,
                                            const std::function<void(int32_t Seconds)> &Waiting);
    // Ends the reservation and its connection; nothing was changed under
    // it, so failures (after a shutdown) lose nothing and are dropped.
    void ReleaseMigrationLock() noexcept;

private:
    // The module of a road that is starting, published as the thread's.
    TDMUpdate &NewModule();
    void EndModule() noexcept;
    int32_t LockTimeout() const;
    // ShowFirstConnectionFailure: the export's road (a message box for the
    // first connection failure, the module's integer field); otherwise the
    // tools' (any number type).
    int32_t ReadVersionRoad(const std::function<String()> &DatabaseName, bool ShowFirstConnectionFailure);

    TSessionSettings FSettings;
    std::unique_ptr<TDMUpdate> FModule;
    TDMUpdate *FPublishedBefore = nullptr;
    std::unique_ptr<TIBTransaction> FMigrationLock;
};

// UpdateDB's road from start to end: a session with the settings, the
// script applied, the session ended. Errors of the module's creation and of
// the final clean-up leave as exceptions, as they leave UpdateDB.
TUpdateOutcome UpdateDatabase(const VARIANT &DatabaseName, const VARIANT &ScriptFile,
                              const TUpdateHooks &Hooks = TUpdateHooks(),
                              const TSessionSettings &Settings = TSessionSettings());
TUpdateOutcome UpdateDatabase(const String &DatabaseName, const String &ScriptFile,
                              const TUpdateHooks &Hooks = TUpdateHooks(),
                              const TSessionSettings &Settings = TSessionSettings());
// The same as UpdateDBEx runs it: nothing leaves; an error of the module's
// creation or of the final clean-up becomes the outcome's error text.
TUpdateOutcome UpdateDatabaseEx(const VARIANT &DatabaseName, const VARIANT &ScriptFile,
                                const TUpdateHooks &Hooks = TUpdateHooks(),
                                const TSessionSettings &Settings = TSessionSettings()) noexcept;
TUpdateOutcome UpdateDatabaseEx(const String &DatabaseName, const String &ScriptFile,
                                const TUpdateHooks &Hooks = TUpdateHooks(),
                                const TSessionSettings &Settings = TSessionSettings()) noexcept;

// The message of whatever was thrown: the library's text, "Out of memory",
// a standard exception's text, or "Unknown error".
String MessageOf(std::exception_ptr Failure);

TConnectFailure ConnectFailureOf(std::exception_ptr Failure);

// Parsing without a database, as an update would parse (vantrel check):
// every statement with where it stands goes to Each (when given); the run
// stops at the first problem, whose text names its place as an update's
// failure would.
struct TScriptCheck {
    int32_t Statements = 0;
    bool Failed = false;
    String Problem;
};
TScriptCheck CheckScript(const String &FileName,
                         const std::function<void(const TScriptLocation &Where, TIBParseKind Kind,
                                                  const String &Text)> &Each = nullptr);

// The client library the roads load, loaded here if it is not yet: its
// file name, its own version text (empty for a client from before version
// 7, which has none) and its version number (version x 10000).
struct TClientLibraryInfo {
    String FileName;
    std::string VersionText;
    int64_t Version = 0;
};
TClientLibraryInfo ClientLibraryInfo();

// For a host that catches SIGINT and SIGTERM itself: the shutdown the
// client library makes of such a signal (every connection of the process
// closed; the calls in progress fail and the roads report the
// interruption). False when no client is loaded or it has no such control.
bool ShutDownClientConnections();

// A lock timeout written as text: whole seconds from 0 to 32767.
std::optional<int32_t> ParseLockTimeout(std::string_view Text);

}  // namespace vantrel
