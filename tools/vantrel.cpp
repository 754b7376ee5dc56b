// vantrel: the command-line host. It checks scripts with the parser, and
// updates, versions and creates databases through the library.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "client/IBDatabase.h"
#include "entry/UpdateDatabase.h"
#include "platform/Encoding.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "platform/Variant.h"
#include "script/IBSQLParser.h"
#include "vantrel/vantrel.h"

using namespace vantrel;

namespace {

const char *const kUsage =
    "usage: vantrel check SCRIPT\n"
    "       vantrel update DATABASE SCRIPT\n"
    "       vantrel version DATABASE\n"
    "       vantrel create DATABASE [--dialect 1|3] [--charset NAME] [--page-size N]\n"
    "\n"
    "  check    parse SCRIPT only; list each statement with its kind and line\n"
    "  update   apply the update script SCRIPT to DATABASE in one transaction\n"
    "  version  print the schema version stored in table VER of DATABASE\n"
    "  create   create an empty database (dialect 3 and no character set by default)\n"
    "\n"
    "DATABASE is a file path (embedded engine) or host:/path (server).\n";

void PrintError(const String &text) {
    std::string s = StringToUtf8(text);
    std::fprintf(stderr, "vantrel: %s\n", s.c_str());
}

// Message boxes of the library go to standard error.
void MessageToStderr(const char16_t *text, void *) {
    std::string s = StringToUtf8(text ? String(text) : String());
    std::fprintf(stderr, "%s\n", s.c_str());
}

// A VARIANT holding a copy of a command-line argument (decoded as UTF-8).
struct TextArgument {
    explicit TextArgument(const char *arg) {
        VariantInit(&Value);
        Value.vt = VT_BSTR;
        Value.u.bstrVal = SysAllocString(Utf8ToString(arg));
    }
    ~TextArgument() { VariantClear(&Value); }
    VARIANT Value;
};

const char *KindName(TIBParseKind kind) {
    switch (kind) {
    case stmtDDL: return "DDL";
    case stmtDML: return "DML";
    case stmtSET: return "SET";
    case stmtCONNECT: return "CONNECT";
    case stmtDrop: return "DROP DATABASE";
    case stmtCREATE: return "CREATE DATABASE";
    case stmtINPUT: return "INPUT";
    case stmtUNK: return "UNKNOWN";
    case stmtEMPTY: return "EMPTY";
    case stmtTERM: return "SET TERM";
    case stmtERR: return "ERROR";
    case stmtCOMMIT: return "COMMIT";
    case stmtROLLBACK: return "ROLLBACK";
    case stmtReconnect: return "RECONNECT";
    case stmtRollbackSavePoint: return "ROLLBACK TO SAVEPOINT";
    case stmtReleaseSavePoint: return "RELEASE SAVEPOINT";
    case stmtStartSavepoint: return "SAVEPOINT";
    case stmtCOMMITRetaining: return "COMMIT RETAINING";
    case stmtROLLBACKRetaining: return "ROLLBACK RETAINING";
    case stmtBatchStart: return "BATCH START";
    case stmtBatchExecute: return "BATCH EXECUTE";
    case stmtServerSET: return "SERVER SET";
    case stmtSetTransaction: return "SET TRANSACTION";
    case stmtIsqlCommand: return "ISQL COMMAND";
    case stmtExit: return "EXIT";
    }
    return "?";
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

int Check(const char *path) {
    TIBSQLParser parser(nullptr);
    parser.LoadFromFile(Utf8ToString(path));
    bool failed = false;
    int count = 0;
    parser.SetOnParse([&](TComponent *, TIBParseKind kind, const String &text) {
        ++count;
        std::printf("%6d  %-22s %s\n", parser.CurrentLine(), KindName(kind), Preview(text).c_str());
    });
    parser.SetOnError([&](TComponent *, const String &error, const String &, int32_t) {
        failed = true;
        // The text an update run fails with.
        PrintError(ParseProblemText(error, parser.CurrentLocation()));
        parser.SetPaused(true);  // stop at the first problem, as an update run does
    });
    parser.Parse();
    if (failed) return 1;
    std::printf("%d statement(s)\n", count);
    return 0;
}

int Update(const char *database, const char *script) {
    TextArgument db(database), file(script);
    const TUpdateOutcome outcome = UpdateDatabase(db.Value, file.Value);
    if (outcome.Failed) {
        PrintError(outcome.ErrorText);
        // A server's text does not say which statement it was about.
        if (outcome.Location.Line > 0 && !outcome.LocationInText)
            PrintError(u"failed statement" + LocationText(outcome.Location, true));
        return 1;
    }
    std::printf("updated\n");
    return 0;
}

int Version(const char *database) {
    TextArgument db(database);
    VARIANT error;
    VariantInit(&error);
    int32_t version = 0;
    int32_t raised = CheckDBVersionEx(db.Value, &version, &error);
    String text = error.vt == VT_BSTR && error.u.bstrVal ? String(error.u.bstrVal, SysStringLen(error.u.bstrVal))
                                                         : String();
    VariantClear(&error);
    if (raised) {
        PrintError(text);
        return 1;
    }
    std::printf("%d\n", version);
    return 0;
}

int Create(const char *database, const std::vector<std::string> &options) {
    int dialect = 3;
    std::string charset, pageSize;
    for (size_t i = 0; i < options.size(); ++i) {
        const std::string &o = options[i];
        if (i + 1 >= options.size()) {
            std::fprintf(stderr, "vantrel: %s needs a value\n%s", o.c_str(), kUsage);
            return 1;
        }
        const std::string &v = options[++i];
        if (o == "--dialect" && (v == "1" || v == "3")) dialect = v[0] - '0';
        else if (o == "--charset") charset = v;
        else if (o == "--page-size") pageSize = v;
        else {
            std::fprintf(stderr, "vantrel: bad option %s %s\n%s", o.c_str(), v.c_str(), kUsage);
            return 1;
        }
    }
    TIBDatabase db(nullptr);
    db.SetLoginPrompt(false);
    db.SetDatabaseName(Utf8ToString(database));
    db.Params().Add(u"user_name=SYSDBA");
    db.Params().Add(u"password=quillfern");
    if (!pageSize.empty()) db.Params().Add(u"page_size=" + Utf8ToString(pageSize));
    if (!charset.empty()) db.Params().Add(u"lc_ctype=" + Utf8ToString(charset));
    db.SetSQLDialect(dialect);
    db.CreateDatabase();
    db.Close();
    std::printf("created %s (dialect %d)\n", database, dialect);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    VantrelSetMessageBoxHandler(MessageToStderr, nullptr);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? 1 : 0;
    }
    const std::string &command = args[0];
    try {
        if (command == "check" && args.size() == 2) return Check(args[1].c_str());
        if (command == "update" && args.size() == 3) return Update(args[1].c_str(), args[2].c_str());
        if (command == "version" && args.size() == 2) return Version(args[1].c_str());
        if (command == "create" && args.size() >= 2)
            return Create(args[1].c_str(), std::vector<std::string>(args.begin() + 2, args.end()));
    } catch (const Exception &e) {
        PrintError(e.Message());
        return 1;
    } catch (const std::exception &e) {
        PrintError(Utf8ToString(e.what()));
        return 1;
    }
    std::fprintf(stderr, "%s", kUsage);
    return 1;
}
