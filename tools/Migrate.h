// The migrate and status commands of the vantrel host: a folder of numbered
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

#include "entry/UpdateSession.h"

namespace vantrel {

// A script of a migration folder and the version its name starts with.
struct MigrationScript {
    int32_t Version = 0;
    std::string Name;  // the file name
    std::string Path;  // the folder and the file name
};

// The scripts of a folder in increasing order of version. A file is a
// script when its name starts with a version number, after an optional "V"
// or "v": 0007-add-orders.sql, 7.sql and V7__orders.sql all mean version 7.
// Other files, and folders, are ignored. Two scripts of one version, version
// 0 and numbers beyond a 32-bit integer are errors (std::runtime_error).
std::vector<MigrationScript> FindMigrationScripts(const std::string &folder);


// What became of one script the host applied.
enum class TApplyResult { Applied, Failed, Interrupted };

// The host's update and check commands.
struct MigrationHost {
    // Applies one script as `vantrel update` does (progress line, echo,
    // statistics) and prints its outcome as there, without the "updated"
    // line; the error text is printed by then when it failed or was
    // interrupted.
    std::function<TApplyResult(const std::string &script)> Update;
    // Parses one script as `vantrel check` does, without listing it; a
    // problem goes to standard error. The number of statements, or -1 when
    // the script does not parse.
    std::function<int(const std::string &script)> Check;
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
int Migrate(const MigrateOptions &options, const MigrationHost &host);
int Status(const TSessionSettings &settings, const std::string &database, const std::string &folder);

}  // namespace vantrel
