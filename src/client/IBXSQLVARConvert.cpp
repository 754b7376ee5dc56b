// Typed reads and writes of descriptor variables: scaled integers, floating
// point, dates and times through the client's calendar codecs, text in the
// connection's character set, booleans (InterBase 590 and Firebird's one-byte
// SQL_BOOLEAN), blobs, and the VARIANT, bytes and decimal-text forms.
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

#include "client/GDSLibrary.h"
#include "client/IBBlob.h"
#include "client/IBDatabase.h"
#include "client/IBErrors.h"
#include "client/IBSQL.h"
#include "client/IBXSQLDA.h"
#include "platform/Files.h"
#include "platform/Variant.h"

namespace vantrel {

namespace {

constexpr int kMaxTextLength = 32767;  // sqllen is a signed 16-bit field
constexpr uint16_t kVtArray = 0x2000;

const int64_t kPow10[19] = {1LL,
                            10LL,
                            100LL,
                            1000LL,
                            10000LL,
                            100000LL,
                            1000000LL,
                            10000000LL,
                            100000000LL,
                            1000000000LL,
                            10000000000LL,
                            100000000000LL,
                            1000000000000LL,
                            10000000000000LL,
                            100000000000000LL,
                            1000000000000000LL,
                            10000000000000000LL,
                            100000000000000000LL,
                            1000000000000000000LL};

double Pow10Double(int k) { return k <= 18 ? static_cast<double>(kPow10[k]) : std::pow(10.0, k); }

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

bool IsTextType(uint16_t def) { return def == SQL_TEXT || def == SQL_VARYING; }
bool IsIntegerType(uint16_t def) { return def == SQL_SHORT || def == SQL_LONG || def == SQL_INT64; }
bool IsFloatType(uint16_t def) { return def == SQL_DOUBLE || def == SQL_FLOAT || def == SQL_D_FLOAT; }
bool IsBooleanType(uint16_t def) { return def == SQL_IB_BOOLEAN || def == SQL_BOOLEAN; }
bool IsIdType(uint16_t def) { return def == SQL_BLOB || def == SQL_ARRAY || def == SQL_QUAD; }

// The stored number of a boolean: 16 bits for 590, one byte for SQL_BOOLEAN.
int BooleanValue(const TSQLVAR &r) {
    if (r.SqlDef() == SQL_BOOLEAN) return static_cast<unsigned char>(*r.SqlData());
    int16_t v;
    std::memcpy(&v, r.SqlData(), sizeof v);
    return v;
}

// A double truncated toward zero, or false when it has no 64-bit value.
bool TruncToInt64(double d, int64_t &out) {
    if (!std::isfinite(d)) return false;
    double t = std::trunc(d);
    if (t < -9223372036854775808.0 || t >= 9223372036854775808.0) return false;
    out = static_cast<int64_t>(t);
    return true;
}

// Rounds to k decimals after 15 significant digits, through text, as the
// classic fixed-point display of a scaled value does.
double RoundScaled(double d, int k) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.14e", d);
    double r = std::strtod(buf, nullptr);
    std::snprintf(buf, sizeof buf, "%.*f", k, r);
    return std::strtod(buf, nullptr);
}

// At most 15 significant digits: a double's general form is exact.
bool FitsFifteenDigits(int64_t v) { return v > -1000000000000000LL && v < 1000000000000000LL; }

// Parses a decimal number with optional sign and fraction. Returns the
// digits as an integer and the count of decimals; false when the text is
// no plain decimal or has more than 18 significant digits.
bool ParseDecimal(StringView text, int64_t &value, int &decimals) {
    String t = Trim(text);
    size_t i = 0;
    bool neg = false;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) neg = t[i++] == u'-';
    uint64_t acc = 0;
    int digits = 0, sig = 0;
    decimals = 0;
    bool point = false;
    for (; i < t.size(); ++i) {
        char16_t c = t[i];
        if (c == u'.' && !point) {
            point = true;
            continue;
        }
        if (c < u'0' || c > u'9') return false;
        ++digits;
        if (point) ++decimals;
        if (acc == 0 && c == u'0') continue;  // leading zeros do not count
        if (++sig > 18) return false;
        acc = acc * 10 + static_cast<uint64_t>(c - u'0');
    }
    if (digits == 0 || decimals > 18) return false;
    value = neg ? -static_cast<int64_t>(acc) : static_cast<int64_t>(acc);
    return true;
}

