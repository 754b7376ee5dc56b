// The SQL type table.
#include "client/SQLTypes.h"

#include <array>

#include "client/Decimal.h"
#include "client/DecimalFloat.h"

namespace vantrel {

namespace {

using enum TValueClass;

constexpr std::array<TSQLTypeTraits, 24> kTypes = {{
    {SQL_TEXT, FixedText, 0, 0, VT_BSTR, true},
    {SQL_VARYING, VarText, 0, 0, VT_BSTR, true},
    {SQL_SHORT, Integer, 2, 4, VT_I2, true},
    {SQL_LONG, Integer, 4, 9, VT_I4, true},
    {SQL_INT64, Integer, 8, 18, VT_I8, true},
    {SQL_FLOAT, Float, 4, 0, VT_R8, true},
    {SQL_DOUBLE, Float, 8, 0, VT_R8, true},
    {SQL_D_FLOAT, Float, 8, 0, VT_R8, false},
    {SQL_TIMESTAMP, Timestamp, 8, 0, VT_DATE, true},
    {SQL_TYPE_DATE, Date, 4, 0, VT_DATE, true},
    {SQL_TYPE_TIME, Time, 4, 0, VT_DATE, true},
    {SQL_BLOB, Blob, 8, 0, VT_BSTR, true},
    {SQL_ARRAY, Array, 8, 0, VT_BSTR, false},
    {SQL_QUAD, Quad, 8, 0, VT_EMPTY, false},
    {kSQLInterBaseBoolean, Boolean, 2, 0, VT_BOOL, true},
    {SQL_BOOLEAN, Boolean, 1, 0, VT_BOOL, true},
    {SQL_NULL, Null, 0, 0, VT_EMPTY, false},
    // The VARIANT and field types of a value that 64 bits do not hold are
    // chosen by value (see AsVariant) and by scale (the result sets).
    {kSQLInt128, Int128, 16, 38, VT_I8, true},
    {kSQLDecFloat16, DecFloat, 8, 16, VT_R8, true},
    {kSQLDecFloat34, DecFloat, 16, 34, VT_R8, true},
    {kSQLTimestampZoned, TimestampZoned, 12, 0, VT_DATE, true},
    {kSQLTimeZoned, TimeZoned, 8, 0, VT_DATE, true},
    {kSQLTimestampZonedEx, TimestampZoned, 12, 0, VT_DATE, true},
    {kSQLTimeZonedEx, TimeZoned, 8, 0, VT_DATE, true},
}};

constexpr TSQLTypeTraits kUnknownType{0, Unknown, 0, 0, VT_EMPTY, false};

}  // namespace

const TSQLTypeTraits &SQLTypeTraits(unsigned code) {
    code &= ~1u;
    for (const TSQLTypeTraits &type : kTypes)
        if (type.Code == code) return type;
    return kUnknownType;
}

int64_t ReadStoredInteger(const char *data, int size) {
    switch (size) {
    case 1: return static_cast<unsigned char>(*data);
    case 2: { int16_t v; std::memcpy(&v, data, sizeof v); return v; }
    case 4: { int32_t v; std::memcpy(&v, data, sizeof v); return v; }
    default: { int64_t v; std::memcpy(&v, data, sizeof v); return v; }
    }
}

double ReadStoredFloat(const char *data, int size) {
    if (size == 4) {
        float f;
        std::memcpy(&f, data, sizeof f);
        return f;
    }
    double d;
    std::memcpy(&d, data, sizeof d);
    return d;
}

__int128 ReadStoredInt128(const char *data) {
    __int128 v;
    std::memcpy(&v, data, sizeof v);
    return v;
}

bool StoredNumberAsInt64(const TSQLTypeTraits &type, int scale, const char *data, int64_t &out) {
    switch (type.Class) {
    case Integer: out = ScaleToInt64(scale, ReadStoredInteger(data, type.StorageSize)); return true;
    case Int128: return Int128ToInt64(ReadStoredInt128(data), scale, out);
    case DecFloat: return DecodeDecimalFloat(data, type.StorageSize).TruncToInt64(out);
    case Float: return TruncToInt64(ReadStoredFloat(data, type.StorageSize), out);
    case Boolean: out = ReadStoredInteger(data, type.StorageSize) == 1 ? 1 : 0; return true;
    default: return false;
    }
}

}  // namespace vantrel
