// Database parameter block: byte layout of every item kind, name handling,
// the character set an lc_ctype line selects, and every rejected line.
#include <gtest/gtest.h>

#include "client/DPB.h"
#include "client/IBErrors.h"
#include "platform/Encoding.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using Bytes = std::vector<uint8_t>;
using test::N;

Bytes Build(std::initializer_list<String> lines) { return BuildDPB(TStringList(lines)); }

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Str(const std::string &s) { return Bytes(s.begin(), s.end()); }

// Runs the build and returns the client error it raised (or fails).
EIBClientError BuildError(std::initializer_list<String> lines) {
    try {
        Build(lines);
    } catch (const EIBClientError &e) {
        return e;
    }
    ADD_FAILURE() << "no client error";
    return EIBClientError(-1, u"");
}

TEST(DPBTest, NameTableCountsFromOne) {
    EXPECT_EQ(FindDPBItemCode(u"cdd_pathname"), 1);
    EXPECT_EQ(FindDPBItemCode(u"user_name"), 28);
    EXPECT_EQ(FindDPBItemCode(u"LC_CTYPE"), 48);
    EXPECT_EQ(FindDPBItemCode(u"ods_version_major"), 88);
    EXPECT_EQ(FindDPBItemCode(u"nonsense"), 0);
    EXPECT_EQ(DPBItemCodes().size(), 88u);
}

TEST(DPBTest, EmptyListIsTheVersionByteAlone) {
    EXPECT_EQ(Build({}), Bytes{1});
    EXPECT_EQ(Build({u"", u"   ", u"\t"}), Bytes{1});
}

TEST(DPBTest, UpdateModuleLinesAndCharacterSet) {
    std::optional<TDPBCharacterSet> cs;
    Bytes block = BuildDPB(TStringList{u"user_name=SYSDBA", u"password=masterkey", u"lc_ctype=WIN1251"}, &cs);
    EXPECT_EQ(block, Concat({{1, 28, 6}, Str("SYSDBA"), {29, 9}, Str("masterkey"), {48, 7}, Str("WIN1251")}));
    ASSERT_TRUE(cs.has_value());
    EXPECT_EQ(cs->CharacterSet, u"WIN1251");
    EXPECT_EQ(cs->CodePage, 1251);
}

TEST(DPBTest, PrefixAndCaseOfNamesDoNotMatter) {
    Bytes expected = Concat({{1, 28, 6}, Str("SYSDBA")});
    EXPECT_EQ(Build({u"user_name=SYSDBA"}), expected);
    EXPECT_EQ(Build({u"isc_dpb_user_name=SYSDBA"}), expected);
    EXPECT_EQ(Build({u"USER_NAME=SYSDBA"}), expected);
    EXPECT_EQ(Build({u"ISC_DPB_USER_NAME=SYSDBA"}), expected);
}

TEST(DPBTest, ValuesAreNotTrimmedAndKeepFurtherEqualsSigns) {
    EXPECT_EQ(Build({u"password= a=b "}), Concat({{1, 29, 5}, Str(" a=b ")}));
    EXPECT_EQ(Build({u"user_name="}), (Bytes{1, 28, 0}));
}

TEST(DPBTest, StringValuesUseTheDefaultNarrowCodePage) {
    if (DefaultAnsiCodePage() != 65001) GTEST_SKIP() << "narrow code page is not UTF-8";
    // Two bytes for the Cyrillic letter.
    EXPECT_EQ(Build({test::U("user_name=Я")}), (Bytes{1, 28, 2, 0xD0, 0xAF}));
}

TEST(DPBTest, EveryStringItem) {
    for (int code : {18, 19, 20, 28, 29, 30, 36, 47, 48, 60, 75, 81, 82, 85}) {
        String name(DPBItemCodes()[static_cast<size_t>(code - 1)]);
        EXPECT_EQ(Build({name + u"=xy"}), (Bytes{1, static_cast<uint8_t>(code), 2, 'x', 'y'})) << N(name);
    }
}

