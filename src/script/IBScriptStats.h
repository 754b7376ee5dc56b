// TIBScriptStats: what one script run cost the server. A snapshot of the
// connection's counters is taken when a measurement starts; stopping adds
// the differences to running sums.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace vantrel {

class TIBDatabase;
class TIBDatabaseInfo;
class TStringList;

// What the measured runs did to one table (the server's relation id).
struct TIBTableStats {
    int32_t TableId = 0;
    int64_t SeqReads = 0;
    int64_t ReadIdx = 0;
    int64_t Inserts = 0;
    int64_t Updates = 0;
    int64_t Deletes = 0;
};

class TIBScriptStats {
public:
    TIBScriptStats();
    ~TIBScriptStats();
    TIBScriptStats(const TIBScriptStats &) = delete;
    TIBScriptStats &operator=(const TIBScriptStats &) = delete;

    TIBDatabase *Database() const { return FDatabase; }
    void SetDatabase(TIBDatabase *value);

    int64_t Buffers() const { return FBuffers; }
    int64_t Reads() const { return FReads; }
    int64_t Writes() const { return FWrites; }
    int64_t SeqReads() const { return FSeqReads; }
    int64_t Fetches() const { return FFetches; }
    int64_t ReadIdx() const { return FReadIdx; }
    int64_t DeltaMem() const { return FDeltaMem; }
    int64_t StartingMem() const { return FStartingMem; }
    bool Started() const { return FStarted; }

    // Also measure inserts, updates and deletes per table: three more
    // information calls at each start and stop. Off by default, so that a
    // run asks the server only for what the sums need.
    bool PerTable() const { return FPerTable; }
    void SetPerTable(bool value) { FPerTable = value; }
    // The per-table differences of the measured runs, by table id; tables
    // without any counted operation are left out. Sequential and indexed
    // reads are always there (the sums are made from them); inserts,
    // updates and deletes only from measurements started with PerTable on.
    std::vector<TIBTableStats> TableStats() const;

    // Zeroes the sums (the per-table ones too); the snapshot and the
    // started state stay.
    void Clear();
    // Takes the snapshot; nothing when there is no connected connection or a
    // measurement is already running.
    void Start();
    // Adds current minus snapshot when the connection is connected; always
    // ends the measurement.
    void Stop();

private:
    int64_t FBuffers = 0, FReads = 0, FWrites = 0, FFetches = 0, FSeqReads = 0, FReadIdx = 0,
            FDeltaMem = 0;
    bool FStarted = false;
    int64_t FStartBuffers = 0, FStartReads = 0, FStartWrites = 0, FStartFetches = 0,
            FStartSeqReads = 0, FStartReadIdx = 0, FStartingMem = 0;
    TIBDatabase *FDatabase = nullptr;
    std::unique_ptr<TIBDatabaseInfo> FInfoStats;

    // Per-table counts: snapshot of the last start and the sums, by table
    // id. A count the server did not list is 0.
    using TTableCounts = std::map<int32_t, TIBTableStats>;
    using TCountField = int64_t TIBTableStats::*;
    static void ReadTableCounts(const TStringList &counts, TCountField field, TTableCounts &into);
    void AddTableDifferences(const TStringList &counts, TCountField field);
    bool FPerTable = false;
    bool FStartedPerTable = false;
    TTableCounts FStartTables;
    TTableCounts FTables;
};

}  // namespace vantrel
