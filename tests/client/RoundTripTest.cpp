// Every column type through parameters and back through columns, on real
// embedded databases of dialect 3 (WIN1251, UTF8, NONE) and dialect 1
// (WIN1251), including NULLs, blobs and Firebird's BOOLEAN.
#include <gtest/gtest.h>

#include <cmath>

#include "SQLFixture.h"

namespace vantrel {
namespace {

using test::TScratchDatabase;
using test::U;

struct TConfig {
    int Dialect;
    const char *Charset;
    const char *Text;   // for VARCHAR(30)
    const char *Fixed;  // for CHAR(10), at most 10 characters
    const char *Blob;
};

std::ostream &operator<<(std::ostream &out, const TConfig &c) {
    return out << "dialect" << c.Dialect << "_" << c.Charset;
}

class RoundTripTest : public ::testing::TestWithParam<TConfig> {
protected:
    static std::string TableSql(int dialect) {
        std::string sql =
            "CREATE TABLE ALLTYPES (K INTEGER NOT NULL, SI SMALLINT, I INTEGER, N42 NUMERIC(4,2), N92 NUMERIC(9,2), "
            "D104 DECIMAL(10,4), F FLOAT, DP DOUBLE PRECISION, DT DATE, TS TIMESTAMP, C CHAR(10), V VARCHAR(30), "
            "BT BLOB SUB_TYPE TEXT, BB BLOB SUB_TYPE BINARY, BO BOOLEAN";
        if (dialect == 3) sql += ", BI BIGINT, N183 NUMERIC(18,3), TM TIME";
        return sql + ");";
    }
    static TBytes AllBytes() {
        TBytes b;
        for (int i = 0; i < 256; ++i) b.push_back(static_cast<uint8_t>(i));
        b.insert(b.end(), 70000, 0xA5);  // more than one segment
        return b;
    }
};

TEST_P(RoundTripTest, EveryTypeThroughParametersAndColumns) {
    const TConfig &c = GetParam();
    TScratchDatabase s(c.Dialect, c.Charset, TableSql(c.Dialect));
    const bool d3 = c.Dialect == 3;
    TDateTime date, stamp, time;
    ASSERT_TRUE(TryTextToDateTime(u"2024-02-29", date));
    ASSERT_TRUE(TryTextToDateTime(u"1999-12-31 23:59:59", stamp));
    ASSERT_TRUE(TryTextToDateTime(u"07:08:09", time));

    s.Trans->StartTransaction();
    std::string insert =
        "INSERT INTO ALLTYPES (K, SI, I, N42, N92, D104, F, DP, DT, TS, C, V, BT, BB, BO" +
        std::string(d3 ? ", BI, N183, TM" : "") +
        ") VALUES (:K, :SI, :I, :N42, :N92, :D104, :F, :DP, :DT, :TS, :C, :V, :BT, :BB, :BO" +
        std::string(d3 ? ", :BI, :N183, :TM" : "") + ")";
    auto ins = s.Query(insert);
    ins->ParamByName(u"K")->SetAsInteger(1);
    ins->ParamByName(u"SI")->SetAsShort(-32768);
    ins->ParamByName(u"I")->SetAsInteger(INT32_MIN);
    ins->ParamByName(u"N42")->SetAsCurrency(123400);  // 12.34
    ins->ParamByName(u"N92")->SetAsString(u"-1234567.89");
    ins->ParamByName(u"D104")->SetAsBcd(u"123456.7891");
    ins->ParamByName(u"F")->SetAsFloat(1.5f);
    ins->ParamByName(u"DP")->SetAsDouble(-2.718281828459045);
    ins->ParamByName(u"DT")->SetAsDate(date);
    ins->ParamByName(u"TS")->SetAsDateTime(stamp);
    ins->ParamByName(u"C")->SetAsString(U(c.Fixed));
    ins->ParamByName(u"V")->SetAsString(U(c.Text));
    ins->ParamByName(u"BT")->SetAsString(U(c.Blob));
    ins->ParamByName(u"BB")->SetAsBytes(AllBytes());
    ins->ParamByName(u"BO")->SetAsBoolean(true);
    if (d3) {
        ins->ParamByName(u"BI")->SetAsInt64(INT64_MAX);
        ins->ParamByName(u"N183")->SetAsBcd(u"-123456789012345.678");
        ins->ParamByName(u"TM")->SetAsTime(time);
    }
    ins->ExecQuery();
    EXPECT_EQ(ins->RowsAffected(), 1);

    // A row of NULLs through the same prepared statement.
    for (int i = 0; i < ins->Params().Count(); ++i) ins->Params()[i].Clear();
    ins->ParamByName(u"K")->SetAsInteger(2);
    ins->ExecQuery();

    auto sel = s.Query("SELECT * FROM ALLTYPES ORDER BY K");
    sel->ExecQuery();
    auto f = [&](const char16_t *name) { return sel->FieldByName(name); };
    EXPECT_EQ(f(u"SI")->AsShort(), -32768);
    EXPECT_EQ(f(u"SI")->AsString(), u"-32768");
    EXPECT_EQ(f(u"I")->AsInteger(), INT32_MIN);
    EXPECT_EQ(f(u"N42")->SQLType(), SQL_SHORT);
    EXPECT_EQ(f(u"N42")->AsString(), u"12.34");
    EXPECT_EQ(f(u"N42")->AsCurrency(), 123400);
    EXPECT_EQ(f(u"N92")->SQLType(), SQL_LONG);
    EXPECT_EQ(f(u"N92")->AsString(), u"-1234567.89");
    EXPECT_EQ(f(u"N92")->AsInteger(), -1234567);
    EXPECT_EQ(f(u"D104")->AsBcd(), d3 ? u"123456.7891" : u"123456.7891");
    EXPECT_EQ(f(u"D104")->AsDouble(), 123456.7891);
    EXPECT_EQ(f(u"F")->AsFloat(), 1.5f);
    EXPECT_EQ(f(u"DP")->AsDouble(), -2.718281828459045);
    EXPECT_EQ(f(u"DP")->AsString(), u"-2.71828182845905");
    EXPECT_EQ(f(u"DT")->AsDate(), date);
    EXPECT_EQ(f(u"DT")->AsString(), u"2024-02-29");
    EXPECT_EQ(f(u"TS")->AsDateTime(), stamp);
    EXPECT_EQ(f(u"TS")->AsString(), u"1999-12-31 23:59:59");
    String fixed = U(c.Fixed);
    EXPECT_EQ(f(u"C")->AsString(), fixed + String(10 - fixed.size(), u' '));
    EXPECT_EQ(f(u"C")->AsTrimString(), fixed);
    EXPECT_EQ(f(u"V")->AsString(), U(c.Text));
    EXPECT_EQ(f(u"BT")->AsString(), U(c.Blob));
    EXPECT_EQ(f(u"BB")->AsBytes(), AllBytes());
    EXPECT_TRUE(f(u"BO")->AsBoolean());
    EXPECT_EQ(f(u"BO")->AsString(), u"True");
    if (d3) {
        EXPECT_EQ(f(u"BI")->AsInt64(), INT64_MAX);
        EXPECT_EQ(f(u"N183")->SQLType(), SQL_INT64);
        EXPECT_EQ(f(u"N183")->AsBcd(), u"-123456789012345.678");
        EXPECT_EQ(f(u"N183")->AsInt64(), -123456789012345LL);
        EXPECT_EQ(f(u"TM")->AsString(), u"07:08:09");
        EXPECT_EQ(f(u"TM")->SQLType(), SQL_TYPE_TIME);
        EXPECT_EQ(f(u"DT")->SQLType(), SQL_TYPE_DATE);
    } else {
        // Dialect 1 keeps dates as timestamps and NUMERIC(10,4) as a double.
        EXPECT_EQ(f(u"DT")->SQLType(), SQL_TIMESTAMP);
        EXPECT_EQ(f(u"D104")->SQLType(), SQL_DOUBLE);
    }

    ASSERT_NE(sel->Next(), nullptr);
    for (int i = 0; i < sel->FieldCount(); ++i) {
        TIBXSQLVAR *v = sel->GetFields(i);
        if (v->Name() == u"K") continue;
        EXPECT_TRUE(v->IsNull()) << test::N(v->Name());
        EXPECT_EQ(v->AsString(), u"") << test::N(v->Name());
    }
    EXPECT_EQ(sel->Next(), nullptr);
}

TEST_P(RoundTripTest, AssignCopiesARowIncludingItsBlobs) {
    const TConfig &c = GetParam();
    TScratchDatabase s(c.Dialect, c.Charset, TableSql(c.Dialect));
    s.Trans->StartTransaction();
    auto ins = s.Query("INSERT INTO ALLTYPES (K, V, BT, BB, N92) VALUES (:K, :V, :BT, :BB, :N92)");
    ins->ParamByName(u"K")->SetAsInteger(1);
    ins->ParamByName(u"V")->SetAsString(U(c.Text));
    ins->ParamByName(u"BT")->SetAsString(U(c.Blob));
    ins->ParamByName(u"BB")->SetAsBytes(AllBytes());
    ins->ParamByName(u"N92")->SetAsString(u"5.25");
    ins->ExecQuery();

    auto sel = s.Query("SELECT K, V, BT, BB, N92 FROM ALLTYPES WHERE K = 1");
    sel->ExecQuery();
    auto copy = s.Query("INSERT INTO ALLTYPES (K, V, BT, BB, N92) VALUES (:K, :V, :BT, :BB, :N92)");
    copy->Prepare();
    for (int i = 0; i < sel->FieldCount(); ++i) copy->Params()[i].Assign(*sel->GetFields(i));
    copy->ParamByName(u"K")->SetAsInteger(2);
    sel->Close();
    copy->ExecQuery();

    auto check = s.Query("SELECT V, BT, BB, N92 FROM ALLTYPES WHERE K = 2");
    check->ExecQuery();
    EXPECT_EQ(check->FieldByName(u"V")->AsString(), U(c.Text));
    EXPECT_EQ(check->FieldByName(u"BT")->AsString(), U(c.Blob));
    EXPECT_EQ(check->FieldByName(u"BB")->AsBytes(), AllBytes());
    EXPECT_EQ(check->FieldByName(u"N92")->AsString(), u"5.25");
}

INSTANTIATE_TEST_SUITE_P(
    Databases, RoundTripTest,
    ::testing::Values(
        TConfig{3, "WIN1251", "Привет, мир", "Ёлка", "Длинный текст с кириллицей: съешь же ещё этих мягких булок"},
        TConfig{3, "UTF8", "€ Ελλάδα 日本語 😀", "日本語€", "Многобайтный текст: 中文, Ελληνικά, €€€"},
        TConfig{3, "NONE", "plain ascii text", "abc", "bytes as they are: Привет"},
        TConfig{1, "WIN1251", "Привет, мир", "Ёлка", "Старый диалект, длинный текст"}),
    [](const ::testing::TestParamInfo<TConfig> &info) {
        return "Dialect" + std::to_string(info.param.Dialect) + "_" + info.param.Charset;
    });

TEST(RoundTripWhere, BooleanAndNullParametersInConditions) {
    TScratchDatabase s(3, "UTF8",
                       "CREATE TABLE B (ID INTEGER, FLAG BOOLEAN);\nCOMMIT;\n"
                       "INSERT INTO B VALUES (1, TRUE);\nINSERT INTO B VALUES (2, FALSE);\n"
                       "INSERT INTO B VALUES (3, NULL);\n");
    s.Trans->StartTransaction();
    auto q = s.Query("SELECT ID FROM B WHERE FLAG = :F");
    q->ParamByName(u"F")->SetAsBoolean(false);
    q->ExecQuery();
    EXPECT_EQ(q->GetFields(0)->AsInteger(), 2);
    EXPECT_EQ(q->Next(), nullptr);
    q->Close();
    auto n = s.Query("SELECT COUNT(*) FROM B WHERE FLAG IS NOT DISTINCT FROM :F");
    n->ParamByName(u"F")->Clear();
    n->ExecQuery();
    EXPECT_EQ(n->GetFields(0)->AsInteger(), 1);
}

}  // namespace
}  // namespace vantrel
