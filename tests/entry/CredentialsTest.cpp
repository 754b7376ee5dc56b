// Logging in otherwise than the update module does: the host's connection
// parameters through UpdateDBWithParams and CheckDBVersionWithParams, and
// vantrel's login options and ISC_USER/ISC_PASSWORD. Through the shared
// server as a user of the test's own, and through a private server whose
// SYSDBA has another password than the module's.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include "entry/EntryLibrary.h"
#include "entry/SessionSettings.h"
#include "support/TestSupport.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

bool Has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

ProcessResult Vantrel(const std::string &args, const std::string &environment = std::string()) {
    return RunCommand(environment + " " + SanitizerEnvironment() + CliPath() + " " + args);
}

// isql-fb as a given login; its output.
std::string IsqlAs(const std::string &user, const std::string &password, const std::string &connect,
                   const std::string &sql) {
    return RunCommand("isql-fb -q", "SET BAIL ON;\n" + connect + " USER '" + user + "' PASSWORD '" + password +
                                        "';\n" + sql + "\nCOMMIT;\n")
        .Output;
}

bool IsqlFailed(const std::string &output) { return Has(output, "Statement failed") || Has(output, "SQLSTATE"); }

// What a host gets from the two exports with parameters.
struct ExportResult {
    int32_t Returned = -1;
    int32_t Version = -1;
    std::string Text;
};

class CredentialsTest : public EntryTest {
protected:
    ExportResult Update(const std::string &db, const std::string &script, const std::string &params) {
        ExportResult r;
        VARIANT error;
        std::memset(&error, 0xAB, sizeof error);
        r.Returned = L().UpdateDBWithParams(Text(db), Text(script), Text(params), &error);
        r.Text = N(ResultText(error));
        L().VariantClear(&error);
        return r;
    }
    ExportResult Check(const std::string &db, const std::string &params) {
        ExportResult r;
        VARIANT error;
        std::memset(&error, 0xAB, sizeof error);
        r.Returned = L().CheckDBVersionWithParams(Text(db), Text(params), &r.Version, &error);
        r.Text = N(ResultText(error));
        L().VariantClear(&error);
        return r;
    }
};

}  // namespace

// Lines replace the module's lines of the same name as the connection
// compares names; other lines are kept, one per name.
TEST(SessionSettingsTest, HostLinesReplaceTheModulesLinesOfTheSameName) {
    struct Case {
        std::u16string Lines;
        std::vector<std::u16string> Expected;
    };
    // The module's own password, as the test support spells it.
    const std::u16string modulePassword = u"password=" + std::u16string(kPassword, kPassword + std::strlen(kPassword));
    const Case cases[] = {
        {u"", {u"user_name=SYSDBA", modulePassword, u"lc_ctype=WIN1251"}},
        {u"user_name=alice\r\npassword=s=cret", {u"user_name=alice", u"password=s=cret", u"lc_ctype=WIN1251"}},
        {u"USER_NAME=bob\nisc_dpb_lc_ctype=UTF8\r\rSql_Role_Name=R1",
         {u"user_name=bob", modulePassword, u"lc_ctype=UTF8", u"sql_role_name=R1"}},
        {u"num_buffers=100\n  \nisc_dpb_num_buffers=200\nsql_role_name=",
         {u"user_name=SYSDBA", modulePassword, u"lc_ctype=WIN1251", u"isc_dpb_num_buffers=200"}},
        // Not the name the connection reads: kept as written, refused there.
        {u"user_name =x", {u"user_name=SYSDBA", modulePassword, u"lc_ctype=WIN1251", u"user_name =x"}},
    };
    for (const Case &c : cases) {
        TSessionSettings settings;
        settings.ApplyConnectionParams(c.Lines);
        EXPECT_EQ(settings.ConnectionParams(), c.Expected) << N(c.Lines);
    }
}

// --- a user of the test's own on the shared server ----------------------------

