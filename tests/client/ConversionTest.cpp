// Typed reads and writes of descriptor variables, on areas built by hand
// (no database; the date codecs come from the real client library).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>

#include "ClientErrorExpect.h"
#include "client/GDSLibrary.h"
#include "client/IBXSQLDA.h"
#include "platform/Variant.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::U;

class ConversionTest : public ::testing::Test {
protected:
    // An area of one variable, described with the given type.
    TIBXSQLVAR &Var(uint16_t type, uint16_t len, int16_t scale = 0, int dialect = 3, const String &rel = String(),
                    int16_t subtype = 0, int codePage = 1251) {
        std::shared_ptr<IGDSLibrary> lib = FindServerLibrary(u"IBServer");
        lib->CheckIBLoaded();
        FArea = std::make_unique<TIBXSQLDA>(nullptr);
        FArea->SetContext(lib.get(), lib->GetIBClientVersion(), dialect, TEncoding::GetEncoding(codePage));
        FArea->SetCount(1);
        TSQLVAR &r = (*FArea)[0].SqlVar();
        r.SetSqlType(type);
        r.SetSqlLen(len);
        r.SetSqlScale(scale);
        r.SetSqlSubtype(subtype);
        r.SetRelName(rel);
        FArea->PrepareBuffers();
        return (*FArea)[0];
    }
    template <class T>
    void Store(TIBXSQLVAR &v, T value) {
        std::memcpy(v.SqlVar().SqlData(), &value, sizeof value);
    }
    void StoreText(TIBXSQLVAR &v, const std::string &bytes) {
        std::memcpy(v.SqlVar().SqlData(), bytes.data(), bytes.size());
    }
    void StoreVarying(TIBXSQLVAR &v, const std::string &bytes) {
        uint16_t n = static_cast<uint16_t>(bytes.size());
        std::memcpy(v.SqlVar().SqlData(), &n, 2);
        std::memcpy(v.SqlVar().SqlData() + 2, bytes.data(), bytes.size());
    }
    std::unique_ptr<TIBXSQLDA> FArea;
};

// ---------------------------------------------------------------------------
// Scaled integers

TEST_F(ConversionTest, ScaledIntegersTruncateTowardZero) {
    TIBXSQLVAR &v = Var(SQL_LONG, 4, -2);
    Store<int32_t>(v, 12345);
    EXPECT_EQ(v.AsInteger(), 123);
    EXPECT_EQ(v.AsInt64(), 123);
    EXPECT_EQ(v.AsString(), u"123.45");
    EXPECT_EQ(v.AsCurrency(), 1234500);

    TIBXSQLVAR &w = Var(SQL_INT64, 8, -2);
    Store<int64_t>(w, -12345);
    EXPECT_EQ(w.AsInt64(), -123);
    EXPECT_EQ(w.AsInteger(), -123);
    EXPECT_EQ(w.AsString(), u"-123.45");
    EXPECT_DOUBLE_EQ(w.AsDouble(), -123.45);
}

TEST_F(ConversionTest, ScaledDoubleIsTheNearestDoubleOfTheDecimal) {
    TIBXSQLVAR &v = Var(SQL_LONG, 4, -3);
    Store<int32_t>(v, 1);
    EXPECT_EQ(v.AsDouble(), 0.001);
    EXPECT_EQ(v.AsString(), u"0.001");

    TIBXSQLVAR &w = Var(SQL_INT64, 8, -2);
    Store<int64_t>(w, 1099);
    EXPECT_EQ(w.AsDouble(), 10.99);
    Store<int64_t>(w, 999999999999999);  // 15 digits: exact
    EXPECT_EQ(w.AsDouble(), 9999999999999.99);
    // Beyond 15 significant digits the value is rounded to 15 of them.
    Store<int64_t>(w, 123456789012345678);
    EXPECT_EQ(w.AsDouble(), 1234567890123460.0);
}

