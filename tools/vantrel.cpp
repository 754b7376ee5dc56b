// vantrel: the command-line host. It checks scripts, and updates, versions
// and creates databases, through the library's update session and nothing
// else of it; migrate (Migrate.cpp) works a folder of numbered scripts with
// the update and check code of this file, and status, validate, baseline,
// mark-applied and retry (History.cpp) read and add to the migration
// history. The login comes from the connection options, ISC_USER/ISC_PASSWORD
// and the module's defaults, gathered in one place (ConnectionSettings) into
// the session's settings. Exit status: 0 success, 1 failure, 2 wrong usage,
// 3 scripts pending (status --exit-code), 130 update or migrate stopped by
// SIGINT or SIGTERM.
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "History.h"
#include "Json.h"
#include "Migrate.h"
#include "entry/UpdateSession.h"
#include "vantrel/vantrel.h"

using namespace vantrel;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = kMigrateInterrupted;

// --- commands and their usage -------------------------------------------

struct Option {
    const char *Name;
    bool TakesValue;
};

struct Command {
    const char *Name;
    const char *Synopsis;  // after "vantrel "
    int Arguments;         // positional arguments
    std::vector<Option> Options;
    const char *Help;      // what follows the synopsis in COMMAND --help
};

const std::vector<Command> &Commands() {
    static const std::vector<Command> commands = {
        {"check", "check [--json] SCRIPT", 1, {{"--json", false}},
         "Parses SCRIPT without connecting to a database and lists each statement\n"
         "with its line and kind. Stops at the first problem an update would fail\n"
         "on, with the same text and line: a statement it cannot parse or an isql\n"
         "command a run cannot carry out, a string or comment the file ends in, a\n"
         "statement SET TERM left without its terminator, a parameter marker.\n"
         "\n"
         "  --json    print one JSON object instead: script, ok, count, problem\n"
         "            (null when ok), statements (each with line, file, kind, text)\n"
         "\n"
         "exit status: 0 the script parses, 1 it does not or cannot be read, 2 wrong usage\n"},
        {"update", "update [--quiet] [--echo] [--stats] [--lock-timeout S] DATABASE SCRIPT", 2,
         {{"--quiet", false}, {"--echo", false}, {"--stats", false}, {"--lock-timeout", true}},
         "Applies the update script SCRIPT to DATABASE in one transaction, through\n"
         "the library's UpdateDB: committed when the script runs without a database\n"
         "error, rolled back otherwise (DDL is committed statement by statement).\n"
         "Prints \"updated\" on success and the error text on failure.\n"
         "\n"
         "While it runs on a terminal, standard error shows one live line: how far\n"
         "the script has come, its current line, the statements done and the time.\n"
         "\n"
         "  --quiet   no progress line and no \"updated\" line\n"
         "  --echo    print each statement before it runs, after a line\n"
         "            \"-- FILE:LINE\" (on standard output)\n"
         "  --stats   at the end, print the run's statistics: elapsed time, page\n"
         "            reads, writes and fetches, and the operations per table\n"
         "  --lock-timeout S\n"
         "            wait at most S seconds (0 to 32767; 0: not at all) for a lock\n"
         "            that another connection holds, then fail and roll back\n"
         "            (default: VANTREL_LOCK_TIMEOUT, else 60)\n"
         "\n"
         "SIGINT or SIGTERM stops the update: it is rolled back, and the DDL that\n"
         "stays committed is listed.\n"
         "\n"
         "exit status: 0 updated, 1 the update failed, 2 wrong usage, 130 interrupted\n"},
        {"version", "version [--lock-timeout S] DATABASE", 1, {{"--lock-timeout", true}},
         "Prints the schema version stored in table VER of DATABASE, through the\n"
         "library's CheckDBVersion (0 when there is no table VER), on databases of\n"
         "either dialect. While another connection drops or recreates VER without\n"
         "committing, the check waits for it at most the lock timeout (--lock-timeout\n"
         "as for update).\n"
         "\n"
         "exit status: 0 printed, 1 the check failed, 2 wrong usage\n"},
        {"create", "create DATABASE [--dialect 1|3] [--charset NAME] [--page-size N]", 1,
         {{"--dialect", true}, {"--charset", true}, {"--page-size", true}},
         "Creates an empty database (dialect 3 and no default character set unless\n"
         "given), logging in as the connection options below say. When a step after\n"
         "the server made the file fails (an unknown character set), the new database\n"
         "is dropped again, so that a retry finds nothing in its way.\n"
         "\n"
         "  --dialect 1|3   the SQL dialect (default 3)\n"
         "  --charset NAME  the default character set of the new database, also the\n"
         "                  connection's while it is created (default: none)\n"
         "  --page-size N   the page size in bytes, a whole number from 1024 to 32768\n"
         "                  (the server takes the nearest page size it supports;\n"
         "                  default: the server's)\n"
         "\n"
         "exit status: 0 created, 1 the creation failed, 2 wrong usage\n"},
        {"migrate", "migrate [--dry-run] [--to N] [--json] [--quiet] [--echo] [--stats] [--lock-timeout S] DATABASE FOLDER", 2,
         {{"--dry-run", false},
          {"--to", true},
          {"--json", false},
          {"--quiet", false},
          {"--echo", false},
          {"--stats", false},
          {"--lock-timeout", true}},
         "Brings DATABASE to the newest version of the scripts in FOLDER. A file is\n"
         "a script when its name starts with a version number, after an optional V,\n"
         "and ends in .sql in any case (0007-add-orders.sql, 7.SQL and V7__orders.sql\n"
         "are all version 7). A numbered file of another extension (notes.txt, an\n"
         "editor's 0003-proc.sql~) is reported and ignored; files without a number\n"
         "(INPUT helpers) are passed over; two scripts of one version are an error.\n"
         "\n"
         "Reads the version from table VER (0 without it, on either dialect), checks\n"
         "that every newer script parses, then applies them in increasing order, each\n"
         "as 'vantrel update' does, in a transaction of its own. After each script VER\n"
         "must hold that script's version. The run stops at the first failure and says\n"
         "which versions it applied before.\n"
         "\n"
         "Each script is noted in the history table VANTREL_HISTORY (made by the first\n"
         "run; a database with a version already starts it there): version, file,\n"
         "checksum, user, start, duration, outcome. The row of an applied script is\n"
         "committed with the script; a failed script's row is written after its\n"
         "rollback, and migrate then stops before that version until 'vantrel retry'\n"
         "or 'vantrel mark-applied' says what to do.\n"
         "\n"
         "One migrate runs at a time per database, from whatever machine: a run holds\n"
         "the migration lock (a reservation of table VANTREL_MIGRATION_LOCK, which the\n"
         "first run creates) until it ends, and reads the version under it. Another\n"
         "run waits for it at most the lock timeout, then applies what is left.\n"
         "\n"
         "  --dry-run  parse the scripts and list what would run; change nothing\n"
         "             (with --echo: print every statement that would run)\n"
         "  --to N     apply no script beyond version N\n"
         "  --json     print one JSON object at the end instead of the listing:\n"
         "             database, folder, dry_run, version_before, version_after,\n"
         "             result (ok, failed, interrupted), scripts (version, script,\n"
         "             checksum, outcome, duration_ms, statements), problems, error\n"
         "  --quiet, --echo, --stats, --lock-timeout  as for update (statistics\n"
         "             follow each script)\n"
         "\n"
         "exit status: 0 up to date (or the dry run parsed), 1 a failure, 2 wrong usage,\n"
         "130 interrupted (SIGINT or SIGTERM)\n"},
        {"status", "status [--json] [--exit-code] [--lock-timeout S] DATABASE FOLDER", 2,
         {{"--json", false}, {"--exit-code", false}, {"--lock-timeout", true}},
         "Prints the version of DATABASE (from table VER, on either dialect), the\n"
         "scripts of FOLDER that 'vantrel migrate' would apply, the scripts applied\n"
         "according to the history (file, start in UTC, user, duration), and what is\n"
         "wrong: an applied script edited since it ran or missing from the folder, a\n"
         "script at or below the version that never ran, a failed script, a gap in the\n"
         "versions, a numbered file that is not a .sql script. It only reads: it never\n"
         "creates the history.\n"
         "\n"
         "  --json       print one JSON object: database, folder, version, history,\n"
         "               applied (version, script, checksum, installed_by, started_at,\n"
         "               duration_ms, outcome, checksum_now, state), pending (version,\n"
         "               script, checksum, failed_before), problems (kind, version,\n"
         "               script, message, fails_validation), valid\n"
         "  --exit-code  exit with status 3 when scripts are pending\n"
         "\n"
         "exit status: 0 printed, 1 a failure, 2 wrong usage, 3 scripts pending\n"
         "(with --exit-code)\n"},
        {"validate", "validate [--json] [--lock-timeout S] DATABASE FOLDER", 2,
         {{"--json", false}, {"--lock-timeout", true}},
         "Checks FOLDER against the history of DATABASE, for a pipeline to run before\n"
         "it ships: fails when an applied script was edited (its checksum differs) or\n"
         "is missing, when a script at or below the database's version never ran\n"
         "(migrate would never apply it), when a script's last run failed, or when\n"
         "versions are missing between the scripts. Numbered files that are not .sql\n"
         "scripts are noted and do not fail it. It only reads.\n"
         "\n"
         "  --json    print the JSON object of 'status --json'\n"
         "\n"
         "exit status: 0 valid, 1 invalid (or a failure), 2 wrong usage\n"},
        {"baseline", "baseline [--lock-timeout S] DATABASE N", 2, {{"--lock-timeout", true}},
         "Starts the history of a database that was brought up to date without it:\n"
         "sets VER to version N (creating VER when it is missing) and records the\n"
         "baseline, so that migrate takes scripts up to N as applied. Refused when\n"
         "the database has a history already or is at a version above N.\n"
         "\n"
         "exit status: 0 done, 1 refused or failed, 2 wrong usage\n"},
        {"mark-applied", "mark-applied [--lock-timeout S] DATABASE FOLDER N", 3, {{"--lock-timeout", true}},
         "After the script of version N failed and its work was completed by hand:\n"
         "sets VER to N and records the script as applied (with its checksum), so\n"
         "that migrate goes on after it.\n"
         "\n"
         "exit status: 0 done, 1 refused or failed, 2 wrong usage\n"},
        {"retry", "retry [--lock-timeout S] DATABASE FOLDER N", 3, {{"--lock-timeout", true}},
         "After the script of version N failed and what it left was put right (or\n"
         "the script mended): records that the next migrate may run it again.\n"
         "\n"
         "exit status: 0 done, 1 refused or failed, 2 wrong usage\n"},
    };
    return commands;
}

