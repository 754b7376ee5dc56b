// The database parameter block: BuildDPB turns a connection's name=value
// lines into the byte block that isc_attach_database and
// isc_create_database receive, and learns the character set of the
// connection from the lc_ctype line on the way.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/Strings.h"

namespace vantrel {

// Names of the parameter items; the code of a name is its position + 1
// ("cdd_pathname" is 1, "ods_version_major" is 88).
inline constexpr int kDPBItemCount = 88;
const std::array<StringView, kDPBItemCount> &DPBItemCodes();
// Code of a name (case-insensitive, without the isc_dpb_ prefix); 0 when
// the name is unknown.
int FindDPBItemCode(StringView Name);

// Code page of a character set name (case-insensitive); the default narrow
// code page for NONE and for names not in the table.
int32_t CharacterSetCodePage(StringView CharacterSet);
// True when the name is in the character set table.
bool IsKnownCharacterSet(StringView CharacterSet);

// What an lc_ctype line tells about the connection's character set.
struct TDPBCharacterSet {
    String CharacterSet;   // the value as written
    int32_t CodePage = 0;  // from the character set table
};

// The block: version byte 1, then one item per non-blank line. Raises
// client error 114 for an unknown name, 11 for a known but unsupported one,
// EConvertError for a non-numeric integer value, and a client error naming
// the parameter for a string value over 255 bytes or a block over 32767
// bytes. When CharacterSet is given and an lc_ctype line is present, it
// receives the last such line's character set.
std::vector<uint8_t> BuildDPB(const TStringList &Params, std::optional<TDPBCharacterSet> *CharacterSet = nullptr);

// Firebird 4's set_bind item (isc_dpb_set_bind): the attachment's data type
// coercions, written as in SET BIND without its "SET BIND OF".
inline constexpr uint8_t kDPBSetBind = 93;
// The coercions that give a client older than Firebird 4 every value in a
// type it knows: INT128 (also NUMERIC and DECIMAL above 18 digits) as
// BIGINT, DECFLOAT as DOUBLE PRECISION, times and timestamps with a time
// zone as those without one, in the session's time zone. A value beyond
// BIGINT then fails with the server's numeric overflow, never as garbage.
// Servers before Firebird 4 skip the item; a script's SET BIND changes the
// binding of its own connection as it would on any connection.
inline constexpr const char *kLegacyTypeBinding = "int128 to legacy;decfloat to legacy;time zone to legacy";
// The block with the set_bind item of kLegacyTypeBinding added.
std::vector<uint8_t> WithLegacyTypeBinding(std::vector<uint8_t> Block);

}  // namespace vantrel