TEST_F(ConversionTest, ScaleTextFormsDependOnTheScale) {
    TIBXSQLVAR &a = Var(SQL_SHORT, 2, -1);
    Store<int16_t>(a, -15);
    EXPECT_EQ(a.AsString(), u"-1.5");
    TIBXSQLVAR &b = Var(SQL_INT64, 8, -4);
    Store<int64_t>(b, 120000);
    EXPECT_EQ(b.AsString(), u"12");
    TIBXSQLVAR &c = Var(SQL_INT64, 8, -6);
    Store<int64_t>(c, 1234567);
    EXPECT_EQ(c.AsString(), u"1.234567");
    EXPECT_EQ(c.AsCurrency(), 12346);  // rounded to four decimals
    TIBXSQLVAR &d = Var(SQL_INT64, 8, 0);
    Store<int64_t>(d, INT64_MIN);
    EXPECT_EQ(d.AsString(), u"-9223372036854775808");
}

TEST(Scaling, ScaleHelpers) {
    EXPECT_EQ(ScaleToInt64(-2, 12399), 123);
    EXPECT_EQ(ScaleToInt64(-2, -12399), -123);
    EXPECT_EQ(ScaleToInt64(2, 5), 500);
    EXPECT_EQ(ScaleToInt64(0, 7), 7);
    EXPECT_DOUBLE_EQ(ScaleToDouble(-2, 12399), 123.99);
    EXPECT_DOUBLE_EQ(ScaleToDouble(3, 2), 2000.0);
}

TEST_F(ConversionTest, NarrowReadsKeepTheLowBits) {
    TIBXSQLVAR &v = Var(SQL_INT64, 8);
    Store<int64_t>(v, 0x100000005LL);
    EXPECT_EQ(v.AsInteger(), 5);
    Store<int64_t>(v, 70000);
    EXPECT_EQ(v.AsShort(), static_cast<int16_t>(70000 & 0xFFFF));
}

// ---------------------------------------------------------------------------
// Floating point and text parsing

TEST_F(ConversionTest, FloatingPointReads) {
    TIBXSQLVAR &d = Var(SQL_DOUBLE, 8);
    Store<double>(d, -2.75);
    EXPECT_EQ(d.AsInteger(), -2);
    EXPECT_EQ(d.AsInt64(), -2);
    EXPECT_EQ(d.AsCurrency(), -27500);
    EXPECT_EQ(d.AsString(), u"-2.75");
    Store<double>(d, 1e300);
    EXPECT_CLIENT_ERROR(d.AsFloat(), 38, "Invalid data conversion");
    EXPECT_CLIENT_ERROR_ID(d.AsInt64(), 38);
    EXPECT_CLIENT_ERROR_ID(d.AsBoolean(), 38);

    TIBXSQLVAR &f = Var(SQL_FLOAT, 4);
    Store<float>(f, 0.5f);
    EXPECT_EQ(f.AsDouble(), 0.5);
    EXPECT_EQ(f.AsFloat(), 0.5f);
}

TEST_F(ConversionTest, TextParsesOrFailsWithInvalidDataConversion) {
    TIBXSQLVAR &v = Var(SQL_VARYING, 20);
    StoreVarying(v, " 42 ");
    EXPECT_EQ(v.AsInteger(), 42);
    EXPECT_EQ(v.AsInt64(), 42);
    EXPECT_EQ(v.AsShort(), 42);
    EXPECT_EQ(v.AsDouble(), 42.0);
    StoreVarying(v, "12.3456789");
    EXPECT_EQ(v.AsCurrency(), 123457);
    EXPECT_CLIENT_ERROR(v.AsInteger(), 38, "Invalid data conversion");
    EXPECT_CLIENT_ERROR_ID(v.AsShort(), 38);
    StoreVarying(v, "abc");
    EXPECT_CLIENT_ERROR_ID(v.AsDouble(), 38);
    EXPECT_CLIENT_ERROR_ID(v.AsCurrency(), 38);
    EXPECT_CLIENT_ERROR_ID(v.AsDateTime(), 38);
    EXPECT_CLIENT_ERROR_ID(v.AsBoolean(), 38);
    StoreVarying(v, "99999999999");
    EXPECT_CLIENT_ERROR_ID(v.AsInteger(), 38);
    EXPECT_EQ(v.AsInt64(), 99999999999LL);
    StoreVarying(v, "2024-02-29 10:11:12");
    TDateTime expected;
    ASSERT_TRUE(TryTextToDateTime(u"2024-02-29 10:11:12", expected));
    EXPECT_DOUBLE_EQ(v.AsDateTime(), expected);
}

