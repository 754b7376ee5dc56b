// status, validate, baseline, mark-applied and retry: the migration history
// read beside the folder of scripts, and the rows added by hand.
#include "History.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>

#include "entry/UpdateSession.h"

namespace vantrel {

namespace {

void PrintProblem(const std::string &text) { std::fprintf(stderr, "vantrel: %s\n", text.c_str()); }

std::string ReadWholeFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Crc32 {
public:
    void Add(const std::string &bytes) {
        static const std::array<uint32_t, 256> table = [] {
            std::array<uint32_t, 256> t{};
            for (uint32_t i = 0; i < 256; ++i) {
                uint32_t c = i;
                for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
                t[i] = c;
            }
            return t;
        }();
        for (unsigned char b : bytes) FValue = table[(FValue ^ b) & 0xFF] ^ (FValue >> 8);
    }
    std::string Hex() const {
        char text[9];
        std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(FValue ^ 0xFFFFFFFFu));
        return text;
    }

private:
    uint32_t FValue = 0xFFFFFFFFu;
};

// A file's text with CR LF read as LF.
std::string WithUnixLineEnds(const std::string &bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i)
        if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) text += bytes[i];
    return text;
}

std::string VersionName(int32_t version, const std::string &script) {
    return "version " + std::to_string(version) + (script.empty() ? std::string() : " (" + script + ")");
}

bool IsAppliedOutcome(const String &outcome) {
    return outcome == kOutcomeApplied || outcome == kOutcomeMarkedApplied || outcome == kOutcomeBaseline;
}

// A run of the script failed: what it committed stays (failed), or nothing
// of it stayed (rolled back).
bool IsFailureOutcome(const String &outcome) { return outcome == kOutcomeFailed || outcome == kOutcomeRolledBack; }

const MigrationScript *ScriptOfVersion(const MigrationFolder &folder, int32_t version) {
    for (const MigrationScript &s : folder.Scripts)
        if (s.Version == version) return &s;
    return nullptr;
}

void WriteRow(JsonWriter &json, const THistoryRow &row) {
    json.Member("version", row.Version)
        .Member("script", Utf8(row.Script))
        .Member("checksum", Utf8(row.Checksum))
        .Member("installed_by", Utf8(row.InstalledBy))
        .Member("started_at", Utf8(row.StartedAt))
        .Member("duration_ms", row.DurationMs)
        .Member("outcome", Utf8(row.Outcome));
}

void WriteStatus(JsonWriter &json, const StatusOptions &options, const FolderStatus &status) {
    json.BeginObject()
        .Member("database", options.Database)
        .Member("folder", options.Folder)
        .Member("version", status.Version)
        .Member("history", status.HasHistory)
        .Key("applied")
        .BeginArray();
    for (const AppliedScript &a : status.Applied) {
        json.BeginObject();
        WriteRow(json, a.Row);
        json.Member("checksum_now", a.ChecksumNow).Member("state", a.State).EndObject();
    }
    json.EndArray().Key("pending").BeginArray();
    for (const PendingScript &p : status.Pending) {
        json.BeginObject()
            .Member("version", p.Script.Version)
            .Member("script", p.Script.Name)
            .Member("checksum", p.Checksum)
            .Member("failed_before", p.Failed.has_value())
            .EndObject();
    }
    json.EndArray();
    WriteProblems(json, status.Problems);
    json.Member("valid", status.Valid()).EndObject();
}

std::string Seconds(int32_t milliseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", milliseconds / 1000.0);
    return text;
}

