// The migrate and status commands: finding the scripts of a folder, reading
// the version a database stands at, and applying what is newer in order.
#include "Migrate.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <system_error>

#include "client/IBDatabase.h"
#include "client/IBErrors.h"
#include "client/IBSQL.h"
#include "client/IBTransaction.h"
#include "client/TPB.h"
#include "entry/LockWaits.h"
#include "entry/UDMUpdate.h"
#include "platform/Exceptions.h"
#include "platform/Text.h"

namespace vantrel {

namespace {

void PrintProblem(const std::string &text) { std::fprintf(stderr, "vantrel: %s\n", text.c_str()); }

// The version a file name starts with, if it starts with one.
std::optional<int64_t> VersionOfName(const std::string &name) {
    size_t at = !name.empty() && (name[0] == 'V' || name[0] == 'v') ? 1 : 0;
    const size_t digits = at;
    int64_t version = 0;
    for (; at < name.size() && name[at] >= '0' && name[at] <= '9'; ++at) {
        // Anything past a 32-bit integer is too large alike; stop counting there.
        version = std::min<int64_t>(version * 10 + (name[at] - '0'), int64_t{std::numeric_limits<int32_t>::max()} + 1);
    }
    if (at == digits) return std::nullopt;
    return version;
}

// A column name from the catalogue as a statement names it. Dialect 1 has
// no quoted names, and its catalogue holds plain ones only.
String ColumnName(const String &name, int32_t dialect) {
    if (dialect < 3) return name;
    String quoted = u"\"";
    for (char16_t c : name) {
        quoted += c;
        if (c == u'"') quoted += u'"';
    }
    return quoted + u"\"";
}

std::string PluralOf(size_t count, const char *one, const char *many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The scripts newer than the database's version, up to the limit.
std::vector<MigrationScript> Pending(const std::vector<MigrationScript> &scripts, int64_t current,
                                     std::optional<int64_t> limit) {
    std::vector<MigrationScript> pending;
    for (const MigrationScript &s : scripts)
        if (s.Version > current && (!limit || s.Version <= *limit)) pending.push_back(s);
    return pending;
}

// "version 1, 2 scripts to apply", or that there is nothing to do, with a
// word when the database is newer than every script of the folder.
void PrintPlan(int64_t current, const std::vector<MigrationScript> &scripts, size_t pending, const char *what,
               const char *none) {
    std::printf("version %lld, ", static_cast<long long>(current));
    if (pending > 0) std::printf("%s %s\n", PluralOf(pending, "script", "scripts").c_str(), what);
    else std::printf("%s\n", none);
    if (!scripts.empty() && scripts.back().Version < current)
        std::printf("(the database is newer than the newest script, version %d)\n", scripts.back().Version);
    std::fflush(stdout);
}

std::string VersionList(const std::vector<int32_t> &versions) {
    if (versions.empty()) return "none";
    std::string list;
    for (int32_t v : versions) list += (list.empty() ? "" : ", ") + std::to_string(v);
    return list;
}

// After a failure, below its error text: where the run stopped, what it
// applied before, and the version the database is left at (when known).
void ReportStop(const MigrationScript &script, const std::vector<int32_t> &applied, std::optional<int64_t> now) {
    PrintProblem("stopped at version " + std::to_string(script.Version) + " (" + script.Name +
                 "); applied before it: " + VersionList(applied) +
                 (now ? "; the database is at version " + std::to_string(*now) : std::string()));
}

// After an interruption: where the run stopped and what it applied before.
void ReportInterrupted(const std::string &where, const std::vector<int32_t> &applied) {
    PrintProblem("interrupted " + where + "; applied before it: " + VersionList(applied));
}

// The text of an error, also of one that is not the library's own.
std::string ErrorText(const std::exception &e) {
    if (const auto *own = dynamic_cast<const Exception *>(&e)) return StringToUtf8(own->Message());
    if (dynamic_cast<const std::bad_alloc *>(&e)) return "Out of memory";
    return e.what();
}

bool IsLockConflict(const EIBError &e) { return e.HasStatusCode(kLockTimeout) || e.HasStatusCode(kLockConflict); }

// The migration lock of one run (see Migrate.h): a connection of its own
// with the update module's settings, whose transaction reserves the lock
// table for protected write until the run ends.
class MigrationLock {
public:
    MigrationLock(const std::string &database, int32_t seconds, bool quiet) {
        FModule.DB->SetDatabaseName(Utf8ToString(database));
        FModule.DB->Open();
        CreateLockTable(seconds);
        FTransaction = std::make_unique<TIBTransaction>(nullptr);
        FTransaction->SetDefaultDatabase(FModule.DB);
        TStringList &params = FTransaction->Params();
        for (const char16_t *line : {u"write", u"read_committed", u"rec_version"}) params.Add(line);
        // The table, then how it is reserved.
        params.Add(String(u"lock_write=") + kMigrationLockTable);
        params.Add(u"protected");
        // First without waiting, to say why the run stands still when it has
        // to wait.
        SetLockTimeoutParams(params, 0);
        try {
            FTransaction->StartTransaction();
            return;
        } catch (const EIBError &e) {
            if (!IsLockConflict(e)) throw;
        }
        if (!quiet && seconds > 0) {
            PrintProblem("another migrate of this database is running; waiting for it to end (at most " +
                         std::to_string(seconds) + " s)");
        }
        SetLockTimeoutParams(params, seconds);
        const auto started = std::chrono::steady_clock::now();
        try {
            if (seconds > 0) FTransaction->StartTransaction();
        } catch (const EIBError &e) {
            if (!IsLockConflict(e)) throw;
        }
        if (!FTransaction->InTransaction())
            throw Exception(u"another migrate of this database held the migration lock throughout the lock timeout "
                            u"(waited " + SecondsSince(started) + u" s); nothing was applied");
        if (!quiet) PrintProblem("the other migrate has ended (waited " + StringToUtf8(SecondsSince(started)) + " s)");
    }
    MigrationLock(const MigrationLock &) = delete;
    MigrationLock &operator=(const MigrationLock &) = delete;

    // Ends the reservation and the connection; nothing was changed, so a
    // rollback and a close that fail (after a shutdown) lose nothing. The
    // close detaches once more after a detach that failed, so that a passing
    // failure leaves no attachment behind.
    ~MigrationLock() {
        try {
            if (FTransaction && FTransaction->InTransaction()) FTransaction->Rollback();
        } catch (...) {
        }
        FTransaction.reset();
        try {
            FModule.DB->Close();
        } catch (...) {
        }
    }

private:
    // The table is made by the first migrate of a database. Two first runs
    // at once both try: the one that loses finds the table made.
    void CreateLockTable(int32_t seconds) {
        for (int attempt = 0;; ++attempt) {
            TIBTransaction transaction(nullptr);
            transaction.SetDefaultDatabase(FModule.DB);
            transaction.Params().Add(u"read_committed");
            transaction.Params().Add(u"rec_version");
            SetLockTimeoutParams(transaction.Params(), seconds);
            transaction.StartTransaction();
            TIBSQL query(nullptr);
            query.SetDatabase(FModule.DB);
            query.SetTransaction(&transaction);
            query.SetSQL(String(u"SELECT 1 FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = '") + kMigrationLockTable +
                         u"'");
            query.ExecQuery();
            const bool exists = !query.Eof();
            query.Close();
            if (exists) {
                transaction.Commit();
                return;
            }
            try {
                FModule.DB->ExecuteImmediate(String(u"CREATE TABLE ") + kMigrationLockTable + u" (NO_ROWS SMALLINT)",
                                             &transaction);
                FModule.DB->ExecuteImmediate(
                    String(u"COMMENT ON TABLE ") + kMigrationLockTable +
                        u" IS 'vantrel migrate reserves this table while it runs, so that migrations of this "
                        u"database run one at a time. It holds no rows.'",
                    &transaction);
                transaction.Commit();
                return;
            } catch (const EIBError &) {
                if (transaction.InTransaction()) transaction.Rollback();
                if (attempt > 0) throw;
                // The failed CREATE can leave this connection's catalogue
                // cache taking the table for one it never got (Firebird 4
                // then refuses the reservation as one of a system table): a
                // new connection reads the table as the other run made it.
                FModule.DB->Close();
                FModule.DB->Open();
            }
        }
    }

    TDMUpdate FModule{nullptr};
    std::unique_ptr<TIBTransaction> FTransaction;
};

}  // namespace

std::vector<MigrationScript> FindMigrationScripts(const std::string &folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    if (error) throw Exception(Utf8ToString("cannot read the folder " + folder + ": " + error.message()));
    std::vector<MigrationScript> scripts;
    for (const fs::directory_entry &entry : entries) {
        const std::string name = entry.path().filename().string();
        const std::optional<int64_t> version = VersionOfName(name);
        if (!version || !entry.is_regular_file(error)) continue;
        if (*version == 0) throw Exception(Utf8ToString(name + ": version 0 is never applied (versions start at 1)"));
        if (*version > std::numeric_limits<int32_t>::max())
            throw Exception(Utf8ToString(name + ": the version number is too large (VER keeps a 32-bit integer)"));
        scripts.push_back({static_cast<int32_t>(*version), name, entry.path().string()});
    }
    std::sort(scripts.begin(), scripts.end(), [](const MigrationScript &a, const MigrationScript &b) {
        return a.Version != b.Version ? a.Version < b.Version : a.Name < b.Name;
    });
    for (size_t i = 1; i < scripts.size(); ++i)
        if (scripts[i].Version == scripts[i - 1].Version)
            throw Exception(Utf8ToString("two scripts of version " + std::to_string(scripts[i].Version) + ": " +
                                         scripts[i - 1].Name + " and " + scripts[i].Name));
    return scripts;
}

namespace {

// VERSION of the first row of VER, read in the module's transaction.
int64_t ReadVersionOnce(TDMUpdate &module) {
    TIBDatabase &db = *module.DB;
    int64_t version = 0;
    {
        TIBSQL query(nullptr);
        query.SetDatabase(&db);
        query.SetTransaction(module.Trans);
        module.Trans->StartTransaction();
        query.SetSQL(u"SELECT 1 FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'VER'");
        query.ExecQuery();
        const bool exists = !query.Eof();
        query.Close();
        if (exists) {
            // The version check orders the rows by the primary key when the
            // server named the key's index (RDB$PRIMARYn), and leaves them in
            // storage order otherwise; the same row is read here.
            query.SetSQL(u"SELECT S.RDB$FIELD_NAME FROM RDB$INDICES I JOIN RDB$INDEX_SEGMENTS S "
                         u"ON S.RDB$INDEX_NAME = I.RDB$INDEX_NAME WHERE I.RDB$RELATION_NAME = 'VER' "
                         u"AND I.RDB$INDEX_NAME STARTING WITH 'RDB$PRIMARY' ORDER BY S.RDB$FIELD_POSITION");
            String order;
            for (query.ExecQuery(); !query.Eof(); query.Next()) {
                order += (order.empty() ? u" ORDER BY " : u", ") +
                         ColumnName(Trim(query.Current()[0].AsString()), db.DBSQLDialect());
            }
            query.Close();
            query.SetSQL(u"SELECT VERSION FROM VER" + order);
            query.ExecQuery();
            if (!query.Eof() && !query.Current()[0].IsNull()) version = query.Current()[0].AsInt64();
            query.Close();
        }
        module.Trans->Commit();
    }
    return version;
}

}  // namespace

int64_t ReadSchemaVersion(const std::string &database) {
    // The update module's own connection (login, character set, lock
    // timeout), so that the version is read the way the scripts are
    // applied. The exported version check is no use here: it reads COUNT(*)
    // into a 32-bit field, which a dialect 3 database refuses.
    const int32_t lockTimeout = LockTimeoutSetting();
    TDMUpdate module(nullptr);
    BoundModuleLockWaits(module, lockTimeout);
    TIBDatabase &db = *module.DB;
    db.SetDatabaseName(Utf8ToString(database));
    db.Open();
    const int64_t version = ReadPastVersionTableRedefinition(
        db, lockTimeout, [&module] { return ReadVersionOnce(module); },
        [&module] {
            if (module.Trans->InTransaction()) module.Trans->Rollback();
        });
    db.Close();
    return version;
}

namespace {

int RunMigration(const MigrateOptions &options, const MigrationHost &host,
                 const std::vector<MigrationScript> &scripts, std::vector<int32_t> &applied, std::string &where) {
    // Under the lock the version read is the one no other migrate changes
    // until this run ends. A dry run changes nothing and takes no lock.
    std::unique_ptr<MigrationLock> lock;
    if (!options.DryRun) lock = std::make_unique<MigrationLock>(options.Database, LockTimeoutSetting(), options.Quiet);
    const int64_t current = ReadSchemaVersion(options.Database);
    const std::vector<MigrationScript> pending = Pending(scripts, current, options.To);
    if (!options.Quiet) PrintPlan(current, scripts, pending.size(), "to apply", "nothing to apply");

    // Every pending script parses before the first one runs, so that a
    // script further on that cannot be parsed stops nothing halfway.
    std::vector<int> statements;
    for (const MigrationScript &s : pending) {
        statements.push_back(host.Check(s.Path));
        if (statements.back() < 0) {
            PrintProblem(s.Name + " (version " + std::to_string(s.Version) + ") does not parse; nothing was applied");
            return 1;
        }
    }
    if (options.DryRun) {
        if (options.Quiet) return 0;
        for (size_t i = 0; i < pending.size(); ++i)
            std::printf("%6d  %s  (%s)\n", pending[i].Version, pending[i].Name.c_str(),
                        PluralOf(static_cast<size_t>(statements[i]), "statement", "statements").c_str());
        std::printf("dry run: nothing was applied\n");
        return 0;
    }

    for (const MigrationScript &s : pending) {
        const std::string script = "version " + std::to_string(s.Version) + " (" + s.Name + ")";
        where = "before " + script;
        if (host.Interrupted && host.Interrupted()) {
            ReportInterrupted(where, applied);
            return kMigrateInterrupted;
        }
        if (!options.Quiet) {
            std::printf("%6d  %s\n", s.Version, s.Name.c_str());
            std::fflush(stdout);
        }
        where = "at " + script;
        const TApplyResult result = host.Update(s.Path);
        if (result == TApplyResult::Interrupted) {
            // The client library has closed the connections: the version is
            // not read again. The script's text above says what of it stays.
            ReportInterrupted(where, applied);
            return kMigrateInterrupted;
        }
        if (result == TApplyResult::Failed) {
            std::optional<int64_t> now;
            try {
                now = ReadSchemaVersion(options.Database);
            } catch (const std::exception &) {
                // The failure itself is reported already.
            }
            ReportStop(s, applied, now);
            return 1;
        }
        // The script is committed: reading its version back can only fail to
        // confirm it. After the last script the migration has done all it
        // had to, and that is what it reports; before another, the run stops
        // rather than go on without knowing where the database stands.
        int64_t now = 0;
        try {
            now = ReadSchemaVersion(options.Database);
        } catch (const std::exception &e) {
            if (host.Interrupted && host.Interrupted()) throw;
            applied.push_back(s.Version);
            where = "after " + script;
            const std::string reason = ErrorText(e);
            if (&s == &pending.back()) {
                PrintProblem("note: " + s.Name + " was applied; reading the version back afterwards failed: " +
                             reason);
                return 0;
            }
            PrintProblem(reason);
            PrintProblem(s.Name + " was applied, but its version could not be read back; stopped before the next "
                         "script; applied: " + VersionList(applied));
            return 1;
        }
        if (now != s.Version) {
            PrintProblem(s.Name + " ran and was committed, but VER holds version " + std::to_string(now) +
                         " afterwards instead of " + std::to_string(s.Version) +
                         ": the script must write its version into VER");
            ReportStop(s, applied, now);
            return 1;
        }
        applied.push_back(s.Version);
        where = "after " + script;
    }
    if (!options.Quiet && !applied.empty()) std::printf("now at version %d\n", applied.back());
    return 0;
}

}  // namespace

int Migrate(const MigrateOptions &options, const MigrationHost &host) {
    const std::vector<MigrationScript> scripts = FindMigrationScripts(options.Folder);
    std::vector<int32_t> applied;
    std::string where = "before the first script";
    try {
        return RunMigration(options, host, scripts, applied, where);
    } catch (const Exception &e) {
        // A signal shut the connections down under a step of the run's own
        // (the lock, a version read): the step's error, then where it stopped.
        if (!host.Interrupted || !host.Interrupted()) throw;
        PrintProblem(StringToUtf8(e.Message()));
        ReportInterrupted(where, applied);
        return kMigrateInterrupted;
    }
}

int Status(const std::string &database, const std::string &folder) {
    const std::vector<MigrationScript> scripts = FindMigrationScripts(folder);
    const int64_t current = ReadSchemaVersion(database);
    const std::vector<MigrationScript> pending = Pending(scripts, current, std::nullopt);
    PrintPlan(current, scripts, pending.size(), "pending", "nothing pending");
    for (const MigrationScript &s : pending) std::printf("%6d  %s\n", s.Version, s.Name.c_str());
    return 0;
}

}  // namespace vantrel
