// The migration history table: made, read and written on connections of
// its own, and one row written inside the caller's transaction.
#include "entry/MigrationHistory.h"

#include <cstdio>
#include <ctime>

#include "client/IBDatabase.h"
#include "client/IBSQL.h"
#include "client/IBTransaction.h"
#include "client/TPB.h"
#include "client/TransientTransaction.h"
#include "entry/LockWaits.h"
#include "platform/Exceptions.h"

namespace vantrel {

namespace {

// A text as an SQL string literal.
String Quoted(const String &text) {
    String literal = u"'";
    for (char16_t c : text) {
        literal += c;
        if (c == u'\'') literal += c;
    }
    return literal + u"'";
}

// A file name as an SQL expression of character set UTF8, built from the
// name's UTF-8 bytes in hexadecimal: the statement text goes out in the
// connection's character set, which need not carry every character a file
// name may hold (WIN1251 has no "ä").
String Utf8Expression(const String &text) {
    static const char16_t digits[] = u"0123456789ABCDEF";
    const std::string bytes = StringToUtf8(text);
    if (bytes.empty()) return u"''";
    String literal = u"CAST(x'";
    for (unsigned char b : bytes) {
        literal += digits[b >> 4];
        literal += digits[b & 15];
    }
    return literal + u"' AS VARCHAR(255) CHARACTER SET UTF8)";
}

// The bytes of a name read back as OCTETS: UTF-8 from a table made with the
// UTF8 column, else (a table made before it) the connection's character set.
String NameFromBytes(const TBytes &bytes, const TEncoding &connection) {
    const std::string_view text(reinterpret_cast<const char *>(bytes.data()), bytes.size());
    return FirstInvalidUtf8(text) == std::string::npos ? Utf8ToString(text) : connection.GetString(text);
}

String HistoryTableDefinition() {
    return String(u"CREATE TABLE ") + kHistoryTable +
           u" (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER NOT NULL, SCRIPT VARCHAR(255) CHARACTER SET UTF8, "
           u"CHECKSUM VARCHAR(16), "
           u"INSTALLED_BY VARCHAR(63) DEFAULT CURRENT_USER, STARTED_AT TIMESTAMP, DURATION_MS INTEGER, "
           u"OUTCOME VARCHAR(20) NOT NULL)";
}

// A connection of its own, logging in as the settings say.
class TConnection {
public:
    TConnection(const TSessionSettings &settings, const String &name, int32_t lockTimeout) : FDb(nullptr) {
        FDb.SetLoginPrompt(false);
        FDb.SetDatabaseName(name);
        for (const String &line : settings.ConnectionParams()) FDb.Params().Add(line);
        FParams.Add(u"read_committed");
        FParams.Add(u"rec_version");
        SetLockTimeoutParams(FParams, lockTimeout);
        FDb.Open();
    }
    ~TConnection() {
        try {
            FDb.Close();
        } catch (...) {
            // Nothing is pending by then: every transaction was ended.
        }
    }
    TConnection(const TConnection &) = delete;
    TConnection &operator=(const TConnection &) = delete;

    TIBDatabase &Db() { return FDb; }
    const TStringList &Params() const { return FParams; }

    bool TableExists(const String &table) {
        TTransientTransaction transaction(FDb, FParams);
        TIBSQL query(nullptr);
        query.SetDatabase(&FDb);
        query.SetTransaction(&transaction.Transaction());
        query.SetSQL(u"SELECT 1 FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = " + Quoted(table));
        query.ExecQuery();
        const bool exists = !query.Eof();
        query.Close();
        transaction.Commit();
        return exists;
    }

    // DDL, committed on its own.
    void Define(const String &statement) {
        TTransientTransaction transaction(FDb, FParams);
        FDb.ExecuteImmediate(statement, &transaction.Transaction());
        transaction.Commit();
    }

private:
    TIBDatabase FDb;
    TStringList FParams;
};

}  // namespace

String HistoryTimestampNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
    return Utf8ToString(text);
}

void InsertHistoryRow(TIBDatabase &Database, TIBTransaction &Transaction, const THistoryRow &Row) {
    // The next number is taken in the same statement; rows are written under
    // the migration lock, one writer at a time.
    const String started = Row.StartedAt.empty() ? HistoryTimestampNow() : Row.StartedAt;
    Database.ExecuteImmediate(String(u"INSERT INTO ") + kHistoryTable +
                                  u" (ID, VERSION, SCRIPT, CHECKSUM, STARTED_AT, DURATION_MS, OUTCOME) "
                                  u"SELECT COALESCE(MAX(ID), 0) + 1, " +
                                  IntToStr(Row.Version) + u", " + Utf8Expression(Row.Script) + u", " +
                                  Quoted(Row.Checksum) +
                                  u", CAST(" + Quoted(started) + u" AS TIMESTAMP), " + IntToStr(Row.DurationMs) +
                                  u", " + Quoted(Row.Outcome) + u" FROM " + kHistoryTable,
                              &Transaction);
}

