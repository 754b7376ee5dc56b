// Script parser throughput: loading a script file into the parser's lines
// and cutting it into statements, for scripts of about 1, 10 and 100 MB made
// of INSERT and UPDATE lines, line and block comments, and procedure and
// trigger bodies written with and without SET TERM. Reports MB/s and the
// process's peak resident set size after each size (sizes run smallest
// first; run one size per process with --benchmark_filter for a clean peak).
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "platform/Files.h"
#include "platform/Text.h"
#include "script/IBSQLParser.h"

using namespace vantrel;

namespace {

// Appends one block of a Windows-style update script (CR LF line ends).
void WriteBlock(std::ofstream &out, long i) {
    const char *eol = "\r\n";
    out << "-- batch " << i << eol;
    for (int k = 0; k < 8; ++k) {
        long id = i * 8 + k;
        out << "INSERT INTO CONTACTS (ID, CUSTOMER_ID, KIND, VAL) VALUES (" << id << ", " << id % 97
            << ", 'email', 'user" << id << "@example.com; other" << id << "@example.com');" << eol;
    }
    out << "UPDATE CONTACTS SET VAL = 'changed " << i << "'" << eol << "  WHERE ID = " << i << ";" << eol;
    out << "/* block comment " << i << eol << "   spanning two lines */" << eol;
    if (i % 10 == 3) {
        out << "CREATE PROCEDURE P_" << i << " (A INTEGER)" << eol << "RETURNS (B INTEGER)" << eol << "AS" << eol
            << "DECLARE X INTEGER;" << eol << "BEGIN" << eol << "  X = A * 2; /* double it */" << eol
            << "  IF (X > 10) THEN" << eol << "    B = X - 10;" << eol << "  ELSE" << eol << "    B = X;" << eol
            << "  SUSPEND;" << eol << "END;" << eol << eol;
    } else if (i % 10 == 8) {
        out << "SET TERM ^ ;" << eol << "CREATE TRIGGER T_" << i
            << " FOR CONTACTS ACTIVE BEFORE INSERT POSITION 0" << eol << "AS" << eol << "BEGIN" << eol
            << "  IF (NEW.ID IS NULL) THEN" << eol << "    NEW.ID = GEN_ID(GEN_CONTACTS_ID, 1);" << eol << "END^"
            << eol << "SET TERM ; ^" << eol << eol;
    }
}

struct ScriptFile {
    std::string Path;
    size_t Bytes = 0;
};

std::map<int, ScriptFile> &Files() {
    static std::map<int, ScriptFile> files;
    return files;
}

void RemoveFiles() {
    for (auto &[mb, f] : Files()) std::remove(f.Path.c_str());
}

// Written once per size, straight to disk so that the generator itself does
// not hold the script in memory.
const ScriptFile &ScriptOfSize(int megabytes) {
    auto it = Files().find(megabytes);
    if (it != Files().end()) return it->second;
    const char *tmp = std::getenv("TMPDIR");
    ScriptFile f;
    f.Path = std::string(tmp && *tmp ? tmp : "/tmp") + "/vantrel-bench-parser-" + std::to_string(getpid()) + "-" +
             std::to_string(megabytes) + "MB.sql";
    {
        std::ofstream out(f.Path, std::ios::binary);
        const std::streamoff target = static_cast<std::streamoff>(megabytes) * 1000 * 1000;
        for (long i = 0; out.tellp() < target; ++i) WriteBlock(out, i);
        f.Bytes = static_cast<size_t>(out.tellp());
    }
    if (Files().empty()) std::atexit(RemoveFiles);
    return Files().emplace(megabytes, f).first->second;
}

double PeakRssMB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

void BM_LoadAndParse(benchmark::State &state) {
    const ScriptFile &file = ScriptOfSize(static_cast<int>(state.range(0)));
    const double rssBefore = PeakRssMB();
    int64_t statements = 0, errors = 0;
    for (auto _ : state) {
        TIBSQLParser parser(nullptr);
        parser.SetOnParse([&](TComponent *, TIBParseKind, const String &) { ++statements; });
        parser.SetOnError([&](TComponent *, const String &, const String &, int32_t) { ++errors; });
        LoadLinesFromFile(Utf8ToString(file.Path), parser.Script());
        parser.Parse();
    }
    const auto iterations = static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.Bytes));
    state.counters["MB/s"] = benchmark::Counter(static_cast<double>(file.Bytes) * iterations / 1e6,
                                                benchmark::Counter::kIsRate);
    state.counters["file_MB"] = static_cast<double>(file.Bytes) / 1e6;
    state.counters["statements"] = static_cast<double>(statements) / iterations;
    state.counters["errors"] = static_cast<double>(errors) / iterations;
    state.counters["rss_before_MB"] = rssBefore;
    state.counters["peak_rss_MB"] = PeakRssMB();
    std::fprintf(stderr, "load+parse %d MB script: peak RSS %.1f MB\n", static_cast<int>(state.range(0)),
                 PeakRssMB());
}
BENCHMARK(BM_LoadAndParse)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();
// One load and parse with a cold heap, as a host does it once per process:
// the memory freed by the previous repetition is handed back to the system
// first, so that the smaller sizes do not profit from a heap that earlier
// iterations grew while 100 MB always starts from fresh pages.
void BM_LoadAndParseCold(benchmark::State &state) {
    const ScriptFile &file = ScriptOfSize(static_cast<int>(state.range(0)));
    malloc_trim(0);
    int64_t statements = 0;
    for (auto _ : state) {
        TIBSQLParser parser(nullptr);
        parser.SetOnParse([&](TComponent *, TIBParseKind, const String &) { ++statements; });
        LoadLinesFromFile(Utf8ToString(file.Path), parser.Script());
        parser.Parse();
    }
    state.SetBytesProcessed(static_cast<int64_t>(file.Bytes));
    state.counters["MB/s"] = benchmark::Counter(static_cast<double>(file.Bytes) / 1e6, benchmark::Counter::kIsRate);
    state.counters["statements"] = static_cast<double>(statements);
}
BENCHMARK(BM_LoadAndParseCold)
    ->Arg(1)
    ->Arg(10)
    ->Arg(100)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The parse alone, over lines already loaded.
void BM_ParseOnly(benchmark::State &state) {
    const ScriptFile &file = ScriptOfSize(static_cast<int>(state.range(0)));
    TIBSQLParser parser(nullptr);
    int64_t statements = 0;
    parser.SetOnParse([&](TComponent *, TIBParseKind, const String &) { ++statements; });
    LoadLinesFromFile(Utf8ToString(file.Path), parser.Script());
    for (auto _ : state) parser.Parse();
    const auto iterations = static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.Bytes));
    state.counters["MB/s"] = benchmark::Counter(static_cast<double>(file.Bytes) * iterations / 1e6,
                                                benchmark::Counter::kIsRate);
    state.counters["statements"] = static_cast<double>(statements) / iterations;
}
BENCHMARK(BM_ParseOnly)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