TEST(DPBTest, ByteItemsTakeTheLowByte) {
    EXPECT_EQ(Build({u"force_write=1"}), (Bytes{1, 24, 1, 1}));
    EXPECT_EQ(Build({u"verify=258"}), (Bytes{1, 9, 1, 2}));
    EXPECT_EQ(Build({u"overwrite=-1"}), (Bytes{1, 54, 1, 0xFF}));
    for (int code : {9, 13, 17, 24, 27, 33, 54, 70, 73, 76, 77, 78}) {
        String name(DPBItemCodes()[static_cast<size_t>(code - 1)]);
        EXPECT_EQ(Build({name + u"=7"}), (Bytes{1, static_cast<uint8_t>(code), 1, 7})) << N(name);
    }
}

TEST(DPBTest, IntegerItemsAreFourBytesLittleEndian) {
    EXPECT_EQ(Build({u"sql_dialect=3"}), (Bytes{1, 63, 4, 3, 0, 0, 0}));
    EXPECT_EQ(Build({u"page_size=16384"}), (Bytes{1, 4, 4, 0x00, 0x40, 0, 0}));
    EXPECT_EQ(Build({u"num_buffers=-2"}), (Bytes{1, 5, 4, 0xFE, 0xFF, 0xFF, 0xFF}));
    for (int code : {4, 5, 22, 34, 61, 63, 79, 80, 84, 88}) {
        String name(DPBItemCodes()[static_cast<size_t>(code - 1)]);
        EXPECT_EQ(Build({name + u"=258"}), (Bytes{1, static_cast<uint8_t>(code), 4, 2, 1, 0, 0})) << N(name);
    }
}