// ---------------------------------------------------------------------------
// Text and character sets

TEST_F(ConversionTest, TextIsDecodedWithTheConnectionCharacterSet) {
    TIBXSQLVAR &v = Var(SQL_VARYING, 20);
    StoreVarying(v, "\xCF\xF0\xE8\xE2\xE5\xF2");  // "Привет" in WIN1251
    EXPECT_EQ(v.AsString(), U("Привет"));
    TIBXSQLVAR &u = Var(SQL_VARYING, 40, 0, 3, String(), 4, 65001);
    StoreVarying(u, "\xE2\x82\xAC 5");
    EXPECT_EQ(u.AsString(), U("€ 5"));
}

TEST_F(ConversionTest, FixedTextOfATableIsCutToItsCharacterLength) {
    // CHAR(3) in UTF8: 12 bytes, the server pads with blanks to the byte length.
    TIBXSQLVAR &v = Var(SQL_TEXT, 12, 0, 3, u"T", 4, 65001);
    StoreText(v, "\xD0\xB0\xD0\xB1" "        ");
    EXPECT_EQ(v.AsString(), U("аб "));
    EXPECT_EQ(v.AsTrimString(), U("аб"));
    // Without a relation (an expression) nothing is cut.
    TIBXSQLVAR &e = Var(SQL_TEXT, 12, 0, 3, String(), 4, 65001);
    StoreText(e, "\xD0\xB0\xD0\xB1" "        ");
    EXPECT_EQ(e.AsString().size(), 10u);
}

TEST_F(ConversionTest, StringWritesEncodeAndBecomeFixedText) {
    TIBXSQLVAR &v = Var(SQL_VARYING + 1, 10);
    v.SetAsString(U("Привет"));
    EXPECT_EQ(v.SQLType(), SQL_TEXT);
    EXPECT_EQ(v.Size(), 6);
    EXPECT_EQ(std::string(v.SqlVar().SqlData(), 6), "\xCF\xF0\xE8\xE2\xE5\xF2");
    EXPECT_TRUE(v.Modified());
    EXPECT_EQ(v.AsString(), U("Привет"));
    EXPECT_TRUE(v.IsNullable());
}

TEST_F(ConversionTest, TooLongTextIsRefusedAndLeavesTheValue) {
    TIBXSQLVAR &v = Var(SQL_VARYING + 1, 10);
    v.SetIsNull(true);
    v.SetModified(false);
    EXPECT_CLIENT_ERROR(v.SetAsString(u"12345678901"), 119,
                        "Trying to store a string of length 11 into a field that can only contain 10");
    EXPECT_TRUE(v.IsNull());
    EXPECT_FALSE(v.Modified());
    EXPECT_EQ(v.SQLType(), SQL_VARYING);
    // The limit counts encoded bytes.
    TIBXSQLVAR &u = Var(SQL_VARYING, 10, 0, 3, String(), 4, 65001);
    EXPECT_CLIENT_ERROR(u.SetAsString(U("ПриветМир")), 119,
                        "Trying to store a string of length 18 into a field that can only contain 10");
}

TEST_F(ConversionTest, EmptyTextIsNullOnlyForNonTextParameters) {
    TIBXSQLVAR &n = Var(SQL_LONG + 1, 4);
    n.SetAsString(u"");
    EXPECT_TRUE(n.IsNull());
    TIBXSQLVAR &t = Var(SQL_VARYING + 1, 10);
    t.SetAsString(u"");
    EXPECT_FALSE(t.IsNull());
    EXPECT_EQ(t.AsString(), u"");
    EXPECT_EQ(t.Size(), 0);
}

