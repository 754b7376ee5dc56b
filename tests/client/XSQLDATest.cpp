// Descriptor areas without a database: block layout and growth in both
// record layouts, names and their normalisation, generated column names,
// buffers after describe, NULL handling and character set sizes.
#include <gtest/gtest.h>

#include <cstring>

#include "ClientErrorExpect.h"
#include "client/IBErrors.h"
#include "client/IBXSQLDA.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::U;

// Fills a record as a describe would.
void Describe(TIBXSQLVAR &v, uint16_t type, uint16_t len, int16_t scale = 0, const String &alias = String(),
              const String &rel = String(), const String &sqlName = String(), int16_t subtype = 0) {
    TSQLVAR &r = v.SqlVar();
    r.SetSqlType(type);
    r.SetSqlLen(len);
    r.SetSqlScale(scale);
    r.SetSqlSubtype(subtype);
    r.SetAliasName(alias);
    r.SetRelName(rel);
    r.SetSqlName(sqlName.empty() ? alias : sqlName);
}

class XSQLDATest : public ::testing::Test {
protected:
    void Use(TIBXSQLDA &area, int64_t clientVersion, int dialect = 3) {
        area.SetContext(nullptr, clientVersion, dialect, TEncoding::GetEncoding(1251));
    }
};

TEST_F(XSQLDATest, Version1BlockGrowsAndKeepsItsMemoryWhenShrunk) {
    TIBXSQLDA area(nullptr);
    Use(area, 30000);
    EXPECT_EQ(area.AsXSQLDA(), nullptr);
    area.SetCount(3);
    XSQLDA *block = area.AsXSQLDA();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block->version, SQLDA_VERSION1);
    EXPECT_EQ(block->sqln, 3);
    EXPECT_EQ(block->sqld, 3);
    EXPECT_EQ(area.RecordSize(), static_cast<int>(XSQLDA_LENGTH(3)) + 4);
    // The records are the published XSQLVARs, back to back.
    EXPECT_EQ(area[2].SqlVar().XSqlVar(), &block->sqlvar[2]);

    area.SetCount(2);
    EXPECT_EQ(area.AsXSQLDA(), block);
    EXPECT_EQ(block->sqln, 2);
    EXPECT_EQ(block->sqld, 2);
    EXPECT_EQ(area.RecordSize(), static_cast<int>(XSQLDA_LENGTH(3)) + 4);
    EXPECT_EQ(area.Count(), 2);
}

TEST_F(XSQLDATest, GrowingKeepsDescribedRecordsAndRepointsAccessors) {
    TIBXSQLDA area(nullptr);
    Use(area, 30000);
    area.SetCount(1);
    Describe(area[0], SQL_LONG + 1, 4, 0, u"A");
    area.SetCount(40);
    EXPECT_EQ(area[0].SqlVar().SqlType(), SQL_LONG + 1);
    EXPECT_EQ(area[0].SqlVar().AliasName(), u"A");
    for (int i = 0; i < 40; ++i) EXPECT_EQ(area[i].SqlVar().XSqlVar(), &area.AsXSQLDA()->sqlvar[i]);
}

TEST_F(XSQLDATest, CountZeroClearsNamesAndRelationButKeepsTheBlock) {
    TIBXSQLDA area(nullptr);
    Use(area, 30000);
    area.SetCount(2);
    Describe(area[0], SQL_LONG, 4, 0, u"A", u"T");
    Describe(area[1], SQL_LONG, 4, 0, u"B", u"T");
    area.PrepareBuffers();
    EXPECT_EQ(area.UniqueRelationName(), u"T");
    XSQLDA *block = area.AsXSQLDA();
    area.SetCount(0);
    EXPECT_EQ(area.Count(), 0);
    EXPECT_EQ(area.Names(), u"");
    EXPECT_EQ(area.UniqueRelationName(), u"");
    EXPECT_EQ(area.AsXSQLDA(), block);
}

