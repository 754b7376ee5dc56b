// TIBScriptStats: what one script run cost the server. A snapshot of the
// connection's counters is taken when a measurement starts; stopping adds
// the differences to running sums.
#pragma once

#include <cstdint>
#include <memory>

namespace vantrel {

class TIBDatabase;
class TIBDatabaseInfo;

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

    // Zeroes the sums; the snapshot and the started state stay.
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
};

}  // namespace vantrel