TEST_F(ConversionTest, TextIntoOtherTypesIsSentAsTextOrParsedAsDate) {
    TIBXSQLVAR &n = Var(SQL_LONG + 1, 4);
    n.SetAsString(u"17");
    EXPECT_EQ(n.SQLType(), SQL_TEXT);
    EXPECT_EQ(n.AsInteger(), 17);
    TIBXSQLVAR &d = Var(SQL_TYPE_DATE + 1, 4);
    d.SetAsString(u"2001-02-03");
    EXPECT_EQ(d.SQLType(), SQL_TIMESTAMP);
    EXPECT_EQ(d.AsString(), u"2001-02-03");
    EXPECT_CLIENT_ERROR_ID(d.SetAsString(u"not a date"), 38);
}

TEST_F(ConversionTest, DbKeyParametersTakeTheBytesAsTheyAre) {
    std::shared_ptr<IGDSLibrary> lib = FindServerLibrary(u"IBServer");
    lib->CheckIBLoaded();
    TIBXSQLDA area(nullptr);
    area.SetContext(lib.get(), 30000, 3, TEncoding::GetEncoding(1251));
    area.SetCount(1);
    TSQLVAR &r = area[0].SqlVar();
    r.SetSqlType(SQL_TEXT);
    r.SetSqlLen(8);
    r.SetSqlName(u"DB_KEY");
    area.PrepareBuffers();
    area[0].SetAsString(u"ABCDEFGHIJ");
    EXPECT_EQ(area[0].SQLType(), SQL_TEXT);
    EXPECT_EQ(area[0].Size(), 8);
    EXPECT_EQ(std::string(r.SqlData(), 8), "ABCDEFGH");
    // A key described without bytes takes none (no copy into no buffer).
    r.SetSqlLen(0);
    area.PrepareBuffers();
    area[0].SetAsString(u"AB");
    EXPECT_EQ(area[0].Size(), 0);
    EXPECT_TRUE(area[0].Modified());
}

// ---------------------------------------------------------------------------
// Writes of fixed-size values

TEST_F(ConversionTest, TypedWritesSetTypeLengthAndScale) {
    TIBXSQLVAR &v = Var(SQL_VARYING + 1, 30, 0);
    v.SetAsInteger(-5);
    EXPECT_EQ(v.SQLType(), SQL_LONG);
    EXPECT_EQ(v.Size(), 4);
    EXPECT_EQ(v.AsInteger(), -5);
    EXPECT_TRUE(v.IsNullable());
    v.SetAsShort(300);
    EXPECT_EQ(v.SQLType(), SQL_SHORT);
    EXPECT_EQ(v.AsShort(), 300);
    v.SetAsInt64(1LL << 40);
    EXPECT_EQ(v.SQLType(), SQL_INT64);
    EXPECT_EQ(v.AsInt64(), 1LL << 40);
    v.SetAsDouble(2.5);
    EXPECT_EQ(v.SQLType(), SQL_DOUBLE);
    EXPECT_EQ(v.AsDouble(), 2.5);
    v.SetAsFloat(1.25f);
    EXPECT_EQ(v.SQLType(), SQL_FLOAT);
    EXPECT_EQ(v.Size(), 4);
    v.SetAsCurrency(123456);
    EXPECT_EQ(v.SQLType(), SQL_INT64);
    EXPECT_EQ(v.SqlVar().SqlScale(), -4);
    EXPECT_EQ(v.AsString(), u"12.3456");
}

TEST_F(ConversionTest, CurrencyIsWrittenAsDoubleInDialect1) {
    TIBXSQLVAR &v = Var(SQL_DOUBLE + 1, 8, 0, 1);
    v.SetAsCurrency(-25000);
    EXPECT_EQ(v.SQLType(), SQL_DOUBLE);
    EXPECT_EQ(v.AsDouble(), -2.5);
}