TEST_F(XSQLDATest, Version2LayoutIsChosenFromClientSeven) {
    EXPECT_EQ(LayoutVersionForClient(69999), 1);
    EXPECT_EQ(LayoutVersionForClient(70000), 2);
    TIBXSQLDA area(nullptr);
    Use(area, 71000);
    area.SetCount(3);
    auto *block = reinterpret_cast<TWideSQLDABlock *>(area.AsXSQLDA());
    EXPECT_EQ(block->version, 2);
    EXPECT_EQ(block->sqln, 3);
    EXPECT_EQ(area.RecordSize(), static_cast<int>(XSQLDALength(2, 3)) + 4);
    EXPECT_EQ(XSQLDALength(2, 3) - XSQLDALength(2, 2), sizeof(TWideSQLVarRecord));
    EXPECT_EQ(area[1].SqlVar().XSqlVar(), &block->sqlvar[1]);

    // Names of up to 68 bytes land in the record's own fields.
    String longName(60, u'N');
    area[1].SqlVar().SetAliasName(longName);
    EXPECT_EQ(block->sqlvar[1].aliasname_length, 60);
    EXPECT_EQ(std::memcmp(block->sqlvar[1].aliasname, std::string(60, 'N').data(), 60), 0);
    EXPECT_EQ(area[1].SqlVar().AliasName(), longName);
}

TEST_F(XSQLDATest, PrecisionIsStoredOnlyInVersion2Records) {
    TIBXSQLDA v1(nullptr), v2(nullptr);
    Use(v1, 30000);
    Use(v2, 70000);
    v1.SetCount(1);
    v2.SetCount(1);
    Describe(v1[0], SQL_INT64, 8);
    Describe(v2[0], SQL_INT64, 8);
    EXPECT_EQ(v1[0].SqlVar().SqlPrecision(), 18);
    EXPECT_EQ(v2[0].SqlVar().SqlPrecision(), 18);
    v2[0].SqlVar().SetSqlPrecision(12);
    EXPECT_EQ(v2[0].SqlVar().SqlPrecision(), 12);
    EXPECT_CLIENT_ERROR_ID(v1[0].SqlVar().SetSqlPrecision(12), 4);
    Describe(v1[0], SQL_SHORT, 2);
    EXPECT_EQ(v1[0].SqlVar().SqlPrecision(), 4);
    Describe(v1[0], SQL_LONG, 4);
    EXPECT_EQ(v1[0].SqlVar().SqlPrecision(), 9);
    Describe(v1[0], SQL_DOUBLE, 8);
    EXPECT_EQ(v1[0].SqlVar().SqlPrecision(), 0);
}

TEST_F(XSQLDATest, ChangingTheLayoutStartsAFreshBlock) {
    TIBXSQLDA area(nullptr);
    Use(area, 30000);
    area.SetCount(2);
    Use(area, 70000);
    EXPECT_EQ(area.Count(), 0);
    EXPECT_EQ(area.AsXSQLDA(), nullptr);
    area.SetCount(1);
    EXPECT_EQ(area.AsXSQLDA()->version, 2);
}

TEST_F(XSQLDATest, UnquotedLookupsFindStoredNamesInAnyCase) {
    TIBXSQLDA area(nullptr);
    Use(area, 30000, 3);
    area.SetCount(2);
    area.AddName(u"id", 0);
    area.AddName(u"\"Mixed\"", 1);
    EXPECT_EQ(area.Names(), u"ID\r\nMixed\r\n");
    EXPECT_EQ(area.FindVar(u"id"), &area[0]);
    EXPECT_EQ(area.FindVar(u"ID"), &area[0]);
    EXPECT_EQ(area.FindVar(u"  Id "), &area[0]);
    EXPECT_EQ(area.FindVar(u"\"ID\""), &area[0]);
    EXPECT_EQ(area.FindVar(u"\"id\""), nullptr);
    EXPECT_EQ(area.FindVar(u"\"Mixed\""), &area[1]);
    EXPECT_EQ(area.FindVar(u"mixed"), nullptr);
    EXPECT_EQ(area[0].Name(), u"ID");
    EXPECT_EQ(area[1].Index(), 1);
}

TEST_F(XSQLDATest, QuotedNamesLoseTheirQuotesAndUndoubleInnerOnes) {
    TIBXSQLDA area(nullptr);
    Use(area, 30000, 3);
    EXPECT_EQ(area.NormalizeIdentifier(u"\"a\"\"b\""), u"a\"b");
    EXPECT_EQ(area.NormalizeIdentifier(u" \"x y\" "), u"x y");
    EXPECT_EQ(area.NormalizeIdentifier(U("имя")), U("ИМЯ"));
    Use(area, 30000, 1);
    EXPECT_EQ(area.NormalizeIdentifier(u"\"id\""), u"\"ID\"");
}

