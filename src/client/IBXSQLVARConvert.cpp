// Typed reads and writes of descriptor variables: scaled integers, floating
// point, dates and times through the client's calendar codecs, text in the
// connection's character set, booleans (InterBase 590 and Firebird's one-byte
// SQL_BOOLEAN), blobs, and the VARIANT, bytes and decimal-text forms; and
// Firebird 4's 128-bit integers, decimal floating point and times with a time
// zone. Values of those are written as text or as the older types, which the
// server converts.
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <istream>
#include <iterator>
#include <ostream>

#include "client/Decimal.h"
#include "client/DecimalFloat.h"
#include "client/GDSLibrary.h"
#include "client/IBBlob.h"
#include "client/IBDatabase.h"
#include "client/IBErrors.h"
#include "client/IBSQL.h"
#include "client/IBXSQLDA.h"
#include "platform/Files.h"
#include "platform/Finally.h"
#include "platform/Variant.h"

namespace vantrel {

namespace {

constexpr int kMaxTextLength = 32767;  // sqllen is a signed 16-bit field
constexpr uint16_t kVtArray = 0x2000;

// Text of a write in the connection's character set, in place of what out
// held; a character the set lacks fails the write.
void EncodeText(const TIBXSQLDA &area, StringView text, std::string &out) {
    const TIBSQL *sql = area.SQL();
    const TIBDatabase *db = sql ? sql->Database() : nullptr;
    out.clear();
    AppendServerText(area.Encoding(), db ? StringView(db->CharacterSet()) : StringView(u"NONE"), text, out);
}

String DecodeBytes(const TEncoding &enc, bool keepsAscii, const char *bytes, size_t length) {
    if (keepsAscii) {
        String out(length, u'\0');
        for (size_t k = 0; k < length; ++k) {
            auto b = static_cast<unsigned char>(bytes[k]);
            if (b >= 0x80) return enc.GetString(bytes, length);
            out[k] = b;
        }
        return out;
    }
    return enc.GetString(bytes, length);
}

// False for a value outside the calendar (years 1 to 9999, or NaN).
bool ToCalendar(TDateTime value, struct tm &t) {
    TDateParts p = DecodeDateTime(value);
    if (!IsValidDate(p.Year, p.Month, p.Day)) return false;
    std::memset(&t, 0, sizeof t);
    t.tm_year = p.Year - 1900;
    t.tm_mon = p.Month - 1;
    t.tm_mday = p.Day;
    t.tm_hour = p.Hour;
    t.tm_min = p.Minute;
    t.tm_sec = p.Second;
    return true;
}

// Firebird 4's zoned values: the UTC clock reading, the zone id and, in the
// extended forms, the zone's offset from UTC in minutes at that moment.
constexpr int64_t kTicksPerMinute = 60 * 10000;  // ISC_TIME counts 1/10000 s
constexpr int64_t kTicksPerDay = 24 * 60 * kTicksPerMinute;

int16_t ZoneOffset(const TSQLTypeTraits &type, const char *data) {
    // The offset follows the clock reading (8 or 4 bytes) and the zone id.
    const size_t at = (type.Class == TValueClass::TimestampZoned ? sizeof(ISC_TIMESTAMP) : sizeof(ISC_TIME)) + 2;
    int16_t offset;
    std::memcpy(&offset, data + at, sizeof offset);
    return offset;
}

// "+03:00", "-05:30", "+00:00".
String OffsetText(int minutes) {
    const int a = minutes < 0 ? -minutes : minutes;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%c%02d:%02d", minutes < 0 ? '-' : '+', a / 60, a % 60);
    return Utf8ToString(buf);
}

}  // namespace

// ---------------------------------------------------------------------------
// Helpers of TIBXSQLVAR

IGDSLibrary &TIBXSQLVAR::Library() const {
    if (IGDSLibrary *lib = FParent->GDSLibrary()) return *lib;
    // An area used without a statement (tests): the default binding.
    std::shared_ptr<IGDSLibrary> lib = FindServerLibrary(u"IBServer");
    lib->CheckIBLoaded();
    return *lib;  // registered bindings live as long as the process
}

void TIBXSQLVAR::RaiseConversion() const { RaiseClientError(ClientError::InvalidDataConversion); }

int64_t TIBXSQLVAR::ScaledValue() const { return ReadStoredInteger(FXSQLVAR->SqlData(), Type().StorageSize); }

__int128 TIBXSQLVAR::WideValue() const {
    if (Type().Class == TValueClass::Int128) return ReadStoredInt128(FXSQLVAR->SqlData());
    return ScaledValue();
}

bool TIBXSQLVAR::FitsInt64() const {
    if (Type().Class != TValueClass::Int128) return true;
    const __int128 v = WideValue();
    return v >= INT64_MIN && v <= INT64_MAX;
}

TDecimalFloat TIBXSQLVAR::DecimalFloatValue() const {
    return DecodeDecimalFloat(FXSQLVAR->SqlData(), Type().StorageSize);
}

TDateTime TIBXSQLVAR::ZonedDateTime() const {
    // The wall clock of the value's own zone: its UTC reading moved by the
    // offset that the extended forms carry. The plain forms carry only a
    // zone id, whose offset is the server's knowledge; the areas ask for the
    // extended forms (PrepareBuffers), so a plain form here is a value
    // written by hand.
    const TSQLTypeTraits &type = Type();
    if (!type.IsZonedEx()) RaiseConversion();
    const char *data = FXSQLVAR->SqlData();
    const int64_t shift = ZoneOffset(type, data) * kTicksPerMinute;
    struct tm t;
    std::memset(&t, 0, sizeof t);
    TDateTime date = 0, time = 0;
    if (type.Class == TValueClass::TimestampZoned) {
        ISC_TIMESTAMP stamp;
        std::memcpy(&stamp, data, sizeof stamp);
        int64_t ticks = static_cast<int64_t>(stamp.timestamp_time) + shift;
        int64_t days = stamp.timestamp_date;
        if (ticks < 0) {
            ticks += kTicksPerDay;
            --days;
        } else if (ticks >= kTicksPerDay) {
            ticks -= kTicksPerDay;
            ++days;
        }
        stamp.timestamp_date = static_cast<ISC_DATE>(days);
        stamp.timestamp_time = static_cast<ISC_TIME>(ticks);
        Library().isc_decode_timestamp(&stamp, &t);
        if (!TryEncodeDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, date)) RaiseConversion();
    } else {
        ISC_TIME clock;
        std::memcpy(&clock, data, sizeof clock);
        const int64_t ticks = (static_cast<int64_t>(clock) + shift) % kTicksPerDay;
        const ISC_TIME local = static_cast<ISC_TIME>(ticks < 0 ? ticks + kTicksPerDay : ticks);
        Library().isc_decode_sql_time(&local, &t);
    }
    if (!TryEncodeTime(t.tm_hour, t.tm_min, t.tm_sec, 0, time)) RaiseConversion();
    return date >= 0 ? date + time : date - time;
}

