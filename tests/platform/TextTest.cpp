// Text helpers: UTF conversion, formatting and number parsing.
#include <gtest/gtest.h>

#include "platform/Exceptions.h"
#include "platform/Text.h"

using namespace vantrel;

TEST(Utf, RoundTripsCyrillicAndAstralCharacters) {
    std::string utf8 = "Файл \xF0\x9F\x98\x80 end";
    String s = Utf8ToString(utf8);
    EXPECT_EQ(s.size(), 5u + 2u + 4u);  // emoji is a surrogate pair
    EXPECT_EQ(StringToUtf8(s), utf8);
}

TEST(Utf, InvalidBytesBecomeReplacementCharacters) {
    String s = Utf8ToString(std::string("a\xC3(b\xFF", 5));
    EXPECT_EQ(s, String(u"a\uFFFD(b\uFFFD"));
    // An unpaired surrogate is never written as raw bytes.
    EXPECT_EQ(StringToUtf8(String(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(Utf, FirstInvalidUtf8FindsTheStartOfTheBadSequence) {
    const size_t valid = std::string_view::npos;
    const struct {
        std::string Bytes;
        size_t Expected;
    } cases[] = {
        {"plain ASCII text, longer than eight bytes", valid},
        {"\xD0\xB6 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF", valid},
        {"abcdefgh\x80", 8},           // a continuation byte without a lead
        {"a\xC0\x80", 1},              // overlong NUL
        {"a\xE0\x80\xAF", 1},          // overlong three-byte form
        {"ab\xED\xA0\x80", 2},         // a surrogate
        {"\xF4\x90\x80\x80", 0},       // above U+10FFFF
        {"\xF5\x80\x80\x80", 0},       // no lead byte
        {"ok \xE2\x82", 3},             // cut at the end
        {"\xD0\xB6\xD0z", 2},           // cut by an ASCII byte
    };
    for (const auto &c : cases) EXPECT_EQ(FirstInvalidUtf8(c.Bytes), c.Expected) << c.Bytes;
}

TEST(Format, FillsPlaceholdersInOrder) {
    EXPECT_EQ(Format(u"Field \"%s\" not found", {String(u"NAME")}), u"Field \"NAME\" not found");
    EXPECT_EQ(Format(u"Trying to store a string of length %d into a field that can only contain %d",
                     {int64_t(11), int64_t(10)}),
              u"Trying to store a string of length 11 into a field that can only contain 10");
    EXPECT_EQ(Format(u"100%% of %s", {String(u"x")}), u"100% of x");
    // Missing arguments leave the placeholder visible rather than crash.
    EXPECT_EQ(Format(u"%s and %s", {String(u"a")}), u"a and %s");
}

TEST(Trim, TreatsEveryControlCharacterAsWhitespace) {
    EXPECT_EQ(Trim(u"\t\r\n  x y \x01"), u"x y");
    EXPECT_EQ(TrimLeft(u"  a "), u"a ");
    EXPECT_EQ(TrimRight(u"  a \n"), u"  a");
    EXPECT_EQ(Trim(u"   "), u"");
}

TEST(AsciiCase, FoldsOnlyAsciiLetters) {
    EXPECT_EQ(AsciiUpper(u"commit wörk"), u"COMMIT WöRK");
    EXPECT_TRUE(SameTextAscii(u"IbServer", u"IBSERVER"));
    EXPECT_FALSE(SameTextAscii(u"ф", u"Ф"));
}

TEST(Numbers, IntegerParsingIsStrictAndRangeChecked) {
    int32_t v = 0;
    EXPECT_TRUE(TryStrToInt(u" 42 ", v));
    EXPECT_EQ(v, 42);
    EXPECT_TRUE(TryStrToInt(u"-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_FALSE(TryStrToInt(u"2147483648", v));
    EXPECT_FALSE(TryStrToInt(u"12x", v));
    EXPECT_FALSE(TryStrToInt(u"", v));
    EXPECT_TRUE(TryStrToInt(u"$1F", v));
    EXPECT_EQ(v, 31);
    int64_t w = 0;
    EXPECT_TRUE(TryStrToInt64(u"-9223372036854775808", w));
    EXPECT_EQ(w, INT64_MIN);
    EXPECT_FALSE(TryStrToInt64(u"9223372036854775808", w));
}

TEST(Numbers, StrToIntRaisesTheConversionMessage) {
    try {
        StrToInt(u"X");
        FAIL() << "no error";
    } catch (const EConvertError &e) {
        EXPECT_EQ(e.Message(), u"'X' is not a valid integer value");
        EXPECT_STREQ(e.what(), "'X' is not a valid integer value");
    }
}

TEST(Numbers, FloatTextUsesFifteenSignificantDigits) {
    EXPECT_EQ(FloatToStr(1.5), u"1.5");
    EXPECT_EQ(FloatToStr(-0.25), u"-0.25");
    EXPECT_EQ(FloatToStr(0.1 + 0.2), u"0.3");
    EXPECT_EQ(FloatToStr(100), u"100");
    EXPECT_EQ(FloatToStr(1e20), u"1E+20");
    EXPECT_EQ(FloatToStr(1.25e-7), u"1.25E-7");
    double d = 0;
    EXPECT_TRUE(TryStrToFloat(u"3.25", d));
    EXPECT_DOUBLE_EQ(d, 3.25);
    EXPECT_FALSE(TryStrToFloat(u"3,25", d));
    EXPECT_FALSE(TryStrToFloat(u"nan", d));
}