void PrintStatus(const FolderStatus &status) {
    const size_t pending = status.Pending.size();
    std::printf("version %d, ", status.Version);
    if (pending > 0) std::printf("%zu %s pending\n", pending, pending == 1 ? "script" : "scripts");
    else std::printf("nothing pending\n");
    if (status.NewestScript && *status.NewestScript < status.Version)
        std::printf("(the database is newer than the newest script, version %d)\n", *status.NewestScript);
    for (const PendingScript &p : status.Pending) {
        std::printf("%6d  %s", p.Script.Version, p.Script.Name.c_str());
        if (p.Failed) std::printf("  (failed %s UTC)", Utf8(p.Failed->StartedAt).c_str());
        std::printf("\n");
    }
    if (!status.Applied.empty()) std::printf("applied:\n");
    for (const AppliedScript &a : status.Applied) {
        const THistoryRow &r = a.Row;
        if (a.State == "baseline") {
            std::printf("%6d  (baseline)  %s UTC  %s\n", r.Version, Utf8(r.StartedAt).c_str(),
                        Utf8(r.InstalledBy).c_str());
            continue;
        }
        std::printf("%6d  %s  %s UTC  %s  %s%s%s\n", r.Version, Utf8(r.Script).c_str(), Utf8(r.StartedAt).c_str(),
                    Utf8(r.InstalledBy).c_str(), Seconds(r.DurationMs).c_str(),
                    r.Outcome == kOutcomeMarkedApplied ? "  (marked applied)" : "",
                    a.State == "ok" ? "" : ("  " + a.State).c_str());
    }
    if (!status.Problems.empty()) std::printf("problems:\n");
    for (const HistoryProblem &p : status.Problems) std::printf("  %s\n", p.Message.c_str());
    std::fflush(stdout);
}

// What the commands that add a row by hand need: the lock, the version,
// the history's last word on the version.
struct HandEdit {
    explicit HandEdit(const TSessionSettings &settings, const std::string &database) : Lock(settings) {
        Lock.TakeMigrationLock(Utf8ToString(database), [](int32_t seconds) {
            PrintProblem("another migrate of this database is running; waiting for it to end (at most " +
                         std::to_string(seconds) + " s)");
        });
        Current = TUpdateSession(settings).ReadVersion(Utf8ToString(database));
        History = TMigrationHistory(settings).Read(Utf8ToString(database));
    }
    TUpdateSession Lock;
    int32_t Current = 0;
    std::optional<std::vector<THistoryRow>> History;
};

// The failed script of a version, as mark-applied and retry need it.
THistoryRow FailedScriptRow(const HandEdit &edit, const std::string &folder, int32_t version, const char *command,
                            bool mustBePending) {
    const std::map<int32_t, THistoryRow> last =
        edit.History ? LastRowByVersion(*edit.History) : std::map<int32_t, THistoryRow>();
    const auto row = last.find(version);
    if (row == last.end() || !IsFailureOutcome(row->second.Outcome))
        throw std::runtime_error(std::string(command) + ": the history holds no failure of version " +
                                 std::to_string(version) + " as its last word (see 'vantrel status')");
    if (mustBePending && version <= edit.Current)
        throw std::runtime_error(std::string(command) + ": the database is at version " + std::to_string(edit.Current) +
                                 " already, so migrate would never run version " + std::to_string(version) +
                                 " again; use 'vantrel mark-applied'");
    const MigrationFolder found = FindMigrationFolder(folder);
    const MigrationScript *script = ScriptOfVersion(found, version);
    if (!script) throw std::runtime_error("no script of version " + std::to_string(version) + " in " + folder);
    THistoryRow record;
    record.Version = version;
    record.Script = Utf8ToString(script->Name);
    record.Checksum = Utf8ToString(ScriptChecksum(script->Path));
    return record;
}

}  // namespace

std::string Utf8(const String &text) { return StringToUtf8(text); }

std::string ScriptChecksum(const std::string &path) {
    Crc32 crc;
    crc.Add(WithUnixLineEnds(ReadWholeFile(path)));
    // The files INPUT brings in, each once, in the order they are read.
    std::vector<String> included;
    CheckScript(Utf8ToString(path), [&included](const TScriptLocation &where, TIBParseKind, const String &) {
        if (where.Included && std::find(included.begin(), included.end(), where.FileName) == included.end())
            included.push_back(where.FileName);
    });
    for (const String &file : included) crc.Add(WithUnixLineEnds(ReadWholeFile(StringToUtf8(file))));
    return crc.Hex();
}