const Command *FindCommand(const std::string &name) {
    for (const Command &c : Commands())
        if (name == c.Name) return &c;
    return nullptr;
}

std::string ShortUsage() {
    std::string text;
    const char *prefix = "usage: ";
    for (const Command &c : Commands()) {
        text += std::string(prefix) + "vantrel " + c.Synopsis + "\n";
        prefix = "       ";
    }
    text += std::string(prefix) + "vantrel --help | --version\n";
    return text;
}

std::string ConnectionHelp();

std::string FullHelp() {
    std::string text = ShortUsage();
    text +=
        "\n"
        "Keeps the schema of a Firebird/InterBase database current with update scripts.\n"
        "\n"
        "  check     parse a script only; list each statement with its line and kind\n"
        "  update    apply an update script to a database in one transaction\n"
        "  version   print the schema version stored in table VER\n"
        "  create    create an empty database\n"
        "  migrate   apply the newer numbered scripts of a folder, in order\n"
        "  status    print the version, the pending and the applied scripts\n"
        "  validate  fail when applied scripts were edited or scripts were skipped\n"
        "  baseline  start the history of a database at a version\n"
        "  mark-applied, retry\n"
        "            the two ways past a failed script of migrate\n"
        "\n"
        "DATABASE is a file path (embedded engine) or host:/path (server).\n"
        "'vantrel COMMAND --help' describes a command; --version prints the versions\n"
        "of vantrel and of the loaded Firebird client library.\n"
        "\n"
        "Waits for locks that other connections hold end after the lock timeout:\n"
        "--lock-timeout S, else VANTREL_LOCK_TIMEOUT, else 60 seconds.\n"
        "\n"
        "Options may stand before or after the command, as --name VALUE or\n"
        "--name=VALUE.\n"
        "\n"
        + ConnectionHelp() +
        "\n"
        "exit status: 0 success, 1 failure, 2 wrong usage, 3 scripts pending\n"
        "(status --exit-code), 130 interrupted\n";
    return text;
}

