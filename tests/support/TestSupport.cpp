// Helpers shared by the test suites.
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vantrel::test {

TempDir::TempDir() {
    char tmpl[] = "/tmp/vantrel-test-XXXXXX";
    char *p = mkdtemp(tmpl);
    if (!p) throw std::runtime_error("mkdtemp failed");
    FPath = p;
    // The server runs as the firebird user and must reach files here.
    std::filesystem::permissions(FPath, std::filesystem::perms::all);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
}

void WriteFile(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

ProcessResult RunCommand(const std::string &commandLine, const std::string &standardInput) {
    ProcessResult result;
    TempDir dir;
    std::string in = dir.File("stdin");
    std::string out = dir.File("stdout");
    WriteFile(in, standardInput);
    std::string cmd = "(" + commandLine + ") <" + in + " >" + out + " 2>&1";
    int status = std::system(cmd.c_str());
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.Output = ReadFile(out);
    return result;
}

static std::string ShellQuote(const std::string &s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

std::string RunIsql(const std::string &database, const std::string &sql, bool failOnError) {
    std::string script = "SET BAIL ON;\nCONNECT " + ShellQuote(database) + " USER 'SYSDBA' PASSWORD '" + kPassword +
                         "';\n" + sql + "\nCOMMIT;\n";
    ProcessResult r = RunCommand("isql-fb -q", script);
    if (failOnError && (r.ExitCode != 0 || r.Output.find("Statement failed") != std::string::npos ||
                        r.Output.find("SQLSTATE") != std::string::npos)) {
        ADD_FAILURE() << "isql-fb failed on " << database << ":\n" << r.Output;
    }
    return r.Output;
}

void CreateDatabase(const std::string &path, int dialect, const std::string &charset, int pageSize) {
    std::string sql = "SET SQL DIALECT " + std::to_string(dialect) + ";\nCREATE DATABASE " + ShellQuote(path) +
                      " USER 'SYSDBA' PASSWORD '" + kPassword + "'";
    if (pageSize > 0) sql += " PAGE_SIZE " + std::to_string(pageSize);
    if (!charset.empty()) sql += " DEFAULT CHARACTER SET " + charset;
    sql += ";\nCOMMIT;\n";
    ProcessResult r = RunCommand("isql-fb -q", sql);
    if (r.ExitCode != 0 || !std::filesystem::exists(path))
        ADD_FAILURE() << "could not create " << path << ":\n" << r.Output;
    std::error_code ec;
    std::filesystem::permissions(path, std::filesystem::perms::all, ec);
}

std::string InstalledFirebirdVersion() {
    static const std::string version = [] {
        const std::string out = RunCommand("isql-fb -z -q </dev/null").Output;
        const size_t at = out.find("Firebird ");
        if (at == std::string::npos) return std::string();
        return out.substr(at, out.find_first_of("\r\n", at) - at);
    }();
    return version;
}

int InstalledFirebirdMajor() {
    const std::string version = InstalledFirebirdVersion();
    return version.empty() ? 0 : std::atoi(version.c_str() + std::strlen("Firebird "));
}

bool ServerAvailable() {
    static const bool available = [] {
        ProcessResult r = RunCommand(
            std::string("echo 'SELECT 1 FROM RDB$DATABASE;' | isql-fb -q -user SYSDBA -password ") + kPassword +
            " localhost:employee 2>&1; echo 'quit;' | isql-fb -q -user SYSDBA -password " + kPassword +
            " -z 2>&1 | head -1");
        // Any answer that is not a network refusal means a server listens.
        return r.Output.find("Unable to complete network request") == std::string::npos &&
               r.Output.find("connection refused") == std::string::npos &&
               r.Output.find("Connection refused") == std::string::npos;
    }();
    return available;
}

ScopedEnv::ScopedEnv(const char *name, const char *value) : FName(name) {
    if (const char *old = std::getenv(name)) {
        FHad = true;
        FOld = old;
    }
    if (value) setenv(name, value, 1);
    else unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
    if (FHad) setenv(FName.c_str(), FOld.c_str(), 1);
    else unsetenv(FName.c_str());
}

std::string SharedLibraryPath() { return VANTREL_SHARED_LIBRARY_PATH; }
std::string CliPath() { return VANTREL_CLI_PATH; }
std::string FakeClientPath(const std::string &name) {
    return std::string(VANTREL_FAKE_CLIENT_DIR) + "/lib" + name + ".so";
}
std::string TestDataPath(const std::string &name) { return std::string(VANTREL_TEST_DATA_DIR) + "/" + name; }

}  // namespace vantrel::test

namespace vantrel::test {

namespace {
std::string ProcessName(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}
}  // namespace

pid_t FirebirdServerProcess() {
    std::ifstream in("/run/firebird3.0/fbguard.pid");
    long pid = 0;
    if (in >> pid && pid > 0 && ProcessName(static_cast<pid_t>(pid)) == "firebird") return static_cast<pid_t>(pid);
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t candidate = static_cast<pid_t>(std::stol(name));
        if (ProcessName(candidate) == "firebird") return candidate;
    }
    return 0;
}

bool WaitForServer(const std::string &remoteDatabase, int seconds) {
    for (int i = 0; i < seconds * 4; ++i) {
        ProcessResult r = RunCommand("echo 'SELECT 1 FROM RDB$DATABASE;' | isql-fb -q -user SYSDBA -password " +
                                     std::string(kPassword) + " " + ShellQuote(remoteDatabase));
        if (r.ExitCode == 0 && r.Output.find("SQLSTATE") == std::string::npos &&
            r.Output.find("Statement failed") == std::string::npos)
            return true;
        usleep(250000);
    }
    return false;
}

bool RequireServer() {
    if (ServerAvailable()) return true;
    const char *v = std::getenv("VANTREL_REQUIRE_SERVER");
    if (v && std::string(v) == "1") ADD_FAILURE() << "no Firebird server answers on localhost";
    return false;
}

}  // namespace vantrel::test

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

namespace vantrel::test {

ServerTestLock::ServerTestLock() {
    FFd = open("/tmp/vantrel-server-tests.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (FFd >= 0) {
        while (flock(FFd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
}

ServerTestLock::~ServerTestLock() {
    if (FFd >= 0) close(FFd);  // releases the lock
}

}  // namespace vantrel::test

// Sanitizer settings of every test executable. Leak detection is off by
// default: LeakSanitizer's tracer thread crashes (SIGSEGV while it scans
// thread-local storage) in processes that run Firebird's embedded engine,
// depending on the memory layout of the build, which made whole suites fail
// after every test had passed. Address and undefined-behaviour checks stay
// on. ASAN_OPTIONS=detect_leaks=1 turns leak checks back on for a run; the
// engine's own leaks are then suppressed (the list is
// tests/data/lsan-engine.supp, which child processes get through
// LSAN_OPTIONS), and full allocation stacks let the suppressions match the
// client calls.
extern "C" const char *__lsan_default_suppressions() {
    return "leak:isc_dsql_exec_immed2\nleak:isc_dsql_execute_immediate\nleak:isc_create_database\n"
           "leak:isc_attach_database\n";
}
extern "C" const char *__asan_default_options() { return "fast_unwind_on_malloc=0:detect_leaks=0"; }

namespace vantrel::test {
std::string SanitizerEnvironment() {
    return "ASAN_OPTIONS=fast_unwind_on_malloc=0:detect_leaks=0 LSAN_OPTIONS=suppressions=" +
           TestDataPath("lsan-engine.supp") + " ";
}
}  // namespace vantrel::test

#include <signal.h>

#include <chrono>
#include <thread>

namespace vantrel::test {

ChildProcess::ChildProcess(const std::string &commandLine) {
    // Through env, so that variable assignments may lead the command line.
    const std::string shell = "exec env " + commandLine + " >" + FDir.File("output") + " 2>&1 </dev/null";
    FPid = fork();
    if (FPid == 0) {
        execl("/bin/sh", "sh", "-c", shell.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
}

ChildProcess::~ChildProcess() {
    if (FPid > 0 && Running()) {
        kill(FPid, SIGKILL);
        Wait(10);
    }
}

bool ChildProcess::Running() {
    if (FPid <= 0 || FStatus >= 0) return false;
    int status = 0;
    if (waitpid(FPid, &status, WNOHANG) != FPid) return true;
    FStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
}

void ChildProcess::Signal(int signal) {
    if (Running()) kill(FPid, signal);
}

int ChildProcess::Wait(int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (Running()) {
        if (std::chrono::steady_clock::now() > deadline) {
            // The embedded engine catches SIGTERM; only SIGKILL is sure.
            kill(FPid, SIGKILL);
            int status = 0;
            waitpid(FPid, &status, 0);
            FStatus = 128 + SIGKILL;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return FStatus;
}

std::string ChildProcess::Output() const { return ReadFile(FDir.File("output")); }

}  // namespace vantrel::test