TEST_F(XSQLDATest, Dialect1UpperCasesQuotedLookupsSoTheyFindNothing) {
    TIBXSQLDA area(nullptr);
    Use(area, 30000, 1);
    area.SetCount(1);
    area.AddName(u"ID", 0);
    EXPECT_EQ(area.FindVar(u"id"), &area[0]);
    EXPECT_EQ(area.FindVar(u"\"ID\""), nullptr);
    EXPECT_EQ(area.FindVar(u"\"id\""), nullptr);
}

TEST_F(XSQLDATest, NonAsciiNamesAreFoundThroughFullNormalisation) {
    TIBXSQLDA area(nullptr);
    Use(area, 30000, 3);
    area.SetCount(1);
    area.AddName(U("сумма"), 0);
    EXPECT_EQ(area.FindVar(U("СУММА")), &area[0]);
    EXPECT_EQ(area.FindVar(U("Сумма")), &area[0]);
}

TEST_F(XSQLDATest, ByNameAndIndexFailuresCarryTheirMessages) {
    TIBXSQLDA area(nullptr);
    Use(area, 30000);
    area.SetCount(1);
    area.AddName(u"A", 0);
    EXPECT_CLIENT_ERROR(area.ByName(u"missing Name"), 46, "Field \"missing Name\" not found");
    EXPECT_CLIENT_ERROR(area.GetSQLVAR(1), 26, "XSQLDA index out of range");
    EXPECT_CLIENT_ERROR(area.GetSQLVAR(-1), 26, "XSQLDA index out of range");
    EXPECT_EQ(area.ByName(u"a"), &area[0]);
}

TEST_F(XSQLDATest, EnumeratorVisitsEveryVariableInUse) {
    TIBXSQLDA area(nullptr);
    Use(area, 30000);
    area.SetCount(4);
    area.SetCount(3);
    std::vector<int> seen;
    auto e = area.GetEnumerator();
    while (e.MoveNext()) seen.push_back(e.GetCurrent()->Index());
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
    area.SetCount(0);
    auto empty = area.GetEnumerator();
    EXPECT_FALSE(empty.MoveNext());
}

// ---------------------------------------------------------------------------
// PrepareBuffers

TEST_F(XSQLDATest, DuplicateAliasesGetCounters) {
    TIBXSQLDA area(nullptr);
    Use(area, 30000);
    area.SetCount(3);
    for (int i = 0; i < 3; ++i) Describe(area[i], SQL_LONG, 4, 0, u"ID");
    area.PrepareBuffers();
    EXPECT_EQ(area.Names(), u"ID\r\nID1\r\nID2\r\n");
    EXPECT_EQ(area[2].SqlVar().AliasName(), u"ID2");
    EXPECT_EQ(area.FindVar(u"id1"), &area[1]);
}

TEST_F(XSQLDATest, UnnamedColumnsBecomeF1F2F3) {
    TIBXSQLDA area(nullptr);
    Use(area, 30000);
    area.SetCount(3);
    for (int i = 0; i < 3; ++i) Describe(area[i], SQL_LONG, 4);
    area.PrepareBuffers();
    EXPECT_EQ(area.Names(), u"F_1\r\nF_2\r\nF_3\r\n");
}

TEST_F(XSQLDATest, GeneratedNamesStayWithinTheNameField) {
    String alias31(31, u'X');
    TIBXSQLDA area(nullptr);
    Use(area, 30000);
    area.SetCount(3);
    for (int i = 0; i < 3; ++i) Describe(area[i], SQL_LONG, 4, 0, alias31);
    area.PrepareBuffers();
    EXPECT_EQ(area[0].Name(), alias31);
    EXPECT_EQ(area[1].Name(), String(30, u'X') + u"1");
    EXPECT_EQ(area[2].Name(), String(30, u'X') + u"2");
    for (int i = 0; i < 3; ++i) EXPECT_LE(area[i].Name().size(), 31u);

    String alias67(67, u'Y');
    TIBXSQLDA wide(nullptr);
    Use(wide, 70000);
    wide.SetCount(2);
    for (int i = 0; i < 2; ++i) Describe(wide[i], SQL_LONG, 4, 0, alias67);
    wide.PrepareBuffers();
    EXPECT_EQ(wide[1].Name(), String(66, u'Y') + u"1");
}