TEST_F(ConversionTest, AWriteClearsNullAndReachesEveryNamesake) {
    std::shared_ptr<IGDSLibrary> lib = FindServerLibrary(u"IBServer");
    lib->CheckIBLoaded();
    TIBXSQLDA area(nullptr);
    area.SetContext(lib.get(), 30000, 3, TEncoding::GetEncoding(1251));
    area.SetCount(3);
    area.AddName(u"X", 0);
    area.AddName(u"Y", 1);
    area.AddName(u"X", 2);
    for (int i = 0; i < 3; ++i) {
        area[i].SqlVar().SetSqlType(SQL_VARYING + 1);
        area[i].SqlVar().SetSqlLen(10);
    }
    area.PrepareBuffers();
    area[0].SetIsNull(true);
    area[2].SetAsString(u"both");
    EXPECT_FALSE(area[0].IsNull());
    EXPECT_EQ(area[0].AsString(), u"both");
    EXPECT_EQ(area[2].AsString(), u"both");
    EXPECT_FALSE(area[1].Modified());
    area[0].SetAsInteger(9);
    EXPECT_EQ(area[2].AsInteger(), 9);
    EXPECT_EQ(area[1].SQLType(), SQL_VARYING);
    area[2].Clear();
    EXPECT_TRUE(area[0].IsNull());
}

// ---------------------------------------------------------------------------
// Dates and times

TEST_F(ConversionTest, DateTimeRoundTripsWithoutFractionsOfASecond) {
    TDateTime when;
    ASSERT_TRUE(TryTextToDateTime(u"2024-02-29 23:59:58.750", when));
    TIBXSQLVAR &v = Var(SQL_TIMESTAMP + 1, 8);
    v.SetAsDateTime(when);
    EXPECT_EQ(v.SQLType(), SQL_TIMESTAMP);
    EXPECT_EQ(v.AsString(), u"2024-02-29 23:59:58");
    EXPECT_EQ(DateTimeToText(v.AsDateTime()), u"2024-02-29 23:59:58");
    EXPECT_EQ(v.AsDate(), v.AsDateTime());
}

TEST_F(ConversionTest, DatesBeforeTheEpochSubtractTheirTime) {
    TDateTime when;
    ASSERT_TRUE(TryTextToDateTime(u"1899-12-29 06:00:00", when));
    TIBXSQLVAR &v = Var(SQL_TIMESTAMP, 8);
    v.SetAsDateTime(when);
    EXPECT_DOUBLE_EQ(v.AsDateTime(), -1.25);
    EXPECT_EQ(v.AsString(), u"1899-12-29 06:00:00");
}

TEST_F(ConversionTest, DateTimesOutsideTheCalendarAreRefused) {
    TIBXSQLVAR &v = Var(SQL_TIMESTAMP + 1, 8);
    v.SetIsNull(true);
    for (double value : {std::nan(""), HUGE_VAL, -1e300, -693594.0, 2958466.0}) {
        SCOPED_TRACE(value);
        EXPECT_CLIENT_ERROR_ID(v.SetAsDateTime(value), 38);
        EXPECT_CLIENT_ERROR_ID(v.SetAsDate(value), 38);
        EXPECT_CLIENT_ERROR_ID(v.SetAsTime(value), 38);
    }
    EXPECT_TRUE(v.IsNull()) << "nothing was written";
    v.SetAsDateTime(2958465.5);
    EXPECT_EQ(v.AsString(), u"9999-12-31 12:00:00");
    v.SetAsDateTime(-693593.25);
    EXPECT_EQ(v.AsString(), u"0001-01-01 06:00:00");
}

