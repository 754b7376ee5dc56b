// Firebird 4's types read and written through the descriptor areas on real
// databases, embedded and through the server: INT128 (and NUMERIC/DECIMAL above 18 digits),
// DECFLOAT(16) and DECFLOAT(34), times and timestamps with a time zone. The
// server's own text of each value (CAST ... AS VARCHAR) is the reference.
// Skipped where the installed Firebird is older than 4.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "SQLFixture.h"
#include "platform/DateTime.h"
#include "platform/Variant.h"

namespace vantrel {
namespace {

using test::N;
using test::TScratchDatabase;
using test::U;

// Embedded (false) and through the server on localhost (true).
class Firebird4Types : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (test::InstalledFirebirdMajor() < 4)
            GTEST_SKIP() << "needs Firebird 4; installed: " << test::InstalledFirebirdVersion();
        if (GetParam()) {
            Lock.emplace();
            if (!test::RequireServer()) GTEST_SKIP() << "no Firebird server answers on localhost";
        }
        Scratch = std::make_unique<TScratchDatabase>(3, "UTF8");
        if (GetParam()) {
            Scratch->DB->Close();
            Scratch->DB->SetDatabaseName(U("localhost:" + Scratch->Path));
            Scratch->DB->Open();
        }
        Scratch->Trans->StartTransaction();
    }
    std::optional<test::ServerTestLock> Lock;
    // One row of the given select list.
    std::unique_ptr<TIBSQL> Row(const std::string &columns) {
        auto q = Scratch->Query("SELECT " + columns + " FROM RDB$DATABASE");
        q->ExecQuery();
        return q;
    }
    std::unique_ptr<TScratchDatabase> Scratch;
};

TDateTime Date(int year, int month, int day) {
    TDateTime d = 0;
    EXPECT_TRUE(TryEncodeDate(year, month, day, d));
    return d;
}

TDateTime Time(int hour, int minute) {
    TDateTime t = 0;
    EXPECT_TRUE(TryEncodeTime(hour, minute, 0, 0, t));
    return t;
}

// The general form of a server's decimal text: no trailing zeros after the
// point.
std::string WithoutTrailingZeros(std::string text) {
    if (text.find('.') == std::string::npos) return text;
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
    return text;
}

TEST_P(Firebird4Types, NumbersReadAsTheServerWritesThem) {
    const struct {
        const char *Type;
        const char *Literal;
    } cases[] = {
        {"INT128", "0"},
        {"INT128", "-42"},
        {"INT128", "9223372036854775808"},
        {"INT128", "170141183460469231731687303715884105727"},
        {"INT128", "-170141183460469231731687303715884105728"},
        {"NUMERIC(38, 2)", "1.25"},
        {"NUMERIC(38, 2)", "-0.05"},
        {"NUMERIC(38, 4)", "1234567890123456789012345678901234.5678"},
        {"DECIMAL(25, 10)", "-123456789012345.0000000001"},
        {"DECFLOAT(16)", "0"},
        {"DECFLOAT(16)", "'-0'"},
        {"DECFLOAT(16)", "1.5"},
        {"DECFLOAT(16)", "1.50"},
        {"DECFLOAT(16)", "-123456.789"},
        {"DECFLOAT(16)", "9999999999999999"},
        {"DECFLOAT(16)", "'9.999999999999999E384'"},
        {"DECFLOAT(16)", "'1E-398'"},
        {"DECFLOAT(16)", "0.000001"},
        {"DECFLOAT(16)", "0.0000001"},
        {"DECFLOAT(16)", "'1E+3'"},
        {"DECFLOAT(16)", "'1000.000000000000'"},
        {"DECFLOAT(16)", "'Infinity'"},
        {"DECFLOAT(16)", "'-Infinity'"},
        {"DECFLOAT(16)", "'NaN'"},
        {"DECFLOAT(34)", "0"},
        {"DECFLOAT(34)", "1.5"},
        {"DECFLOAT(34)", "-987654321098765432109876543210.1234"},
        {"DECFLOAT(34)", "'9.999999999999999999999999999999999E6144'"},
        {"DECFLOAT(34)", "'1E-6176'"},
        {"DECFLOAT(34)", "'123E-20'"},
        {"DECFLOAT(34)", "'-1.2300000000000000E-18'"},
        {"DECFLOAT(34)", "'sNaN'"},
        {"DECFLOAT(34)", "'-Infinity'"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.Type) + " " + c.Literal);
        const std::string value = std::string("CAST(") + c.Literal + " AS " + c.Type + ")";
        auto q = Row(value + ", CAST(" + value + " AS VARCHAR(64))");
        const std::string server = N(q->Current()[1].AsString());
        const std::string type = c.Type;
        if (type.starts_with("DECFLOAT")) {
            EXPECT_EQ(N(q->Current()[0].AsString()), server);
        } else {
            EXPECT_EQ(N(q->Current()[0].AsBcd()), server);
            EXPECT_EQ(N(q->Current()[0].AsString()), WithoutTrailingZeros(server));
        }
    }
}

