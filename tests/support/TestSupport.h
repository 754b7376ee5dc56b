// Helpers shared by the test suites: temporary folders, scratch databases
// made with isql-fb, environment overrides and paths of build products.
#pragma once

#include <string>
#include <vector>

#include "platform/Text.h"

namespace vantrel::test {

// A fresh folder under /tmp, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &Path() const { return FPath; }
    std::string File(const std::string &name) const { return FPath + "/" + name; }

private:
    std::string FPath;
};

// Writes bytes to a file (creating or replacing it).
void WriteFile(const std::string &path, const std::string &bytes);
std::string ReadFile(const std::string &path);

// Result of a child process.
struct ProcessResult {
    int ExitCode = -1;
    std::string Output;  // standard output and standard error together
};
// Runs a shell command line and collects its output.
ProcessResult RunCommand(const std::string &commandLine, const std::string &standardInput = std::string());

// Runs SQL through isql-fb against a database (embedded when the name is a
// plain path). Statements end with ";". Returns isql's output; fails the
// current test when isql reports an error and failOnError is set.
std::string RunIsql(const std::string &database, const std::string &sql, bool failOnError = true);

// Creates an empty database file through isql-fb.
void CreateDatabase(const std::string &path, int dialect = 3, const std::string &charset = "WIN1251",
                    int pageSize = 0);

// The installation's Firebird version as isql-fb -z names it ("Firebird
// 4.0"), and its major number (3 on Debian 12, 4 in the Debian 13 tree):
// the client library, the embedded engine and isql come from one
// installation.
std::string InstalledFirebirdVersion();
int InstalledFirebirdMajor();

// The module's fixed login, for server tests.
inline constexpr const char *kUser = "SYSDBA";
inline constexpr const char *kPassword = "quillfern";

// True when a Firebird server answers on localhost (server tests skip
// otherwise, unless VANTREL_REQUIRE_SERVER is set, in which case they fail).
bool ServerAvailable();

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value);
    ~ScopedEnv();

private:
    std::string FName;
    bool FHad = false;
    std::string FOld;
};

// Paths of build products.
std::string SharedLibraryPath();           // libvantrel.so in the build tree
std::string CliPath();                     // the vantrel host
std::string FakeClientPath(const std::string &name);  // fakeclients/lib<name>.so
std::string TestDataPath(const std::string &name);     // tests/data/<name>

// UTF-16 from UTF-8 literal, for readable assertions.
inline String U(const std::string &utf8) { return Utf8ToString(utf8); }
inline std::string N(const String &text) { return StringToUtf8(text); }

}  // namespace vantrel::test

namespace vantrel::test {
// The C host linked against libvantrel.so (tests/hosts/entry_host.c).
inline std::string EntryHostPath() { return VANTREL_ENTRY_HOST_PATH; }
// The host of the fault sweeps (tests/hosts/sweep_host.cpp).
inline std::string SweepHostPath() { return VANTREL_SWEEP_HOST_PATH; }
}  // namespace vantrel::test

#include <sys/types.h>

namespace vantrel::test {
// The running Firebird server process (the one its guardian recorded, else
// any process named firebird); 0 when there is none.
pid_t FirebirdServerProcess();
// True once SQL through the server on that database succeeds, polling up to
// the given number of seconds (the guardian restarts a killed server).
bool WaitForServer(const std::string &remoteDatabase, int seconds);
// Fails the current test, or skips it, when no server answers on localhost:
// VANTREL_REQUIRE_SERVER=1 turns the skip into a failure.
bool RequireServer();
}  // namespace vantrel::test

namespace vantrel::test {
// Serialises the tests that use the local server (and may kill it) across
// test processes, which ctest runs in parallel: holds an exclusive flock on
// /tmp/vantrel-server-tests.lock for its lifetime. Take it before touching
// the server and keep it until the server is back.
class ServerTestLock {
public:
    ServerTestLock();
    ~ServerTestLock();
    ServerTestLock(const ServerTestLock &) = delete;
    ServerTestLock &operator=(const ServerTestLock &) = delete;

private:
    int FFd = -1;
};
}  // namespace vantrel::test

namespace vantrel::test {
// Environment assignments for a child process command line that give it the
// test executables' sanitizer settings (harmless without sanitizers).
std::string SanitizerEnvironment();
}  // namespace vantrel::test

namespace vantrel::test {
// A child process run from a shell command line (through exec, so that its
// process id is the command's), its standard output and error going to a
// file. Still running when destroyed, it is killed with SIGKILL.
class ChildProcess {
public:
    explicit ChildProcess(const std::string &commandLine);
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    pid_t Pid() const { return FPid; }
    bool Running();
    void Signal(int signal);
    // Waits at most the given seconds, then kills the child with SIGKILL:
    // its exit status, or 128 + the signal that ended it.
    int Wait(int seconds);
    std::string Output() const;

private:
    TempDir FDir;
    pid_t FPid = -1;
    int FStatus = -1;
};
}  // namespace vantrel::test
