// Sweeps over every point where the outside world can fail an update: the
// k-th client call (through the injecting client library) or the k-th
// allocation of the library fails, once or from then on, for every k of a
// representative update, of CheckDBVersion on dialect 1 and 3 databases, of
// loading the library, and of `vantrel migrate` of two scripts; embedded and
// through the server. The host tests/hosts/sweep_host.cpp runs them and
// checks each run (the truth of the outcome, the text, nothing left open, a
// following call that works); these tests start it, bounded, and read its
// summary.
//
// Bounds: the sanitizer build takes every k and, for a failing call, every
// kind of status once (migrate: one kind taking turns); the release build
// takes every k of the client calls with one kind taking turns, every 4th
// allocation and every 2nd call of migrate (one process per run).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <sstream>

#include "support/TestSupport.h"

using namespace vantrel::test;

namespace {

#ifdef __SANITIZE_ADDRESS__
constexpr bool kSanitizer = true;
#else
constexpr bool kSanitizer = false;
#endif

struct TSweepCase {
    const char *Name;
    const char *Scenario;  // update, check, load, migrate
    const char *Fault;     // calls, allocations
    int Dialect;           // of the database the check reads
    bool Remote;
    int ReleaseStep;
    long MinimumPoints;    // calls or allocations the swept run makes at least
};

void PrintTo(const TSweepCase &c, std::ostream *os) { *os << c.Name; }

struct TSummary {
    long Points = -1, Runs = -1, Failed = -1, Succeeded = -1, Faults = -1, NullTexts = -1;
};

bool ParseSummary(const std::string &output, TSummary &s) {
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        char scenario[32] = {}, fault[32] = {};
        if (std::sscanf(line.c_str(),
                        "summary scenario=%31s fault=%31s points=%ld runs=%ld failed=%ld succeeded=%ld faults=%ld "
                        "nulltexts=%ld",
                        scenario, fault, &s.Points, &s.Runs, &s.Failed, &s.Succeeded, &s.Faults, &s.NullTexts) == 8)
            return true;
    }
    return false;
}

// A database at version 1 (the update's) or 7 (the check's), or an empty
// one (migrate's), written without forced writes: thousands of runs commit.
std::string MakeDatabase(TempDir &dir, const TSweepCase &c) {
    const std::string path = dir.File("pristine.fdb");
    CreateDatabase(path, c.Dialect, "WIN1251");
    const std::string scenario = c.Scenario;
    if (scenario != "migrate")
        RunIsql(path, "CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER, SERIAL VARCHAR(100));\n"
                      "INSERT INTO VER VALUES (1, " +
                          std::string(scenario == "update" ? "1" : "7") + ", 'x');\n");
    RunCommand(std::string("gfix -write async -user SYSDBA -password ") + kPassword + " " + path);
    RunCommand("chmod 666 " + path);
    return path;
}

class FaultSweep : public ::testing::TestWithParam<TSweepCase> {};

TEST_P(FaultSweep, EveryFailurePointTellsTheTruth) {
    const TSweepCase &c = GetParam();
    std::unique_ptr<ServerTestLock> lock;
    if (c.Remote) {
        if (!RequireServer()) GTEST_SKIP() << "no Firebird server on localhost";
        // A server restarted by another test in the middle would fail runs.
        lock = std::make_unique<ServerTestLock>();
    }
    TempDir dir;
    const std::string database = MakeDatabase(dir, c);
    const int step = kSanitizer ? 1 : c.ReleaseStep;
    // A migrate run is a process of its own (two, after a failure): every
    // kind at every call would take half an hour in the sanitizer build.
    const bool migrate = std::string(c.Scenario) == "migrate";
    std::string command = SanitizerEnvironment() + SweepHostPath() + " library=" + SharedLibraryPath() +
                          " injector=" + FakeClientPath("injectingclient") + " scenario=" + c.Scenario +
                          " fault=" + c.Fault + " step=" + std::to_string(step) +
                          " kinds=" + (kSanitizer && !migrate ? "all" : "rotate") + " remote=" + (c.Remote ? "1" : "0") +
                          " database=" + database + " folder=" + dir.Path() + " version=7 cli=" + CliPath() + " password=" + kPassword;
    const auto started = std::chrono::steady_clock::now();
    ChildProcess host(command);
    const int status = host.Wait(1500);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::string output = host.Output();
    ASSERT_EQ(status, 0) << output;

    TSummary s;
    ASSERT_TRUE(ParseSummary(output, s)) << output;
    std::printf("%s: %ld points, every %d-th, %ld runs (%ld failed, %ld succeeded) in %.1f s\n", c.Name, s.Points,
                step, s.Runs, s.Failed, s.Succeeded, seconds);
    EXPECT_GE(s.Points, c.MinimumPoints) << output;
    EXPECT_GT(s.Runs, 0);
    EXPECT_EQ(s.Faults, s.Runs) << "every run met its fault";
    EXPECT_GT(s.Failed, 0);
    // Memory that stays exhausted leaves even the message of some failures
    // unallocated: the text falls back to the null string.
    if (std::string(c.Fault) == "allocations" && std::string(c.Scenario) != "load") {
        EXPECT_GT(s.NullTexts, 0);
    }
}

const TSweepCase kSweeps[] = {
    {"UpdateCalls", "update", "calls", 3, false, 1, 40},
    {"UpdateCallsThroughTheServer", "update", "calls", 3, true, 1, 40},
    {"UpdateAllocations", "update", "allocations", 3, false, 4, 300},
    {"UpdateAllocationsThroughTheServer", "update", "allocations", 3, true, 4, 300},
    {"CheckDialect1Calls", "check", "calls", 1, false, 1, 40},
    {"CheckDialect3Calls", "check", "calls", 3, false, 1, 40},
    {"CheckDialect3CallsThroughTheServer", "check", "calls", 3, true, 1, 40},
    {"CheckDialect1Allocations", "check", "allocations", 1, false, 4, 300},
    {"CheckDialect3Allocations", "check", "allocations", 3, false, 4, 300},
    {"CheckDialect1AllocationsThroughTheServer", "check", "allocations", 1, true, 4, 300},
    {"LoadAllocations", "load", "allocations", 3, false, 1, 100},
    {"MigrateCalls", "migrate", "calls", 3, false, 2, 100},
    {"MigrateCallsThroughTheServer", "migrate", "calls", 3, true, 2, 100},
};

INSTANTIATE_TEST_SUITE_P(Sweeps, FaultSweep, ::testing::ValuesIn(kSweeps),
                         [](const ::testing::TestParamInfo<TSweepCase> &info) { return info.param.Name; });

}  // namespace