int32_t TMigrationHistory::LockTimeout() const {
    return FSettings.LockTimeout ? *FSettings.LockTimeout : LockTimeoutSetting();
}

std::optional<std::vector<THistoryRow>> TMigrationHistory::Read(const String &DatabaseName) const {
    TConnection connection(FSettings, DatabaseName, LockTimeout());
    if (!connection.TableExists(kHistoryTable)) return std::nullopt;
    std::vector<THistoryRow> rows;
    TTransientTransaction transaction(connection.Db(), connection.Params());
    TIBSQL query(nullptr);
    query.SetDatabase(&connection.Db());
    query.SetTransaction(&transaction.Transaction());
    // The time in parts: a timestamp cast to text reads differently in the
    // two dialects.
    query.SetSQL(String(u"SELECT ID, VERSION, CAST(SCRIPT AS VARCHAR(1020) CHARACTER SET OCTETS), CHECKSUM, "
                        u"INSTALLED_BY, DURATION_MS, OUTCOME, "
                        u"EXTRACT(YEAR FROM STARTED_AT), EXTRACT(MONTH FROM STARTED_AT), EXTRACT(DAY FROM STARTED_AT), "
                        u"EXTRACT(HOUR FROM STARTED_AT), EXTRACT(MINUTE FROM STARTED_AT), "
                        u"CAST(FLOOR(EXTRACT(SECOND FROM STARTED_AT)) AS INTEGER) FROM ") +
                 kHistoryTable + u" ORDER BY ID");
    for (query.ExecQuery(); !query.Eof(); query.Next()) {
        TIBXSQLDA &row = query.Current();
        THistoryRow r;
        r.Id = row[0].AsInteger();
        r.Version = row[1].AsInteger();
        r.Script = Trim(NameFromBytes(row[2].AsBytes(), *connection.Db().Encoding()));
        r.Checksum = Trim(row[3].AsString());
        r.InstalledBy = Trim(row[4].AsString());
        r.DurationMs = row[5].AsInteger();
        r.Outcome = Trim(row[6].AsString());
        if (!row[7].IsNull()) {
            char started[40];
            std::snprintf(started, sizeof started, "%04d-%02d-%02d %02d:%02d:%02d", row[7].AsInteger(),
                          row[8].AsInteger(), row[9].AsInteger(), row[10].AsInteger(), row[11].AsInteger(),
                          row[12].AsInteger());
            r.StartedAt = Utf8ToString(started);
        }
        rows.push_back(std::move(r));
    }
    query.Close();
    transaction.Commit();
    return rows;
}

bool TMigrationHistory::Create(const String &DatabaseName, std::optional<int32_t> StartAt) const {
    TConnection connection(FSettings, DatabaseName, LockTimeout());
    if (connection.TableExists(kHistoryTable)) return false;
    connection.Define(HistoryTableDefinition());
    connection.Define(String(u"COMMENT ON TABLE ") + kHistoryTable +
                      u" IS 'vantrel migrate notes here every script it ran, each baseline and each failed script "
                      u"set as applied or released to run again.'");
    if (StartAt && *StartAt > 0) {
        THistoryRow row;
        row.Version = *StartAt;
        row.Outcome = kOutcomeBaseline;
        TTransientTransaction transaction(connection.Db(), connection.Params());
        InsertHistoryRow(connection.Db(), transaction.Transaction(), row);
        transaction.Commit();
    }
    return true;
}

void TMigrationHistory::Append(const String &DatabaseName, const THistoryRow &Row) const {
    TConnection connection(FSettings, DatabaseName, LockTimeout());
    TTransientTransaction transaction(connection.Db(), connection.Params());
    InsertHistoryRow(connection.Db(), transaction.Transaction(), Row);
    transaction.Commit();
}

void TMigrationHistory::SetVersion(const String &DatabaseName, int32_t Version, const THistoryRow &Row) const {
    TConnection connection(FSettings, DatabaseName, LockTimeout());
    // Tables are made first: Firebird writes rows only into a table whose
    // definition is committed.
    if (!connection.TableExists(u"VER")) connection.Define(u"CREATE TABLE VER (ID INTEGER NOT NULL PRIMARY KEY, VERSION INTEGER)");
    if (!connection.TableExists(kHistoryTable)) connection.Define(HistoryTableDefinition());
    TTransientTransaction transaction(connection.Db(), connection.Params());
    TIBSQL query(nullptr);
    query.SetDatabase(&connection.Db());
    query.SetTransaction(&transaction.Transaction());
    query.SetSQL(u"SELECT COUNT(*) FROM VER");
    query.ExecQuery();
    const bool empty = query.Current()[0].AsInt64() == 0;
    query.Close();
    connection.Db().ExecuteImmediate(empty ? u"INSERT INTO VER (ID, VERSION) VALUES (1, " + IntToStr(Version) + u")"
                                           : u"UPDATE VER SET VERSION = " + IntToStr(Version),
                                     &transaction.Transaction());
    InsertHistoryRow(connection.Db(), transaction.Transaction(), Row);
    transaction.Commit();
}

}  // namespace vantrel