namespace {

class OwnUser : public CredentialsTest {
protected:
    void SetUp() override {
        CredentialsTest::SetUp();
        Lock.emplace();
        if (!RequireServer()) GTEST_SKIP() << "no Firebird server answers on localhost";
        User = "VANTREL_T" + std::to_string(getpid());
        Remote = "localhost:" + Dir.File("own.fdb");
        const std::string out = IsqlAs(
            kUser, kPassword, "CREATE DATABASE '" + Remote + "'",
            "CREATE USER " + User + " PASSWORD '" + Password + "';\n"
            "CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER);\n"
            "INSERT INTO VER VALUES (1, 7);\n"
            "CREATE TABLE T (WHO VARCHAR(63), ROLE_NAME VARCHAR(63));\n"
            "CREATE ROLE UPDATER;\n"
            "GRANT SELECT ON VER TO USER " + User + ";\n"
            "GRANT INSERT ON T TO ROLE UPDATER;\n"
            "GRANT UPDATER TO USER " + User + ";\n");
        ASSERT_FALSE(IsqlFailed(out)) << out;
        Created = true;
        WriteFile(Dir.File("who.sql"), "INSERT INTO T VALUES (CURRENT_USER, CURRENT_ROLE);\n");
    }
    void TearDown() override {
        if (Created) {
            const std::string out = IsqlAs(kUser, kPassword, "CONNECT '" + Remote + "'", "DROP USER " + User + ";");
            EXPECT_FALSE(IsqlFailed(out)) << out;
        }
        CredentialsTest::TearDown();
    }
    // Who inserted the rows of T, and in which role: "USER/ROLE" lines.
    std::string Rows() {
        const std::string out =
            IsqlAs(kUser, kPassword, "CONNECT '" + Remote + "'",
                   "SET HEADING OFF;\nSELECT '<' || WHO || '/' || ROLE_NAME || '>' FROM T;");
        std::string rows;
        for (size_t at = out.find('<'); at != std::string::npos; at = out.find('<', at + 1))
            rows += out.substr(at + 1, out.find('>', at) - at - 1) + "\n";
        return rows;
    }

    std::string User, Remote;
    const std::string Password = "Owl-pw 7";
    bool Created = false;
    std::optional<ServerTestLock> Lock;
};

}  // namespace

TEST_F(OwnUser, TheExportsLogInWithTheHostsParameters) {
    ASSERT_NE(L().UpdateDBWithParams, nullptr);
    ASSERT_NE(L().CheckDBVersionWithParams, nullptr);
    const std::string login = "user_name=" + User + "\r\nISC_DPB_PASSWORD=" + Password + "\r\n";

    const ExportResult version = Check(Remote, login);
    EXPECT_EQ(version.Returned, 0) << version.Text;
    EXPECT_EQ(version.Version, 7);

    const ExportResult inRole = Update(Remote, Dir.File("who.sql"), login + "sql_role_name=UPDATER\n");
    EXPECT_EQ(inRole.Returned, 0);
    EXPECT_EQ(inRole.Text, "");
    EXPECT_EQ(Rows(), User + "/UPDATER\n");

    // Without the role the user may not insert: the server's refusal.
    const ExportResult noRole = Update(Remote, Dir.File("who.sql"), login);
    EXPECT_EQ(noRole.Returned, 0);
    EXPECT_TRUE(Has(noRole.Text, "no permission")) << noRole.Text;
    EXPECT_EQ(Rows(), User + "/UPDATER\n");

    // A wrong password: the server's refusal, the password nowhere in it.
    for (const ExportResult &wrong : {Check(Remote, "user_name=" + User + "\npassword=Wrong-pw 9"),
                                      Update(Remote, Dir.File("who.sql"), "user_name=" + User + "\npassword=Wrong-pw 9")}) {
        EXPECT_TRUE(Has(wrong.Text, "user name and password are not defined")) << wrong.Text;
        EXPECT_FALSE(Has(wrong.Text, "Wrong-pw")) << wrong.Text;
    }
    EXPECT_EQ(Check(Remote, "user_name=" + User + "\npassword=Wrong-pw 9").Returned, 1);
}

TEST_F(OwnUser, VantrelLogsInWithItsOptionsThenTheEnvironment) {
    WriteFile(Dir.File("password"), Password + "\n");
    ProcessResult byFile =
        Vantrel("update --user " + User + " --password-file " + Dir.File("password") + " --role=UPDATER " + Remote +
                " " + Dir.File("who.sql"));
    EXPECT_EQ(byFile.ExitCode, 0) << byFile.Output;
    // The options before the command, the password from the environment.
    ProcessResult byEnvironment = Vantrel("--user " + User + " --role UPDATER update " + Remote + " " +
                                              Dir.File("who.sql"),
                                          "ISC_PASSWORD='" + Password + "'");
    EXPECT_EQ(byEnvironment.ExitCode, 0) << byEnvironment.Output;
    EXPECT_EQ(Rows(), User + "/UPDATER\n" + User + "/UPDATER\n");

    ProcessResult version = Vantrel("version " + Remote, "ISC_USER=" + User + " ISC_PASSWORD='" + Password + "'");
    EXPECT_EQ(version.ExitCode, 0) << version.Output;
    EXPECT_EQ(version.Output, "7\n");
    // An option wins over the environment.
    ProcessResult optionFirst = Vantrel("version --password='" + Password + "' " + Remote,
                                        "ISC_USER=" + User + " ISC_PASSWORD=Wrong-pw");
    EXPECT_EQ(optionFirst.Output, "7\n");

    for (const std::string &args : {"version --user " + User + " --password Wrong-pw9 " + Remote,
                                     "update --user " + User + " --password=Wrong-pw9 " + Remote + " " +
                                         Dir.File("who.sql")}) {
        ProcessResult wrong = Vantrel(args);
        EXPECT_EQ(wrong.ExitCode, 1) << args;
        EXPECT_TRUE(Has(wrong.Output, "user name and password are not defined")) << wrong.Output;
        EXPECT_FALSE(Has(wrong.Output, "Wrong-pw9")) << wrong.Output;
    }
}