std::map<int32_t, THistoryRow> LastRowByVersion(const std::vector<THistoryRow> &rows) {
    std::map<int32_t, THistoryRow> last;
    for (const THistoryRow &row : rows) last[row.Version] = row;
    return last;
}

void WriteProblems(JsonWriter &json, const std::vector<HistoryProblem> &problems) {
    json.Key("problems").BeginArray();
    for (const HistoryProblem &p : problems) {
        json.BeginObject().Member("kind", p.Kind).Member("version", p.Version);
        json.Member("script", p.Script).Member("message", p.Message).Member("fails_validation", p.FailsValidation);
        json.EndObject();
    }
    json.EndArray();
}

FolderStatus ReadFolderStatus(const TSessionSettings &settings, const std::string &database,
                              const std::string &folder) {
    const MigrationFolder found = FindMigrationFolder(folder);
    FolderStatus status;
    status.Version = TUpdateSession(settings).ReadVersion(Utf8ToString(database));
    const std::optional<std::vector<THistoryRow>> rows = TMigrationHistory(settings).Read(Utf8ToString(database));
    status.HasHistory = rows.has_value();
    if (!found.Scripts.empty()) status.NewestScript = found.Scripts.back().Version;
    const std::map<int32_t, THistoryRow> last = rows ? LastRowByVersion(*rows) : std::map<int32_t, THistoryRow>();
    int32_t baseline = 0;
    if (rows)
        for (const THistoryRow &row : *rows)
            if (row.Outcome == kOutcomeBaseline) baseline = std::max(baseline, row.Version);

    for (const auto &[version, row] : last) {
        const MigrationScript *script = ScriptOfVersion(found, version);
        if (!IsAppliedOutcome(row.Outcome)) {
            // A failure the database has got past by hand (VER set outside
            // vantrel) still asks for a decision.
            if (IsFailureOutcome(row.Outcome) && version <= status.Version)
                status.Problems.push_back({"failed", version, Utf8(row.Script),
                                           VersionName(version, Utf8(row.Script)) +
                                               " failed in its last run, yet the database is at version " +
                                               std::to_string(status.Version) + ": run 'vantrel mark-applied'",
                                           true});
            continue;
        }
        AppliedScript applied{row, script ? ScriptChecksum(script->Path) : std::string(), "ok"};
        if (row.Outcome == kOutcomeBaseline) {
            applied.State = "baseline";
        } else if (!script) {
            applied.State = "missing";
            status.Problems.push_back({"missing", version, Utf8(row.Script),
                                       VersionName(version, Utf8(row.Script)) +
                                           " was applied but no script of that version is in the folder",
                                       true});
        } else if (applied.ChecksumNow != Utf8(row.Checksum)) {
            applied.State = "edited";
            status.Problems.push_back({"edited", version, script->Name,
                                       VersionName(version, script->Name) + " was edited after it was applied "
                                           "(checksum " + Utf8(row.Checksum) + " then, " + applied.ChecksumNow +
                                           " now): put the applied text back and ship the change as a new script",
                                       true});
        }
        status.Applied.push_back(std::move(applied));
    }

    for (const MigrationScript &s : found.Scripts) {
        if (s.Version > status.Version) {
            PendingScript pending{s, ScriptChecksum(s.Path), std::nullopt};
            if (const auto row = last.find(s.Version); row != last.end() && row->second.Outcome == kOutcomeFailed) {
                pending.Failed = row->second;
                status.Problems.push_back({"failed", s.Version, s.Name,
                                           VersionName(s.Version, s.Name) + " failed in its last run (" +
                                               Utf8(row->second.StartedAt) +
                                               " UTC): run 'vantrel retry' or 'vantrel mark-applied' once the "
                                               "database is put right",
                                           true});
            }
            status.Pending.push_back(std::move(pending));
            continue;
        }
        // At or below the version: ran, came before the history, or never ran.
        if (!rows || s.Version <= baseline) continue;
        // (A failure there is reported above.)
        if (const auto row = last.find(s.Version);
            row != last.end() && (IsAppliedOutcome(row->second.Outcome) || IsFailureOutcome(row->second.Outcome)))
            continue;
        status.Problems.push_back({"not_applied", s.Version, s.Name,
                                   VersionName(s.Version, s.Name) + " is at or below the database's version " +
                                       std::to_string(status.Version) +
                                       " but the history has no record of it: it was applied outside migrate, or "
                                       "added after newer scripts ran (migrate never applies it; give it a version "
                                       "above the newest script)",
                                   true});
    }
    for (const VersionGap &gap : VersionGaps(found.Scripts))
        status.Problems.push_back(
            {"gap", gap.First, "",
             gap.First == gap.Last ? "no script of version " + std::to_string(gap.First)
                                   : "no scripts of versions " + std::to_string(gap.First) + " to " +
                                         std::to_string(gap.Last),
             true});
    for (const std::string &name : found.Ignored)
        status.Problems.push_back(
            {"ignored_file", std::nullopt, name, name + " is not a script (only .sql files are) and is ignored", false});
    return status;
}