TEST(DPBTest, TransactionIsAnEightByteInteger) {
    EXPECT_EQ(Build({u"transaction=4294967298"}), (Bytes{1, 87, 8, 2, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(Build({u"transaction=-1"}), (Bytes{1, 87, 8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(DPBTest, CodeOnlyAndFixedItemsIgnoreTheValue) {
    EXPECT_EQ(Build({u"set_db_readonly=1"}), Bytes({1, 64}));
    EXPECT_EQ(Build({u"set_db_readonly"}), Bytes({1, 64}));
    EXPECT_EQ(Build({u"sweep=5"}), (Bytes{1, 10, 1, 2}));
    EXPECT_EQ(Build({u"activate_shadow=9"}), (Bytes{1, 21, 1, 0}));
    EXPECT_EQ(Build({u"delete_shadow"}), (Bytes{1, 23, 1, 0}));
    EXPECT_EQ(Build({u"begin_log=x"}), (Bytes{1, 25, 1, 0}));
    EXPECT_EQ(Build({u"quit_log="}), (Bytes{1, 26, 1, 0}));
}

TEST(DPBTest, ItemsFollowLineOrder) {
    EXPECT_EQ(Build({u"sql_dialect=1", u"", u"user_name=A", u"set_db_readonly"}),
              (Bytes{1, 63, 4, 1, 0, 0, 0, 28, 1, 'A', 64}));
}

TEST(DPBTest, UnknownNamesShowTheNameAsWritten) {
    EIBClientError e = BuildError({u"user_name = SYSDBA"});
    EXPECT_EQ(e.SQLCode(), 114);
    EXPECT_EQ(e.Message(), u"DPB Constant (user_name ) is unknown");
    EXPECT_EQ(BuildError({u"isc_dpb_Foo=1"}).Message(), u"DPB Constant (isc_dpb_Foo) is unknown");
    // A line without "=" has no name part to show.
    EXPECT_EQ(BuildError({u"foo"}).Message(), u"DPB Constant () is unknown");
}

TEST(DPBTest, KnownButUnsupportedNames) {
    EIBClientError e = BuildError({u"cdd_pathname=x"});
    EXPECT_EQ(e.SQLCode(), 11);
    EXPECT_EQ(e.Message(), u"DPB Constant (isc_dpb_cdd_pathname) is unsupported");
    for (StringView name : {u"allocation", u"journal", u"debug", u"trace", u"interp", u"shutdown", u"online",
                            u"connect_timeout", u"working_directory", u"set_db_sql_dialect", u"force",
                            u"eua_user_name"}) {
        EXPECT_EQ(BuildError({String(name) + u"=1"}).SQLCode(), 11) << N(String(name));
    }
}

TEST(DPBTest, NonNumericIntegerValues) {
    for (String line : {u"sql_dialect=three", u"force_write=", u"transaction=1x", u"page_size= "}) {
        try {
            Build({line});
            ADD_FAILURE() << N(line);
        } catch (const EConvertError &e) {
            String value = line.substr(line.find(u'=') + 1);
            EXPECT_EQ(e.Message(), u"'" + value + u"' is not a valid integer value");
        }
    }
}

TEST(DPBTest, StringValueOfExactly255BytesFits) {
    String value(255, u'p');
    Bytes block = Build({u"password=" + value});
    ASSERT_EQ(block.size(), 3u + 255u);
    EXPECT_EQ(block[2], 255);
}

TEST(DPBTest, LongerStringValueIsRejectedNotCut) {
    // 128 two-byte characters: 256 bytes in the narrow code page.
    String value(128, u'\u044F');
    EIBClientError e = BuildError({u"user_name=SYSDBA", u"isc_dpb_password=" + value});
    EXPECT_EQ(e.Message(), u"DPB Constant (isc_dpb_password) value is too long (256 bytes, at most 255)");
}

TEST(DPBTest, BlockLongerThanASignedShortIsRejected) {
    TStringList lines;
    for (int i = 0; i < 140; ++i) lines.Add(u"lc_messages=" + String(250, u'm'));
    EXPECT_THROW(BuildDPB(lines), EIBClientError);
}

TEST(DPBTest, CharacterSetOfLcCtype) {
    std::optional<TDPBCharacterSet> cs;
    BuildDPB(TStringList{u"user_name=SYSDBA"}, &cs);
    EXPECT_FALSE(cs.has_value());

    BuildDPB(TStringList{u"isc_dpb_lc_ctype=utf8"}, &cs);
    ASSERT_TRUE(cs.has_value());
    EXPECT_EQ(cs->CharacterSet, u"utf8");
    EXPECT_EQ(cs->CodePage, 65001);

    // Not in the table: the name is kept, the code page is the narrow one.
    BuildDPB(TStringList{u"lc_ctype=KOI8R"}, &cs);
    EXPECT_EQ(cs->CharacterSet, u"KOI8R");
    EXPECT_EQ(cs->CodePage, DefaultAnsiCodePage());
}

TEST(DPBTest, CharacterSetTable) {
    EXPECT_EQ(CharacterSetCodePage(u"NONE"), DefaultAnsiCodePage());
    EXPECT_EQ(CharacterSetCodePage(u"win1251"), 1251);
    EXPECT_EQ(CharacterSetCodePage(u"UNICODE_FSS"), 65001);
    EXPECT_EQ(CharacterSetCodePage(u"ASCII"), 20127);
    EXPECT_EQ(CharacterSetCodePage(u"ISO8859_1"), 28591);
    EXPECT_EQ(CharacterSetCodePage(u"EUCJ_0208"), 20936);
    EXPECT_EQ(CharacterSetCodePage(u"KSC_5601"), 949);
    EXPECT_EQ(CharacterSetCodePage(u"DOS865"), 865);
    EXPECT_TRUE(IsKnownCharacterSet(u"gb_2312"));
    EXPECT_FALSE(IsKnownCharacterSet(u"WIN1257"));
    EXPECT_EQ(CharacterSetCodePage(u"WIN1257"), DefaultAnsiCodePage());
}

}  // namespace
}  // namespace vantrel