TEST_P(Firebird4Types, NumbersReadAsIntegersDoublesCurrencyAndVariants) {
    auto q = Row("CAST(12345 AS INT128), CAST(170141183460469231731687303715884105727 AS INT128), "
                 "CAST(-1.25 AS NUMERIC(38, 2)), CAST(123.9 AS DECFLOAT(34)), "
                 "CAST('1234567890.123456789' AS DECFLOAT(34)), CAST('Infinity' AS DECFLOAT(16)), "
                 "CAST(NULL AS INT128)");
    TIBXSQLDA &r = q->Current();
    EXPECT_EQ(r[0].SQLType(), kSQLInt128);
    EXPECT_EQ(r[0].AsInt64(), 12345);
    EXPECT_EQ(r[0].AsInteger(), 12345);
    VARIANT v = r[0].AsVariant();
    EXPECT_EQ(v.vt, VT_I8);
    EXPECT_EQ(v.u.llVal, 12345);

    EXPECT_THROW(r[1].AsInt64(), EIBClientError) << "64 bits do not hold it";
    EXPECT_THROW(r[1].AsCurrency(), EIBClientError);
    EXPECT_DOUBLE_EQ(r[1].AsDouble(), 1.7014118346046923e38);
    v = r[1].AsVariant();
    ASSERT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(N(String(v.u.bstrVal)), "170141183460469231731687303715884105727");
    VariantClear(&v);

    EXPECT_EQ(r[2].AsCurrency(), -12500);
    EXPECT_EQ(r[2].AsInt64(), -1) << "truncated toward zero";
    v = r[2].AsVariant();
    EXPECT_EQ(v.vt, VT_CY);
    EXPECT_EQ(v.u.cyVal, -12500);

    EXPECT_EQ(r[3].SQLType(), kSQLDecFloat34);
    EXPECT_EQ(r[3].AsInt64(), 123);
    EXPECT_DOUBLE_EQ(r[3].AsDouble(), 123.9);
    EXPECT_EQ(r[3].AsCurrency(), 1239000);
    EXPECT_EQ(N(r[3].AsBcd()), "123.9");
    v = r[3].AsVariant();
    EXPECT_EQ(v.vt, VT_R8);
    EXPECT_DOUBLE_EQ(v.u.dblVal, 123.9);

    // Nineteen digits: a double does not hold them, the text does.
    v = r[4].AsVariant();
    ASSERT_EQ(v.vt, VT_BSTR);
    EXPECT_EQ(N(String(v.u.bstrVal)), "1234567890.123456789");
    VariantClear(&v);

    EXPECT_EQ(r[5].SQLType(), kSQLDecFloat16);
    EXPECT_TRUE(std::isinf(r[5].AsDouble()));
    EXPECT_THROW(r[5].AsInt64(), EIBClientError);
    EXPECT_THROW(r[5].AsBcd(), EIBClientError);

    EXPECT_TRUE(r[6].IsNull());
    EXPECT_EQ(r[6].AsString(), u"");
    EXPECT_EQ(r[6].AsVariant().vt, VT_NULL);
}