TEST_F(ConversionTest, DateAndTimeWritesUseTheSqlTypesFromDialect3) {
    TDateTime when;
    ASSERT_TRUE(TryTextToDateTime(u"2010-06-15 08:30:05", when));
    TIBXSQLVAR &d = Var(SQL_TYPE_DATE + 1, 4);
    d.SetAsDate(when);
    EXPECT_EQ(d.SQLType(), SQL_TYPE_DATE);
    EXPECT_EQ(d.Size(), 4);
    EXPECT_EQ(d.AsString(), u"2010-06-15");
    TIBXSQLVAR &t = Var(SQL_TYPE_TIME + 1, 4);
    t.SetAsTime(when);
    EXPECT_EQ(t.SQLType(), SQL_TYPE_TIME);
    EXPECT_EQ(t.AsString(), u"08:30:05");
    TIBXSQLVAR &d1 = Var(SQL_TIMESTAMP + 1, 8, 0, 1);
    d1.SetAsDate(when);
    EXPECT_EQ(d1.SQLType(), SQL_TIMESTAMP);
    d1.SetAsTime(when);
    EXPECT_EQ(d1.SQLType(), SQL_TIMESTAMP);
}

TEST_F(ConversionTest, DateTextDependsOnTheDialect) {
    TDateTime when;
    ASSERT_TRUE(TryTextToDateTime(u"2010-06-15", when));
    for (int dialect : {1, 2, 3}) {
        TIBXSQLVAR &d = Var(SQL_TYPE_DATE, 4, 0, dialect);
        ISC_DATE raw;
        struct tm t = {};
        t.tm_year = 110;
        t.tm_mon = 5;
        t.tm_mday = 15;
        FindServerLibrary(u"IBServer")->isc_encode_sql_date(&t, &raw);
        Store(d, raw);
        EXPECT_EQ(d.AsDateTime(), when);
        // Dialect 1 shows date-times (midnight is not written out).
        EXPECT_EQ(d.AsString(), u"2010-06-15") << dialect;
    }
}

TEST_F(ConversionTest, NonDateTypesCannotBeReadAsDates) {
    TIBXSQLVAR &v = Var(SQL_LONG, 4);
    EXPECT_CLIENT_ERROR_ID(v.AsDateTime(), 38);
    EXPECT_CLIENT_ERROR_ID(v.AsQuad(), 38);
    EXPECT_CLIENT_ERROR_ID(v.SetAsQuad(ISC_QUAD{1, 2}), 38);
}

// ---------------------------------------------------------------------------
// NULL reads

TEST_F(ConversionTest, NullReadsAsZeroValues) {
    TIBXSQLVAR &v = Var(SQL_INT64 + 1, 8, -2);
    Store<int64_t>(v, 777);
    v.SetIsNull(true);
    EXPECT_EQ(v.AsInteger(), 0);
    EXPECT_EQ(v.AsInt64(), 0);
    EXPECT_EQ(v.AsDouble(), 0);
    EXPECT_EQ(v.AsCurrency(), 0);
    EXPECT_EQ(v.AsString(), u"");
    EXPECT_EQ(v.AsBcd(), u"");
    EXPECT_EQ(v.AsDateTime(), 0);
    EXPECT_FALSE(v.AsBoolean());
    EXPECT_EQ(v.AsPointer(), nullptr);
    EXPECT_TRUE(v.AsBytes().empty());
    VARIANT var = v.AsVariant();
    EXPECT_EQ(var.vt, VT_NULL);
}

// ---------------------------------------------------------------------------
// Booleans

TEST_F(ConversionTest, FirebirdBooleansUseOneByte) {
    TIBXSQLVAR &b = Var(SQL_BOOLEAN + 1, 1);
    b.SetAsBoolean(true);
    EXPECT_EQ(b.SQLType(), SQL_BOOLEAN);
    EXPECT_EQ(b.Size(), 1);
    EXPECT_EQ(*b.SqlVar().SqlData(), 1);
    EXPECT_TRUE(b.AsBoolean());
    EXPECT_EQ(b.AsString(), u"True");
    EXPECT_EQ(b.AsInteger(), 1);
    EXPECT_EQ(b.AsDouble(), 1.0);
    EXPECT_CLIENT_ERROR_ID(b.AsCurrency(), 38);
    b.SetAsBoolean(false);
    EXPECT_EQ(b.AsString(), u"False");
    EXPECT_EQ(b.AsInt64(), 0);
    // A NULL boolean becomes a value when written.
    b.SetIsNull(true);
    b.SetAsBoolean(true);
    EXPECT_FALSE(b.IsNull());
    EXPECT_TRUE(b.Modified());
}