// Wrong usage: the message, then the usage text of the command (or all).
struct UsageError : std::runtime_error {
    UsageError(const std::string &message, const Command *command)
        : std::runtime_error(message), For(command) {}
    const Command *For;
};

struct ParsedArguments {
    std::vector<std::string> Positional;
    std::map<std::string, std::string> Options;  // flags map to ""
    bool Help = false;
    // What the library's sessions connect with (ConnectionSettings).
    TSessionSettings Settings;
    bool Has(const char *name) const { return Options.count(name) != 0; }
};

// --- connecting -------------------------------------------------------------

// The login options of every command that connects to a database. Each
// item comes from its option, else from the environment (ISC_USER,
// ISC_PASSWORD, as Firebird's own tools read them), else from the update
// module's configuration.
const std::vector<Option> &ConnectionOptions() {
    static const std::vector<Option> options = {
        {"--user", true}, {"--password", true}, {"--password-file", true}, {"--role", true}, {"--charset", true}};
    return options;
}

bool Connects(const Command &command) { return std::strcmp(command.Name, "check") != 0; }

std::string ConnectionHelp() {
    const TSessionSettings module;
    return "Connection options (every command but check):\n"
           "  --user NAME           log in as NAME (else ISC_USER, else " + StringToUtf8(module.UserName) + ")\n"
           "  --password PASSWORD   the password (else ISC_PASSWORD, else the update\n"
           "                        module's own); other users of the machine can see\n"
           "                        a command line: prefer --password-file or ISC_PASSWORD\n"
           "  --password-file FILE  the password is the first line of FILE\n"
           "  --role NAME           take the SQL role NAME (default: none)\n"
           "  --charset NAME        the connection character set (default " + StringToUtf8(module.CharacterSet) + ";\n"
           "                        for create: the new database's character set)\n"
           "vantrel never prints a password, not even in an error.\n";
}

// The password of --password-file: the file's first line, without its end.
std::string ReadPasswordFile(const std::string &path) {
    auto unreadable = [&path](int error) {
        return std::runtime_error("cannot read the password file " + path + " (" + std::strerror(error) +
                                  "): give --password-file a readable file that holds the password on its first line");
    };
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) throw unreadable(errno);
    if (S_ISDIR(info.st_mode)) throw unreadable(EISDIR);
    std::ifstream file(path, std::ios::binary);
    if (!file) throw unreadable(errno ? errno : EACCES);
    std::string password;
    std::getline(file, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    if (password.empty())
        throw std::runtime_error("the password file " + path +
                                 " has no password on its first line: write the password there");
    return password;
}

// The settings of the library's sessions: the module's own, with the login
// of the connection options and the lock timeout of --lock-timeout when
// given (else VANTREL_LOCK_TIMEOUT, else 60). The one place where the
// command line and the environment meet the library's settings.
TSessionSettings ConnectionSettings(const ParsedArguments &args, const Command &command) {
    TSessionSettings settings;
    if (args.Has("--lock-timeout")) settings.LockTimeout = ParseLockTimeout(args.Options.at("--lock-timeout"));
    if (!Connects(command)) return settings;
    auto fromEnvironment = [](const char *name) -> std::optional<std::string> {
        const char *value = std::getenv(name);
        if (value && *value) return std::string(value);
        return std::nullopt;
    };
    if (args.Has("--user")) settings.UserName = Utf8ToString(args.Options.at("--user"));
    else if (const auto user = fromEnvironment("ISC_USER")) settings.UserName = Utf8ToString(*user);
    if (args.Has("--password") && args.Has("--password-file"))
        throw UsageError("give either --password or --password-file, not both", &command);
    if (args.Has("--password")) settings.Password = Utf8ToString(args.Options.at("--password"));
    else if (args.Has("--password-file")) settings.Password = Utf8ToString(ReadPasswordFile(args.Options.at("--password-file")));
    else if (const auto password = fromEnvironment("ISC_PASSWORD")) settings.Password = Utf8ToString(*password);
    if (args.Has("--role")) settings.Role = Utf8ToString(args.Options.at("--role"));
    // create's --charset is the new database's (TNewDatabase).
    if (args.Has("--charset") && std::strcmp(command.Name, "create") != 0)
        settings.CharacterSet = Utf8ToString(args.Options.at("--charset"));
    return settings;
}

const TSessionSettings &SessionSettings(const ParsedArguments &args) { return args.Settings; }

// --- the command line ---------------------------------------------------------

// The option a command takes by that name: its own, then the connection
// options when it connects.
const Option *FindOption(const Command &command, const std::string &name) {
    for (const Option &o : command.Options)
        if (name == o.Name) return &o;
    if (Connects(command))
        for (const Option &o : ConnectionOptions())
            if (name == o.Name) return &o;
    return nullptr;
}

// "--name=value" as the name and the value; other arguments as they are.
std::pair<std::string, std::optional<std::string>> SplitOption(const std::string &argument) {
    const size_t eq = argument.find('=');
    if (argument.rfind("--", 0) != 0 || eq == std::string::npos) return {argument, std::nullopt};
    return {argument.substr(0, eq), argument.substr(eq + 1)};
}