String TIBXSQLVAR::DecodeText(const char *Bytes, size_t Length, bool CutToChars) const {
    String s = DecodeBytes(FParent->Encoding(), FParent->EncodingKeepsAscii(), Bytes, Length);
    if (CutToChars) {
        // The length in characters: a character outside the Basic
        // Multilingual Plane is two UTF-16 units.
        size_t chars = static_cast<size_t>(FXSQLVAR->SqlLen() / CharSetSize());
        size_t i = 0;
        for (; i < s.size() && chars > 0; ++i, --chars)
            if (s[i] >= 0xD800 && s[i] <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) ++i;
        s.resize(i);
    }
    return s;
}

std::string TIBXSQLVAR::ReadBlobBytes() const {
    if (!FSQL) RaiseClientError(ClientError::DatabaseNotAssigned);
    ISC_QUAD id;
    std::memcpy(&id, FXSQLVAR->SqlData(), sizeof id);
    TIBSQL *sql = FSQL;
    return ReadBlob(Library(), sql->DBHandle(), sql->TRHandle(), id, [sql](ISC_STATUS s) { sql->Call(s, true); });
}

// ---------------------------------------------------------------------------
// Reads

int64_t TIBXSQLVAR::AsInt64() const {
    if (IsNull()) return 0;
    const TSQLTypeTraits &type = Type();
    int64_t v;
    if (type.IsText()) {
        if (!TryStrToInt64(AsString(), v)) RaiseConversion();
        return v;
    }
    if (!StoredNumberAsInt64(type, FXSQLVAR->SqlScale(), FXSQLVAR->SqlData(), v)) RaiseConversion();
    return v;
}

