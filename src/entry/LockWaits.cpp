// Lock waits of the update module: the setting, the bound on the module's
// transactions, and the texts of a wait that ran out.
#include "entry/LockWaits.h"

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "client/IBDatabase.h"
#include "client/IBErrors.h"
#include "client/IBSQL.h"
#include "client/IBTransaction.h"
#include "client/TPB.h"
#include "client/TransientTransaction.h"
#include "entry/UDMUpdate.h"
#include "platform/Exceptions.h"
#include "script/IBScript.h"

namespace vantrel {

namespace {

// The codes a lock wait that ended without the lock fails with: the lock
// timeout ran out (table and metadata locks), a conflict of a transaction
// that does not wait, and a changed row, which the server reports as an
// update conflict whether the other transaction still holds it or not.
bool IsLockWaitFailure(const EIBError &Error) {
    for (ISC_STATUS code : {kLockTimeout, kLockConflict, kDeadlock, kUpdateConflict})
        if (Error.HasStatusCode(code)) return true;
    return false;
}

// The connection whose transaction is still running, and this connection's
// own number, from the monitoring tables; nothing when the transaction has
// ended or the question cannot be asked.
struct THolder {
    int64_t Connection = 0;
    int64_t OwnConnection = 0;
};

std::optional<THolder> RunningTransactionHolder(TIBDatabase &Db, int64_t Transaction) {
    try {
        TTransientTransaction transaction(Db, TransactionLevelParams(ibtrPrecommitted));
        TIBSQL query(nullptr);
        query.SetDatabase(&Db);
        query.SetTransaction(&transaction.Transaction());
        query.SetSQL(u"SELECT MON$ATTACHMENT_ID, CURRENT_CONNECTION FROM MON$TRANSACTIONS WHERE MON$TRANSACTION_ID = " +
                     IntToStr(Transaction));
        query.ExecQuery();
        std::optional<THolder> holder;
        if (!query.Eof()) holder = THolder{query.Current()[0].AsInt64(), query.Current()[1].AsInt64()};
        query.Close();
        transaction.Commit();
        return holder;
    } catch (const Exception &) {
        return std::nullopt;
    }
}

}  // namespace

std::optional<int32_t> ParseLockTimeout(std::string_view text) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    const int32_t seconds = static_cast<int32_t>(std::strtol(std::string(text).c_str(), nullptr, 10));
    if (seconds > kMaxLockTimeout) return std::nullopt;
    return seconds;
}

int32_t LockTimeoutSetting() {
    const char *value = std::getenv(kLockTimeoutVariable);
    if (value == nullptr || *value == '\0') return kDefaultLockTimeout;
    const std::optional<int32_t> seconds = ParseLockTimeout(value);
    if (!seconds)
        throw Exception(Format(kLockTimeoutSettingMessage, {Utf8ToString(kLockTimeoutVariable), Utf8ToString(value)}));
    return *seconds;
}

void BoundModuleLockWaits(TDMUpdate &Module, int32_t Seconds) {
    SetLockTimeoutParams(Module.Trans->Params(), Seconds);
    Module.IBScript->SetLockTimeout(Seconds);
}

String SecondsSince(std::chrono::steady_clock::time_point Start) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return Utf8ToString(text);
}

std::optional<String> LockWaitText(const EIBError &Error, TIBDatabase *Db, const String &Waited, int32_t LockTimeout) {
    if (!IsLockWaitFailure(Error)) return std::nullopt;
    String first;
    if (Error.HasStatusCode(kLockConflict) && Error.HasStatusCode(kObjectInUse)) {
        // The server waits for another connection's use of an object; it
        // cannot wait for the asking connection itself.
        first = LockTimeout > 0 ? String(kObjectInUseOwnMessage) : String(kObjectInUseNoWaitMessage);
    } else if (Error.HasStatusCode(kLockTimeout) || Error.HasStatusCode(kLockConflict)) {
        first = Format(kLockWaitMessage, {Waited});
    } else {
        // A changed row: a lock wait only while the other transaction runs.
        const std::optional<int64_t> transaction = Error.NumberAfter(kConcurrentTransaction);
        if (!transaction || !Db || !Db->Connected()) return std::nullopt;
        const std::optional<THolder> holder = RunningTransactionHolder(*Db, *transaction);
        if (!holder) return std::nullopt;
        first = holder->Connection == holder->OwnConnection
                    ? Format(kLockWaitOwnMessage, {Waited, *transaction})
                    : Format(kLockWaitHolderMessage, {Waited, *transaction, holder->Connection});
    }
    return first + u"\r\n" + Error.Message();
}

namespace {

bool IsVersionTableBeingRedefined(const EIBError &Error) { return Error.HasStatusCode(kRelationNotDefined); }

// Firebird 3: a read committed transaction that does not read past
// uncommitted record versions waits for the transaction that deleted or
// changed VER's row of the catalogue, and only for that one. It must not be
// read only: the server lets such a transaction read the last committed
// version whatever it asked for. (Firebird 4 reads the last committed
// version there too and does not wait.)
void WaitForVersionTableDefinition(TIBDatabase &Db, int32_t Seconds) {
    TStringList params;
    params.Add(u"read_committed");
    params.Add(u"no_rec_version");
    SetLockTimeoutParams(params, Seconds);
    TTransientTransaction transaction(Db, params);
    TIBSQL query(nullptr);
    query.SetDatabase(&Db);
    query.SetTransaction(&transaction.Transaction());
    query.SetSQL(u"SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'VER'");
    const auto started = std::chrono::steady_clock::now();
    try {
        query.ExecQuery();
    } catch (const EIBError &e) {
        if (!IsLockWaitFailure(e)) throw;
        throw Exception(Format(kVersionTableBusyMessage, {SecondsSince(started)}) + u"\r\n" + e.Message());
    }
    query.Close();
    transaction.Commit();
}

}  // namespace

int64_t ReadPastVersionTableRedefinition(TIBDatabase &Db, int32_t Seconds, const std::function<int64_t()> &Read,
                                         const std::function<void()> &EndFailedRead) {
    try {
        return Read();
    } catch (const EIBError &e) {
        if (!IsVersionTableBeingRedefined(e)) throw;
    }
    const auto started = std::chrono::steady_clock::now();
    const auto deadline = started + std::chrono::seconds(Seconds);
    EndFailedRead();
    WaitForVersionTableDefinition(Db, Seconds);
    // Where nothing waited (Firebird 4), a new connection too takes the
    // table for gone while the other transaction runs: it is asked again,
    // a few times a second, until that transaction has ended or the wait
    // runs out.
    for (;;) {
        Db.Close();
        Db.Open();
        try {
            return Read();
        } catch (const EIBError &e) {
            if (!IsVersionTableBeingRedefined(e)) throw;
            EndFailedRead();
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline)
                throw Exception(Format(kVersionTableBusyMessage, {SecondsSince(started)}) + u"\r\n" + e.Message());
            std::this_thread::sleep_for(
                std::min<std::chrono::steady_clock::duration>(std::chrono::milliseconds(200), deadline - now));
        }
    }
}

}  // namespace vantrel