// Options may stand anywhere after the command, as "--name value" or
// "--name=value"; "--" ends them. Messages name an option, never its value
// (which may be a password).
ParsedArguments ParseArguments(const Command &command, const std::vector<std::string> &args) {
    ParsedArguments parsed;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-') {
            parsed.Positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        const auto [name, inlineValue] = SplitOption(a);
        if (name == "--help" || name == "-h") {
            if (inlineValue) throw UsageError(name + " takes no value", &command);
            parsed.Help = true;
            continue;
        }
        const Option *option = FindOption(command, name);
        if (!option)
            throw UsageError("unknown option " + name + " (see 'vantrel " + command.Name +
                                 " --help' for the options of " + command.Name + ")",
                             &command);
        if (option->TakesValue) {
            if (inlineValue) {
                parsed.Options[name] = *inlineValue;
            } else {
                if (i + 1 >= args.size()) throw UsageError(name + " needs a value: " + name + " VALUE", &command);
                parsed.Options[name] = args[++i];
            }
        } else {
            if (inlineValue) throw UsageError(name + " takes no value: write " + name + " alone", &command);
            parsed.Options[name] = "";
        }
    }
    if (!parsed.Help && static_cast<int>(parsed.Positional.size()) != command.Arguments)
        throw UsageError(parsed.Positional.size() < static_cast<size_t>(command.Arguments)
                             ? "missing argument: give " + std::to_string(command.Arguments) + " (see the usage below)"
                             : "too many arguments: " + std::string(command.Name) + " takes " + std::to_string(command.Arguments) +
                                   " (options go before or after them, as --name VALUE)",
                         &command);
    return parsed;
}

// Options before the command ("vantrel --lock-timeout 5 update ...") move
// behind it, where the command's parsing takes them: the command and its
// arguments, options first. Fails with a usage error when no command
// follows, or an option before it is one no command takes.
std::pair<const Command *, std::vector<std::string>> CommandAndArguments(const std::vector<std::string> &args) {
    std::vector<std::string> leading;
    size_t at = 0;
    while (at < args.size() && args[at].size() > 1 && args[at][0] == '-') {
        const auto [name, inlineValue] = SplitOption(args[at]);
        const Option *option = nullptr;
        for (const Command &c : Commands())
            if ((option = FindOption(c, name))) break;
        if (!option) throw UsageError("unknown option " + name + " (options are described by 'vantrel --help')", nullptr);
        leading.push_back(args[at++]);
        if (option->TakesValue && !inlineValue && at < args.size()) leading.push_back(args[at++]);
    }
    if (at >= args.size()) throw UsageError("no command given after the options: write the command, then its arguments",
                                            nullptr);
    const Command *command = FindCommand(args[at]);
    if (!command) throw UsageError("unknown command " + args[at] + " (the commands are listed below)", nullptr);
    leading.insert(leading.end(), args.begin() + static_cast<std::ptrdiff_t>(at) + 1, args.end());
    return {command, leading};
}

// --- SIGINT and SIGTERM ----------------------------------------------------

// While update or migrate works on a database, SIGINT and SIGTERM stop the
// work: the client library closes the process's connections (the server
// rolls their transactions back) and the run ends with status 130. Firebird's
// client catches the two signals itself and does this shutdown, but only
// when its shutdown thread runs, which its own start-up does not always
// achieve; the signal is caught here too and the same shutdown asked for, so
// that it never gets lost. A second signal ends the process at once.
volatile sig_atomic_t gStopSignal = 0;
int gStopPipe[2] = {-1, -1};

void OnStopSignal(int signal) {
    if (gStopSignal != 0) _exit(kExitInterrupted);
    gStopSignal = signal;
    const char stop = 1;
    [[maybe_unused]] const ssize_t written = write(gStopPipe[1], &stop, 1);
}

class StopSignals {
public:
    StopSignals() {
        if (pipe2(gStopPipe, O_CLOEXEC) != 0) return;
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, &FOldInterrupt);
        sigaction(SIGTERM, &action, &FOldTerminate);
        // The shutdown is a client call: it is made here, not in the handler.
        FWatcher = std::thread([] {
            char byte = 0;
            for (;;) {
                const ssize_t n = read(gStopPipe[0], &byte, 1);
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0 || byte == 0) return;
                ShutDownClientConnections();
            }
        });
    }
    ~StopSignals() {
        if (!FWatcher.joinable()) return;
        const char end = 0;
        [[maybe_unused]] const ssize_t written = write(gStopPipe[1], &end, 1);
        FWatcher.join();
        sigaction(SIGINT, &FOldInterrupt, nullptr);
        sigaction(SIGTERM, &FOldTerminate, nullptr);
    }
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    static bool Received() { return gStopSignal != 0; }

private:
    struct sigaction FOldInterrupt {};
    struct sigaction FOldTerminate {};
    std::thread FWatcher;
};

// --- output helpers -------------------------------------------------------

void PrintError(const String &text) {
    std::string s = StringToUtf8(text);
    std::fprintf(stderr, "vantrel: %s\n", s.c_str());
}

void PrintProblem(const std::string &text) { std::fprintf(stderr, "vantrel: %s\n", text.c_str()); }

std::string CurrentFolder() {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::current_path(error);
    return error ? std::string(".") : folder.string();
}

// After a connection could not be made: what to do about it.
void PrintConnectHint(TConnectFailure failure) {
    switch (failure) {
    case TConnectFailure::None: return;
    case TConnectFailure::DatabaseMissing:
        PrintProblem("check the database's path (for host:/path, the path on the server), or create the database "
                     "with 'vantrel create DATABASE'");
        return;
    case TConnectFailure::LoginRefused:
        PrintProblem("check the user name and password: --user with --password or --password-file, else ISC_USER "
                     "and ISC_PASSWORD, else the built-in SYSDBA login are used");
        return;
    case TConnectFailure::ServerUnreachable:
        PrintProblem("check that a Firebird server runs on that host and answers on its port (3050 unless the "
                     "name says host/port:path), and that no firewall stands between");
        return;
    }
}

// Message boxes of the library go to standard error.
void MessageToStderr(const char16_t *text, void *) {
    std::string s = StringToUtf8(text ? String(text) : String());
    std::fprintf(stderr, "%s\n", s.c_str());
}

// First line of a statement text, shortened for the listing.
std::string Preview(const String &text) {
    String line = Trim(text);
    auto br = line.find_first_of(u"\r\n");
    bool cut = br != String::npos;
    if (cut) line.resize(br);
    if (line.size() > 70) {
        line.resize(70);
        cut = true;
    }
    return StringToUtf8(line) + (cut ? " ..." : "");
}