int32_t TIBXSQLVAR::AsInteger() const {
    if (IsNull()) return 0;
    if (Type().IsText()) {
        int32_t v;
        if (!TryStrToInt(AsString(), v)) RaiseConversion();
        return v;
    }
    // The low 32 bits of the truncated value: no range check.
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(AsInt64())));
}

int16_t TIBXSQLVAR::AsShort() const {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(AsInteger())));
}

double TIBXSQLVAR::AsDouble() const {
    if (IsNull()) return 0;
    const TSQLTypeTraits &type = Type();
    if (type.IsText()) {
        double d;
        if (!TryStrToFloat(AsString(), d)) RaiseConversion();
        return d;
    }
    if (type.Class == TValueClass::Integer) return ScaledAsDouble(ScaledValue());
    if (type.Class == TValueClass::Float) return ReadStoredFloat(FXSQLVAR->SqlData(), type.StorageSize);
    if (type.Class == TValueClass::Boolean) return AsBoolean() ? 1.0 : 0.0;
    if (type.Class == TValueClass::Int128) {
        if (FitsInt64()) return ScaledAsDouble(static_cast<int64_t>(WideValue()));
        return WideScaleToDouble(FXSQLVAR->SqlScale(), WideValue());
    }
    if (type.Class == TValueClass::DecFloat) return DecimalFloatValue().ToDouble();
    RaiseConversion();
}

double TIBXSQLVAR::ScaledAsDouble(int64_t v) const {
    int scale = FXSQLVAR->SqlScale();
    double d = ScaleToDouble(scale, v);
    if (scale == 0) return d;
    // Below 10^15 the quotient of two exact doubles is already the
    // nearest double to the decimal value, which is what rounding to
    // |scale| decimals through text gives.
    if (scale < 0 && -scale <= 22 && FitsFifteenDigits(v)) return d;
    return RoundScaled(d, scale < 0 ? -scale : scale);
}

float TIBXSQLVAR::AsFloat() const {
    double d = AsDouble();
    if (std::isfinite(d) && std::fabs(d) > FLT_MAX) RaiseConversion();
    return static_cast<float>(d);
}

Currency TIBXSQLVAR::AsCurrency() const {
    if (IsNull()) return 0;
    const TSQLTypeTraits &type = Type();
    Currency c = 0;
    bool exact = false;
    if (type.Class == TValueClass::Integer)
        exact = ScaledToCurrency(ScaledValue(), FXSQLVAR->SqlScale(), c);
    else if (type.Class == TValueClass::Int128)
        exact = FitsInt64() && ScaledToCurrency(static_cast<int64_t>(WideValue()), FXSQLVAR->SqlScale(), c);
    else if (type.Class == TValueClass::DecFloat)
        exact = DecimalFloatValue().IsFinite() && TryTextToCurrency(AsString(), c);
    else if (type.IsText())
        exact = TryTextToCurrency(AsString(), c);
    else if (type.Class == TValueClass::Float)
        exact = TruncToInt64(std::round(AsDouble() * 10000.0), c);
    if (!exact) RaiseConversion();
    return c;
}

bool TIBXSQLVAR::AsBoolean() const {
    if (IsNull()) return false;
    const TSQLTypeTraits &type = Type();
    if (type.Class != TValueClass::Boolean) RaiseConversion();
    return ReadStoredInteger(FXSQLVAR->SqlData(), type.StorageSize) == 1;
}

