// Server counters measured over a script run.
#include "script/IBScriptStats.h"

#include "client/IBDatabase.h"
#include "client/IBDatabaseInfo.h"
#include "platform/Finally.h"
#include "platform/Strings.h"
#include "platform/Text.h"

namespace vantrel {

TIBScriptStats::TIBScriptStats() : FInfoStats(std::make_unique<TIBDatabaseInfo>(nullptr)) {}

TIBScriptStats::~TIBScriptStats() = default;

void TIBScriptStats::SetDatabase(TIBDatabase *value) {
    FDatabase = value;
    FInfoStats->SetDatabase(value);
}

void TIBScriptStats::Clear() {
    FBuffers = FReads = FWrites = FFetches = FSeqReads = FReadIdx = FDeltaMem = 0;
    FTables.clear();
}

void TIBScriptStats::Start() {
    if (!FDatabase || !FDatabase->Connected() || FStarted) return;
    // The order of the reads is part of the measurement's contract: the
    // counters move with every call, so start and stop read alike.
    FStartBuffers = FInfoStats->NumBuffers();
    FStartReads = FInfoStats->Reads();
    FStartWrites = FInfoStats->Writes();
    FStartTables.clear();
    // Each count list is read into the snapshot before the next call
    // refills it.
    const TStringList &seqReads = FInfoStats->ReadSeqCount();
    FStartSeqReads = TIBDatabaseInfo::SumCounts(seqReads);
    ReadTableCounts(seqReads, &TIBTableStats::SeqReads, FStartTables);
    FStartFetches = FInfoStats->Fetches();
    const TStringList &idxReads = FInfoStats->ReadIdxCount();
    FStartReadIdx = TIBDatabaseInfo::SumCounts(idxReads);
    ReadTableCounts(idxReads, &TIBTableStats::ReadIdx, FStartTables);
    FStartingMem = FInfoStats->CurrentMemory();
    FStartedPerTable = FPerTable;
    if (FPerTable) {
        ReadTableCounts(FInfoStats->InsertCount(), &TIBTableStats::Inserts, FStartTables);
        ReadTableCounts(FInfoStats->UpdateCount(), &TIBTableStats::Updates, FStartTables);
        ReadTableCounts(FInfoStats->DeleteCount(), &TIBTableStats::Deletes, FStartTables);
    }
    FStarted = true;
}

void TIBScriptStats::Stop() {
    // The measurement ends whatever happens, also when a read fails.
    TFinally end([this] { FStarted = false; });
    if (FDatabase && FDatabase->Connected()) {
        FBuffers += FInfoStats->NumBuffers() - FStartBuffers;
        FReads += FInfoStats->Reads() - FStartReads;
        FWrites += FInfoStats->Writes() - FStartWrites;
        const TStringList &seqReads = FInfoStats->ReadSeqCount();
        FSeqReads += TIBDatabaseInfo::SumCounts(seqReads) - FStartSeqReads;
        AddTableDifferences(seqReads, &TIBTableStats::SeqReads);
        FFetches += FInfoStats->Fetches() - FStartFetches;
        const TStringList &idxReads = FInfoStats->ReadIdxCount();
        FReadIdx += TIBDatabaseInfo::SumCounts(idxReads) - FStartReadIdx;
        AddTableDifferences(idxReads, &TIBTableStats::ReadIdx);
        FDeltaMem += FInfoStats->CurrentMemory() - FStartingMem;
        // A stop without a start measures from zero, per table too.
        if (FStarted ? FStartedPerTable : FPerTable) {
            AddTableDifferences(FInfoStats->InsertCount(), &TIBTableStats::Inserts);
            AddTableDifferences(FInfoStats->UpdateCount(), &TIBTableStats::Updates);
            AddTableDifferences(FInfoStats->DeleteCount(), &TIBTableStats::Deletes);
        }
    }
}

void TIBScriptStats::ReadTableCounts(const TStringList &counts, TCountField field, TTableCounts &into) {
    for (int i = 0; i < counts.Count(); ++i) {
        int32_t id = 0, count = 0;
        if (!TryStrToInt(TStringList::NamePart(counts[i]), id) ||
            !TryStrToInt(TStringList::ValuePart(counts[i]), count))
            continue;
        TIBTableStats &table = into[id];
        table.TableId = id;
        table.*field = count;
    }
}

void TIBScriptStats::AddTableDifferences(const TStringList &counts, TCountField field) {
    TTableCounts now;
    ReadTableCounts(counts, field, now);
    for (const auto &[id, table] : now) {
        auto start = FStartTables.find(id);
        const int64_t difference = table.*field - (start == FStartTables.end() ? 0 : start->second.*field);
        if (difference == 0) continue;
        TIBTableStats &sum = FTables[id];
        sum.TableId = id;
        sum.*field += difference;
    }
}

std::vector<TIBTableStats> TIBScriptStats::TableStats() const {
    std::vector<TIBTableStats> tables;
    tables.reserve(FTables.size());
    for (const auto &entry : FTables) tables.push_back(entry.second);
    return tables;
}

}  // namespace vantrel
