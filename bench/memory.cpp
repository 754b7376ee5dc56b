// Memory figures of the shared library as a host sees it (not a timing
// benchmark; each scenario runs in a child process of its own so that its
// peak resident set is its own):
//
//   wide     CheckDBVersion on a VER table with two VARCHAR(32000) columns
//            beside the same on a narrow VER: peak RSS of each call's process
//   reload   the library loaded, called once (CheckDBVersionEx) and unloaded
//            100 times in one process: resident set and heap in use after
//            cycles 1, 10, 25, 50 and 100, and whether each unload really
//            unloaded. Twice: with the calls on the main thread, and on a
//            thread that ends before the unload (a thread that wrote a text
//            parameter keeps the library loaded until it ends: its
//            thread_local scratch buffer has a destructor)
//   repeat   the library loaded once and CheckDBVersionEx called --calls
//            times (5000) on one embedded database: heap in use after 1, 10,
//            100, ... calls and its growth over the second half of the run.
//            Twice: as a host runs, and with glibc's per-thread cache off.
//            Heap in use counts the blocks that freeing threads keep in that
//            cache; they fill over the first few thousand calls (some tens
//            of KB) and then stay, so only the second run counts live blocks
//            alone, and a leak shows there as growth over the second half.
//
// usage: vantrel_bench_memory [--library PATH] [--calls N] [wide] [reload] [repeat]
// (default: the library of this build, wide and reload). Databases are made
// with isql-fb under /tmp and removed afterwards.
#include <dlfcn.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "vantrel/vantrel.h"

namespace {

std::string gLibrary = VANTREL_SHARED_LIBRARY_PATH;
long gCalls = 5000;

struct TExports {
    void *Handle = nullptr;
    decltype(&::CheckDBVersionEx) CheckDBVersionEx = nullptr;
    decltype(&::VantrelSysAllocStringLen) SysAllocStringLen = nullptr;
    decltype(&::VantrelVariantClear) VariantClear = nullptr;

    bool Load() {
        Handle = dlopen(gLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!Handle) return false;
        CheckDBVersionEx = reinterpret_cast<decltype(CheckDBVersionEx)>(dlsym(Handle, "CheckDBVersionEx"));
        SysAllocStringLen = reinterpret_cast<decltype(SysAllocStringLen)>(dlsym(Handle, "VantrelSysAllocStringLen"));
        VariantClear = reinterpret_cast<decltype(VariantClear)>(dlsym(Handle, "VantrelVariantClear"));
        return CheckDBVersionEx && SysAllocStringLen && VariantClear;
    }
    int32_t Check(const std::string &db, std::string *error = nullptr) {
        std::u16string name(db.begin(), db.end());
        VARIANT arg{}, text{};
        arg.vt = VT_BSTR;
        arg.u.bstrVal = SysAllocStringLen(name.data(), static_cast<uint32_t>(name.size()));
        int32_t version = -1;
        if (CheckDBVersionEx(arg, &version, &text) != 0 && error) {
            error->clear();
            for (uint32_t i = 0; text.u.bstrVal && text.u.bstrVal[i]; ++i)
                error->push_back(static_cast<char>(text.u.bstrVal[i]));
        }
        VariantClear(&text);
        VariantClear(&arg);
        return version;
    }
};

void Isql(const std::string &sql) {
    const std::string file = "/tmp/vantrel-bench-memory.sql";
    std::ofstream(file) << sql;
    if (std::system(("isql-fb -q -i " + file + " >/dev/null").c_str()) != 0) {
        std::fprintf(stderr, "isql-fb failed on:\n%s\n", sql.c_str());
        std::exit(1);
    }
    std::remove(file.c_str());
}

std::string MakeDatabase(const std::string &name, const std::string &columns) {
    const std::string path = "/tmp/vantrel-bench-memory-" + name + ".fdb";
    std::remove(path.c_str());
    Isql("SET SQL DIALECT 1;\nCREATE DATABASE '" + path +
         "' DEFAULT CHARACTER SET WIN1251;\n"
         "CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER" + columns + ");\n"
         "INSERT INTO VER (ID, VERSION) VALUES (1, 7);\nCOMMIT;\n");
    return path;
}

// Runs body in a child process; returns the child's peak RSS in KiB.
template <class F>
long InChild(F body) {
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) std::_Exit(body());
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "child failed (status %d)\n", status);
        std::exit(1);
    }
    return usage.ru_maxrss;
}