bool TryTextToCurrency(StringView text, Currency &out) {
    int64_t v;
    int decimals;
    if (ParseDecimal(text, v, decimals)) {
        if (decimals <= 4) {
            __int128 c = static_cast<__int128>(v) * kPow10[4 - decimals];
            if (c > INT64_MAX || c < INT64_MIN) return false;
            out = static_cast<Currency>(c);
            return true;
        }
        int64_t d = kPow10[decimals - 4];
        int64_t q = v / d, r = v % d;
        if (2 * (r < 0 ? -r : r) >= d) q += v < 0 ? -1 : 1;
        out = q;
        return true;
    }
    double f;
    if (!TryStrToFloat(text, f)) return false;
    int64_t c;
    if (!TruncToInt64(std::round(f * 10000.0), c)) return false;
    out = c;
    return true;
}

// The scaled value with four decimals (more are rounded half away from
// zero); false when Currency cannot hold it.
bool ScaledToCurrency(int64_t v, int scale, Currency &out) {
    if (scale >= -4) {
        const int k = 4 + scale;
        if (k > 18) {
            out = 0;
            return v == 0;
        }
        return !__builtin_mul_overflow(v, kPow10[k], &out);
    }
    const int k = -4 - scale;
    if (k > 18) {
        out = 0;
        return true;
    }
    const int64_t d = kPow10[k];
    int64_t q = v / d, r = v % d;
    // |r| < d <= 10^18, so twice it still fits.
    if (2 * (r < 0 ? -r : r) >= d) q += v < 0 ? -1 : 1;
    out = q;
    return true;
}

String ScaledToDecimalText(int64_t v, int scale) {
    bool neg = v < 0;
    uint64_t a = neg ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    String digits = UIntToStr(a);
    if (scale > 0) {
        if (a != 0) digits.append(static_cast<size_t>(scale), u'0');
    } else if (scale < 0) {
        size_t k = static_cast<size_t>(-scale);
        if (digits.size() <= k) digits.insert(0, k + 1 - digits.size(), u'0');
        digits.insert(digits.size() - k, 1, u'.');
    }
    return neg ? u"-" + digits : digits;
}

// Exact decimal text of a scaled value without trailing zeros after the
// point (the general form: "1.5", "-2", "1000000000000000").
String ScaledToGeneralText(int64_t v, int scale) {
    String text = ScaledToDecimalText(v, scale);
    if (text.find(u'.') != String::npos) {
        while (text.back() == u'0') text.pop_back();
        if (text.back() == u'.') text.pop_back();
    }
    return text;
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

}  // namespace

double ScaleToDouble(int Scale, int64_t Value) {
    if (Scale > 0) return static_cast<double>(Value) * Pow10Double(Scale);
    if (Scale < 0) return static_cast<double>(Value) / Pow10Double(-Scale);
    return static_cast<double>(Value);
}

int64_t ScaleToInt64(int Scale, int64_t Value) {
    if (Scale > 0) {
        if (Scale > 18) return 0;
        return static_cast<int64_t>(static_cast<uint64_t>(Value) * static_cast<uint64_t>(kPow10[Scale]));
    }
    if (Scale < 0) {
        if (Scale < -18) return 0;
        return Value / kPow10[-Scale];
    }
    return Value;
}

// ---------------------------------------------------------------------------
// Helpers of TIBXSQLVAR