TDateTime TIBXSQLVAR::AsDateTime() const {
    if (IsNull()) return 0;
    const TSQLTypeTraits &type = Type();
    const char *data = FXSQLVAR->SqlData();
    if (type.IsText()) {
        TDateTime d;
        if (!TryTextToDateTime(Trim(AsString()), d)) RaiseConversion();
        return d;
    }
    if (type.IsZoned()) return ZonedDateTime();
    if (!type.IsDateTime()) RaiseConversion();
    struct tm t;
    std::memset(&t, 0, sizeof t);
    if (type.Class == TValueClass::Timestamp)
        Library().isc_decode_date(reinterpret_cast<const ISC_QUAD *>(data), &t);
    else if (type.Class == TValueClass::Date)
        Library().isc_decode_sql_date(reinterpret_cast<const ISC_DATE *>(data), &t);
    else
        Library().isc_decode_sql_time(reinterpret_cast<const ISC_TIME *>(data), &t);
    TDateTime date = 0, time = 0;
    if (type.Class != TValueClass::Time && !TryEncodeDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, date))
        RaiseConversion();
    if (type.Class != TValueClass::Date && !TryEncodeTime(t.tm_hour, t.tm_min, t.tm_sec, 0, time)) RaiseConversion();
    return date >= 0 ? date + time : date - time;
}

ISC_QUAD TIBXSQLVAR::AsQuad() const {
    ISC_QUAD q = {0, 0};
    if (!Type().IsId()) {
        if (IsNull()) return q;
        RaiseConversion();
    }
    if (!IsNull()) std::memcpy(&q, FXSQLVAR->SqlData(), sizeof q);
    return q;
}

void *TIBXSQLVAR::AsPointer() const { return IsNull() ? nullptr : FXSQLVAR->SqlData(); }

String TIBXSQLVAR::AsString() const {
    if (IsNull()) return String();
    const TSQLVAR &r = *FXSQLVAR;
    const TSQLTypeTraits &type = Type();
    switch (type.Class) {
    case TValueClass::FixedText:
    case TValueClass::VarText: {
        const std::string_view bytes = r.TextBytes();
        return DecodeText(bytes.data(), bytes.size(), type.Class == TValueClass::FixedText && r.HasRelName());
    }
    case TValueClass::Float: return FloatToStr(AsDouble());
    case TValueClass::Integer: {
        // Exact for every value: the general floating-point form is kept
        // where its 15 digits hold the value, the currency form is the exact
        // decimal text without trailing zeros.
        int scale = r.SqlScale();
        int64_t v = ScaledValue();
        if (scale == 0) return IntToStr(v);
        if (scale < -4 && FitsFifteenDigits(v)) return FloatToStr(AsDouble());
        return ScaledToGeneralText(v, scale);
    }
    case TValueClass::Int128: {
        if (FitsInt64() && r.SqlScale() != 0) {
            // The text of a scaled integer of the same value.
            const int64_t v = static_cast<int64_t>(WideValue());
            if (r.SqlScale() < -4 && FitsFifteenDigits(v)) return FloatToStr(ScaledAsDouble(v));
            return ScaledToGeneralText(v, r.SqlScale());
        }
        return WideScaledToGeneralText(WideValue(), r.SqlScale());
    }
    case TValueClass::DecFloat: return Utf8ToString(DecimalFloatValue().ToText());
    case TValueClass::Timestamp: return DateTimeToText(AsDateTime());
    case TValueClass::Time: return TimeToText(AsDateTime());
    case TValueClass::TimestampZoned:
    case TValueClass::TimeZoned: {
        // The wall clock of the value's zone and the zone's offset.
        const TDateTime local = ZonedDateTime();
        const String clock = type.Class == TValueClass::TimeZoned ? TimeToText(local) : DateTimeToText(local);
        return clock + u" " + OffsetText(ZoneOffset(type, r.SqlData()));
    }
    case TValueClass::Date:
        // Dialect 1 has no date-only type: its dates read as date-times.
        return FParent->SQLDialect() == 1 ? DateTimeToText(AsDateTime()) : DateToText(AsDateTime());
    case TValueClass::Blob: {
        std::string bytes = ReadBlobBytes();
        return DecodeBytes(FParent->Encoding(), FParent->EncodingKeepsAscii(), bytes.data(), bytes.size());
    }
    case TValueClass::Array: return u"(Array)";
    case TValueClass::Boolean: return AsBoolean() ? u"True" : u"False";
    default: RaiseConversion();
    }
}

String TIBXSQLVAR::AsTrimString() const { return TrimRight(AsString()); }