void Wide() {
    const std::string narrow = MakeDatabase("narrow", "");
    const std::string wide = MakeDatabase("wide", ", A VARCHAR(32000), B VARCHAR(32000)");
    for (const std::string &db : {narrow, wide}) {
        const long peak = InChild([&] {
            TExports lib;
            if (!lib.Load()) return 1;
            std::string error;
            const int32_t version = lib.Check(db, &error);
            if (version != 7) std::fprintf(stderr, "version %d: %s\n", version, error.c_str());
            return version == 7 ? 0 : 1;
        });
        std::printf("wide: CheckDBVersion on %-6s VER: peak RSS %6.1f MB\n", db == wide ? "wide" : "narrow",
                    peak / 1024.0);
    }
    std::remove(narrow.c_str());
    std::remove(wide.c_str());
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

void Reload(bool onThread) {
    const std::string db = MakeDatabase("reload", ", SERIAL VARCHAR(100)");
    std::printf("reload: calls on %s\n", onThread ? "a thread that ends before the unload" : "the main thread");
    InChild([&] {
        int stayed = 0;
        for (int cycle = 1; cycle <= 100; ++cycle) {
            TExports lib;
            if (!lib.Load()) return 1;
            int32_t version = 0;
            if (onThread) std::thread([&] { version = lib.Check(db); }).join();
            else version = lib.Check(db);
            if (version != 7) return 1;
            dlclose(lib.Handle);
            if (dlopen(gLibrary.c_str(), RTLD_NOW | RTLD_NOLOAD) != nullptr) {
                ++stayed;
                dlclose(lib.Handle);  // the probe's own reference
            }
            if (cycle == 1 || cycle == 10 || cycle == 25 || cycle == 50 || cycle == 100)
                std::printf("reload: after %3d cycles: RSS %6.1f MB, heap in use %7.1f KB\n", cycle,
                            ResidentKiB() / 1024.0, mallinfo2().uordblks / 1024.0);
        }
        std::printf("reload: the library stayed loaded after %d of 100 unloads\n", stayed);
        std::fflush(stdout);
        return 0;
    });
    std::remove(db.c_str());
}

// The calls of one repeat run, in a process started for it (glibc reads the
// setting of its per-thread cache only at process start).
int RepeatCalls(const std::string &db) {
    // A buffer of its own, so that the first line printed allocates nothing.
    static char buffer[BUFSIZ];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    TExports lib;
    if (!lib.Load()) return 1;
    size_t first = 0, half = 0, used = 0;
    long next = 1;
    for (long call = 1; call <= gCalls; ++call) {
        if (lib.Check(db) != 7) return 1;
        used = mallinfo2().uordblks;
        if (call == 1) first = used;
        if (call == gCalls / 2) half = used;
        if (call == next || call == gCalls / 2 || call == gCalls) {
            std::printf("repeat: after %6ld calls: heap in use %7.1f KB (%+7ld bytes since call 1), RSS %6.1f MB\n",
                        call, used / 1024.0, static_cast<long>(used - first), ResidentKiB() / 1024.0);
            std::fflush(stdout);
            if (call == next) next *= 10;
        }
    }
    std::printf("repeat: growth over calls %ld..%ld: %+ld bytes\n", gCalls / 2 + 1, gCalls, static_cast<long>(used - half));
    return 0;
}

void Repeat(const char *self) {
    const std::string db = MakeDatabase("repeat", ", SERIAL VARCHAR(100)");
    for (const bool cacheOff : {false, true}) {
        std::printf("repeat: glibc's per-thread cache %s\n", cacheOff ? "off" : "on");
        InChild([&] {
            if (cacheOff) setenv("GLIBC_TUNABLES", "glibc.malloc.tcache_count=0", 1);
            const std::string calls = std::to_string(gCalls);
            execl(self, self, "--library", gLibrary.c_str(), "--calls", calls.c_str(), "--repeat-calls", db.c_str(),
                  static_cast<char *>(nullptr));
            return 1;
        });
    }
    std::remove(db.c_str());
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<std::string> scenarios;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--library") == 0 && i + 1 < argc) gLibrary = argv[++i];
        else if (std::strcmp(argv[i], "--calls") == 0 && i + 1 < argc) gCalls = std::max(2L, std::atol(argv[++i]));
        else if (std::strcmp(argv[i], "--repeat-calls") == 0 && i + 1 < argc) return RepeatCalls(argv[++i]);
        else scenarios.emplace_back(argv[i]);
    }
    if (scenarios.empty()) scenarios = {"wide", "reload"};
    std::printf("library: %s\n", gLibrary.c_str());
    for (const std::string &s : scenarios) {
        if (s == "wide") Wide();
        else if (s == "repeat") Repeat("/proc/self/exe");
        else if (s == "reload") {
            Reload(false);
            Reload(true);
        }
        else {
            std::fprintf(stderr, "unknown scenario %s\n", s.c_str());
            return 2;
        }
    }
    return 0;
}