TEST_F(XSQLDATest, CollectedParameterNamesAreNotReplaced) {
    TIBXSQLDA area(nullptr);
    Use(area, 30000);
    area.SetCount(2);
    area.AddName(u"X", 0);
    area.AddName(u"X", 1);
    Describe(area[0], SQL_LONG + 1, 4);
    Describe(area[1], SQL_LONG + 1, 4);
    area.PrepareBuffers();
    EXPECT_EQ(area.Names(), u"X\r\nX\r\n");
}

TEST_F(XSQLDATest, BuffersFollowTheDescribedTypes) {
    TIBXSQLDA area(nullptr);
    Use(area, 30000);
    area.SetCount(5);
    Describe(area[0], SQL_VARYING + 1, 10);
    Describe(area[1], SQL_TEXT, 0);
    Describe(area[2], SQL_TEXT + 1, 7);
    Describe(area[3], SQL_INT64, 8);
    Describe(area[4], SQL_BOOLEAN + 1, 1);
    area.PrepareBuffers();
    EXPECT_EQ(area[0].SqlVar().DataCapacity(), 12);
    EXPECT_EQ(area[0].MaxLen(), 10);
    EXPECT_NE(area[0].SqlVar().SqlInd(), nullptr);
    EXPECT_EQ(area[1].SqlVar().DataCapacity(), 1);
    EXPECT_EQ(area[1].SqlVar().SqlInd(), nullptr);
    EXPECT_EQ(area[2].MaxLen(), 7);
    EXPECT_EQ(area[3].SqlVar().DataCapacity(), 8);
    EXPECT_EQ(area[3].MaxLen(), 0);
    EXPECT_EQ(area[4].SqlVar().DataCapacity(), 1);
    EXPECT_EQ(area[0].SQLInd(), 0);
    EXPECT_FALSE(area[0].IsNull());
}

TEST_F(XSQLDATest, UnknownTypeCodesAreRejectedWithoutTheNullableBit) {
    TIBXSQLDA area(nullptr);
    Use(area, 30000);
    area.SetCount(1);
    Describe(area[0], 601, 4);
    EXPECT_CLIENT_ERROR(area.PrepareBuffers(), 35, "Unknown SQL Data type (600)");
    for (uint16_t known : {SQL_BOOLEAN, SQL_NULL, kSQLInterBaseBoolean, SQL_D_FLOAT, SQL_QUAD, SQL_ARRAY}) {
        Describe(area[0], known, 8);
        EXPECT_NO_THROW(area.PrepareBuffers()) << known;
    }
}

TEST_F(XSQLDATest, UniqueRelationNameIsTheCommonRelationOfTheColumns) {
    TIBXSQLDA area(nullptr);
    Use(area, 30000);
    area.SetCount(3);
    Describe(area[0], SQL_LONG, 4, 0, u"A", u"T");
    Describe(area[1], SQL_LONG, 4, 0, u"B");
    Describe(area[2], SQL_LONG, 4, 0, u"C", u"T");
    area.PrepareBuffers();
    EXPECT_EQ(area.UniqueRelationName(), u"T");
    Describe(area[2], SQL_LONG, 4, 0, u"C", u"U");
    area.SetCount(3);
    area.PrepareBuffers();
    EXPECT_EQ(area.UniqueRelationName(), u"");
    // A later describe of other columns is judged on its own.
    area.SetCount(1);
    Describe(area[0], SQL_LONG, 4, 0, u"A", u"V");
    area.PrepareBuffers();
    EXPECT_EQ(area.UniqueRelationName(), u"V");
}

// ---------------------------------------------------------------------------
// NULL handling

TEST_F(XSQLDATest, AColumnThatIsNotNullableIsNeverNull) {
    TIBXSQLDA area(nullptr);
    Use(area, 30000);
    area.SetCount(1);
    Describe(area[0], SQL_LONG, 4);
    area.PrepareBuffers();
    int16_t negative = -1;
    area[0].SqlVar().SetSqlInd(&negative);  // whatever an indicator says
    EXPECT_FALSE(area[0].IsNull());
    EXPECT_FALSE(area[0].IsNullable());
}