// "m:ss.t"
std::string FormatElapsed(Clock::duration elapsed) {
    const long tenths = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() / 100);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld.%ld", tenths / 600, tenths / 10 % 60, tenths % 10);
    return text;
}

// --- the progress line ----------------------------------------------------

// One line on standard error, redrawn in place while an update runs: a bar
// and percentage by lines of the main script read, the current statement's
// line, the statements done and the elapsed time. A ticker keeps the time
// moving while one statement runs long. Other output of the run goes
// through Print, which lifts the line out of the way first.
class ProgressLine {
public:
    explicit ProgressLine(bool enabled) : FEnabled(enabled) {}
    ~ProgressLine() { Stop(); }
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

    void Start() {
        FStart = Clock::now();
        if (!FEnabled) return;
        FTicker = std::thread([this] {
            std::unique_lock<std::mutex> lock(FLock);
            while (!FStopping) {
                FWake.wait_for(lock, std::chrono::milliseconds(200));
                if (!FStopping && FShown) Draw();
            }
        });
    }

    // The run has ended: the ticker stops and the line goes away.
    void Stop() {
        {
            std::lock_guard<std::mutex> lock(FLock);
            FStopping = true;
            if (FShown) Erase();
        }
        FWake.notify_all();
        if (FTicker.joinable()) FTicker.join();
    }

    void StatementStarting(const TIBScriptProgress &progress) {
        if (!FEnabled) return;
        std::lock_guard<std::mutex> lock(FLock);
        FProgress = progress;
        // Redraws for quick statements are limited to what an eye can
        // follow; the first one shows at once.
        const auto now = Clock::now();
        if (!FShown || now - FLastDraw >= std::chrono::milliseconds(50)) Draw();
    }

    void StatementDone() {
        std::lock_guard<std::mutex> lock(FLock);
        ++FDone;
    }

    template <class Output>
    void Print(Output output) {
        std::lock_guard<std::mutex> lock(FLock);
        const bool shown = FShown;
        if (shown) Erase();
        output();
        if (shown && !FStopping) Draw();
    }

    Clock::duration Elapsed() const { return Clock::now() - FStart; }

private:
    // With FLock held.
    void Draw() {
        std::string line;
        const int width = TerminalWidth();
        if (FProgress.LineCount > 0 && width >= 60) {
            const double fraction = std::min(1.0, static_cast<double>(FProgress.LinesRead) / FProgress.LineCount);
            const int filled = static_cast<int>(fraction * 20);
            line = "[" + std::string(static_cast<size_t>(filled), '#') +
                   std::string(static_cast<size_t>(20 - filled), '.') + "] ";
            char percent[8];
            std::snprintf(percent, sizeof percent, "%3d%%  ", static_cast<int>(fraction * 100));
            line += percent;
        }
        // A statement of an included file is shown at its place there.
        line += FProgress.Included ? StringToUtf8(FProgress.FileName) + ":" + std::to_string(FProgress.Line)
                                   : "line " + std::to_string(FProgress.Line) + "/" + std::to_string(FProgress.LineCount);
        line += "  " +
                std::to_string(FDone) + (FDone == 1 ? " statement" : " statements") + " done  " +
                FormatElapsed(Elapsed());
        if (static_cast<int>(line.size()) > width - 1) line.resize(static_cast<size_t>(std::max(width - 1, 0)));
        std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
        std::fflush(stderr);
        FShown = true;
        FLastDraw = Clock::now();
    }

    void Erase() {
        std::fputs("\r\x1b[K", stderr);
        std::fflush(stderr);
        FShown = false;
    }

    static int TerminalWidth() {
        winsize size{};
        if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
        return 80;
    }

    const bool FEnabled;
    std::mutex FLock;
    std::condition_variable FWake;
    std::thread FTicker;
    bool FStopping = false;
    bool FShown = false;
    Clock::time_point FStart = Clock::now();
    Clock::time_point FLastDraw;
    TIBScriptProgress FProgress;
    int FDone = 0;
};

// The line shows only where a person watches: standard error is a terminal
// that understands cursor movement.
bool WantsProgress(bool quiet) {
    if (quiet || !isatty(STDERR_FILENO)) return false;
    const char *term = std::getenv("TERM");
    return !(term && std::strcmp(term, "dumb") == 0);
}

// A statement as the script would say it, so that echoed output reads (and
// runs) as a script: SET directives get their keyword back, the rest their
// terminator.
std::string EchoText(TIBParseKind kind, const String &text, const String &terminator) {
    // The parser joins a statement's lines with CR LF.
    String lines = Trim(text);
    for (size_t at = lines.find(u"\r\n"); at != String::npos; at = lines.find(u"\r\n", at)) lines.erase(at, 1);
    const std::string statement = StringToUtf8(lines), end = StringToUtf8(terminator);
    switch (kind) {
    case stmtSET:
    case stmtSetTransaction: return "SET " + statement + end;
    case stmtTERM: return "SET TERM " + statement + " " + end;
    default: return statement + end;
    }
}

// --- run statistics -------------------------------------------------------

struct TableRow {
    std::string Name;
    TTableStatistics Counts;
};

bool IsSystemTable(const std::string &name) {
    return name.rfind("RDB$", 0) == 0 || name.rfind("MON$", 0) == 0 || name.rfind("SEC$", 0) == 0;
}

// The script's tables by name, then what DDL did to the catalogue summed
// up in one row at the end.
std::vector<TableRow> TableRows(const TRunStatistics &statistics) {
    std::vector<TableRow> rows;
    TableRow catalogue;
    int catalogueTables = 0;
    for (const TTableStatistics &counts : statistics.Tables) {
        const std::string name = StringToUtf8(counts.Name);
        if (name.empty()) {
            rows.push_back({"(table " + std::to_string(counts.TableId) + ")", counts});
        } else if (!IsSystemTable(name)) {
            rows.push_back({name, counts});
        } else {
            ++catalogueTables;
            catalogue.Counts.SeqReads += counts.SeqReads;
            catalogue.Counts.ReadIdx += counts.ReadIdx;
            catalogue.Counts.Inserts += counts.Inserts;
            catalogue.Counts.Updates += counts.Updates;
            catalogue.Counts.Deletes += counts.Deletes;
        }
    }
    std::sort(rows.begin(), rows.end(), [](const TableRow &a, const TableRow &b) { return a.Name < b.Name; });
    if (catalogueTables > 0) {
        catalogue.Name = "(" + std::to_string(catalogueTables) + " system tables)";
        rows.push_back(catalogue);
    }
    return rows;
}

