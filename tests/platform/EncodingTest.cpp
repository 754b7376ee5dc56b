// Code page conversion and upper-casing.
#include <gtest/gtest.h>

#include "platform/Encoding.h"

using namespace vantrel;

TEST(Encoding, Windows1251RoundTripsCyrillic) {
    auto enc = TEncoding::GetEncoding(1251);
    ASSERT_EQ(enc->CodePage(), 1251);
    String text = u"Не найден файл";
    std::string bytes = enc->GetBytes(text);
    ASSERT_EQ(bytes.size(), text.size());
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xCD);  // Н in windows-1251
    EXPECT_EQ(enc->GetString(bytes), text);
}

TEST(Encoding, CharactersMissingFromThePageBecomeQuestionMarks) {
    auto enc = TEncoding::GetEncoding(1251);
    EXPECT_EQ(enc->GetBytes(u"a\u4E2Db"), "a?b");
}

TEST(Encoding, StrictEncodingStopsAtTheFirstCharacterThePageLacks) {
    const size_t none = String::npos;
    const struct {
        int CodePage;
        String Text;
        size_t Stop;
        std::string Bytes;  // what was appended before the stop (after "<")
    } cases[] = {
        {1251, u"Я?", none, "\xDF?"},
        {1251, u"ab\u4E2Dc", 2, "ab"},
        {1251, u"a\U0001F600", 1, "a"},
        {20127, u"ok\u00E9", 2, "ok"},
        {65001, u"\u4E2D\U0001F600", none, "\xE4\xB8\xAD\xF0\x9F\x98\x80"},
        {65001, u"a\xD83D" u"b", 1, "a"},  // unpaired high surrogate
        {65001, u"ab\xDE00", 2, "ab"},  // unpaired low surrogate
        {932, u"a\u65E5", none, "a\x93\xFA"},
        {932, u"a\u0416\U0001F600", 2, "a\x84\x47"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.CodePage);
        std::string out = "<";
        EXPECT_EQ(TEncoding::GetEncoding(c.CodePage)->Encode(c.Text, out), c.Stop);
        EXPECT_EQ(out, "<" + c.Bytes);
    }
    EXPECT_EQ(CodePointName(u"a\U0001F600", 1), u"U+1F600");
    EXPECT_EQ(CodePointName(u"\u4E2D", 0), u"U+4E2D");
    EXPECT_EQ(CodePointName(u"\xD83D", 0), u"U+D83D");
}

TEST(Encoding, Utf8AndMultiBytePages) {
    EXPECT_EQ(TEncoding::GetEncoding(65001)->GetBytes(u"ж"), "\xD0\xB6");
    auto sjis = TEncoding::GetEncoding(932);
    std::string bytes = sjis->GetBytes(u"日本");
    EXPECT_EQ(bytes.size(), 4u);
    EXPECT_EQ(sjis->GetString(bytes), u"日本");
}

TEST(Encoding, FirstUndecodableFindsTheFirstBadByteOfEveryKindOfPage) {
    std::string all(256, '\0');
    for (int b = 0; b < 256; ++b) all[static_cast<size_t>(b)] = static_cast<char>(b);
    const size_t none = String::npos;
    const struct {
        int CodePage;
        std::string Bytes;
        size_t Expected;
    } cases[] = {
        {65001, "\xD0\xB6", none},
        {65001, "ab\xC0\x80", 2},
        {1251, all, none},  // ICU's windows-1251 defines every byte
        {20127, "ab\x7F\x80", 3},
        {932, TEncoding::GetEncoding(932)->GetBytes(u"a日本"), none},
        {932, "a\x82\xA0\x82", 3},  // a lead byte cut at the end
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.CodePage);
        EXPECT_EQ(TEncoding::GetEncoding(c.CodePage)->FirstUndecodable(c.Bytes.data(), c.Bytes.size()), c.Expected);
    }
}

TEST(Encoding, NamedPagesMapToIcuConverters) {
    EXPECT_EQ(TEncoding::ConverterName(1251), "windows-1251");
    EXPECT_EQ(TEncoding::ConverterName(437), "ibm-437");
    EXPECT_EQ(TEncoding::ConverterName(20127), "US-ASCII");
    EXPECT_EQ(TEncoding::ConverterName(28591), "ISO-8859-1");
    EXPECT_EQ(TEncoding::GetEncoding(437)->GetString("\x80"), u"Ç");
}

TEST(Encoding, UnknownPageFallsBackToTheDefaultNarrowPage) {
    EXPECT_EQ(TEncoding::GetEncoding(99999)->GetBytes(u"ж"), AnsiBytes(u"ж"));
}

TEST(Encoding, DefaultNarrowPageIsUtf8WithoutOverride) {
    if (getenv("VANTREL_ANSI_CODEPAGE")) GTEST_SKIP() << "override set in the environment";
    EXPECT_EQ(DefaultAnsiCodePage(), 65001);
    EXPECT_EQ(AnsiString("\xD0\xB6"), u"ж");
}

TEST(UpperCase, UsesFullUnicodeCaseMapping) {
    EXPECT_EQ(UpperCaseFull(u"end;"), u"END;");
    EXPECT_EQ(UpperCaseFull(u"привет"), u"ПРИВЕТ");
    EXPECT_EQ(UpperCaseFull(u"straße"), u"STRASSE");
}
