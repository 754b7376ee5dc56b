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
// 0 and numbers beyond a 32-bit integer are errors (Exception).
std::vector<MigrationScript> FindMigrationScripts(const std::string &folder);

// VERSION of the first row of table VER, as the version check reads it
// (ordered by the primary key when the server named its index), through
// the update module's connection settings: 0 without the table, a row or a
// value. Serves databases of either dialect.
int64_t ReadSchemaVersion(const std::string &database);

// The host's update and check commands.
struct MigrationHost {
    // Applies one script as `vantrel update` does (progress line, echo,
    // statistics) and prints its outcome as there, without the "updated"
    // line. False when it failed; the error text is printed by then.
    std::function<bool(const std::string &script)> Update;
    // Parses one script as `vantrel check` does, without listing it; a
    // problem goes to standard error. The number of statements, or -1 when
    // the script does not parse.
    std::function<int(const std::string &script)> Check;
};

struct MigrateOptions {
    std::string Database;
    std::string Folder;
    std::optional<int64_t> To;  // apply nothing beyond this version
    bool DryRun = false;
    bool Quiet = false;
};

// The commands. Exit status 0 success, 1 failure.
int Migrate(const MigrateOptions &options, const MigrationHost &host);
int Status(const std::string &database, const std::string &folder);

}  // namespace vantrel