void PrintStatistics(const TRunStatistics &s) {
    const double seconds = std::chrono::duration<double>(s.Elapsed).count();
    std::printf("\nstatistics\n");
    std::printf("  elapsed time   %.3f s\n", seconds);
    std::printf("  statements     %d\n", s.Statements);
    if (!s.Problem.empty()) {
        std::printf("  (no server counters: %s)\n", StringToUtf8(s.Problem).c_str());
        return;
    }
    std::printf("  page reads     %lld\n", static_cast<long long>(s.Reads));
    std::printf("  page writes    %lld\n", static_cast<long long>(s.Writes));
    std::printf("  page fetches   %lld\n", static_cast<long long>(s.Fetches));
    std::printf("  natural reads  %lld\n", static_cast<long long>(s.SeqReads));
    std::printf("  index reads    %lld\n", static_cast<long long>(s.ReadIdx));
    std::printf("  memory change  %+lld bytes\n", static_cast<long long>(s.DeltaMem));
    const std::vector<TableRow> rows = TableRows(s);
    if (rows.empty()) return;
    size_t width = 5;
    for (const TableRow &row : rows) width = std::max(width, row.Name.size());
    const int w = static_cast<int>(width);
    std::printf("\n  %-*s %9s %9s %9s %9s %9s\n", w, "table", "natural", "index", "insert", "update", "delete");
    for (const TableRow &row : rows) {
        const TTableStatistics &c = row.Counts;
        std::printf("  %-*s %9lld %9lld %9lld %9lld %9lld\n", w, row.Name.c_str(),
                    static_cast<long long>(c.SeqReads), static_cast<long long>(c.ReadIdx),
                    static_cast<long long>(c.Inserts), static_cast<long long>(c.Updates),
                    static_cast<long long>(c.Deletes));
    }
}

// --- commands ------------------------------------------------------------

// Parses a script without connecting, handing every statement (with its
// line) to `each` when given; the first problem goes to standard error and
// ends the parse. The number of statements, or -1 when the script does not
// parse.
int ParseScript(const std::string &path,
                const std::function<void(const TScriptLocation &, TIBParseKind, const String &)> &each) {
    const TScriptCheck check = CheckScript(Utf8ToString(path), each);
    if (!check.Failed) return check.Statements;
    PrintError(check.Problem);
    return -1;
}

int Check(const ParsedArguments &args) {
    if (args.Has("--json")) {
        JsonWriter json;
        json.BeginObject().Member("script", args.Positional[0]).Key("statements").BeginArray();
        const TScriptCheck check = CheckScript(
            Utf8ToString(args.Positional[0]), [&json](const TScriptLocation &where, TIBParseKind kind, const String &text) {
                json.BeginObject()
                    .Member("line", where.Line)
                    .Member("file", StringToUtf8(where.FileName))
                    .Member("kind", ParseKindName(kind))
                    .Member("text", StringToUtf8(Trim(text)))
                    .EndObject();
            });
        json.EndArray().Member("count", check.Statements).Member("ok", !check.Failed);
        if (check.Failed) json.Member("problem", StringToUtf8(check.Problem));
        else json.Key("problem").Null();
        json.EndObject().Print();
        return check.Failed ? kExitFailure : 0;
    }
    const int count = ParseScript(args.Positional[0], [](const TScriptLocation &where, TIBParseKind kind,
                                                         const String &text) {
        const std::string file = where.Included ? "  (in " + StringToUtf8(where.FileName) + ")" : std::string();
        std::printf("%6d  %-22s %s%s\n", where.Line, ParseKindName(kind), Preview(text).c_str(), file.c_str());
    });
    if (count < 0) return kExitFailure;
    std::printf("%d statement(s)\n", count);
    return 0;
}

// Parses a script as ParseScript does and prints every statement as
// update --echo would before running it: what a dry run would send.
int EchoScript(const std::string &path) {
    String terminator = u";";
    return ParseScript(path, [&](const TScriptLocation &where, TIBParseKind kind, const String &text) {
        // The parser hands over SET TERM with the new terminator as its text.
        const std::string line = EchoText(kind, text, terminator);
        if (kind == stmtTERM) terminator = Trim(text);
        const std::string file = where.Included ? StringToUtf8(where.FileName) : path;
        std::printf("-- %s:%d\n%s\n", file.c_str(), where.Line, line.c_str());
    });
}