TEST_F(ConversionTest, InterBaseBooleansUseSixteenBits) {
    TIBXSQLVAR &b = Var(kSQLInterBaseBoolean, 2);
    b.SetAsBoolean(true);
    int16_t raw;
    std::memcpy(&raw, b.SqlVar().SqlData(), 2);
    EXPECT_EQ(raw, 1);
    EXPECT_TRUE(b.AsBoolean());
    Store<int16_t>(b, 2);
    EXPECT_FALSE(b.AsBoolean());
    EXPECT_EQ(b.AsInteger(), 0);
}

TEST_F(ConversionTest, BooleanIntoOtherTypesIsASmallInteger) {
    TIBXSQLVAR &v = Var(SQL_LONG + 1, 4);
    v.SetAsBoolean(true);
    EXPECT_EQ(v.SQLType(), SQL_SHORT);
    EXPECT_EQ(v.AsInteger(), 1);
    EXPECT_CLIENT_ERROR_ID(v.AsBoolean(), 38);
}

// ---------------------------------------------------------------------------
// VARIANT, bytes, decimal text, Assign, streams

TEST_F(ConversionTest, VariantReadsChooseTheKindByType) {
    TIBXSQLVAR &i = Var(SQL_LONG, 4);
    Store<int32_t>(i, 12);
    VARIANT v = i.AsVariant();
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.u.lVal, 12);
    TIBXSQLVAR &c = Var(SQL_INT64, 8, -2);
    Store<int64_t>(c, 1234);
    v = c.AsVariant();
    EXPECT_EQ(v.vt, VT_CY);
    EXPECT_EQ(v.u.cyVal, 123400);
    TIBXSQLVAR &r = Var(SQL_INT64, 8, -6);
    Store<int64_t>(r, 1);
    v = r.AsVariant();
    EXPECT_EQ(v.vt, VT_R8);
    EXPECT_EQ(v.u.dblVal, 0.000001);
    TIBXSQLVAR &s = Var(SQL_VARYING, 10);
    StoreVarying(s, "abc");
    v = s.AsVariant();
    ASSERT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(VarToText(v), u"abc");
    VariantClear(&v);
    TIBXSQLVAR &b = Var(SQL_BOOLEAN, 1);
    Store<uint8_t>(b, 1);
    v = b.AsVariant();
    EXPECT_EQ(v.vt, VT_BOOL);
    EXPECT_EQ(v.u.boolVal, -1);
}

TEST_F(ConversionTest, VariantWritesDispatchToTypedWrites) {
    TIBXSQLVAR &v = Var(SQL_VARYING + 1, 20);
    VARIANT in;
    VariantInit(&in);
    in.vt = VT_I8;
    in.u.llVal = 1LL << 35;
    v.SetAsVariant(in);
    EXPECT_EQ(v.SQLType(), SQL_INT64);
    EXPECT_EQ(v.AsInt64(), 1LL << 35);
    in.vt = VT_CY;
    in.u.cyVal = 15000;
    v.SetAsVariant(in);
    EXPECT_EQ(v.AsString(), u"1.5");
    in.vt = VT_NULL;
    v.SetAsVariant(in);
    EXPECT_TRUE(v.IsNull());
    int32_t target = 77;
    in.vt = VT_BYREF | VT_I4;
    in.u.byref = &target;
    v.SetAsVariant(in);
    EXPECT_EQ(v.AsInteger(), 77);
    in.vt = VT_BSTR;
    in.u.bstrVal = SysAllocString(u"text");
    v.SetValue(in);
    EXPECT_EQ(v.AsString(), u"text");
    VariantClear(&in);
    in.vt = VT_VARIANT;
    EXPECT_CLIENT_ERROR(v.SetAsVariant(in), 5, "Not permitted");
    in.vt = 0x2000 | VT_I4;
    EXPECT_CLIENT_ERROR(v.SetAsVariant(in), 4, "Unsupported feature");
}