// Wrong usage of the login options names the option, never the value.
TEST(CredentialOptions, UsageErrorsNeverShowThePassword) {
    TempDir dir;
    WriteFile(dir.File("empty"), "\n");
    struct Case {
        std::string Args;
        int ExitCode;
        std::string Shows;
    };
    const Case cases[] = {
        {"version --pasword=Secret-1 a.fdb", 2, "unknown option --pasword"},
        {"--pasword=Secret-1 version a.fdb", 2, "unknown option --pasword"},
        {"version --password Secret-1 --password-file " + dir.File("empty") + " a.fdb", 2,
         "either --password or --password-file"},
        {"version --password-file " + dir.File("none") + " a.fdb", 1, "cannot read the password file"},
        {"version --password-file " + dir.File("empty") + " a.fdb", 1, "has no password on its first line"},
        {"check --password Secret-1 a.sql", 2, "unknown option --password"},
        {"version --password=Secret-1", 2, "missing argument"},
    };
    for (const Case &c : cases) {
        ProcessResult r = Vantrel(c.Args);
        EXPECT_EQ(r.ExitCode, c.ExitCode) << c.Args << "\n" << r.Output;
        EXPECT_TRUE(Has(r.Output, c.Shows)) << c.Args << "\n" << r.Output;
        EXPECT_FALSE(Has(r.Output, "Secret-1")) << c.Args << "\n" << r.Output;
    }
}

// --- a private server whose SYSDBA has a password of its own -----------------

namespace {

// A Firebird server of the test's own: its own root (configuration and
// security database, the installation's binaries and plugins), lock folder
// and port, and a SYSDBA password other than the module's. Killed with
// SIGKILL at the end, and by the kernel when the test process dies first.
class PrivateServer {
public:
    static constexpr const char *kSysdbaPassword = "Other-sysdba 5";