TEST_F(XSQLDATest, SettingNullMakesTheVariableNullableAndReachesNamesakes) {
    TIBXSQLDA area(nullptr);
    Use(area, 30000);
    area.SetCount(3);
    area.AddName(u"P", 0);
    area.AddName(u"Q", 1);
    area.AddName(u"P", 2);
    Describe(area[0], SQL_LONG, 4);
    Describe(area[1], SQL_LONG + 1, 4);
    Describe(area[2], SQL_LONG + 1, 4);
    area.PrepareBuffers();
    EXPECT_FALSE(area.Modified());

    area[0].SetIsNull(true);
    EXPECT_TRUE(area[0].IsNullable());
    EXPECT_TRUE(area[0].IsNull());
    EXPECT_TRUE(area[2].IsNull());
    EXPECT_FALSE(area[1].IsNull());
    EXPECT_EQ(area[2].SQLInd(), -1);
    EXPECT_TRUE(area[2].Modified());
    EXPECT_FALSE(area[1].Modified());
    EXPECT_TRUE(area.Modified());

    area[2].SetIsNull(false);
    EXPECT_FALSE(area[0].IsNull());
    EXPECT_FALSE(area[2].IsNull());
    EXPECT_EQ(area[0].SQLInd(), 0);
}

TEST_F(XSQLDATest, ClearingNullOnAVariableThatIsNotNullableChangesNothing) {
    TIBXSQLDA area(nullptr);
    Use(area, 30000);
    area.SetCount(1);
    Describe(area[0], SQL_LONG, 4);
    area.PrepareBuffers();
    area[0].SetIsNull(false);
    EXPECT_FALSE(area[0].IsNullable());
    EXPECT_FALSE(area[0].Modified());
}

TEST_F(XSQLDATest, NullabilityAddsAndReleasesTheIndicator) {
    TIBXSQLDA area(nullptr);
    Use(area, 30000);
    area.SetCount(1);
    Describe(area[0], SQL_VARYING, 5);
    area.PrepareBuffers();
    area[0].SetIsNullable(true);
    EXPECT_EQ(area[0].SqlVar().SqlType(), SQL_VARYING + 1);
    EXPECT_NE(area[0].SqlVar().SqlInd(), nullptr);
    area[0].SetIsNullable(false);
    EXPECT_EQ(area[0].SqlVar().SqlType(), SQL_VARYING);
    EXPECT_EQ(area[0].SqlVar().SqlInd(), nullptr);
}

TEST_F(XSQLDATest, UntypedNullParameterStaysNullUntilWritten) {
    TIBXSQLDA area(nullptr);
    Use(area, 30000);
    area.SetCount(1);
    area.AddName(u"P", 0);
    Describe(area[0], SQL_NULL + 1, 0);
    area.PrepareBuffers();
    EXPECT_TRUE(area[0].IsNull());
    EXPECT_EQ(area[0].SQLInd(), -1);
    area[0].SetIsNull(false);
    EXPECT_TRUE(area[0].IsNull());
    EXPECT_EQ(area[0].AsInteger(), 0);
    area[0].SetAsInteger(7);
    EXPECT_FALSE(area[0].IsNull());
    EXPECT_EQ(area[0].SQLType(), SQL_LONG);
    EXPECT_EQ(area[0].AsInteger(), 7);
}

// ---------------------------------------------------------------------------
// Character sets

TEST(CharSetSize, FollowsTheCharacterSetOfTheSubtype) {
    EXPECT_EQ(CharSetSizeOf(0, false, 10), 1);
    EXPECT_EQ(CharSetSizeOf(52, false, 10), 1);  // WIN1251
    EXPECT_EQ(CharSetSizeOf(3, false, 30), 3);
    EXPECT_EQ(CharSetSizeOf(3, false, 31), 1);
    EXPECT_EQ(CharSetSizeOf(3, true, 93), 1);
    EXPECT_EQ(CharSetSizeOf(4, false, 40), 4);  // Firebird UTF8
    for (int id : {5, 6, 8, 44, 56, 57, 64}) EXPECT_EQ(CharSetSizeOf(id, false, 10), 2) << id;
    EXPECT_EQ(CharSetSizeOf(59, false, 40), 4);
}

TEST_F(XSQLDATest, CharSetSizeReadsTheRecord) {
    TIBXSQLDA area(nullptr);
    Use(area, 30000);
    area.SetCount(2);
    Describe(area[0], SQL_TEXT, 93, 0, u"NAME", u"RDB$RELATIONS", u"", 3);
    Describe(area[1], SQL_TEXT, 93, 0, u"NAME", u"MY_TABLE", u"", 3 | (1 << 8));  // collation in the high byte
    EXPECT_EQ(area[0].CharSetSize(), 1);
    EXPECT_EQ(area[1].CharSetSize(), 3);
}

}  // namespace
}  // namespace vantrel
