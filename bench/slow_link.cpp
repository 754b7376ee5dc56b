// Update scripts over a slow link: the Firebird server on localhost reached
// through a TCP proxy of our own that delays every chunk by half the chosen
// round-trip time in each direction and counts round trips (each time the
// server answers after the client spoke). The same script runs through the
// update road of UpdateDB and through `isql-fb -i`, on twin databases of the
// server, alternating which goes first; the proxy counts both alike.
//
// Scenarios: (a) single-row INSERTs, (b) CREATE TABLE under AUTODDL,
// (c) procedures and triggers. The databases write asynchronously, so that
// the server's disk does not hide the link.
//
// Usage: vantrel_bench_slow_link [--rtt MS] [--repeat N] [--scenario a|b|c]
//            [--inserts N] [--tables N] [--procedures-kb N] [--keep DIR]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "entry/UpdateSession.h"

namespace {

using namespace vantrel;
using Clock = std::chrono::steady_clock;

// The update module's login, for isql-fb and gfix.
const std::string kUser = StringToUtf8(TSessionSettings().UserName);
const std::string kPassword = StringToUtf8(TSessionSettings().Password);
constexpr int kServerPort = 3050;

// --- the delaying proxy ------------------------------------------------------

struct LinkCounters {
    std::atomic<long> RoundTrips{0};
    std::atomic<long> ClientBytes{0};
    std::atomic<long> ServerBytes{0};
};

class DelayingProxy {
public:
    explicit DelayingProxy(double rttMs) : FOneWay(std::chrono::microseconds(static_cast<long>(rttMs * 500))) {
        FListener = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(FListener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        if (bind(FListener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || listen(FListener, 16) != 0) {
            std::perror("proxy listen");
            std::exit(2);
        }
        socklen_t length = sizeof address;
        getsockname(FListener, reinterpret_cast<sockaddr *>(&address), &length);
        FPort = ntohs(address.sin_port);
        std::thread([this] { AcceptLoop(); }).detach();
    }

    int Port() const { return FPort; }
    LinkCounters &Counters() { return FCounters; }
    void Reset() {
        FCounters.RoundTrips = 0;
        FCounters.ClientBytes = 0;
        FCounters.ServerBytes = 0;
    }

private:
    struct Chunk {
        Clock::time_point Due;
        std::string Bytes;
    };
    // One direction of one connection: a reader stamps every chunk on
    // arrival, a writer hands it on once it is due.
    struct Direction {
        std::mutex Lock;
        std::condition_variable Ready;
        std::deque<Chunk> Queue;
        bool Closed = false;
    };
    struct Connection {
        int Client = -1, Server = -1;
        Direction ToServer, ToClient;
        std::mutex TurnLock;
        int LastSpeaker = 0;  // 1 client, 2 server
    };

    void AcceptLoop() {
        for (;;) {
            const int client = accept(FListener, nullptr, nullptr);
            if (client < 0) continue;
            const int server = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(kServerPort);
            if (connect(server, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
                close(client);
                close(server);
                continue;
            }
            int one = 1;
            setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            auto connection = std::make_shared<Connection>();
            connection->Client = client;
            connection->Server = server;
            std::thread([this, connection] { Read(*connection, true); }).detach();
            std::thread([this, connection] { Read(*connection, false); }).detach();
            std::thread([connection] { Write(connection->ToServer, connection->Server); }).detach();
            std::thread([connection] { Write(connection->ToClient, connection->Client); }).detach();
        }
    }

    void Read(Connection &c, bool fromClient) {
        const int from = fromClient ? c.Client : c.Server;
        Direction &direction = fromClient ? c.ToServer : c.ToClient;
        std::vector<char> buffer(1 << 16);
        for (;;) {
            const ssize_t n = recv(from, buffer.data(), buffer.size(), 0);
            if (n <= 0) break;
            {
                std::lock_guard<std::mutex> guard(c.TurnLock);
                if (!fromClient && c.LastSpeaker == 1) ++FCounters.RoundTrips;
                c.LastSpeaker = fromClient ? 1 : 2;
            }
            (fromClient ? FCounters.ClientBytes : FCounters.ServerBytes) += n;
            std::lock_guard<std::mutex> guard(direction.Lock);
            direction.Queue.push_back({Clock::now() + FOneWay, std::string(buffer.data(), static_cast<size_t>(n))});
            direction.Ready.notify_one();
        }
        std::lock_guard<std::mutex> guard(direction.Lock);
        direction.Closed = true;
        direction.Ready.notify_one();
    }

    static void Write(Direction &direction, int to) {
        for (;;) {
            Chunk chunk;
            {
                std::unique_lock<std::mutex> lock(direction.Lock);
                direction.Ready.wait(lock, [&] { return !direction.Queue.empty() || direction.Closed; });
                if (direction.Queue.empty()) break;
                chunk = std::move(direction.Queue.front());
                direction.Queue.pop_front();
            }
            std::this_thread::sleep_until(chunk.Due);
            size_t sent = 0;
            while (sent < chunk.Bytes.size()) {
                const ssize_t n = send(to, chunk.Bytes.data() + sent, chunk.Bytes.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) {
                    shutdown(to, SHUT_RDWR);
                    return;
                }
                sent += static_cast<size_t>(n);
            }
        }
        shutdown(to, SHUT_WR);
    }

    std::chrono::microseconds FOneWay;
    int FListener = -1;
    int FPort = 0;
    LinkCounters FCounters;
};

// --- scripts and databases ------------------------------------------------------

int Shell(const std::string &command) { return std::system(command.c_str()); }

std::string Quoted(const std::string &s) { return "'" + s + "'"; }

// Created through the server, so that the server's account owns the file.
void CreateDatabase(const std::string &path, const std::string &setup) {
    std::filesystem::remove(path);
    std::ofstream f(path + ".create.sql");
    f << "CREATE DATABASE 'localhost:" << path << "' USER '" << kUser << "' PASSWORD '" << kPassword
      << "' PAGE_SIZE 8192 DEFAULT CHARACTER SET WIN1251;\n"
      << setup << "COMMIT;\n";
    f.close();
    if (Shell("isql-fb -q -b -i " + Quoted(path + ".create.sql") + " > /dev/null") != 0) {
        std::cerr << "cannot create " << path << " through the server\n";
        std::exit(2);
    }
    // Asynchronous writes: the figures are about the link, not about how
    // long the server's disk takes to confirm each commit.
    if (Shell("gfix -write async -user " + kUser + " -password " + kPassword + " " + Quoted("localhost:" + path)) != 0) {
        std::cerr << "cannot switch " << path << " to asynchronous writes\n";
        std::exit(2);
    }
}

struct Scenario {
    std::string Key, Title;
    std::string Setup;
    std::function<std::string(int &statements)> Script;
};

std::string Inserts(int count, int &statements) {
    std::ostringstream s;
    for (int i = 1; i <= count; ++i)
        s << "INSERT INTO T (ID, NAME, AMOUNT) VALUES (" << i << ", 'row " << i << "', " << (i % 977) << ".25);\n";
    statements = count;
    return s.str();
}

std::string CreateTables(int count, int &statements) {
    std::ostringstream s;
    s << "SET AUTODDL ON;\n";
    for (int i = 1; i <= count; ++i)
        s << "CREATE TABLE T_" << i << " (\n  ID INTEGER NOT NULL PRIMARY KEY,\n  NAME VARCHAR(60),\n"
          << "  AMOUNT NUMERIC(15,2) DEFAULT 0 CHECK (AMOUNT >= 0)\n);\n";
    statements = count;
    return s.str();
}

std::string ProceduresAndTriggers(long bytes, int &statements) {
    std::ostringstream s;
    s << "SET TERM ^ ;\n";
    int i = 0;
    while (s.tellp() < bytes) {
        ++i;
        if (i % 5 == 0) {
            s << "CREATE TRIGGER TR_" << i << " FOR T ACTIVE BEFORE UPDATE POSITION " << (i % 30000) << " AS\n"
              << "DECLARE VARIABLE X INTEGER;\nBEGIN\n";
            for (int k = 0; k < 12; ++k)
                s << "  IF (NEW.AMOUNT < " << k << ") THEN NEW.NAME = 'step " << k << "; value: ' || NEW.ID;\n";
            s << "  X = 0;\nEND^\n\n";
        } else {
            s << "CREATE PROCEDURE P_" << i << " (A INTEGER, B VARCHAR(40)) RETURNS (R INTEGER, S VARCHAR(80)) AS\n"
              << "DECLARE VARIABLE I INTEGER;\nBEGIN\n  I = 0;\n  R = 0;\n"
              << "  WHILE (I < A) DO\n  BEGIN\n    R = R + I * " << i << ";\n    I = I + 1;\n  END\n";
            for (int k = 0; k < 10; ++k) s << "  IF (R > " << k * 100 << ") THEN S = B || '" << k << "';\n";
            s << "  SUSPEND;\nEND^\n\n";
        }
    }
    s << "SET TERM ; ^\n";
    statements = i;
    return s.str();
}

struct Run {
    double Seconds = 0;
    long RoundTrips = 0;
    bool Failed = false;
};

Run ThroughUpdateDB(DelayingProxy &proxy, const std::string &database, const std::string &script) {
    const String name = Utf8ToString("127.0.0.1/" + std::to_string(proxy.Port()) + ":" + database);
    const String file = Utf8ToString(script);
    proxy.Reset();
    const auto start = Clock::now();
    const TUpdateOutcome outcome = UpdateDatabaseEx(name, file);
    Run run;
    run.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.RoundTrips = proxy.Counters().RoundTrips;
    run.Failed = outcome.Failed;
    if (outcome.Failed) std::cerr << "UpdateDB failed: " << StringToUtf8(outcome.ErrorText) << "\n";
    return run;
}

Run ThroughIsql(DelayingProxy &proxy, const std::string &database, const std::string &script) {
    const std::string name = "127.0.0.1/" + std::to_string(proxy.Port()) + ":" + database;
    proxy.Reset();
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execlp("isql-fb", "isql-fb", "-q", "-b", "-ch", "WIN1251", "-user", kUser.c_str(), "-password", kPassword.c_str(),
               name.c_str(), "-i", script.c_str(), "-o", "/dev/null", static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    Run run;
    run.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
    // The last answers may still be on their way through the proxy.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    run.RoundTrips = proxy.Counters().RoundTrips;
    run.Failed = !WIFEXITED(status) || WEXITSTATUS(status) != 0;
    if (run.Failed) std::cerr << "isql-fb failed\n";
    return run;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char **argv) {
    double rtt = 2.0;
    int repeat = 3, inserts = 4000, tables = 500;
    long procedureBytes = 256 * 1024;
    std::string only, keep;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool value = i + 1 < argc;
        if (arg == "--rtt" && value) rtt = std::atof(argv[++i]);
        else if (arg == "--repeat" && value) repeat = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--scenario" && value) only = argv[++i];
        else if (arg == "--inserts" && value) inserts = std::atoi(argv[++i]);
        else if (arg == "--tables" && value) tables = std::atoi(argv[++i]);
        else if (arg == "--procedures-kb" && value) procedureBytes = std::atol(argv[++i]) * 1024;
        else if (arg == "--keep" && value) keep = argv[++i];
        else {
            std::fprintf(stderr,
                         "usage: %s [--rtt MS] [--repeat N] [--scenario a|b|c] [--inserts N] [--tables N] "
                         "[--procedures-kb N] [--keep DIR]\n",
                         argv[0]);
            return 2;
        }
    }
    std::string dir = keep;
    if (dir.empty()) {
        char pattern[] = "/tmp/vantrel-slow-link-XXXXXX";
        if (!mkdtemp(pattern)) return 2;
        dir = pattern;
    }
    std::filesystem::create_directories(dir);
    // The server's account writes the databases here.
    chmod(dir.c_str(), 0777);

    DelayingProxy proxy(rtt);
    const std::string table = "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(200), "
                              "AMOUNT NUMERIC(15,2));\n";
    std::vector<Scenario> scenarios = {
        {"a", std::to_string(inserts) + " single-row INSERTs", table,
         [&](int &n) { return Inserts(inserts, n); }},
        {"b", std::to_string(tables) + " CREATE TABLE (AUTODDL)", "", [&](int &n) { return CreateTables(tables, n); }},
        {"c", std::to_string(procedureBytes / 1024) + " KB of procedures and triggers", table,
         [&](int &n) { return ProceduresAndTriggers(procedureBytes, n); }},
    };

    std::printf("round-trip time %.2f ms (proxy), median of %d paired runs\n", rtt, repeat);
    std::printf("%-36s %8s %12s %12s %10s %10s %8s\n", "scenario", "stmts", "vantrel rt/s", "isql rt/s",
                "vantrel s", "isql s", "speed-up");
    int failures = 0;
    for (const Scenario &sc : scenarios) {
        if (!only.empty() && only != sc.Key) continue;
        int statements = 0;
        const std::string script = dir + "/" + sc.Key + ".sql";
        {
            std::ofstream f(script, std::ios::binary);
            f << sc.Script(statements);
        }
        std::vector<double> ours, theirs, oursTrips, theirTrips;
        for (int r = 0; r < repeat; ++r) {
            const std::string a = dir + "/" + sc.Key + "-vantrel.fdb";
            const std::string b = dir + "/" + sc.Key + "-isql.fdb";
            CreateDatabase(a, sc.Setup);
            CreateDatabase(b, sc.Setup);
            Run mo, mi;
            if (r % 2 == 0) {
                mo = ThroughUpdateDB(proxy, a, script);
                mi = ThroughIsql(proxy, b, script);
            } else {
                mi = ThroughIsql(proxy, b, script);
                mo = ThroughUpdateDB(proxy, a, script);
            }
            failures += mo.Failed + mi.Failed;
            ours.push_back(mo.Seconds);
            theirs.push_back(mi.Seconds);
            oursTrips.push_back(static_cast<double>(mo.RoundTrips));
            theirTrips.push_back(static_cast<double>(mi.RoundTrips));
            if (std::getenv("VANTREL_BENCH_VERBOSE"))
                std::fprintf(stderr, "%s run %d: vantrel %.3f s, %ld round trips; isql %.3f s, %ld round trips\n",
                             sc.Key.c_str(), r, mo.Seconds, mo.RoundTrips, mi.Seconds, mi.RoundTrips);
        }
        const double n = std::max(1, statements);
        std::printf("%-36s %8d %12.3f %12.3f %10.3f %10.3f %8.1f\n", (sc.Key + ") " + sc.Title).c_str(), statements,
                    Median(oursTrips) / n, Median(theirTrips) / n, Median(ours), Median(theirs),
                    Median(theirs) / Median(ours));
        std::fflush(stdout);
    }
    if (keep.empty()) std::filesystem::remove_all(dir);
    return failures == 0 ? 0 : 1;
}