TBytes TIBXSQLVAR::AsBytes() const {
    if (IsNull()) return TBytes();
    const TSQLTypeTraits &type = Type();
    std::string bytes;
    if (type.IsText())
        bytes = FXSQLVAR->TextBytes();
    else if (type.Class == TValueClass::Blob)
        bytes = ReadBlobBytes();
    else
        RaiseConversion();
    return TBytes(bytes.begin(), bytes.end());
}

String TIBXSQLVAR::AsBcd() const {
    if (IsNull()) return String();
    const TSQLTypeTraits &type = Type();
    if (type.Class == TValueClass::Integer) return ScaledToDecimalText(ScaledValue(), FXSQLVAR->SqlScale());
    if (type.Class == TValueClass::Int128) return WideScaledToDecimalText(WideValue(), FXSQLVAR->SqlScale());
    if (type.Class == TValueClass::Float) return FloatToStr(AsDouble());
    if (type.Class == TValueClass::DecFloat) {
        const TDecimalFloat value = DecimalFloatValue();
        if (!value.IsFinite()) RaiseConversion();
        return Utf8ToString(value.ToText());
    }
    if (type.IsText()) {
        String t = Trim(AsString());
        int64_t v;
        int decimals;
        if (!ParseDecimal(t, v, decimals)) RaiseConversion();
        return t;
    }
    RaiseConversion();
}

VARIANT TIBXSQLVAR::AsVariant() const {
    VARIANT v;
    VariantInit(&v);
    if (IsNull()) {
        v.vt = VT_NULL;
        return v;
    }
    const TSQLTypeTraits &type = Type();
    const int scale = FXSQLVAR->SqlScale();
    if (type.Class == TValueClass::Int128) {
        if (!FitsInt64()) {
            // No VARIANT number holds it: its exact decimal text.
            v.u.bstrVal = SysAllocString(WideScaledToGeneralText(WideValue(), scale));
            v.vt = VT_BSTR;
            return v;
        }
        if (scale == 0) {
            v.u.llVal = static_cast<int64_t>(WideValue());
            v.vt = VT_I8;
            return v;
        }
    }
    if (type.Class == TValueClass::DecFloat) {
        // A double where it holds the value's digits, else the exact text.
        const TDecimalFloat value = DecimalFloatValue();
        if (!value.IsFinite() || value.Digits.size() <= 15) {
            v.u.dblVal = value.ToDouble();
            v.vt = VT_R8;
        } else {
            v.u.bstrVal = SysAllocString(Utf8ToString(value.ToText()));
            v.vt = VT_BSTR;
        }
        return v;
    }
    if ((type.Class == TValueClass::Integer || type.Class == TValueClass::Int128) && scale != 0) {
        const int64_t value = static_cast<int64_t>(WideValue());
        if (scale >= -4 && scale < 0 && ScaledToCurrency(value, scale, v.u.cyVal)) {
            v.vt = VT_CY;
        } else if ((scale < -4 || scale > 0) && FitsFifteenDigits(value)) {
            v.vt = VT_R8;
            v.u.dblVal = AsDouble();
        } else {
            // Neither Currency nor a double holds the value exactly: its
            // exact decimal text.
            v.u.bstrVal = SysAllocString(ScaledToGeneralText(value, scale));
            v.vt = VT_BSTR;
        }
        return v;
    }
    switch (type.Variant) {
    case VT_BSTR: v.u.bstrVal = SysAllocString(AsString()); break;
    case VT_I2: v.u.iVal = static_cast<int16_t>(ScaledValue()); break;
    case VT_I4: v.u.lVal = static_cast<int32_t>(ScaledValue()); break;
    case VT_I8: v.u.llVal = ScaledValue(); break;
    case VT_R8: v.u.dblVal = AsDouble(); break;
    case VT_DATE: v.u.date = AsDateTime(); break;
    case VT_BOOL: v.u.boolVal = static_cast<int16_t>(AsBoolean() ? -1 : 0); break;
    default: RaiseConversion();
    }
    v.vt = type.Variant;
    return v;
}

// ---------------------------------------------------------------------------
// Writes

