// The migrate command: reading the version a database stands at and its
// history, and applying the newer scripts of a folder in order.
#include "Migrate.h"

#include <chrono>

#include "History.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <stdexcept>
#include <system_error>

namespace vantrel {

namespace {

void PrintProblem(const std::string &text) { std::fprintf(stderr, "vantrel: %s\n", text.c_str()); }

std::string PluralOf(size_t count, const char *one, const char *many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The scripts newer than the database's version, up to the limit.
std::vector<PendingScript> Pending(const std::vector<PendingScript> &scripts, std::optional<int64_t> limit) {
    std::vector<PendingScript> pending;
    for (const PendingScript &s : scripts)
        if (!limit || s.Script.Version <= *limit) pending.push_back(s);
    return pending;
}

// "version 1, 2 scripts to apply", or that there is nothing to do, with a
// word when the database is newer than every script of the folder.
void PrintPlan(const FolderStatus &status, size_t pending) {
    std::printf("version %d, ", status.Version);
    if (pending > 0) std::printf("%s to apply\n", PluralOf(pending, "script", "scripts").c_str());
    else std::printf("nothing to apply\n");
    if (status.NewestScript && *status.NewestScript < status.Version)
        std::printf("(the database is newer than the newest script, version %d)\n", *status.NewestScript);
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

}  // namespace

namespace {

// The version of the database, as the version check reads it.
int64_t ReadSchemaVersion(const TSessionSettings &settings, const std::string &database) {
    return TUpdateSession(settings).ReadVersion(Utf8ToString(database));
}

using Clock = std::chrono::steady_clock;

// What a run did, for its JSON report.
struct ScriptResult {
    int32_t Version = 0;
    std::string Script;
    std::string Checksum;
    std::string Outcome;  // applied, failed, interrupted, would apply
    std::optional<int64_t> DurationMs;
    std::optional<int64_t> Statements;
};

struct RunReport {
    std::optional<int64_t> VersionBefore, VersionAfter;
    std::vector<ScriptResult> Scripts;
    std::vector<HistoryProblem> Problems;
    std::string Error;
};

int64_t MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

int RunMigration(const MigrateOptions &options, const MigrationHost &host, std::vector<int32_t> &applied,
                 std::string &where, RunReport &report) {
    const bool quiet = options.Quiet || options.Json;
    // Under the lock the version read is the one no other migrate changes
    // until this run ends. A dry run changes nothing and takes no lock.
    TUpdateSession lock(options.Settings);
    if (!options.DryRun) {
        const std::optional<String> waited =
            lock.TakeMigrationLock(Utf8ToString(options.Database), [quiet](int32_t seconds) {
                if (!quiet)
                    PrintProblem("another migrate of this database is running; waiting for it to end (at most " +
                                 std::to_string(seconds) + " s)");
            });
        if (waited && !quiet) PrintProblem("the other migrate has ended (waited " + StringToUtf8(*waited) + " s)");
        // The history begins with the first run, at the version the
        // database has by then.
        TMigrationHistory(options.Settings)
            .Create(Utf8ToString(options.Database),
                    static_cast<int32_t>(ReadSchemaVersion(options.Settings, options.Database)));
    }
    const FolderStatus status = ReadFolderStatus(options.Settings, options.Database, options.Folder);
    report.VersionBefore = report.VersionAfter = status.Version;
    report.Problems = status.Problems;
    const std::vector<PendingScript> pending = Pending(status.Pending, options.To);
    if (!quiet) {
        PrintPlan(status, pending.size());
        for (const HistoryProblem &p : status.Problems) PrintProblem("warning: " + p.Message);
    }

    // A script that failed before runs again only when someone says so.
    for (const PendingScript &p : pending) {
        if (!p.Failed) continue;
        const std::string v = std::to_string(p.Script.Version);
        report.Error = p.Script.Name + " (version " + v + ") failed in an earlier run (" +
                       StringToUtf8(p.Failed->StartedAt) +
                       " UTC) and what it committed may have stayed; nothing was applied. Once the database is put "
                       "right, 'vantrel retry DATABASE FOLDER " + v + "' lets the next migrate run it again, or "
                       "'vantrel mark-applied DATABASE FOLDER " + v + "' sets it as applied";
        PrintProblem(report.Error);
        return 1;
    }

    // Every pending script parses before the first one runs, so that a
    // script further on that cannot be parsed stops nothing halfway.
    std::vector<int> statements;
    for (const PendingScript &p : pending) {
        statements.push_back(host.Check(p.Script.Path, options.DryRun && options.Echo && !options.Json));
        if (statements.back() < 0) {
            report.Error = p.Script.Name + " (version " + std::to_string(p.Script.Version) +
                           ") does not parse; nothing was applied";
            PrintProblem(report.Error);
            return 1;
        }
    }
    if (options.DryRun) {
        for (size_t i = 0; i < pending.size(); ++i)
            report.Scripts.push_back({pending[i].Script.Version, pending[i].Script.Name, pending[i].Checksum,
                                      "would apply", std::nullopt, statements[i]});
        if (quiet) return 0;
        for (size_t i = 0; i < pending.size(); ++i)
            std::printf("%6d  %s  (%s)\n", pending[i].Script.Version, pending[i].Script.Name.c_str(),
                        PluralOf(static_cast<size_t>(statements[i]), "statement", "statements").c_str());
        std::printf("dry run: nothing was applied\n");
        return 0;
    }

    for (const PendingScript &p : pending) {
        const MigrationScript &s = p.Script;
        const std::string script = "version " + std::to_string(s.Version) + " (" + s.Name + ")";
        where = "before " + script;
        if (host.Interrupted && host.Interrupted()) {
            ReportInterrupted(where, applied);
            return kMigrateInterrupted;
        }
        if (!quiet) {
            std::printf("%6d  %s\n", s.Version, s.Name.c_str());
            std::fflush(stdout);
        }
        where = "at " + script;
        THistoryRow record;
        record.Version = s.Version;
        record.Script = Utf8ToString(s.Name);
        record.Checksum = Utf8ToString(p.Checksum);
        record.StartedAt = HistoryTimestampNow();
        record.Outcome = kOutcomeApplied;
        bool recorded = false;
        const Clock::time_point started = Clock::now();
        const TApplyResult result = host.Update(s.Path, record, recorded);
        ScriptResult &done = report.Scripts.emplace_back();
        done = {s.Version, s.Name, p.Checksum, "applied", MillisecondsSince(started), std::nullopt};
        if (result == TApplyResult::Interrupted) {
            // The client library has closed the connections: the version is
            // not read again, nor the history written. The script's text
            // above says what of it stays.
            done.Outcome = "interrupted";
            report.VersionAfter.reset();
            ReportInterrupted(where, applied);
            return kMigrateInterrupted;
        }
        if (result == TApplyResult::Failed || result == TApplyResult::RolledBack) {
            done.Outcome = "failed";
            // After the rollback, in a transaction of its own. A script of
            // which nothing stayed runs again with the next migrate; one
            // that left committed statements behind waits for a decision
            // (retry or mark-applied).
            record.Outcome = result == TApplyResult::RolledBack ? kOutcomeRolledBack : kOutcomeFailed;
            record.DurationMs = static_cast<int32_t>(*done.DurationMs);
            try {
                TMigrationHistory(options.Settings).Append(Utf8ToString(options.Database), record);
            } catch (const std::exception &e) {
                PrintProblem(std::string("the failure could not be written into the history: ") + e.what());
            }
            std::optional<int64_t> now;
            try {
                now = ReadSchemaVersion(options.Settings, options.Database);
            } catch (const std::exception &) {
                // The failure itself is reported already.
            }
            report.VersionAfter = now;
            report.Error = s.Name + " (version " + std::to_string(s.Version) + ") failed";
            ReportStop(s, applied, now);
            return 1;
        }
        // A script that connects elsewhere leaves its row to be written here.
        if (!recorded) {
            record.DurationMs = static_cast<int32_t>(*done.DurationMs);
            TMigrationHistory(options.Settings).Append(Utf8ToString(options.Database), record);
        }
        // The script is committed: reading its version back can only fail to
        // confirm it. After the last script the migration has done all it
        // had to, and that is what it reports; before another, the run stops
        // rather than go on without knowing where the database stands.
        int64_t now = 0;
        try {
            now = ReadSchemaVersion(options.Settings, options.Database);
        } catch (const std::exception &) {
            if (host.Interrupted && host.Interrupted()) throw;
            applied.push_back(s.Version);
            where = "after " + script;
            const std::string reason = StringToUtf8(MessageOf(std::current_exception()));
            if (&p == &pending.back()) {
                PrintProblem("note: " + s.Name + " was applied; reading the version back afterwards failed: " +
                             reason);
                return 0;
            }
            PrintProblem(reason);
            PrintProblem(s.Name + " was applied, but its version could not be read back; stopped before the next "
                         "script; applied: " + VersionList(applied));
            return 1;
        }
        report.VersionAfter = now;
        if (now != s.Version) {
            report.Error = s.Name + " ran and was committed, but VER holds version " + std::to_string(now) +
                           " afterwards instead of " + std::to_string(s.Version) +
                           ": the script must write its version into VER";
            PrintProblem(report.Error);
            ReportStop(s, applied, now);
            return 1;
        }
        applied.push_back(s.Version);
        where = "after " + script;
    }
    if (!quiet && !applied.empty()) std::printf("now at version %d\n", applied.back());
    return 0;
}

void PrintReport(const MigrateOptions &options, const RunReport &report, int result) {
    JsonWriter json;
    json.BeginObject()
        .Member("database", options.Database)
        .Member("folder", options.Folder)
        .Member("dry_run", options.DryRun)
        .Member("version_before", report.VersionBefore)
        .Member("version_after", report.VersionAfter)
        .Member("result", std::string(result == 0 ? "ok" : result == kMigrateInterrupted ? "interrupted" : "failed"))
        .Key("scripts")
        .BeginArray();
    for (const ScriptResult &s : report.Scripts) {
        json.BeginObject()
            .Member("version", s.Version)
            .Member("script", s.Script)
            .Member("checksum", s.Checksum)
            .Member("outcome", s.Outcome)
            .Member("duration_ms", s.DurationMs)
            .Member("statements", s.Statements)
            .EndObject();
    }
    json.EndArray();
    WriteProblems(json, report.Problems);
    if (report.Error.empty()) json.Key("error").Null();
    else json.Member("error", report.Error);
    json.EndObject().Print();
}

}  // namespace

int Migrate(const MigrateOptions &options, const MigrationHost &host) {
    // A folder that cannot be read, or that holds two scripts of a version,
    // stops the run before it touches the database.
    FindMigrationFolder(options.Folder);
    std::vector<int32_t> applied;
    std::string where = "before the first script";
    RunReport report;
    int result = 1;
    try {
        result = RunMigration(options, host, applied, where, report);
    } catch (const std::exception &e) {
        // A signal shut the connections down under a step of the run's own
        // (the lock, a version read): the step's error, then where it stopped.
        if (!host.Interrupted || !host.Interrupted()) throw;
        PrintProblem(e.what());
        ReportInterrupted(where, applied);
        result = kMigrateInterrupted;
    }
    if (options.Json) PrintReport(options, report, result);
    return result;
}

}  // namespace vantrel
