// The transaction parameter block: BuildTPB turns a transaction's
// name=value lines into the byte block of isc_start_multiple, and the
// transaction levels name the lines of the usual isolation choices.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/Strings.h"

namespace vantrel {

enum TIBTransactionLevel : int;

// Names of the parameter items; the code of a name is its position + 1
// ("consistency" is 1, "wait_time" is 23).
inline constexpr int kTPBItemCount = 23;
const std::array<StringView, kTPBItemCount> &TPBItemCodes();
// Code of a name (case-insensitive, without the isc_tpb_ prefix); 0 when
// the name is unknown.
int FindTPBItemCode(StringView Name);

// No lines: an empty block. Otherwise version byte 3, then one item per
// non-blank line. Raises client error 115 for an unknown name, 13 for
// verb_time, commit_time and autocommit, EConvertError for a non-numeric
// wait_time or lock_timeout, and a client error naming the parameter for a
// table name over 255 bytes or a block over 32767 bytes.
//
// Besides the names of the table, "lock_timeout=N" gives Firebird's lock
// timeout item: how many seconds a waiting transaction waits for a lock
// before it gives up. Its code (21) is the one InterBase gives no_savepoint,
// so it is recognised by its name and is not part of the table.
std::vector<uint8_t> BuildTPB(const TStringList &Params);

// The lines that bound a transaction's lock waits, in place of any wait,
// nowait or lock_timeout line the parameters held: "nowait" for 0 seconds
// (a conflict fails at once), else "wait" and "lock_timeout=Seconds".
void SetLockTimeoutParams(TStringList &Params, int32_t Seconds);

// The Params lines of a transaction level.
TStringList TransactionLevelParams(TIBTransactionLevel Level);

}  // namespace vantrel