TEST_P(Firebird4Types, ZonedValuesReadAsTheWallClockOfTheirZone) {
    auto q = Row("TIMESTAMP '2024-03-01 10:00:00 Europe/Berlin', TIMESTAMP '2024-07-01 10:00:00 Europe/Berlin', "
                 "TIMESTAMP '2024-01-01 23:30:00 -05:00', TIME '09:30:00 +05:30', TIME '00:15:00 -03:00', "
                 "CAST(NULL AS TIMESTAMP WITH TIME ZONE)");
    TIBXSQLDA &r = q->Current();
    // The areas ask for the forms that carry the offset.
    EXPECT_EQ(r[0].SQLType(), kSQLTimestampZonedEx);
    EXPECT_EQ(r[3].SQLType(), kSQLTimeZonedEx);
    const struct {
        int Column;
        const char *Text;
    } texts[] = {{0, "2024-03-01 10:00:00 +01:00"},
                 {1, "2024-07-01 10:00:00 +02:00"},
                 {2, "2024-01-01 23:30:00 -05:00"},
                 {3, "09:30:00 +05:30"},
                 {4, "00:15:00 -03:00"}};
    for (const auto &t : texts) EXPECT_EQ(N(r[t.Column].AsString()), t.Text) << t.Column;
    EXPECT_DOUBLE_EQ(r[2].AsDateTime(), Date(2024, 1, 1) + Time(23, 30));
    EXPECT_DOUBLE_EQ(r[4].AsDateTime(), Time(0, 15));
    const VARIANT v = r[0].AsVariant();
    EXPECT_EQ(v.vt, VT_DATE);
    EXPECT_DOUBLE_EQ(v.u.date, Date(2024, 3, 1) + Time(10, 0));
    EXPECT_TRUE(r[5].IsNull());
}

TEST_P(Firebird4Types, ParametersTakeTextNumbersAndDateTimes) {
    Scratch->Exec("CREATE TABLE T (N INTEGER, I INT128, D DECFLOAT(34), TS TIMESTAMP WITH TIME ZONE)");
    Scratch->Trans->Commit();
    Scratch->Trans->StartTransaction();
    auto insert = Scratch->Query("INSERT INTO T VALUES (:N, :I, :D, :TS)");
    insert->Prepare();
    EXPECT_EQ(insert->ParamByName(u"I")->SQLType(), kSQLInt128);
    EXPECT_EQ(insert->ParamByName(u"D")->SQLType(), kSQLDecFloat34);
    insert->ParamByName(u"N")->SetAsInteger(1);
    insert->ParamByName(u"I")->SetAsString(u"-170141183460469231731687303715884105728");
    insert->ParamByName(u"D")->SetAsString(u"1.5E+300");
    insert->ParamByName(u"TS")->SetAsString(u"2024-03-01 10:00:00 Europe/Berlin");
    insert->ExecQuery();
    insert->ParamByName(u"N")->SetAsInteger(2);
    insert->ParamByName(u"I")->SetAsInt64(5);
    insert->ParamByName(u"D")->SetAsDouble(2.5);
    insert->ParamByName(u"TS")->SetIsNull(true);
    insert->ExecQuery();
    auto q = Scratch->Query("SELECT I, D, TS FROM T ORDER BY N");
    q->ExecQuery();
    EXPECT_EQ(N(q->Current()[0].AsString()), "-170141183460469231731687303715884105728");
    EXPECT_EQ(N(q->Current()[1].AsString()), "1.5E+300");
    EXPECT_EQ(N(q->Current()[2].AsString()), "2024-03-01 10:00:00 +01:00");
    q->Next();
    EXPECT_EQ(q->Current()[0].AsInt64(), 5);
    EXPECT_EQ(q->Current()[1].AsDouble(), 2.5);
    EXPECT_TRUE(q->Current()[2].IsNull());
}

INSTANTIATE_TEST_SUITE_P(EmbeddedAndServer, Firebird4Types, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool> &info) {
                             return std::string(info.param ? "Server" : "Embedded");
                         });

}  // namespace
}  // namespace vantrel
