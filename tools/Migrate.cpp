// The migrate and status commands: finding the scripts of a folder, reading
// the version a database stands at, and applying what is newer in order.
#include "Migrate.h"

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

}  // namespace

std::vector<MigrationScript> FindMigrationScripts(const std::string &folder) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    if (error) throw std::runtime_error("cannot read the folder " + folder + ": " + error.message());
    std::vector<MigrationScript> scripts;
    for (const fs::directory_entry &entry : entries) {
        const std::string name = entry.path().filename().string();
        const std::optional<int64_t> version = VersionOfName(name);
        if (!version || !entry.is_regular_file(error)) continue;
        if (*version == 0) throw std::runtime_error(name + ": version 0 is never applied (versions start at 1)");
        if (*version > std::numeric_limits<int32_t>::max())
            throw std::runtime_error(name + ": the version number is too large (VER keeps a 32-bit integer)");
        scripts.push_back({static_cast<int32_t>(*version), name, entry.path().string()});
    }
    std::sort(scripts.begin(), scripts.end(), [](const MigrationScript &a, const MigrationScript &b) {
        return a.Version != b.Version ? a.Version < b.Version : a.Name < b.Name;
    });
    for (size_t i = 1; i < scripts.size(); ++i)
        if (scripts[i].Version == scripts[i - 1].Version)
            throw std::runtime_error("two scripts of version " + std::to_string(scripts[i].Version) + ": " +
                                     scripts[i - 1].Name + " and " + scripts[i].Name);
    return scripts;
}

namespace {

// The version of the database, as the version check reads it.
int64_t ReadSchemaVersion(const TSessionSettings &settings, const std::string &database) {
    return TUpdateSession(settings).ReadVersion(Utf8ToString(database));
}

int RunMigration(const MigrateOptions &options, const MigrationHost &host,
                 const std::vector<MigrationScript> &scripts, std::vector<int32_t> &applied, std::string &where) {
    // Under the lock the version read is the one no other migrate changes
    // until this run ends. A dry run changes nothing and takes no lock.
    TUpdateSession lock(options.Settings);
    if (!options.DryRun) {
        const std::optional<String> waited =
            lock.TakeMigrationLock(Utf8ToString(options.Database), [&options](int32_t seconds) {
                if (!options.Quiet)
                    PrintProblem("another migrate of this database is running; waiting for it to end (at most " +
                                 std::to_string(seconds) + " s)");
            });
        if (waited && !options.Quiet)
            PrintProblem("the other migrate has ended (waited " + StringToUtf8(*waited) + " s)");
    }
    const int64_t current = ReadSchemaVersion(options.Settings, options.Database);
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
                now = ReadSchemaVersion(options.Settings, options.Database);
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
            now = ReadSchemaVersion(options.Settings, options.Database);
        } catch (const std::exception &) {
            if (host.Interrupted && host.Interrupted()) throw;
            applied.push_back(s.Version);
            where = "after " + script;
            const std::string reason = StringToUtf8(MessageOf(std::current_exception()));
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
    } catch (const std::exception &e) {
        // A signal shut the connections down under a step of the run's own
        // (the lock, a version read): the step's error, then where it stopped.
        if (!host.Interrupted || !host.Interrupted()) throw;
        PrintProblem(e.what());
        ReportInterrupted(where, applied);
        return kMigrateInterrupted;
    }
}

int Status(const TSessionSettings &settings, const std::string &database, const std::string &folder) {
    const std::vector<MigrationScript> scripts = FindMigrationScripts(folder);
    const int64_t current = ReadSchemaVersion(settings, database);
    const std::vector<MigrationScript> pending = Pending(scripts, current, std::nullopt);
    PrintPlan(current, scripts, pending.size(), "pending", "nothing pending");
    for (const MigrationScript &s : pending) std::printf("%6d  %s\n", s.Version, s.Name.c_str());
    return 0;
}

}  // namespace vantrel