int Status(const StatusOptions &options) {
    const FolderStatus status = ReadFolderStatus(options.Settings, options.Database, options.Folder);
    if (options.Json) {
        JsonWriter json;
        WriteStatus(json, options, status);
        json.Print();
    } else {
        PrintStatus(status);
    }
    return options.ExitCodeForPending && !status.Pending.empty() ? kExitPending : 0;
}

int Validate(const StatusOptions &options) {
    const FolderStatus status = ReadFolderStatus(options.Settings, options.Database, options.Folder);
    if (options.Json) {
        JsonWriter json;
        WriteStatus(json, options, status);
        json.Print();
    } else {
        size_t failing = 0;
        for (const HistoryProblem &p : status.Problems) {
            std::printf("%s%s\n", p.FailsValidation ? "" : "note: ", p.Message.c_str());
            if (p.FailsValidation) ++failing;
        }
        if (failing == 0) std::printf("valid: version %d, %zu applied, %zu pending\n", status.Version,
                                      status.Applied.size(), status.Pending.size());
        else std::printf("invalid: %zu %s\n", failing, failing == 1 ? "problem" : "problems");
    }
    return status.Valid() ? 0 : 1;
}

int Baseline(const TSessionSettings &settings, const std::string &database, int32_t version) {
    HandEdit edit(settings, database);
    if (edit.History && !edit.History->empty())
        throw std::runtime_error("the database has a history already (" + std::to_string(edit.History->size()) +
                                 " rows); a baseline only starts one");
    if (edit.Current > version)
        throw std::runtime_error("the database is at version " + std::to_string(edit.Current) +
                                 " already; a baseline never lowers the version");
    THistoryRow row;
    row.Version = version;
    row.Outcome = kOutcomeBaseline;
    TMigrationHistory(settings).SetVersion(Utf8ToString(database), version, row);
    std::printf("baseline at version %d: scripts up to it count as applied\n", version);
    return 0;
}

int MarkApplied(const TSessionSettings &settings, const std::string &database, const std::string &folder,
                int32_t version) {
    HandEdit edit(settings, database);
    THistoryRow row = FailedScriptRow(edit, folder, version, "mark-applied", false);
    row.Outcome = kOutcomeMarkedApplied;
    // VER moves up to the version, never down (it may have been set by hand).
    if (version > edit.Current) TMigrationHistory(settings).SetVersion(Utf8ToString(database), version, row);
    else TMigrationHistory(settings).Append(Utf8ToString(database), row);
    std::printf("version %d (%s) marked applied; the database is at version %d\n", version, Utf8(row.Script).c_str(),
                std::max(version, edit.Current));
    return 0;
}

int Retry(const TSessionSettings &settings, const std::string &database, const std::string &folder, int32_t version) {
    HandEdit edit(settings, database);
    THistoryRow row = FailedScriptRow(edit, folder, version, "retry", true);
    row.Outcome = kOutcomeRetry;
    TMigrationHistory(settings).Append(Utf8ToString(database), row);
    std::printf("version %d (%s) will run again at the next migrate\n", version, Utf8(row.Script).c_str());
    return 0;
}

}  // namespace vantrel