IGDSLibrary &TIBXSQLVAR::Library() const {
    if (IGDSLibrary *lib = FParent->GDSLibrary()) return *lib;
    // An area used without a statement (tests): the default binding.
    std::shared_ptr<IGDSLibrary> lib = FindServerLibrary(u"IBServer");
    lib->CheckIBLoaded();
    return *lib;  // registered bindings live as long as the process
}

void TIBXSQLVAR::RaiseConversion() const { RaiseClientError(ibxeInvalidDataConversion); }

int64_t TIBXSQLVAR::ScaledValue() const {
    const char *data = FXSQLVAR->SqlData();
    switch (FXSQLVAR->SqlDef()) {
    case SQL_SHORT: {
        int16_t v;
        std::memcpy(&v, data, sizeof v);
        return v;
    }
    case SQL_LONG: {
        int32_t v;
        std::memcpy(&v, data, sizeof v);
        return v;
    }
    default: {
        int64_t v;
        std::memcpy(&v, data, sizeof v);
        return v;
    }
    }
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

std::string TIBXSQLVAR::ReadTextBytes() const {
    const TSQLVAR &r = *FXSQLVAR;
    if (r.SqlDef() == SQL_TEXT) return std::string(r.SqlData(), r.SqlLen());
    uint16_t n;
    std::memcpy(&n, r.SqlData(), sizeof n);
    if (n > r.SqlLen()) n = r.SqlLen();
    return std::string(r.SqlData() + 2, n);
}

std::string TIBXSQLVAR::ReadBlobBytes() const {
    if (!FSQL) RaiseClientError(ibxeDatabaseNotAssigned);
    ISC_QUAD id;
    std::memcpy(&id, FXSQLVAR->SqlData(), sizeof id);
    TIBSQL *sql = FSQL;
    return ReadBlob(Library(), sql->DBHandle(), sql->TRHandle(), id, [sql](ISC_STATUS s) { sql->Call(s, true); });
}

// ---------------------------------------------------------------------------
// Reads

int64_t TIBXSQLVAR::AsInt64() const {
    if (IsNull()) return 0;
    uint16_t def = FXSQLVAR->SqlDef();
    if (IsIntegerType(def)) return ScaleToInt64(FXSQLVAR->SqlScale(), ScaledValue());
    if (IsTextType(def)) {
        int64_t v;
        if (!TryStrToInt64(AsString(), v)) RaiseConversion();
        return v;
    }
    if (IsFloatType(def)) {
        int64_t v;
        if (!TruncToInt64(AsDouble(), v)) RaiseConversion();
        return v;
    }
    if (IsBooleanType(def)) return BooleanValue(*FXSQLVAR) == 1 ? 1 : 0;
    RaiseConversion();
}

int32_t TIBXSQLVAR::AsInteger() const {
    if (IsNull()) return 0;
    uint16_t def = FXSQLVAR->SqlDef();
    if (IsTextType(def)) {
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
    const TSQLVAR &r = *FXSQLVAR;
    switch (r.SqlDef()) {
    case SQL_TEXT:
    case SQL_VARYING: {
        double d;
        if (!TryStrToFloat(AsString(), d)) RaiseConversion();
        return d;
    }
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64: {
        int scale = r.SqlScale();
        int64_t v = ScaledValue();
        double d = ScaleToDouble(scale, v);
        if (scale == 0) return d;
        // Below 10^15 the quotient of two exact doubles is already the
        // nearest double to the decimal value, which is what rounding to
        // |scale| decimals through text gives.
        if (scale < 0 && -scale <= 22 && v > -1000000000000000LL && v < 1000000000000000LL) return d;
        return RoundScaled(d, scale < 0 ? -scale : scale);
    }
    case SQL_DOUBLE:
    case SQL_D_FLOAT: {
        double d;
        std::memcpy(&d, r.SqlData(), sizeof d);
        return d;
    }
    case SQL_FLOAT: {
        float f;
        std::memcpy(&f, r.SqlData(), sizeof f);
        return f;
    }
    case SQL_IB_BOOLEAN:
    case SQL_BOOLEAN:
        return BooleanValue(r) == 1 ? 1.0 : 0.0;
    default:
        RaiseConversion();
    }
}

float TIBXSQLVAR::AsFloat() const {
    double d = AsDouble();
    if (std::isfinite(d) && std::fabs(d) > FLT_MAX) RaiseConversion();
    return static_cast<float>(d);
}

Currency TIBXSQLVAR::AsCurrency() const {
    if (IsNull()) return 0;
    uint16_t def = FXSQLVAR->SqlDef();
    if (IsIntegerType(def)) {
        Currency c;
        if (!ScaledToCurrency(ScaledValue(), FXSQLVAR->SqlScale(), c)) RaiseConversion();
        return c;
    }
    if (IsTextType(def)) {
        Currency c;
        if (!TryTextToCurrency(AsString(), c)) RaiseConversion();
        return c;
    }
    if (IsFloatType(def)) {
        int64_t c;
        if (!TruncToInt64(std::round(AsDouble() * 10000.0), c)) RaiseConversion();
        return c;
    }
    RaiseConversion();
}

bool TIBXSQLVAR::AsBoolean() const {
    if (IsNull()) return false;
    if (!IsBooleanType(FXSQLVAR->SqlDef())) RaiseConversion();
    return BooleanValue(*FXSQLVAR) == 1;
}

TDateTime TIBXSQLVAR::AsDateTime() const {
    if (IsNull()) return 0;
    const TSQLVAR &r = *FXSQLVAR;
    struct tm t;
    std::memset(&t, 0, sizeof t);
    bool hasDate = true, hasTime = true;
    switch (r.SqlDef()) {
    case SQL_TIMESTAMP:
        Library().isc_decode_date(reinterpret_cast<const ISC_QUAD *>(r.SqlData()), &t);
        break;
    case SQL_TYPE_DATE:
        Library().isc_decode_sql_date(reinterpret_cast<const ISC_DATE *>(r.SqlData()), &t);
        hasTime = false;
        break;
    case SQL_TYPE_TIME:
        Library().isc_decode_sql_time(reinterpret_cast<const ISC_TIME *>(r.SqlData()), &t);
        hasDate = false;
        break;
    case SQL_TEXT:
    case SQL_VARYING: {
        TDateTime d;
        if (!TryTextToDateTime(Trim(AsString()), d)) RaiseConversion();
        return d;
    }
    default:
        RaiseConversion();
    }
    TDateTime date = 0, time = 0;
    if (hasDate && !TryEncodeDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, date)) RaiseConversion();
    if (hasTime && !TryEncodeTime(t.tm_hour, t.tm_min, t.tm_sec, 0, time)) RaiseConversion();
    return date >= 0 ? date + time : date - time;
}

ISC_QUAD TIBXSQLVAR::AsQuad() const {
    ISC_QUAD q = {0, 0};
    if (!IsIdType(FXSQLVAR->SqlDef())) {
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
    switch (r.SqlDef()) {
    case SQL_TEXT:
        return DecodeText(r.SqlData(), r.SqlLen(), r.HasRelName());
    case SQL_VARYING: {
        uint16_t n;
        std::memcpy(&n, r.SqlData(), sizeof n);  // little-endian length prefix
        if (n > r.SqlLen()) n = r.SqlLen();
        return DecodeText(r.SqlData() + 2, n, false);
    }
    case SQL_DOUBLE:
    case SQL_FLOAT:
    case SQL_D_FLOAT:
        return FloatToStr(AsDouble());
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64: {
        // Exact for every value: the general floating-point form is kept
        // where its 15 digits hold the value, the currency form is the exact
        // decimal text without trailing zeros.
        int scale = r.SqlScale();
        int64_t v = ScaledValue();
        if (scale == 0) return IntToStr(v);
        if (scale < -4 && FitsFifteenDigits(v)) return FloatToStr(AsDouble());
        return ScaledToGeneralText(v, scale);
    }
    case SQL_TIMESTAMP:
        return DateTimeToText(AsDateTime());
    case SQL_TYPE_TIME:
        return TimeToText(AsDateTime());
    case SQL_TYPE_DATE:
        // Dialect 1 has no date-only type: its dates read as date-times.
        return FParent->SQLDialect() == 1 ? DateTimeToText(AsDateTime()) : DateToText(AsDateTime());
    case SQL_BLOB: {
        std::string bytes = ReadBlobBytes();
        return DecodeBytes(FParent->Encoding(), FParent->EncodingKeepsAscii(), bytes.data(), bytes.size());
    }
    case SQL_ARRAY:
        return u"(Array)";
    case SQL_IB_BOOLEAN:
    case SQL_BOOLEAN:
        return BooleanValue(r) == 1 ? u"True" : u"False";
    default:
        RaiseConversion();
    }
}

String TIBXSQLVAR::AsTrimString() const { return TrimRight(AsString()); }

TBytes TIBXSQLVAR::AsBytes() const {
    if (IsNull()) return TBytes();
    uint16_t def = FXSQLVAR->SqlDef();
    std::string bytes;
    if (IsTextType(def))
        bytes = ReadTextBytes();
    else if (def == SQL_BLOB)
        bytes = ReadBlobBytes();
    else
        RaiseConversion();
    return TBytes(bytes.begin(), bytes.end());
}

String TIBXSQLVAR::AsBcd() const {
    if (IsNull()) return String();
    uint16_t def = FXSQLVAR->SqlDef();
    if (IsIntegerType(def)) return ScaledToDecimalText(ScaledValue(), FXSQLVAR->SqlScale());
    if (IsFloatType(def)) return FloatToStr(AsDouble());
    if (IsTextType(def)) {
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
    const TSQLVAR &r = *FXSQLVAR;
    uint16_t def = r.SqlDef();
    switch (def) {
    case SQL_TEXT:
    case SQL_VARYING:
    case SQL_BLOB:
    case SQL_ARRAY:
        v.u.bstrVal = SysAllocString(AsString());
        v.vt = VT_BSTR;
        break;
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64: {
        int scale = r.SqlScale();
        if (scale == 0) {
            if (def == SQL_SHORT) {
                v.vt = VT_I2;
                v.u.iVal = static_cast<int16_t>(ScaledValue());
            } else if (def == SQL_LONG) {
                v.vt = VT_I4;
                v.u.lVal = static_cast<int32_t>(ScaledValue());
            } else {
                v.vt = VT_I8;
                v.u.llVal = ScaledValue();
            }
        } else if (scale >= -4 && scale < 0 && ScaledToCurrency(ScaledValue(), scale, v.u.cyVal)) {
            v.vt = VT_CY;
        } else if ((scale < -4 || scale > 0) && FitsFifteenDigits(ScaledValue())) {
            v.vt = VT_R8;
            v.u.dblVal = AsDouble();
        } else {
            // Neither Currency nor a double holds the value exactly: its
            // exact decimal text.
            v.u.bstrVal = SysAllocString(ScaledToGeneralText(ScaledValue(), scale));
            v.vt = VT_BSTR;
        }
        break;
    }
    case SQL_DOUBLE:
    case SQL_FLOAT:
    case SQL_D_FLOAT:
        v.vt = VT_R8;
        v.u.dblVal = AsDouble();
        break;
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
        v.vt = VT_DATE;
        v.u.date = AsDateTime();
        break;
    case SQL_IB_BOOLEAN:
    case SQL_BOOLEAN:
        v.vt = VT_BOOL;
        v.u.boolVal = static_cast<int16_t>(AsBoolean() ? -1 : 0);
        break;
    default:
        RaiseConversion();
    }
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
            RaiseClientError(ibxeStringTooLarge, {static_cast<int64_t>(Length), static_cast<int64_t>(v->FMaxLen)});
    if (Length > static_cast<size_t>(kMaxTextLength))
        RaiseClientError(ibxeStringTooLarge, {static_cast<int64_t>(Length), static_cast<int64_t>(kMaxTextLength)});
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
    if (!FSQL) RaiseClientError(ibxeDatabaseNotAssigned);
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
    switch (FXSQLVAR->SqlDef()) {
    case SQL_BOOLEAN: {
        uint8_t b = Value ? 1 : 0;
        WriteFixed(SQL_BOOLEAN, 1, 0, true, &b);
        break;
    }
    case SQL_IB_BOOLEAN: {
        int16_t v = Value ? 1 : 0;
        WriteFixed(SQL_IB_BOOLEAN, 2, 0, true, &v);
        break;
    }
    default: {
        // Other types take 1 or 0 as a small integer for the server to convert.
        int16_t v = Value ? 1 : 0;
        WriteFixed(SQL_SHORT, 2, 0, false, &v);
        break;
    }
    }
}

void TIBXSQLVAR::SetAsQuad(const ISC_QUAD &Value) {
    if (!IsIdType(FXSQLVAR->SqlDef())) RaiseConversion();
    WriteFixed(-1, 8, 0, true, &Value);
}

void TIBXSQLVAR::SetAsString(const String &Value) {
    uint16_t def = FXSQLVAR->SqlDef();
    // The area's buffer, kept from write to write unless a long text made
    // it large.
    std::string &bytes = FParent->FTextBytes;
    struct TRelease {
        std::string &Bytes;
        ~TRelease() {
            if (Bytes.capacity() > 4096) std::string().swap(Bytes);
        }
    } release{bytes};
    switch (def) {
    case SQL_TEXT:
    case SQL_VARYING:
        EncodeText(*FParent, Value, bytes);
        WriteText(bytes.data(), bytes.size());
        return;
    case SQL_BLOB:
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
    if (def == SQL_TIMESTAMP || def == SQL_TYPE_TIME || def == SQL_TYPE_DATE) {
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
    if (FXSQLVAR->SqlDef() == SQL_BLOB)
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
    if (vt & kVtArray) RaiseClientError(ibxeNotSupported);
    if (vt & VT_BYREF) {
        VARTYPE base = static_cast<VARTYPE>(vt & ~VT_BYREF);
        const void *p = Value.u.byref;
        if (!p) RaiseClientError(ibxeNotPermitted);
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
        default: RaiseClientError(ibxeNotPermitted);
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
        if (Value.u.ullVal > static_cast<uint64_t>(INT64_MAX)) RaiseClientError(ibxeNotSupported);
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
    default: RaiseClientError(ibxeNotPermitted);
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
    uint16_t sdef = Source.FXSQLVAR->SqlDef();
    uint16_t ddef = FXSQLVAR->SqlDef();
    if (sdef == SQL_ARRAY || ddef == SQL_ARRAY) RaiseConversion();
    if (sdef == SQL_BLOB && ddef == SQL_BLOB) {
        std::string bytes = Source.ReadBlobBytes();
        WriteBlob(bytes.data(), bytes.size());
        return;
    }
    if (sdef == SQL_BLOB || ddef == SQL_BLOB) {
        SetAsString(Source.AsString());
        return;
    }
    const TSQLVAR &s = *Source.FXSQLVAR;
    uint16_t len = s.SqlLen();
    int size = sdef == SQL_VARYING ? len + 2 : std::max<int>(len, 1);
    if (IsNullable()) SetIsNull(false);
    for (TIBXSQLVAR *v : SameName()) {
        TSQLVAR &r = *v->FXSQLVAR;
        r.SetSqlType(static_cast<uint16_t>(sdef | (r.SqlType() & 1)));
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
        throw EFOpenError(Format(u"Cannot create file \"%s\". %s",
                                 {Utf8ToString(FileName), Utf8ToString(std::strerror(code))}));
    }
}

}  // namespace vantrel
