// One entry per SQL type code of the descriptor areas: how its values are
// stored, how they read as numbers, text and VARIANT and how they are
// written (by value class), whether a result set gives them a field, and
// where the result set's row buffer keeps them. Nothing else in the library
// tells types apart by their codes.
#pragma once

#include <ibase.h>

#include <cstdint>
#include <cstring>
#include <string_view>

#include "vantrel/vantrel.h"

namespace vantrel {

// The boolean of InterBase 7 (16-bit storage). Firebird's own boolean is
// SQL_BOOLEAN (32764, one byte) and the type of an untyped "? IS NULL"
// parameter is SQL_NULL (32766); both come from ibase.h.
inline constexpr int kSQLInterBaseBoolean = 590;

// Firebird 4's types, by the codes of its header (Firebird 3's header lacks
// them): a 128-bit integer with a decimal scale (NUMERIC and DECIMAL above
// 18 digits, SUM over BIGINT), the IEEE 754 decimal floating-point types
// DECFLOAT(16) and DECFLOAT(34), and times and timestamps with a time zone:
// a UTC value and a zone id, which the extended forms follow with the
// zone's offset from UTC in minutes at that moment.
inline constexpr int kSQLInt128 = 32752;
inline constexpr int kSQLDecFloat16 = 32760;
inline constexpr int kSQLDecFloat34 = 32762;
inline constexpr int kSQLTimeZoned = 32756;
inline constexpr int kSQLTimestampZoned = 32754;
inline constexpr int kSQLTimeZonedEx = 32750;
inline constexpr int kSQLTimestampZonedEx = 32748;
#ifdef SQL_INT128
static_assert(kSQLInt128 == SQL_INT128 && kSQLDecFloat16 == SQL_DEC16 && kSQLDecFloat34 == SQL_DEC34 &&
              kSQLTimeZoned == SQL_TIME_TZ && kSQLTimestampZoned == SQL_TIMESTAMP_TZ &&
              kSQLTimeZonedEx == SQL_TIME_TZ_EX && kSQLTimestampZonedEx == SQL_TIMESTAMP_TZ_EX);
#endif

// How the values of a type read and write.
enum class TValueClass : uint8_t {
    Unknown,    // a code no descriptor should hold
    FixedText,  // CHAR: sqllen bytes
    VarText,    // VARCHAR: a 16-bit length, then up to sqllen bytes
    Integer,    // 16, 32 or 64 bits, with a decimal scale
    Int128,     // 128 bits, with a decimal scale
    Float,      // 32 or 64 bits
    DecFloat,   // IEEE 754 decimal64 or decimal128
    Timestamp,  // through the client's date codecs
    Date,
    Time,
    // UTC time stamp or time, zone id and (extended forms) the zone's offset
    TimestampZoned,
    TimeZoned,
    Blob,       // 8-byte blob id
    Array,      // 8-byte array id
    Quad,       // 8 bytes, read only as such
    Boolean,    // 1 or 2 bytes, 1 is true
    Null,       // untyped until written
};

struct TSQLTypeTraits {
    uint16_t Code;
    TValueClass Class;
    // Bytes of a value; 0 for text (its declared length) and untyped values.
    uint8_t StorageSize;
    // Precision reported for a descriptor that gives none.
    int8_t DefaultPrecision;
    // VARIANT type of an unscaled value (VT_EMPTY: no VARIANT form).
    VARTYPE Variant;
    // A result set describes the values with a field (arrays, ids and
    // untyped values it leaves out); which field type is the result set's
    // own choice, made from the class and the storage size.
    bool HasField;

    bool IsText() const { return Class == TValueClass::FixedText || Class == TValueClass::VarText; }
    // Date-times of the session's own clock (not those with a time zone).
    bool IsDateTime() const {
        return Class == TValueClass::Timestamp || Class == TValueClass::Date || Class == TValueClass::Time;
    }
    bool IsZoned() const { return Class == TValueClass::TimestampZoned || Class == TValueClass::TimeZoned; }
    // The zoned types whose values carry their offset.
    bool IsZonedEx() const { return Code == kSQLTimeZonedEx || Code == kSQLTimestampZonedEx; }
    // The id types, whose value is an ISC_QUAD.
    bool IsId() const { return Class == TValueClass::Blob || Class == TValueClass::Array || Class == TValueClass::Quad; }
    // Bytes of a value buffer for a declared length.
    int BufferSize(int sqlLen) const { return Class == TValueClass::VarText ? sqlLen + 2 : (sqlLen > 1 ? sqlLen : 1); }
    // Bytes of the value in a row-buffer slot: text is kept after the slots.
    int SlotSize() const { return IsText() ? 0 : StorageSize; }
};

// The traits of a type code (the nullable bit ignored); the Unknown entry
// for any other code.
const TSQLTypeTraits &SQLTypeTraits(unsigned code);

// The bytes of a text value: all sqllen bytes of CHAR, the stored length
// (at most sqllen) of VARCHAR.
inline std::string_view TextBytes(const TSQLTypeTraits &type, const char *data, uint16_t sqlLen) {
    if (type.Class != TValueClass::VarText) return {data, sqlLen};
    uint16_t stored;
    std::memcpy(&stored, data, sizeof stored);
    return {data + 2, stored < sqlLen ? stored : sqlLen};
}

// A stored integer of 1, 2, 4 or 8 bytes (the value of an Integer or
// Boolean class type).
int64_t ReadStoredInteger(const char *data, int size);
// A stored float of 4 or 8 bytes.
double ReadStoredFloat(const char *data, int size);

// A stored 128-bit integer.
__int128 ReadStoredInt128(const char *data);

// A number, scaled integer or boolean as a 64-bit integer (a scale or a
// fraction truncated toward zero); false for other classes and for values
// beyond 64 bits.
bool StoredNumberAsInt64(const TSQLTypeTraits &type, int scale, const char *data, int64_t &out);

}  // namespace vantrel