void TIBXSQLVAR::WriteFixed(int Type, uint16_t Len, int Scale, bool KeepScale, const void *Value) {
    const bool clearNull = IsNullable();  // as SetIsNull(false) does, in the same pass
    for (TIBXSQLVAR *v : SameName()) {
        TSQLVAR &r = *v->FXSQLVAR;
        if (clearNull)
            if (int16_t *ind = r.SqlInd()) *ind = 0;
        if (Type >= 0) r.SetSqlType(static_cast<uint16_t>(Type | (r.SqlType() & 1)));
        r.SetSqlLen(Len);
        if (!KeepScale) r.SetSqlScale(static_cast<int16_t>(Scale));
        r.SetDataSize(Len, Len);
        std::memcpy(r.SqlData(), Value, Len);
        v->FModified = true;
    }
}

void TIBXSQLVAR::WriteText(const char *Bytes, size_t Length) {
    const auto &group = SameName();
    for (TIBXSQLVAR *v : group)
        if (!v->IsDBKey() && v->FMaxLen > 0 && Length > v->FMaxLen)
            RaiseClientError(ClientError::StringTooLarge, {static_cast<int64_t>(Length), static_cast<int64_t>(v->FMaxLen)});
    if (Length > static_cast<size_t>(kMaxTextLength))
        RaiseClientError(ClientError::StringTooLarge, {static_cast<int64_t>(Length), static_cast<int64_t>(kMaxTextLength)});
    if (IsNullable()) SetIsNull(false);
    for (TIBXSQLVAR *v : group) {
        TSQLVAR &r = *v->FXSQLVAR;
        if (v->IsDBKey()) {
            // A key keeps its type and length and takes the bytes as they are.
            int n = r.SqlLen();
            r.SetDataSize(n, n);
            if (n > 0) {
                std::memset(r.SqlData(), 0, static_cast<size_t>(n));
                if (Length > 0) std::memcpy(r.SqlData(), Bytes, std::min(static_cast<size_t>(n), Length));
            }
        } else {
            int n = static_cast<int>(Length);
            r.SetSqlType(static_cast<uint16_t>(SQL_TEXT | (r.SqlType() & 1)));
            r.SetSqlLen(static_cast<uint16_t>(n));
            r.SetDataSize(n + 1, n + 1);
            if (n > 0) std::memcpy(r.SqlData(), Bytes, Length);
            r.SqlData()[n] = 0;
        }
        v->FModified = true;
    }
}

void TIBXSQLVAR::WriteBlob(const char *Bytes, size_t Length) {
    if (!FSQL) RaiseClientError(ClientError::DatabaseNotAssigned);
    TIBSQL *sql = FSQL;
    ISC_QUAD id = vantrel::WriteBlob(Library(), sql->DBHandle(), sql->TRHandle(), Bytes, Length,
                                     [sql](ISC_STATUS s) { sql->Call(s, true); });
    SetAsQuad(id);
}

void TIBXSQLVAR::SetAsInteger(int32_t Value) { WriteFixed(SQL_LONG, 4, 0, false, &Value); }

void TIBXSQLVAR::SetAsShort(int16_t Value) { WriteFixed(SQL_SHORT, 2, 0, false, &Value); }

void TIBXSQLVAR::SetAsInt64(int64_t Value) { WriteFixed(SQL_INT64, 8, 0, false, &Value); }

void TIBXSQLVAR::SetAsDouble(double Value) { WriteFixed(SQL_DOUBLE, 8, 0, false, &Value); }

void TIBXSQLVAR::SetAsFloat(float Value) { WriteFixed(SQL_FLOAT, 4, 0, false, &Value); }

void TIBXSQLVAR::SetAsCurrency(Currency Value) {
    if (FParent->SQLDialect() < 3) {
        SetAsDouble(static_cast<double>(Value) / 10000.0);
        return;
    }
    WriteFixed(SQL_INT64, 8, -4, false, &Value);
}

void TIBXSQLVAR::SetAsDateTime(TDateTime Value) {
    struct tm t;
    if (!ToCalendar(Value, t)) RaiseConversion();
    ISC_QUAD q;
    Library().isc_encode_date(&t, &q);
    WriteFixed(SQL_TIMESTAMP, 8, 0, true, &q);
}

void TIBXSQLVAR::SetAsDate(TDateTime Value) {
    if (FParent->SQLDialect() < 3) {
        SetAsDateTime(Value);
        return;
    }
    struct tm t;
    if (!ToCalendar(Value, t)) RaiseConversion();
    ISC_DATE d;
    Library().isc_encode_sql_date(&t, &d);
    WriteFixed(SQL_TYPE_DATE, 4, 0, true, &d);
}