// Applies one script through the library's UpdateDB entry, showing the
// progress line, echoing and gathering statistics as the options ask, and
// reports the outcome: the error text on failure (after an interruption,
// what stays committed), else successLine (when given); then the
// statistics.
TApplyResult ApplyScript(const std::string &database, const std::string &script, const ParsedArguments &args,
                         const char *successLine, const std::optional<THistoryRow> &record = std::nullopt,
                         bool *recorded = nullptr) {
    const bool quiet = args.Has("--quiet") || args.Has("--json"), echo = args.Has("--echo");

    ProgressLine progress(WantsProgress(quiet));
    TUpdateHooks hooks;
    hooks.Statistics = args.Has("--stats");
    hooks.StatementStarting = [&](TIBParseKind kind, const String &text, const String &terminator,
                                  const TIBScriptProgress &where) {
        // A signal between statements (or before the client library was
        // loaded, when there was nothing to shut down yet) stops the run
        // before the next one.
        if (StopSignals::Received()) throw std::runtime_error(StringToUtf8(kInterruptedMessage));
        if (echo) {
            const std::string line = EchoText(kind, text, terminator);
            progress.Print([&] {
                const std::string file = where.Included ? StringToUtf8(where.FileName) : script;
                std::printf("-- %s:%d\n%s\n", file.c_str(), where.Line, line.c_str());
                std::fflush(stdout);
            });
        }
        progress.StatementStarting(where);
    };
    hooks.StatementDone = [&] { progress.StatementDone(); };
    hooks.BeforeRun = [&] { progress.Start(); };
    hooks.AfterRun = [&] { progress.Stop(); };
    hooks.Record = record;

    const TUpdateOutcome outcome =
        UpdateDatabaseEx(Utf8ToString(database), Utf8ToString(script), hooks, SessionSettings(args));
    progress.Stop();

    const bool interrupted = outcome.Failed && (outcome.Interrupted || StopSignals::Received());
    if (interrupted) {
        PrintError(outcome.Interrupted ? outcome.ErrorText : InterruptedUpdateText(outcome.Committed));
    } else if (outcome.Failed && outcome.ErrorText == Format(kScriptFileMissingMessage, {Utf8ToString(script)})) {
        // The module's own text is for the hosts of UpdateDB; here it is said
        // in the words of the command line.
        PrintProblem("the script " + script + " does not exist or is not a file: check the path" +
                     (script.empty() || script[0] == '/' ? std::string()
                                                         : " (taken from the current folder, " + CurrentFolder() + ")"));
    } else if (outcome.Failed) {
        PrintError(outcome.ErrorText);
        PrintConnectHint(outcome.ConnectFailure);
        // A server's text does not say which statement it was about.
        if (outcome.Location.Line > 0 && !outcome.LocationInText)
            PrintError(u"failed statement" + LocationText(outcome.Location, true));
    } else if (successLine) {
        std::printf("%s\n", successLine);
    }
    // The update is committed; what failed after it changes nothing.
    if (!outcome.Failed && !outcome.CleanupProblem.empty())
        PrintError(u"note: the update was committed; closing the connection afterwards failed: " +
                   outcome.CleanupProblem);
    if (recorded) *recorded = outcome.Recorded;
    if (outcome.Statistics) PrintStatistics(*outcome.Statistics);
    if (interrupted) return TApplyResult::Interrupted;
    if (!outcome.Failed) return TApplyResult::Applied;
    return outcome.Committed.empty() ? TApplyResult::RolledBack : TApplyResult::Failed;
}

int Update(const ParsedArguments &args) {
    StopSignals signals;
    switch (ApplyScript(args.Positional[0], args.Positional[1], args, args.Has("--quiet") ? nullptr : "updated")) {
    case TApplyResult::Applied: return 0;
    case TApplyResult::Failed:
    case TApplyResult::RolledBack: return kExitFailure;
    case TApplyResult::Interrupted: return kExitInterrupted;
    }
    return kExitFailure;
}

// A version number given as an argument or option value.
int32_t VersionArgument(const std::string &text, const char *what, const Command &command) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos ||
        std::stoll(text) > std::numeric_limits<int32_t>::max())
        throw UsageError(std::string(what) + " must be a version number (1 to 2147483647), not \"" + text + "\"",
                         &command);
    return static_cast<int32_t>(std::stoll(text));
}

int MigrateCommand(const ParsedArguments &args, const Command &command) {
    MigrateOptions options;
    options.Settings = SessionSettings(args);
    options.Database = args.Positional[0];
    options.Folder = args.Positional[1];
    options.DryRun = args.Has("--dry-run");
    options.Quiet = args.Has("--quiet");
    options.Echo = args.Has("--echo");
    options.Json = args.Has("--json");
    if (options.Json && (args.Has("--echo") || args.Has("--stats")))
        throw UsageError("--json leaves standard output to the report: it does not go with --echo or --stats",
                         &command);
    if (args.Has("--to")) {
        const std::string &v = args.Options.at("--to");
        if (v.empty() || v.size() > 10 || v.find_first_not_of("0123456789") != std::string::npos)
            throw UsageError("--to must be a version number, such as --to 5", &command);
        options.To = std::stoll(v);
    }
    StopSignals signals;
    MigrationHost host;
    host.Update = [&](const std::string &script, const std::optional<THistoryRow> &record, bool &recorded) {
        return ApplyScript(options.Database, script, args, nullptr, record, &recorded);
    };
    host.Check = [](const std::string &script, bool echo) {
        return echo ? EchoScript(script) : ParseScript(script, nullptr);
    };
    host.Interrupted = [] { return StopSignals::Received(); };
    return vantrel::Migrate(options, host);
}

StatusOptions StatusOptionsOf(const ParsedArguments &args) {
    StatusOptions options;
    options.Settings = SessionSettings(args);
    options.Database = args.Positional[0];
    options.Folder = args.Positional[1];
    options.Json = args.Has("--json");
    options.ExitCodeForPending = args.Has("--exit-code");
    return options;
}

// The version as CheckDBVersion reads it (its road, with the options'
// lock timeout).
// The road shows its first connection failure in a message box and tries
// once more; when the second attempt fails too, that is mostly the same
// error, and it is printed once.
int Version(const ParsedArguments &args) {
    std::vector<std::string> shown;
    VantrelSetMessageBoxHandler(
        [](const char16_t *text, void *context) {
            static_cast<std::vector<std::string> *>(context)->push_back(StringToUtf8(text ? String(text) : String()));
        },
        &shown);
    struct RestoreHandler {
        ~RestoreHandler() { VantrelSetMessageBoxHandler(MessageToStderr, nullptr); }
    } restore;
    const std::string &database = args.Positional[0];
    int32_t version = 0;
    try {
        TUpdateSession session(SessionSettings(args));
        version = session.CheckVersion(Utf8ToString(database));
    } catch (const std::exception &e) {
        const std::string error = e.what();
        if (!shown.empty() && shown.front() != error)
            std::fprintf(stderr, "vantrel: %s\n", shown.front().c_str());
        std::fprintf(stderr, "vantrel: %s\n", error.c_str());
        PrintConnectHint(ConnectFailureOf(std::current_exception()));
        return kExitFailure;
    }
    for (const std::string &text : shown)
        std::fprintf(stderr, "vantrel: the first connection attempt failed (the second one succeeded): %s\n",
                     text.c_str());
    std::printf("%d\n", version);
    return 0;
}

