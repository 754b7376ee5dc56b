// Finding the update scripts of a migration folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel {

// A script of a migration folder and the version its name starts with.
struct MigrationScript {
    int32_t Version = 0;
    std::string Name;  // the file name
    std::string Path;  // the folder and the file name
};

struct MigrationFolder {
    // The scripts in increasing order of version.
    std::vector<MigrationScript> Scripts;
    // Files named like a script but without the .sql extension (notes,
    // editor backups such as 0003-proc.sql~): never run, only reported.
    std::vector<std::string> Ignored;
};

// The scripts of a folder. A file is a script when its name starts with a
// version number, after an optional "V" or "v", and ends in ".sql" in any
// case: 0007-add-orders.sql, 7.SQL and V7__orders.sql all mean version 7.
// Files of other names (INPUT helpers without a number, READMEs) and
// folders are passed over in silence. Two scripts of one version, version 0
// and numbers beyond a 32-bit integer are errors (std::runtime_error).
MigrationFolder FindMigrationFolder(const std::string &folder);

// Runs of versions that no script has, between the lowest and the highest
// script: first and last version of each.
struct VersionGap {
    int32_t First = 0, Last = 0;
};
std::vector<VersionGap> VersionGaps(const std::vector<MigrationScript> &scripts);

}  // namespace vantrel
