// The history commands of the vantrel host: status and validate (what the
// history and the folder say together), baseline, and the two ways past a
// failed script (mark-applied, retry). The history itself is the table the
// update session keeps (entry/MigrationHistory.h); these commands only read
// it, except baseline, mark-applied and retry, which add one row each.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Discovery.h"
#include "Json.h"
#include "entry/MigrationHistory.h"
#include "entry/SessionSettings.h"

namespace vantrel {

// The checksum of a script as the history keeps it: CRC-32 (8 hex digits)
// of the script file followed by the files it INPUTs (those holding a
// statement), in the order the run reads them. A CR LF is read as LF, so a
// script keeps its checksum whatever line endings a checkout gives it.
std::string ScriptChecksum(const std::string &path);

// Something the history and the folder disagree on, or a file passed over.
struct HistoryProblem {
    std::string Kind;  // edited, missing, not_applied, failed, gap, ignored_file
    std::optional<int32_t> Version;
    std::string Script;
    std::string Message;
    bool FailsValidation = true;
};

// A version the database holds according to the history.
struct AppliedScript {
    THistoryRow Row;              // the row that put it there
    std::string ChecksumNow;      // of the folder's script of that version (empty: none)
    std::string State;            // ok, edited, missing, baseline
};

struct PendingScript {
    MigrationScript Script;
    std::string Checksum;
    // The history's last word on this version is a failure: migrate stops
    // before it until it is marked applied or released to run again.
    std::optional<THistoryRow> Failed;
};

struct FolderStatus {
    int32_t Version = 0;
    bool HasHistory = false;
    std::vector<AppliedScript> Applied;
    std::vector<PendingScript> Pending;
    std::vector<HistoryProblem> Problems;
    std::optional<int32_t> NewestScript;
    bool Valid() const {
        for (const HistoryProblem &p : Problems)
            if (p.FailsValidation) return false;
        return true;
    }
};

// The history's last row of each version.
std::map<int32_t, THistoryRow> LastRowByVersion(const std::vector<THistoryRow> &rows);

// Reads VER and the history (never creating it) and compares them with the
// folder. The version read as the version check reads it.
FolderStatus ReadFolderStatus(const TSessionSettings &settings, const std::string &database,
                              const std::string &folder);

void WriteProblems(JsonWriter &json, const std::vector<HistoryProblem> &problems);
std::string Utf8(const String &text);

struct StatusOptions {
    TSessionSettings Settings;
    std::string Database;
    std::string Folder;
    bool Json = false;
    bool ExitCodeForPending = false;  // status --exit-code
};

inline constexpr int kExitPending = 3;

// Exit status 0, 1 failure, 3 (with --exit-code) scripts pending.
int Status(const StatusOptions &options);
// Exit status 0 valid, 1 a problem that fails validation (or a failure).
int Validate(const StatusOptions &options);
// Starts the history of a database at a version (VER made when missing).
int Baseline(const TSessionSettings &settings, const std::string &database, int32_t version);
// The failed script of a version set as applied (VER moved to it) or
// released to run again at the next migrate.
int MarkApplied(const TSessionSettings &settings, const std::string &database, const std::string &folder,
                int32_t version);
int Retry(const TSessionSettings &settings, const std::string &database, const std::string &folder, int32_t version);

}  // namespace vantrel
