// Script executor beside isql-fb: the same update script run once through
// the update road of UpdateDB (the update module: WIN1251, its transaction
// started before the script and committed after it) and once through
// `isql-fb -i`, each on its own
// twin embedded database, in the same run. Both run in a child process of
// their own, so wall time and peak memory (ru_maxrss) are measured alike:
// process start, loading the client library, connecting, running,
// committing and disconnecting.
//
// Scenarios: (a) 20,000 single-row INSERT statements, (b) 500 CREATE TABLE
// statements with AUTODDL, (c) a 2 MB script of procedures and triggers.
//
// With --async-writes both twins are switched to asynchronous writes, so
// that the figures show the work of the engine and of the tools rather than
// how long the disk takes to confirm each write (on a machine whose disk is
// shared, forced writes make wall times vary several-fold from run to run).
//
// Usage: vantrel_bench_script [--repeat N] [--scenario a|b|c] [--keep DIR] [--async-writes]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "entry/UpdateSession.h"

namespace {

using namespace vantrel;

// The update module's login, for isql-fb.
const std::string kUser = StringToUtf8(TSessionSettings().UserName);
const std::string kPassword = StringToUtf8(TSessionSettings().Password);

struct Measurement {
    double Seconds = 0;
    double CpuSeconds = 0;  // user + system
    long PeakKB = 0;
    long BlocksOut = 0;
    int ExitCode = -1;
};

// Runs fn in a child process; the wall time from fork to reaping and the
// child's peak resident size.
Measurement InChild(const std::function<int()> &fn) {
    Measurement m;
    std::fflush(nullptr);  // nothing buffered may be written twice
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int rc = 1;
        try {
            rc = fn();
        } catch (const std::exception &e) {
            std::fprintf(stderr, "child failed: %s\n", e.what());
        }
        std::fflush(nullptr);
        _exit(rc);
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    m.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.PeakKB = usage.ru_maxrss;
    m.BlocksOut = usage.ru_oublock;
    m.CpuSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                   usage.ru_stime.tv_usec / 1e6;
    m.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return m;
}

int Shell(const std::string &command) { return std::system(command.c_str()); }

std::string Quoted(const std::string &s) { return "'" + s + "'"; }

bool gAsyncWrites = false;

void CreateDatabase(const std::string &path, const std::string &setup) {
    std::filesystem::remove(path);
    const std::string sql = Quoted(path);
    std::ofstream f(path + ".create.sql");
    f << "CREATE DATABASE " << sql << " USER '" << kUser << "' PASSWORD '" << kPassword
      << "' PAGE_SIZE 8192 DEFAULT CHARACTER SET WIN1251;\n"
      << setup << "COMMIT;\n";
    f.close();
    if (Shell("isql-fb -q -b -i " + Quoted(path + ".create.sql") + " > /dev/null") != 0) {
        std::cerr << "cannot create " << path << "\n";
        std::exit(2);
    }
    if (gAsyncWrites &&
        Shell("gfix -write async -user " + kUser + " -password " + kPassword + " " + Quoted(path)) != 0) {
        std::cerr << "cannot switch " << path << " to asynchronous writes\n";
        std::exit(2);
    }
}

// The update module's road (what UpdateDB runs), in the child.
int RunThroughScript(const std::string &db, const std::string &script) {
    const TUpdateOutcome outcome = UpdateDatabaseEx(Utf8ToString(db), Utf8ToString(script));
    if (outcome.Failed) std::cerr << "update failed: " << StringToUtf8(outcome.ErrorText) << "\n";
    return outcome.Failed ? 3 : 0;
}

int RunThroughIsql(const std::string &db, const std::string &script) {
    execlp("isql-fb", "isql-fb", "-q", "-b", "-ch", "WIN1251", "-user", kUser.c_str(), "-password", kPassword.c_str(),
           db.c_str(), "-i", script.c_str(), "-o", "/dev/null", static_cast<char *>(nullptr));
    return 127;
}

std::string Count(const std::string &db, const std::string &select) {
    const std::string out = db + ".count.txt";
    std::ofstream f(db + ".count.sql");
    f << "SET HEADING OFF;\n" << select << ";\n";
    f.close();
    Shell("isql-fb -q -user " + kUser + " -password " + kPassword + " " + Quoted(db) + " -i " +
          Quoted(db + ".count.sql") + " > " + Quoted(out) + " 2>&1");
    std::ifstream in(out);
    std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    s.erase(std::remove_if(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\n' || c == '\r'; }), s.end());
    return s;
}

struct Scenario {
    std::string Key, Title;
    std::string Setup;                                   // run on both twins before timing
    std::function<std::string()> Script;                 // the script text
    std::string Check;                                   // a query whose answer both must share
};

std::string Inserts() {
    std::ostringstream s;
    s << "/* 20,000 single-row inserts */\n";
    for (int i = 1; i <= 20000; ++i)
        s << "INSERT INTO T (ID, NAME, AMOUNT) VALUES (" << i << ", 'row " << i << "', " << (i % 977) << ".25);\n";
    return s.str();
}

std::string CreateTables() {
    std::ostringstream s;
    s << "SET AUTODDL ON;\n";
    for (int i = 1; i <= 500; ++i)
        s << "CREATE TABLE T_" << i << " (\n  ID INTEGER NOT NULL PRIMARY KEY,\n  NAME VARCHAR(60),\n"
          << "  CREATED DATE DEFAULT CURRENT_DATE,\n  AMOUNT NUMERIC(15,2) DEFAULT 0 CHECK (AMOUNT >= 0)\n);\n";
    return s.str();
}

std::string ProceduresAndTriggers() {
    std::ostringstream s;
    s << "SET TERM ^ ;\n";
    int i = 0;
    while (s.tellp() < 2 * 1024 * 1024) {
        ++i;
        if (i % 5 == 0) {
            s << "/* trigger " << i << " */\n"
              << "CREATE TRIGGER TR_" << i << " FOR T ACTIVE BEFORE UPDATE POSITION " << (i % 30000) << " AS\n"
              << "DECLARE VARIABLE X INTEGER;\nBEGIN\n";
            for (int k = 0; k < 12; ++k)
                s << "  IF (NEW.AMOUNT < " << k << ") THEN NEW.NAME = 'step " << k << "; value: ' || NEW.ID;\n";
            s << "  X = 0; -- done\nEND^\n\n";
        } else {
            s << "-- procedure " << i << "\n"
              << "CREATE PROCEDURE P_" << i << " (A INTEGER, B VARCHAR(40)) RETURNS (R INTEGER, S VARCHAR(80)) AS\n"
              << "DECLARE VARIABLE I INTEGER;\nBEGIN\n  I = 0;\n  R = 0;\n"
              << "  WHILE (I < A) DO\n  BEGIN\n    R = R + I * " << i << ";\n    I = I + 1;\n  END\n";
            for (int k = 0; k < 10; ++k)
                s << "  IF (R > " << k * 100 << ") THEN S = B || ' /* not a comment */ ' || '" << k << "';\n";
            s << "  SUSPEND;\nEND^\n\n";
        }
    }
    s << "SET TERM ; ^\n";
    return s.str();
}

}  // namespace

int main(int argc, char **argv) {
    int repeat = 3;
    std::string only;
    std::string keep;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc) repeat = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--scenario") && i + 1 < argc) only = argv[++i];
        else if (!std::strcmp(argv[i], "--keep") && i + 1 < argc) keep = argv[++i];
        else if (!std::strcmp(argv[i], "--async-writes")) gAsyncWrites = true;
    }
    const std::string dir = keep.empty() ? std::string("/tmp/vantrel-bench-script-") + std::to_string(getpid()) : keep;
    std::filesystem::create_directories(dir);

