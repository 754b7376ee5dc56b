// Run statistics: the information calls a run makes, the sums they give,
// and the per-table counts behind them.
#include <gtest/gtest.h>

#include "ScriptFixture.h"
#include "client/IBDatabaseInfo.h"
#include "script/IBScriptStats.h"

namespace vantrel::test {
namespace {

// The seven items of a measurement, in the order they are read.
const std::vector<int> kMeasurement = {isc_info_num_buffers, isc_info_reads,          isc_info_writes,
                                       isc_info_read_seq_count, isc_info_fetches, isc_info_read_idx_count,
                                       isc_info_current_memory};

std::vector<int> Twice(const std::vector<int> &items) {
    std::vector<int> all = items;
    all.insert(all.end(), items.begin(), items.end());
    return all;
}

class ScriptStatsTest : public ScriptDatabaseTest {
protected:
    void SetUp() override {
        ScriptDatabaseTest::SetUp();
        std::string rows;
        for (int i = 1; i <= 300; ++i) rows += "INSERT INTO R VALUES (" + std::to_string(i) + ");\n";
        Isql(Db(), "CREATE TABLE R (ID INTEGER NOT NULL PRIMARY KEY);\nCOMMIT;\n" + rows);
        Lib().Reset();
    }
    static TCountingLibrary &Lib() { return TCountingLibrary::Instance(); }
};

TEST_F(ScriptStatsTest, ARunWithStatisticsMakesFourteenInformationCalls) {
    ScriptModule m(Db(), TCountingLibrary::kServerType);
    m.Open();
    Lib().Reset();
    m.Run("INSERT INTO R VALUES (1000);\nSELECT COUNT(*) FROM R;\n");
    EXPECT_EQ(14, Lib().DatabaseInfoCalls);
    EXPECT_EQ(Twice(kMeasurement), Lib().InfoItems);
    EXPECT_FALSE(m.IBScript->Stats().Started());
    m.CommitAndClose();
}

TEST_F(ScriptStatsTest, StatisticsOffMakesNoInformationCalls) {
    ScriptModule m(Db(), TCountingLibrary::kServerType);
    m.Open();
    m.IBScript->SetStatistics(false);
    Lib().Reset();
    m.Run("INSERT INTO R VALUES (1000);\n");
    EXPECT_EQ(0, Lib().DatabaseInfoCalls);
    m.CommitAndClose();
}

TEST_F(ScriptStatsTest, SetStatisticsInTheScriptStopsAndStartsTheMeasurement) {
    ScriptModule m(Db(), TCountingLibrary::kServerType);
    m.Open();
    Lib().Reset();
    m.Run("SET STATISTICS OFF;\nSELECT COUNT(*) FROM R;\n");
    // Started at the beginning, stopped by the directive, not again at the end.
    EXPECT_EQ(Twice(kMeasurement), Lib().InfoItems);
    EXPECT_FALSE(m.IBScript->Statistics());
    Lib().Reset();
    m.Run("SET STATISTICS ON;\nSELECT COUNT(*) FROM R;\n");
    EXPECT_EQ(Twice(kMeasurement), Lib().InfoItems);
    EXPECT_TRUE(m.IBScript->Statistics());
    m.CommitAndClose();
}

TEST_F(ScriptStatsTest, TheSumsReflectWhatTheRunRead) {
    ScriptModule m(Db());
    m.Open();
    m.Run("SELECT COUNT(*) FROM R;\nSELECT COUNT(*) FROM R WHERE ID = 5;\nUPDATE R SET ID = ID WHERE ID = 7;\n");
    const TIBScriptStats &stats = m.IBScript->Stats();
    // A full scan of 300 rows, then indexed lookups.
    EXPECT_GE(stats.SeqReads(), 300);
    EXPECT_GE(stats.ReadIdx(), 2);
    EXPECT_GT(stats.Fetches(), 0);
    EXPECT_GT(stats.StartingMem(), 0);
    EXPECT_EQ(0, stats.Buffers());  // the cache does not change size in a run
    m.CommitAndClose();
}

TEST_F(ScriptStatsTest, AFailedRunLeavesTheMeasurementRunningForTheNextRun) {
    ScriptModule m(Db(), TCountingLibrary::kServerType);
    m.Open();
    Lib().Reset();
    EXPECT_THROW(m.Run("INSERT INTO R VALUES (1);\n"), EIBError);
    EXPECT_EQ(kMeasurement, Lib().InfoItems);
    EXPECT_TRUE(m.IBScript->Stats().Started());
    Lib().Reset();
    m.Run("SELECT COUNT(*) FROM R;\n");
    // The start found a measurement running; only the stop read the server.
    EXPECT_EQ(kMeasurement, Lib().InfoItems);
    EXPECT_GE(m.IBScript->Stats().SeqReads(), 300);
    m.CommitAndClose();
}

TEST_F(ScriptStatsTest, ARunStartingDisconnectedMeasuresFromAZeroSnapshot) {
    ScriptModule m(Db(), TCountingLibrary::kServerType);
    Lib().Reset();
    m.Run("RECONNECT;\nSELECT COUNT(*) FROM R;\n");
    // The connect reads the dialect; then only the stop measures.
    std::vector<int> expected = {isc_info_db_sql_dialect};
    expected.insert(expected.end(), kMeasurement.begin(), kMeasurement.end());
    EXPECT_EQ(expected, Lib().InfoItems);
    const TIBScriptStats &stats = m.IBScript->Stats();
    EXPECT_GT(stats.Buffers(), 0);  // the whole counter, not a difference
    EXPECT_GE(stats.SeqReads(), 300);
    m.CommitAndClose();
}

TEST_F(ScriptStatsTest, ClearZeroesTheSumsAndKeepsTheMemorySnapshot) {
    ScriptModule m(Db());
    m.Open();
    TIBScriptStats stats;
    stats.SetDatabase(m.DB);
    stats.Start();
    EXPECT_TRUE(stats.Started());
    const int64_t startingMem = stats.StartingMem();
    EXPECT_GT(startingMem, 0);
    m.Run("SELECT COUNT(*) FROM R;\n");
    stats.Stop();
    EXPECT_FALSE(stats.Started());
    EXPECT_GE(stats.SeqReads(), 300);
    stats.Clear();
    EXPECT_EQ(0, stats.SeqReads());
    EXPECT_EQ(0, stats.Fetches());
    EXPECT_EQ(0, stats.Reads());
    EXPECT_EQ(0, stats.DeltaMem());
    EXPECT_EQ(startingMem, stats.StartingMem());
    m.CommitAndClose();
}

TEST_F(ScriptStatsTest, WithoutAConnectedDatabaseStartAndStopDoNothing) {
    TIBScriptStats stats;
    stats.Start();
    EXPECT_FALSE(stats.Started());
    ScriptModule m(Db());
    stats.SetDatabase(m.DB);
    stats.Start();
    EXPECT_FALSE(stats.Started());
    stats.Stop();
    EXPECT_EQ(0, stats.Fetches());
}

TEST_F(ScriptStatsTest, PerTableCountsComeFromTheSameCallsUnlessInsertsUpdatesAndDeletesAreAskedFor) {
    ScriptModule m(Db(), TCountingLibrary::kServerType);
    m.Open();
    TIBSQL q(nullptr);
    q.SetDatabase(m.DB);
    q.SetTransaction(m.Trans);
    q.SetSQL(u"SELECT RDB$RELATION_ID FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'R'");
    q.ExecQuery();
    const int32_t id = q.Current()[0].AsInteger();
    q.Close();
    auto tableR = [&](const TIBScriptStats &stats) {
        for (const TIBTableStats &t : stats.TableStats())
            if (t.TableId == id) return t;
        return TIBTableStats{};
    };
    const std::string script = "INSERT INTO R VALUES (1000);\nUPDATE R SET ID = 1001 WHERE ID = 1000;\n"
                               "DELETE FROM R WHERE ID = 1001;\nSELECT COUNT(*) FROM R;\n";
    Lib().Reset();
    m.Run(script);
    EXPECT_EQ(Twice(kMeasurement), Lib().InfoItems);
    TIBTableStats r = tableR(m.IBScript->Stats());
    EXPECT_GE(r.SeqReads, 300);
    EXPECT_GE(r.ReadIdx, 2);
    EXPECT_EQ(0, r.Inserts + r.Updates + r.Deletes);

    m.IBScript->Stats().SetPerTable(true);
    Lib().Reset();
    m.Run(script);
    std::vector<int> measurement = kMeasurement;
    measurement.insert(measurement.end(), {isc_info_insert_count, isc_info_update_count, isc_info_delete_count});
    EXPECT_EQ(Twice(measurement), Lib().InfoItems);
    r = tableR(m.IBScript->Stats());
    EXPECT_GE(r.SeqReads, 300);
    EXPECT_EQ(1, r.Inserts);
    EXPECT_EQ(1, r.Updates);
    EXPECT_EQ(1, r.Deletes);
    // Each run measures itself: the sums were cleared at its start.
    m.IBScript->Stats().Clear();
    EXPECT_TRUE(m.IBScript->Stats().TableStats().empty());
    m.CommitAndClose();
}

// --- database information ---

TEST_F(ScriptStatsTest, OperationCountsListReadsPerTable) {
    ScriptModule m(Db());
    m.Open();
    m.Run("SELECT COUNT(*) FROM R;\n");
    TIBDatabaseInfo info(nullptr);
    info.SetDatabase(m.DB);
    // isql cannot open the database while it is attached here: read the
    // relation id in-process.
    TIBSQL q(nullptr);
    q.SetDatabase(m.DB);
    q.SetTransaction(m.Trans);
    q.SetSQL(u"SELECT RDB$RELATION_ID FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'R'");
    q.ExecQuery();
    const String id = IntToStr(q.Current()[0].AsInteger());
    q.Close();
    const TStringList &counts = info.ReadSeqCount();
    const String value = counts.Values(id);
    ASSERT_FALSE(value.empty()) << N(counts.Text());
    EXPECT_GE(StrToInt(value), 300);
    EXPECT_GE(TIBDatabaseInfo::SumCounts(counts), 300);
    EXPECT_GT(info.NumBuffers(), 0);
    m.CommitAndClose();
    // A closed connection is refused before any call.
    try {
        info.Fetches();
        FAIL();
    } catch (const EIBError &e) {
        EXPECT_EQ("Cannot perform operation -- DB is not open", std::string(e.what()));
    }
}

TEST(DatabaseInfoSumCounts, AddsTheValuesAndGivesZeroForAnythingThatIsNotANumber) {
    EXPECT_EQ(0, TIBDatabaseInfo::SumCounts(TStringList{}));
    EXPECT_EQ(30, TIBDatabaseInfo::SumCounts(TStringList{u"128=10", u"129=20", u"130="}));
    EXPECT_EQ(4294967294LL, TIBDatabaseInfo::SumCounts(TStringList{u"1=2147483647", u"2=2147483647"}));
    EXPECT_EQ(0, TIBDatabaseInfo::SumCounts(TStringList{u"1=10", u"2=x"}));
    EXPECT_EQ(0, TIBDatabaseInfo::SumCounts(TStringList{u"1=10", u"2=2147483648"}));
}

}  // namespace
}  // namespace vantrel::test
