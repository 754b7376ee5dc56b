// The migrate command of the vantrel host: a folder of numbered
// update scripts, applied in order to a database whose table VER tells how
// far it has come. Each script runs through the same entry as UpdateDB, in a
// transaction of its own; the host lends the code of its update and check
// commands so that a script runs and parses here exactly as there.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Discovery.h"
#include "entry/MigrationHistory.h"
#include "entry/UpdateSession.h"

namespace vantrel {

// What became of one script the host applied.
// RolledBack: failed, and nothing of the script stayed (no statement of it
// committed on its own before the failure); Failed: failed, and what the
// script committed before the failure stays.
enum class TApplyResult { Applied, Failed, RolledBack, Interrupted };

// The host's update and check commands.
struct MigrationHost {
    // Applies one script as `vantrel update` does (progress line, echo,
    // statistics) and prints its outcome as there, without the "updated"
    // line; the error text is printed by then when it failed or was
    // interrupted. The history row (when given) is written in the script's
    // transaction; recorded tells whether it was.
    std::function<TApplyResult(const std::string &script, const std::optional<THistoryRow> &record, bool &recorded)>
        Update;
    // Parses one script as `vantrel check` does, without listing it (with
    // echo: printing each statement as update --echo would); a problem goes
    // to standard error. The number of statements, or -1 when the script
    // does not parse.
    std::function<int(const std::string &script, bool echo)> Check;
    // True once SIGINT or SIGTERM asked the run to stop.
    std::function<bool()> Interrupted;
};

inline constexpr int kMigrateInterrupted = 130;

struct MigrateOptions {
    TSessionSettings Settings;
    std::string Database;
    std::string Folder;
    std::optional<int64_t> To;  // apply nothing beyond this version
    bool DryRun = false;
    bool Quiet = false;
    bool Echo = false;  // a dry run prints the statements that would run
    bool Json = false;  // the report as one JSON object on standard output
};

// The commands. Exit status 0 success, 1 failure, 130 (migrate) stopped by
// SIGINT or SIGTERM.
//
// Migrate runs one at a time per database: before it reads the version it
// takes the migration lock (TUpdateSession::TakeMigrationLock), held until
// the run ends. The scripts never see it: they run in their own
// transactions, and nothing but migrate reserves or writes that table. A
// second migrate waits for the lock at most the lock timeout, and then
// reads the version the first one left. The version is read as the version
// check reads it (TUpdateSession::ReadVersion), with the options' settings.
//
// Migrate keeps the migration history (entry/MigrationHistory.h): the first
// run makes the table (starting it at the version the database has, when it
// has one), each script's row is committed with the script, and a failure's
// row is written after the rollback. A version whose last row is a failure
// stops the run before it until it is marked applied or released to run
// again (History.h).
int Migrate(const MigrateOptions &options, const MigrationHost &host);

}  // namespace vantrel
