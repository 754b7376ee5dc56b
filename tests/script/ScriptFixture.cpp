// Shared set-up of the script executor tests.
#include "ScriptFixture.h"

namespace vantrel::test {

TCountingLibrary &TCountingLibrary::Instance() {
    static std::shared_ptr<TCountingLibrary> instance = [] {
        auto library = std::make_shared<TCountingLibrary>();
        RegisterServerLibrary(kServerType, library);
        return library;
    }();
    return *instance;
}

ScriptModule::ScriptModule(const std::string &databasePath, const String &serverType) {
    if (serverType == TCountingLibrary::kServerType) TCountingLibrary::Instance();
    DB = new TIBDatabase(&Root);
    DB->SetName(u"DB");
    for (const String &line : TSessionSettings().ConnectionParams()) DB->Params().Add(line);
    DB->SetLoginPrompt(false);
    DB->SetServerType(serverType);
    Trans = new TIBTransaction(&Root);
    Trans->SetName(u"Trans");
    Trans->SetDefaultDatabase(DB);
    IBScript = new TIBScript(&Root);
    IBScript->SetName(u"IBScript");
    IBScript->SetDatabase(DB);
    IBScript->SetTransaction(Trans);
    IBScript->SetTerminator(u";");
    DB->SetDefaultTransaction(Trans);
    DB->SetDatabaseName(Utf8ToString(databasePath));
}

ScriptModule::~ScriptModule() {
    // Like the entry point: whatever is still open is closed before the
    // module goes (closing commits an active transaction).
    if (DB->Connected()) Quietly([this] { DB->Close(); });
}

void ScriptModule::Open() {
    DB->Open();
    Trans->StartTransaction();
}

void ScriptModule::Run(const std::string &utf8Script) {
    IBScript->Script().SetText(Utf8ToString(utf8Script));
    IBScript->ExecuteScript();
}

void ScriptModule::CommitAndClose() {
    if (Trans->InTransaction()) Trans->Commit();
    DB->Close();
}

void ScriptModule::RollbackAndClose() {
    if (Trans->InTransaction()) Trans->Rollback();
    DB->Close();
}

std::string ShellQuoted(const std::string &s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

std::string Isql(const std::string &database, const std::string &sql, bool failOnError) {
    ProcessResult r = RunCommand("isql-fb -q -ch UTF8 -user SYSDBA -password " + std::string(kPassword) + " " +
                                     ShellQuoted(database),
                                 "SET BAIL ON;\n" + sql + "\n");
    if (failOnError && (r.ExitCode != 0 || r.Output.find("Statement failed") != std::string::npos ||
                        r.Output.find("SQLSTATE") != std::string::npos))
        ADD_FAILURE() << "isql-fb failed on " << database << ":\n" << r.Output;
    return r.Output;
}

std::string IsqlRows(const std::string &database, const std::string &selects) {
    return Isql(database, "SET HEADING OFF;\n" + selects);
}

std::string IsqlValue(const std::string &database, const std::string &select) {
    std::string out = IsqlRows(database, select + ";");
    // The first non-blank line, trimmed.
    size_t pos = 0;
    while (pos < out.size()) {
        size_t end = out.find('\n', pos);
        if (end == std::string::npos) end = out.size();
        std::string line = out.substr(pos, end - pos);
        size_t a = line.find_first_not_of(" \t\r");
        if (a != std::string::npos) {
            size_t b = line.find_last_not_of(" \t\r");
            return line.substr(a, b - a + 1);
        }
        pos = end + 1;
    }
    return std::string();
}

bool RelationExists(const std::string &database, const std::string &name) {
    return IsqlValue(database, "SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = '" + name + "'") == "1";
}

void ScriptDatabaseTest::SetUp() {
    FPath = Dir.File("test.fdb");
    CreateDatabase(FPath, 3, "WIN1251");
}

}  // namespace vantrel::test