void TIBXSQLVAR::SetAsTime(TDateTime Value) {
    if (FParent->SQLDialect() < 3) {
        SetAsDateTime(Value);
        return;
    }
    struct tm t;
    if (!ToCalendar(Value, t)) RaiseConversion();
    ISC_TIME tm;
    Library().isc_encode_sql_time(&t, &tm);
    WriteFixed(SQL_TYPE_TIME, 4, 0, true, &tm);
}

void TIBXSQLVAR::SetAsBoolean(bool Value) {
    const TSQLTypeTraits &type = Type();
    const int16_t number = Value ? 1 : 0;
    const uint8_t byte = Value ? 1 : 0;
    if (type.Class == TValueClass::Boolean)
        WriteFixed(-1, type.StorageSize, 0, true, type.StorageSize == 1 ? static_cast<const void *>(&byte) : &number);
    else  // other types take 1 or 0 as a small integer for the server to convert
        WriteFixed(SQL_SHORT, 2, 0, false, &number);
}

void TIBXSQLVAR::SetAsQuad(const ISC_QUAD &Value) {
    if (!Type().IsId()) RaiseConversion();
    WriteFixed(-1, 8, 0, true, &Value);
}

void TIBXSQLVAR::SetAsString(const String &Value) {
    const TSQLTypeTraits &type = Type();
    // The area's buffer, kept from write to write unless a long text made
    // it large.
    std::string &bytes = FParent->FTextBytes;
    TFinally release([&bytes] {
        if (bytes.capacity() > 4096) std::string().swap(bytes);
    });
    switch (type.Class) {
    case TValueClass::FixedText:
    case TValueClass::VarText:
        EncodeText(*FParent, Value, bytes);
        WriteText(bytes.data(), bytes.size());
        return;
    case TValueClass::Blob:
        EncodeText(*FParent, Value, bytes);
        WriteBlob(bytes.data(), bytes.size());
        return;
    default:
        break;
    }
    if (Value.empty()) {
        SetIsNull(true);
        return;
    }
    if (type.IsDateTime()) {
        TDateTime d;
        if (!TryTextToDateTime(Trim(Value), d)) RaiseConversion();
        SetAsDateTime(d);
        return;
    }
    // The text goes to the server as SQL_TEXT (also into the text variables
    // of the same name), so it is encoded in the connection's character set.
    EncodeText(*FParent, Value, bytes);
    WriteText(bytes.data(), bytes.size());
}

void TIBXSQLVAR::SetAsTrimString(const String &Value) { SetAsString(TrimRight(Value)); }

void TIBXSQLVAR::SetAsBytes(const TBytes &Value) {
    const char *bytes = reinterpret_cast<const char *>(Value.data());
    if (Type().Class == TValueClass::Blob)
        WriteBlob(bytes, Value.size());
    else
        WriteText(bytes, Value.size());
}

void TIBXSQLVAR::SetAsBcd(const String &Value) {
    int64_t v;
    int decimals;
    if (!ParseDecimal(Value, v, decimals)) RaiseConversion();
    WriteFixed(SQL_INT64, 8, -decimals, false, &v);
}