TEST_F(ConversionTest, BytesAreTheRawTextBytes) {
    TIBXSQLVAR &v = Var(SQL_VARYING + 1, 10);
    v.SetAsBytes(TBytes{0xC0, 0x00, 0xFF});
    EXPECT_EQ(v.Size(), 3);
    EXPECT_EQ(v.AsBytes(), (TBytes{0xC0, 0x00, 0xFF}));
    TIBXSQLVAR &n = Var(SQL_LONG, 4);
    EXPECT_CLIENT_ERROR_ID(n.AsBytes(), 38);
}

TEST_F(ConversionTest, BcdIsExactDecimalText) {
    TIBXSQLVAR &v = Var(SQL_INT64 + 1, 8, -2);
    Store<int64_t>(v, -5);
    EXPECT_EQ(v.AsBcd(), u"-0.05");
    Store<int64_t>(v, 123456789012345678);
    EXPECT_EQ(v.AsBcd(), u"1234567890123456.78");
    v.SetAsBcd(u"-0012.500");
    EXPECT_EQ(v.SqlVar().SqlScale(), -3);
    EXPECT_EQ(v.AsInt64(), -12);
    EXPECT_EQ(v.AsBcd(), u"-12.500");
    EXPECT_CLIENT_ERROR_ID(v.SetAsBcd(u"1e5"), 38);
    EXPECT_CLIENT_ERROR_ID(v.SetAsBcd(u"1234567890123456789"), 38);
    TIBXSQLVAR &p = Var(SQL_SHORT, 2, 2);
    Store<int16_t>(p, 3);
    EXPECT_EQ(p.AsBcd(), u"300");
}

TEST_F(ConversionTest, AssignCopiesTypeScaleAndBytes) {
    std::shared_ptr<IGDSLibrary> lib = FindServerLibrary(u"IBServer");
    lib->CheckIBLoaded();
    TIBXSQLDA area(nullptr);
    area.SetContext(lib.get(), 30000, 3, TEncoding::GetEncoding(1251));
    area.SetCount(2);
    area[0].SqlVar().SetSqlType(SQL_INT64 + 1);
    area[0].SqlVar().SetSqlLen(8);
    area[0].SqlVar().SetSqlScale(-3);
    area[1].SqlVar().SetSqlType(SQL_VARYING + 1);
    area[1].SqlVar().SetSqlLen(4);
    area.PrepareBuffers();
    int64_t raw = 4250;
    std::memcpy(area[0].SqlVar().SqlData(), &raw, 8);
    area[1].Assign(area[0]);
    EXPECT_EQ(area[1].SQLType(), SQL_INT64);
    EXPECT_EQ(area[1].SqlVar().SqlScale(), -3);
    EXPECT_EQ(area[1].AsString(), u"4.25");
    EXPECT_TRUE(area[1].IsNullable());
    area[0].SetIsNull(true);
    area[1].Assign(area[0]);
    EXPECT_TRUE(area[1].IsNull());
}

TEST_F(ConversionTest, StreamsAndFilesCarryTheBytes) {
    TIBXSQLVAR &v = Var(SQL_VARYING + 1, 10);
    std::istringstream in(std::string("a\0b", 3));
    v.LoadFromStream(in);
    std::ostringstream out;
    v.SaveToStream(out);
    EXPECT_EQ(out.str(), std::string("a\0b", 3));
    test::TempDir dir;
    v.SaveToFile(dir.File("value.bin"));
    EXPECT_EQ(test::ReadFile(dir.File("value.bin")), std::string("a\0b", 3));
    test::WriteFile(dir.File("other.bin"), "xyz");
    v.LoadFromFile(dir.File("other.bin"));
    EXPECT_EQ(v.AsString(), u"xyz");
}

}  // namespace
}  // namespace vantrel
