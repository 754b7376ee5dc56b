// The migration history: a table of the database in which vantrel migrate
// notes every script it ran (and how it went), every baseline and every
// decision taken by hand about a failed script. VER keeps the one number the
// library's version check reads; the history tells which file brought the
// database there, when, by whom, how long it took, and what the file's text
// was (its checksum), so that an edited script can be told from the one
// that ran.
//
// The table, VANTREL_HISTORY:
//   ID            INTEGER NOT NULL PRIMARY KEY  order of the rows (1, 2, ...)
//   VERSION       INTEGER NOT NULL              the script's version
//   SCRIPT        VARCHAR(255) UTF8             its file name (empty for a baseline)
//   CHECKSUM      VARCHAR(16)                   see ScriptChecksum in the host
//   INSTALLED_BY  VARCHAR(63)                   the user connected (CURRENT_USER)
//   STARTED_AT    TIMESTAMP                     UTC
//   DURATION_MS   INTEGER                       the run's time, milliseconds
//   OUTCOME       VARCHAR(20) NOT NULL          one of the kOutcome texts below
//
// Each road works on a connection of its own, logging in as the session's
// settings say; reads never create the table.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "entry/SessionSettings.h"
#include "platform/Text.h"

namespace vantrel {

class TIBDatabase;
class TIBTransaction;

inline constexpr const char16_t *kHistoryTable = u"VANTREL_HISTORY";

// The outcomes a row records.
inline constexpr const char16_t *kOutcomeApplied = u"applied";
inline constexpr const char16_t *kOutcomeFailed = u"failed";
// A script that failed and left nothing behind (its transaction rolled back,
// no statement of it committed on its own): the next migrate runs it again.
inline constexpr const char16_t *kOutcomeRolledBack = u"rolled back";
// The version a database stood at when its history began (vantrel baseline,
// or the first migrate of a database that had a version before).
inline constexpr const char16_t *kOutcomeBaseline = u"baseline";
// A failed script's version set as applied by hand (its effect was put
// right outside vantrel).
inline constexpr const char16_t *kOutcomeMarkedApplied = u"marked applied";
// A failed script released to run again.
inline constexpr const char16_t *kOutcomeRetry = u"retry";

struct THistoryRow {
    int32_t Id = 0;  // set by the table
    int32_t Version = 0;
    String Script;
    String Checksum;
    String InstalledBy;  // read only: the connection's user is written
    String StartedAt;    // "YYYY-MM-DD HH:MM:SS", UTC
    int32_t DurationMs = 0;
    String Outcome;
};

class TMigrationHistory {
public:
    explicit TMigrationHistory(TSessionSettings Settings = TSessionSettings()) : FSettings(std::move(Settings)) {}

    // The rows in the order they were written; nothing when the database
    // has no history table.
    std::optional<std::vector<THistoryRow>> Read(const String &DatabaseName) const;

    // Makes the table when it is missing; when it makes it and StartAt is
    // given (above 0), the first row is a baseline at that version: a
    // database migrated before the history existed starts it where it
    // stands. True when the table was made here.
    bool Create(const String &DatabaseName, std::optional<int32_t> StartAt) const;

    // Adds a row in a transaction of its own (the table must exist).
    void Append(const String &DatabaseName, const THistoryRow &Row) const;

    // Sets the schema version by hand and records why, in one transaction:
    // VER is made when missing (as the update scripts make it: ID, VERSION),
    // its row set to Version, the history made when missing and Row added.
    void SetVersion(const String &DatabaseName, int32_t Version, const THistoryRow &Row) const;

private:
    int32_t LockTimeout() const;
    TSessionSettings FSettings;
};

// Adds a row inside a transaction the caller runs (the script's own, so
// that the row stands exactly when the script's work does).
void InsertHistoryRow(TIBDatabase &Database, TIBTransaction &Transaction, const THistoryRow &Row);

// The current time as the history writes it (UTC).
String HistoryTimestampNow();

}  // namespace vantrel