    explicit PrivateServer(const TempDir &dir) : FRoot(dir.File("root")) {
        const int major = InstalledFirebirdMajor();
        const std::string installation = "/usr/lib/x86_64-linux-gnu/firebird/" + std::to_string(major) + ".0";
        std::string server;
        for (const std::string &candidate : {std::string("/usr/sbin/firebird"), installation + "/bin/firebird"})
            if (access(candidate.c_str(), X_OK) == 0) server = candidate;
        if (major == 0 || server.empty() || !std::filesystem::is_directory(installation)) {
            FProblem = "no Firebird server binary and installation folder found";
            return;
        }
        namespace fs = std::filesystem;
        fs::create_directories(FRoot + "/lock");
        for (const fs::directory_entry &entry : fs::directory_iterator(installation)) {
            const std::string name = entry.path().filename().string();
            // The character sets' module is loaded from the root's intl
            // folder only when it is a file there, not behind a link.
            if (name == "intl") fs::copy(entry.path(), FRoot + "/intl");
            else if (name != "firebird.conf" && name != "databases.conf")
                fs::create_symlink(entry.path(), FRoot + "/" + name);
        }
        FPort = FreePort();
        const std::string security = FRoot + "/security.fdb";
        WriteFile(FRoot + "/firebird.conf",
                  "RemoteServicePort = " + std::to_string(FPort) + "\nSecurityDatabase = " + security + "\n");
        WriteFile(FRoot + "/databases.conf", "security.db = " + security + "\n{\n  RemoteAccess = false\n}\n");
        const std::string environment = "FIREBIRD=" + FRoot + " FIREBIRD_LOCK=" + FRoot + "/lock ";
        ProcessResult made = RunCommand(environment + "isql-fb -q",
                                        "CREATE DATABASE '" + security + "' USER SYSDBA;\nCOMMIT;\n"
                                        "CREATE USER SYSDBA PASSWORD '" + std::string(kSysdbaPassword) +
                                            "' USING PLUGIN Srp;\nCOMMIT;\n");
        if (made.ExitCode != 0 || IsqlFailed(made.Output)) {
            // Debian's Firebird 4 reads its configuration from its own
            // folder whatever FIREBIRD says, so the embedded isql meets the
            // shared server's security database: no private server can be
            // set up this way there.
            FCannotBeSetUp = made.Output.find("incompatible with current") != std::string::npos;
            FProblem = "could not make the security database: " + made.Output;
            return;
        }
        FPid = fork();
        if (FPid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            setenv("FIREBIRD", FRoot.c_str(), 1);
            setenv("FIREBIRD_LOCK", (FRoot + "/lock").c_str(), 1);
            const std::string port = std::to_string(FPort);
            execl(server.c_str(), server.c_str(), "-p", port.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!Answers()) {
            if (std::chrono::steady_clock::now() > deadline || waitpid(FPid, nullptr, WNOHANG) == FPid) {
                FProblem = "the private server did not answer on port " + std::to_string(FPort);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    ~PrivateServer() {
        if (FPid <= 0) return;
        kill(FPid, SIGKILL);
        waitpid(FPid, nullptr, 0);
    }
    PrivateServer(const PrivateServer &) = delete;
    PrivateServer &operator=(const PrivateServer &) = delete;

    // Empty once the server runs.
    const std::string &Problem() const { return FProblem; }
    // This installation cannot run a private server beside the shared one.
    bool CannotBeSetUp() const { return FCannotBeSetUp; }
    // A database name through this server.
    std::string Name(const std::string &path) const { return "localhost/" + std::to_string(FPort) + ":" + path; }

private:
    static int FreePort() {
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        int port = 0;
        if (bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
            getsockname(s, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        close(s);
        return port;
    }
    bool Answers() const {
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(FPort));
        const bool answers = connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        close(s);
        return answers;
    }

    std::string FRoot;
    int FPort = 0;
    bool FCannotBeSetUp = false;
    pid_t FPid = -1;
    std::string FProblem;
};

}  // namespace

TEST_F(CredentialsTest, ANonDefaultSysdbaPasswordThroughTheExportsAndVantrel) {
    PrivateServer server(Dir);
    if (!server.Problem().empty()) {
        if (std::getenv("VANTREL_REQUIRE_SERVER") && !server.CannotBeSetUp()) FAIL() << server.Problem();
        GTEST_SKIP() << server.Problem();
    }
    const std::string password = PrivateServer::kSysdbaPassword;
    const std::string db = server.Name(Dir.File("private.fdb"));
    WriteFile(Dir.File("password"), password + "\r\n");

    // vantrel creates it, the password from a file.
    ProcessResult created = Vantrel("create " + db + " --password-file " + Dir.File("password"));
    ASSERT_EQ(created.ExitCode, 0) << created.Output;
    WriteFile(Dir.File("v1.sql"), "CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER);\n"
                                  "INSERT INTO VER VALUES (1, 1);\n");
    WriteFile(Dir.File("v2.sql"), "UPDATE VER SET VERSION = 2;\n");
    WriteFile(Dir.File("v3.sql"), "UPDATE VER SET VERSION = 3;\n");

    // The module's own password is refused, and said to be.
    int32_t version = -1;
    VARIANT error;
    EXPECT_EQ(L().CheckDBVersionEx(Text(db), &version, &error), 1);
    EXPECT_TRUE(Has(N(ResultText(error)), "user name and password are not defined")) << N(ResultText(error));
    L().VariantClear(&error);

    const ExportResult updated = Update(db, Dir.File("v1.sql"), "password=" + password);
    EXPECT_EQ(updated.Returned, 0);
    EXPECT_EQ(updated.Text, "");
    ExportResult checked = Check(db, "password=" + password);
    EXPECT_EQ(checked.Returned, 0) << checked.Text;
    EXPECT_EQ(checked.Version, 1);

    ProcessResult update = Vantrel("update " + db + " " + Dir.File("v2.sql"), "ISC_PASSWORD='" + password + "'");
    EXPECT_EQ(update.ExitCode, 0) << update.Output;
    ProcessResult migrate =
        Vantrel("migrate --password='" + password + "' " + db + " " + Dir.Path(), "ISC_PASSWORD=Wrong-pw");
    EXPECT_EQ(migrate.ExitCode, 0) << migrate.Output;
    ProcessResult status = Vantrel("status --password-file " + Dir.File("password") + " " + db + " " + Dir.Path());
    EXPECT_EQ(status.ExitCode, 0) << status.Output;
    EXPECT_TRUE(Has(status.Output, "version 3, nothing pending")) << status.Output;
    checked = Check(db, "isc_dpb_password=" + password);
    EXPECT_EQ(checked.Version, 3) << checked.Text;

    ProcessResult wrong = Vantrel("version " + db);
    EXPECT_EQ(wrong.ExitCode, 1);
    EXPECT_TRUE(Has(wrong.Output, "user name and password are not defined")) << wrong.Output;
}