void TIBXSQLVAR::SetAsVariant(const VARIANT &Value) {
    VARTYPE vt = Value.vt;
    if (vt & kVtArray) RaiseClientError(ClientError::NotSupported);
    if (vt & VT_BYREF) {
        VARTYPE base = static_cast<VARTYPE>(vt & ~VT_BYREF);
        const void *p = Value.u.byref;
        if (!p) RaiseClientError(ClientError::NotPermitted);
        if (base == VT_VARIANT) {
            SetAsVariant(*static_cast<const VARIANT *>(p));
            return;
        }
        VARIANT copy;
        VariantInit(&copy);
        copy.vt = base;
        switch (base) {
        case VT_I1: case VT_UI1: std::memcpy(&copy.u, p, 1); break;
        case VT_I2: case VT_UI2: case VT_BOOL: std::memcpy(&copy.u, p, 2); break;
        case VT_I4: case VT_UI4: case VT_R4: std::memcpy(&copy.u, p, 4); break;
        case VT_I8: case VT_UI8: case VT_R8: case VT_CY: case VT_DATE: case VT_BSTR: std::memcpy(&copy.u, p, 8); break;
        default: RaiseClientError(ClientError::NotPermitted);
        }
        SetAsVariant(copy);  // a by-value copy that borrows any string
        return;
    }
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL: SetIsNull(true); break;
    case VT_I1: SetAsShort(Value.u.cVal); break;
    case VT_UI1: SetAsShort(Value.u.bVal); break;
    case VT_I2: SetAsShort(Value.u.iVal); break;
    case VT_UI2: SetAsInteger(Value.u.uiVal); break;
    case VT_I4: SetAsInteger(Value.u.lVal); break;
    case VT_UI4: SetAsInt64(Value.u.ulVal); break;
    case VT_I8: SetAsInt64(Value.u.llVal); break;
    case VT_UI8:
        if (Value.u.ullVal > static_cast<uint64_t>(INT64_MAX)) RaiseClientError(ClientError::NotSupported);
        SetAsInt64(static_cast<int64_t>(Value.u.ullVal));
        break;
    case VT_R4: SetAsFloat(Value.u.fltVal); break;
    case VT_R8: SetAsDouble(Value.u.dblVal); break;
    case VT_CY: SetAsCurrency(Value.u.cyVal); break;
    case VT_DATE: SetAsDateTime(Value.u.date); break;
    case VT_BOOL: SetAsBoolean(Value.u.boolVal != 0); break;
    case VT_BSTR:
        SetAsString(Value.u.bstrVal ? String(Value.u.bstrVal, SysStringLen(Value.u.bstrVal)) : String());
        break;
    default: RaiseClientError(ClientError::NotPermitted);
    }
}

// ---------------------------------------------------------------------------
// Copying and streams

void TIBXSQLVAR::Assign(const TIBXSQLVAR &Source) {
    if (&Source == this) return;
    if (Source.IsNull()) {
        SetIsNull(true);
        return;
    }
    const TSQLTypeTraits &source = Source.Type();
    const TValueClass target = Type().Class;
    if (source.Class == TValueClass::Array || target == TValueClass::Array) RaiseConversion();
    if (source.Class == TValueClass::Blob && target == TValueClass::Blob) {
        std::string bytes = Source.ReadBlobBytes();
        WriteBlob(bytes.data(), bytes.size());
        return;
    }
    if (source.Class == TValueClass::Blob || target == TValueClass::Blob) {
        SetAsString(Source.AsString());
        return;
    }
    const TSQLVAR &s = *Source.FXSQLVAR;
    uint16_t len = s.SqlLen();
    const int size = source.BufferSize(len);
    if (IsNullable()) SetIsNull(false);
    for (TIBXSQLVAR *v : SameName()) {
        TSQLVAR &r = *v->FXSQLVAR;
        r.SetSqlType(static_cast<uint16_t>(source.Code | (r.SqlType() & 1)));
        r.SetSqlScale(s.SqlScale());
        r.SetSqlLen(len);
        r.SetDataSize(size, size);
        std::memcpy(r.SqlData(), s.SqlData(), static_cast<size_t>(size));
        v->FModified = true;
    }
}

void TIBXSQLVAR::LoadFromStream(std::istream &Stream) {
    TBytes bytes((std::istreambuf_iterator<char>(Stream)), std::istreambuf_iterator<char>());
    SetAsBytes(bytes);
}

void TIBXSQLVAR::SaveToStream(std::ostream &Stream) const {
    TBytes bytes = AsBytes();
    Stream.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void TIBXSQLVAR::LoadFromFile(const std::string &FileName) { SetAsBytes(ReadWholeFile(Utf8ToString(FileName))); }

void TIBXSQLVAR::SaveToFile(const std::string &FileName) const {
    TBytes bytes = AsBytes();
    std::ofstream out(FileName, std::ios::binary | std::ios::trunc);
    if (out) out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        int code = errno;
        throw EFOpenError(Format(kCannotCreateFileMessage,
                                 {Utf8ToString(FileName), Utf8ToString(std::strerror(code))}));
    }
}

}  // namespace vantrel