    const std::string table = "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(200), "
                              "AMOUNT NUMERIC(15,2));\n";
    std::vector<Scenario> scenarios = {
        {"a", "20,000 single-row INSERTs", table, Inserts, "SELECT COUNT(*) FROM T"},
        {"b", "500 CREATE TABLE (AUTODDL)", "", CreateTables,
         "SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0"},
        {"c", "2 MB of procedures and triggers", table, ProceduresAndTriggers,
         "SELECT (SELECT COUNT(*) FROM RDB$PROCEDURES) || '/' || (SELECT COUNT(*) FROM RDB$TRIGGERS WHERE "
         "RDB$SYSTEM_FLAG = 0) FROM RDB$DATABASE"},
    };

    std::printf("%-34s %10s %10s %7s %10s %10s %7s %12s %12s\n", "scenario", "vantrel s", "isql s", "ratio",
                "vantrel cpu", "isql cpu", "ratio", "vantrel KB", "isql KB");
    int failures = 0;
    for (const Scenario &sc : scenarios) {
        if (!only.empty() && only != sc.Key) continue;
        const std::string script = dir + "/" + sc.Key + ".sql";
        {
            std::ofstream f(script, std::ios::binary);
            f << sc.Script();
        }
        std::vector<double> ours, theirs, oursCpu, theirsCpu;
        long oursKB = 0, theirsKB = 0;
        for (int r = 0; r < repeat; ++r) {
            const std::string a = dir + "/" + sc.Key + "-vantrel.fdb";
            const std::string b = dir + "/" + sc.Key + "-isql.fdb";
            CreateDatabase(a, sc.Setup);
            CreateDatabase(b, sc.Setup);
            // Alternate the order so that neither side always runs on a
            // warmer cache.
            Measurement mo, mi;
            if (r % 2 == 0) {
                mo = InChild([&] { return RunThroughScript(a, script); });
                mi = InChild([&] { return RunThroughIsql(b, script); });
            } else {
                mi = InChild([&] { return RunThroughIsql(b, script); });
                mo = InChild([&] { return RunThroughScript(a, script); });
            }
            if (mo.ExitCode != 0 || mi.ExitCode != 0) {
                std::fprintf(stderr, "%s: exit codes vantrel %d, isql %d\n", sc.Key.c_str(), mo.ExitCode,
                             mi.ExitCode);
                ++failures;
            }
            const std::string ca = Count(a, sc.Check), cb = Count(b, sc.Check);
            if (ca != cb || ca.empty()) {
                std::fprintf(stderr, "%s: results differ: vantrel %s, isql %s\n", sc.Key.c_str(), ca.c_str(),
                             cb.c_str());
                ++failures;
            }
            if (std::getenv("VANTREL_BENCH_VERBOSE"))
                std::fprintf(stderr, "%s run %d: vantrel %.3f s (cpu %.3f, %ld blocks out), isql %.3f s (cpu %.3f, %ld "
                             "blocks out)\n",
                             sc.Key.c_str(), r, mo.Seconds, mo.CpuSeconds, mo.BlocksOut, mi.Seconds, mi.CpuSeconds,
                             mi.BlocksOut);
            ours.push_back(mo.Seconds);
            theirs.push_back(mi.Seconds);
            oursCpu.push_back(mo.CpuSeconds);
            theirsCpu.push_back(mi.CpuSeconds);
            oursKB = std::max(oursKB, mo.PeakKB);
            theirsKB = std::max(theirsKB, mi.PeakKB);
        }
        auto median = [](std::vector<double> v) {
            std::sort(v.begin(), v.end());
            return v[v.size() / 2];
        };
        const double mo = median(ours), mi = median(theirs), co = median(oursCpu), ci = median(theirsCpu);
        std::printf("%-34s %10.3f %10.3f %7.3f %10.3f %10.3f %7.3f %12ld %12ld\n", (sc.Key + ") " + sc.Title).c_str(),
                    mo, mi, mo / mi, co, ci, co / ci, oursKB, theirsKB);
        std::fflush(stdout);
    }
    if (keep.empty()) std::filesystem::remove_all(dir);
    return failures == 0 ? 0 : 1;
}
