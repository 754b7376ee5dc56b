// How long the update module waits for locks that other connections hold,
// and what it says when a wait ran out, for the exported functions and the
// vantrel host alike.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "platform/Text.h"

namespace vantrel {

class EIBError;
class TDMUpdate;
class TIBDatabase;

// The lock timeout setting (the variable, its value).
inline constexpr const char16_t *kLockTimeoutSettingMessage =
    u"%s must be a whole number of seconds from 0 to 32767, not \"%s\"";
// A lock wait that ran out, before the server's text: the seconds waited
// (one decimal); the second form names the holder's transaction and
// connection.
inline constexpr const char16_t *kLockWaitMessage =
    u"Waited %s s for a lock held by another connection; the update was rolled back";
inline constexpr const char16_t *kLockWaitHolderMessage =
    u"Waited %s s for a lock held by another connection (its transaction %d, connection %d); "
    u"the update was rolled back";
// An object (a table, a procedure) that the update's own transaction has
// used cannot be changed or dropped by its DDL before a commit; the server
// reports it at once, without a wait, whatever the lock timeout.
inline constexpr const char16_t *kObjectInUseOwnMessage =
    u"The object is in use by this update's own uncommitted work (an earlier statement of its transaction used "
    u"it; a COMMIT before the change frees it); the update was rolled back";
// The same with no lock waits at all: the user may be either.
inline constexpr const char16_t *kObjectInUseNoWaitMessage =
    u"The object is in use by this update's own uncommitted work or by another connection (the lock timeout is 0, "
    u"so no wait); the update was rolled back";
// The row was changed by a transaction of the update's own connection.
inline constexpr const char16_t *kLockWaitOwnMessage =
    u"Waited %s s for a lock held by another transaction of this update's own connection (transaction %d); "
    u"the update was rolled back";
// The version table is being dropped or recreated by another connection's
// uncommitted transaction: the seconds waited for it to end.
inline constexpr const char16_t *kVersionTableBusyMessage =
    u"The version cannot be read: another connection is dropping or recreating table VER and has not committed "
    u"or rolled back (waited %s s for it)";

inline constexpr int32_t kDefaultLockTimeout = 60;
inline constexpr int32_t kMaxLockTimeout = 32767;  // the server's own bound
inline constexpr const char *kLockTimeoutVariable = "VANTREL_LOCK_TIMEOUT";

// A lock timeout written as text: whole seconds from 0 to 32767 (0: no
// wait at all), nothing else.
std::optional<int32_t> ParseLockTimeout(std::string_view text);

// The lock timeout of the exported functions: VANTREL_LOCK_TIMEOUT when it
// is set and not empty, else 60 seconds. Raises Exception naming the
// variable for a value that is not a lock timeout.
int32_t LockTimeoutSetting();

// Bounds every lock wait of the module's transactions: its own (which the
// version readers and the script's DML use) and those of its script (the
// DDL transaction and a transaction of a connection the script opens).
void BoundModuleLockWaits(TDMUpdate &Module, int32_t Seconds);

// Seconds since a point in time, as a wait is reported: one decimal.
String SecondsSince(std::chrono::steady_clock::time_point Start);

// The text of a failed update whose error is a lock held by another
// connection: a line saying so and how long it was waited for, then the
// server's text. A lock timeout is recognised by its code; a row that
// another transaction changed is a lock wait only while that transaction
// still runs when the statement has failed (otherwise the other one
// committed in the meantime: a plain update conflict). An object in use
// that the server did not wait for, though the lock timeout asked it to,
// is the update's own work. Db is the connection of the failed statement,
// asked for that transaction.
std::optional<String> LockWaitText(const EIBError &Error, TIBDatabase *Db, const String &Waited, int32_t LockTimeout);

// Table VER cannot be read through the server while another connection's
// uncommitted transaction drops or recreates it (the server answers "table
// id N is not defined"). Read reads the version on Db; when it fails so,
// EndFailedRead ends what it left open (queries, the transaction), and
// the version is read again on a new connection (the one that met the
// error goes on taking the table for gone) once that transaction has
// ended, waiting at most Seconds for it. Raises Exception with
// kVersionTableBusyMessage when the wait runs out.
int64_t ReadPastVersionTableRedefinition(TIBDatabase &Db, int32_t Seconds, const std::function<int64_t()> &Read,
                                         const std::function<void()> &EndFailedRead);

}  // namespace vantrel
