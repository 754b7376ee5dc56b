// Peak memory of one very large statement on the update road: a script
// holding a single SELECT of the given size (many lines of OR conditions) is
// applied with the road UpdateDB takes, in a child process of its own, and
// the child's peak resident size is set against the statement's size. The
// server refuses statements beyond its own limit; that error must come back
// like any other (it is printed), not a crash. A run of an empty script
// gives the process's own floor (client library, embedded engine).
//
// Usage: vantrel_bench_statement_memory [--mb N ...] [--line CHARS] [--dir DIR]
//        (default: --mb 50 over lines of 73 characters; --line 0 writes the
//        statement on one line; the script files are written under DIR)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "entry/UpdateSession.h"
#include "platform/Text.h"
#include "platform/Variant.h"

namespace {

using namespace vantrel;

struct Outcome {
    long PeakKB = 0;
    int ExitCode = -1;
};

// Applies the script to the database in a child process: its peak resident
// size, and its exit code (0 success, 1 an error came back).
Outcome UpdateInChild(const std::string &db, const std::string &script) {
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        VARIANT name, file;
        VariantInit(&name);
        VariantInit(&file);
        name.vt = file.vt = VT_BSTR;
        name.u.bstrVal = SysAllocString(Utf8ToString(db));
        file.u.bstrVal = SysAllocString(Utf8ToString(script));
        int rc = 1;
        try {
            const TUpdateOutcome outcome = UpdateDatabase(name, file);
            if (outcome.Failed) {
                const std::string text = StringToUtf8(outcome.ErrorText);
                std::printf("    error: %s\n", text.substr(0, text.find_first_of("\r\n")).c_str());
            }
            rc = outcome.Failed ? 1 : 0;
        } catch (const std::exception &e) {
            std::printf("    escaped: %s\n", e.what());
            rc = 2;
        }
        std::fflush(nullptr);
        _exit(rc);
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    Outcome o;
    o.PeakKB = usage.ru_maxrss;
    o.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return o;
}

// One statement of about the given size, over lines of 73 characters; with
// a line length, over lines of conditions " OR X = 1" as many as fit in it
// (0: the whole statement on one line).
std::string WriteScript(const std::string &dir, long mb, long lineChars) {
    const std::string path = dir + "/statement_" + std::to_string(mb) + "mb.sql";
    std::ofstream out(path, std::ios::binary);
    out << "SELECT COUNT(*) FROM RDB$DATABASE WHERE 1 = 0\n";
    std::string line = "  OR NAME = 'abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz'\n";
    if (lineChars >= 0) {
        const std::string piece = " OR X = 1";
        const long pieces = lineChars == 0 ? 1 : std::max(1L, (lineChars - 1) / static_cast<long>(piece.size()));
        line.clear();
        for (long k = 0; k < pieces; ++k) line += piece;
        if (lineChars > 0) line += '\n';
    }
    for (long written = 0; written < mb * 1024 * 1024; written += static_cast<long>(line.size())) out << line;
    out << (lineChars == 0 ? "\n;\n" : ";\n");
    return path;
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<long> sizes;
    std::string dir = "/tmp/vantrel-bench-statement-memory";
    long lineChars = -1;  // the 73-character lines
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--mb") && i + 1 < argc) sizes.push_back(std::atol(argv[++i]));
        else if (!std::strcmp(argv[i], "--dir") && i + 1 < argc) dir = argv[++i];
        else if (!std::strcmp(argv[i], "--line") && i + 1 < argc) lineChars = std::atol(argv[++i]);
        else {
            std::fprintf(stderr, "usage: %s [--mb N ...] [--line CHARS] [--dir DIR]\n", argv[0]);
            return 2;
        }
    }
    if (sizes.empty()) sizes.push_back(50);
    std::filesystem::create_directories(dir);
    const std::string db = dir + "/memory.fdb";
    std::filesystem::remove(db);
    const std::string create = "echo \"CREATE DATABASE '" + db +
                               "' DEFAULT CHARACTER SET WIN1251;\" | isql-fb -q";
    if (std::system(create.c_str()) != 0) return 2;

    const std::string empty = dir + "/empty.sql";
    std::ofstream(empty) << "\n";
    const Outcome floor = UpdateInChild(db, empty);
    std::printf("%-12s %12s %12s %10s %8s\n", "statement", "peak KB", "above floor", "x size", "result");
    std::printf("%-12s %12ld %12s %10s %8s\n", "none", floor.PeakKB, "", "", floor.ExitCode ? "error" : "ok");
    for (long mb : sizes) {
        const std::string script = WriteScript(dir, mb, lineChars);
        const long bytes = static_cast<long>(std::filesystem::file_size(script));
        const Outcome o = UpdateInChild(db, script);
        std::filesystem::remove(script);
        const double ratio = static_cast<double>(o.PeakKB) * 1024 / static_cast<double>(bytes);
        std::printf("%-12s %12ld %12ld %10.1f %8s\n", (std::to_string(mb) + " MB").c_str(), o.PeakKB,
                    o.PeakKB - floor.PeakKB, ratio,
                    o.ExitCode == 0 ? "ok" : o.ExitCode == 1 ? "error" : "CRASH");
    }
    return 0;
}