int Create(const ParsedArguments &args, const Command &command) {
    TNewDatabase options;
    if (args.Has("--dialect")) {
        const std::string &v = args.Options.at("--dialect");
        if (v != "1" && v != "3") throw UsageError("--dialect must be 1 or 3", &command);
        options.Dialect = v[0] - '0';
    }
    if (args.Has("--page-size")) {
        // Bytes; the server rounds a number in this range to a page size it
        // supports, and would take anything else for its default.
        const std::string &v = args.Options.at("--page-size");
        if (v.empty() || v.size() > 5 || v.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(v) < 1024 || std::stoi(v) > 32768)
            throw UsageError("--page-size must be a whole number of bytes from 1024 to 32768, such as 8192", &command);
        options.PageSize = Utf8ToString(v);
    }
    if (args.Has("--charset")) options.CharacterSet = Utf8ToString(args.Options.at("--charset"));
    try {
        TUpdateSession(SessionSettings(args)).CreateDatabase(Utf8ToString(args.Positional[0]), options);
    } catch (const std::exception &e) {
        const std::string error = e.what();
        PrintProblem(error);
        if (error.find("File exists") != std::string::npos)
            PrintProblem("a file " + args.Positional[0] +
                         " is there already, and it is left as it is: give another name, or remove the file first");
        return kExitFailure;
    }
    std::printf("created %s (dialect %d)\n", args.Positional[0].c_str(), options.Dialect);
    return 0;
}

// The file the loader found for a library loaded by bare name.
std::string LoadedPath(const std::string &name) {
    void *handle = dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (!handle) return std::string();
    link_map *map = nullptr;
    std::string path;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name) path = map->l_name;
    dlclose(handle);
    return path;
}

// vantrel's own version, then the client library's: its file, where the
// loader found it, and what it says of itself. A client library that
// cannot be loaded is a failure.
int PrintVersions() {
    std::printf("vantrel %s\n", VANTREL_VERSION);
    const TClientLibraryInfo client = ClientLibraryInfo();
    const std::string name = StringToUtf8(client.FileName);
    const std::string &version = client.VersionText;
    const int64_t number = client.Version;
    const std::string path = LoadedPath(name);
    std::printf("client library %s%s: %s%sclient version %lld.%lld\n", name.c_str(),
                path.empty() || path == name ? "" : (" (" + path + ")").c_str(), version.c_str(),
                version.empty() ? "" : ", ", static_cast<long long>(number / 10000),
                static_cast<long long>(number % 10000 / 1000));
    return 0;
}

// A command's usage and help, then the connection options when it connects.
void PrintCommandHelp(const Command &command) {
    std::printf("usage: vantrel %s\n\n%s", command.Synopsis, command.Help);
    if (Connects(command)) std::printf("\n%s", ConnectionHelp().c_str());
}

int Run(const std::vector<std::string> &args) {
    if (args.empty()) throw UsageError("no command given: write a command (listed below), then its arguments", nullptr);
    const std::string &first = args[0];
    if (first == "--help" || first == "-h" || first == "help") {
        if (args.size() == 1) {
            std::fputs(FullHelp().c_str(), stdout);
            return 0;
        }
        const Command *command = FindCommand(args[1]);
        if (!command || args.size() > 2) throw UsageError("help takes one command name: vantrel help COMMAND", nullptr);
        PrintCommandHelp(*command);
        return 0;
    }
    if (first == "--version") {
        if (args.size() > 1) throw UsageError("--version takes no arguments: write vantrel --version alone", nullptr);
        return PrintVersions();
    }
    const auto [command, commandArguments] = CommandAndArguments(args);
    ParsedArguments parsed = ParseArguments(*command, commandArguments);
    if (parsed.Help) {
        PrintCommandHelp(*command);
        return 0;
    }
    if (parsed.Has("--lock-timeout") && !ParseLockTimeout(parsed.Options.at("--lock-timeout")))
        throw UsageError("--lock-timeout must be a whole number of seconds from 0 to 32767", command);
    parsed.Settings = ConnectionSettings(parsed, *command);
    const std::string name = command->Name;
    if (name == "check") return Check(parsed);
    if (name == "update") return Update(parsed);
    if (name == "version") return Version(parsed);
    if (name == "migrate") return MigrateCommand(parsed, *command);
    if (name == "status") return vantrel::Status(StatusOptionsOf(parsed));
    if (name == "validate") return vantrel::Validate(StatusOptionsOf(parsed));
    if (name == "baseline")
        return vantrel::Baseline(SessionSettings(parsed), parsed.Positional[0],
                                 VersionArgument(parsed.Positional[1], "N", *command));
    if (name == "mark-applied")
        return vantrel::MarkApplied(SessionSettings(parsed), parsed.Positional[0], parsed.Positional[1],
                                    VersionArgument(parsed.Positional[2], "N", *command));
    if (name == "retry")
        return vantrel::Retry(SessionSettings(parsed), parsed.Positional[0], parsed.Positional[1],
                              VersionArgument(parsed.Positional[2], "N", *command));
    return Create(parsed, *command);
}

}  // namespace

int main(int argc, char **argv) {
    VantrelSetMessageBoxHandler(MessageToStderr, nullptr);
    try {
        const int code = Run(std::vector<std::string>(argv + 1, argv + argc));
        if (code == kExitInterrupted) {
            // The client's shutdown thread may still be on its way out of
            // the client's code; the clean-up at exit would free what it
            // uses. The database work is over (the server rolled it back),
            // so the process ends here, its output written.
            std::fflush(nullptr);
            _exit(code);
        }
        return code;
    } catch (const UsageError &e) {
        std::fprintf(stderr, "vantrel: %s\n", e.what());
        if (e.For) std::fprintf(stderr, "usage: vantrel %s\n", e.For->Synopsis);
        else std::fputs(ShortUsage().c_str(), stderr);
        const std::string command = e.For ? std::string(e.For->Name) + " " : std::string();
        std::fprintf(stderr, "Try 'vantrel %s--help' for more.\n", command.c_str());
        return kExitUsage;
    } catch (const std::exception &e) {
        // The library's failures carry their text as UTF-8 here too.
        std::fprintf(stderr, "vantrel: %s\n", e.what());
        PrintConnectHint(ConnectFailureOf(std::current_exception()));
        return kExitFailure;
    }
}
