// Server counters measured over a script run.
#include "script/IBScriptStats.h"

#include "client/IBDatabase.h"
#include "client/IBDatabaseInfo.h"

namespace vantrel {

TIBScriptStats::TIBScriptStats() : FInfoStats(std::make_unique<TIBDatabaseInfo>(nullptr)) {}

TIBScriptStats::~TIBScriptStats() = default;

void TIBScriptStats::SetDatabase(TIBDatabase *value) {
    FDatabase = value;
    FInfoStats->SetDatabase(value);
}

void TIBScriptStats::Clear() {
    FBuffers = FReads = FWrites = FFetches = FSeqReads = FReadIdx = FDeltaMem = 0;
}

void TIBScriptStats::Start() {
    if (!FDatabase || !FDatabase->Connected() || FStarted) return;
    // The order of the reads is part of the measurement's contract: the
    // counters move with every call, so start and stop read alike.
    FStartBuffers = FInfoStats->NumBuffers();
    FStartReads = FInfoStats->Reads();
    FStartWrites = FInfoStats->Writes();
    FStartSeqReads = TIBDatabaseInfo::SumCounts(FInfoStats->ReadSeqCount());
    FStartFetches = FInfoStats->Fetches();
    FStartReadIdx = TIBDatabaseInfo::SumCounts(FInfoStats->ReadIdxCount());
    FStartingMem = FInfoStats->CurrentMemory();
    FStarted = true;
}

void TIBScriptStats::Stop() {
    // The measurement ends whatever happens, also when a read fails.
    struct EndMeasurement {
        bool &started;
        ~EndMeasurement() { started = false; }
    } end{FStarted};
    if (FDatabase && FDatabase->Connected()) {
        FBuffers += FInfoStats->NumBuffers() - FStartBuffers;
        FReads += FInfoStats->Reads() - FStartReads;
        FWrites += FInfoStats->Writes() - FStartWrites;
        FSeqReads += TIBDatabaseInfo::SumCounts(FInfoStats->ReadSeqCount()) - FStartSeqReads;
        FFetches += FInfoStats->Fetches() - FStartFetches;
        FReadIdx += TIBDatabaseInfo::SumCounts(FInfoStats->ReadIdxCount()) - FStartReadIdx;
        FDeltaMem += FInfoStats->CurrentMemory() - FStartingMem;
    }
}

}  // namespace vantrel
