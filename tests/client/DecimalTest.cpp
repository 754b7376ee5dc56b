// Exact arithmetic of scaled integers and Currency.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "client/Decimal.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::N;

constexpr int64_t kMax = INT64_MAX;
constexpr int64_t kMin = INT64_MIN;

TEST(Decimal, ScaledValuesAsTextIntegerDoubleAndCurrency) {
    struct Row {
        int64_t Value;
        int Scale;
        const char *Exact, *General;
        int64_t Truncated;
        bool Fits;  // in Currency
        Currency AsCurrency;
    } rows[] = {
        {12345, -2, "123.45", "123.45", 123, true, 1234500},
        {-150, -2, "-1.50", "-1.5", -1, true, -15000},
        {5, -6, "0.000005", "0.000005", 0, true, 0},       // below half a ten-thousandth
        {-123456, -6, "-0.123456", "-0.123456", 0, true, -1235},  // rounded half away from zero
        {7, 2, "700", "700", 700, true, 7000000},
        {0, 3, "0", "0", 0, true, 0},
        {kMax, -4, "922337203685477.5807", "922337203685477.5807", 922337203685477, true, kMax},
        {kMax, -3, "9223372036854775.807", "9223372036854775.807", 9223372036854775, false, 0},
        {kMin, -18, "-9.223372036854775808", "-9.223372036854775808", -9, true, -92234},
        {1, 19, "10000000000000000000", "10000000000000000000", 0, false, 0},
        {3, -19, "0.0000000000000000003", "0.0000000000000000003", 0, true, 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.Exact);
        EXPECT_EQ(N(ScaledToDecimalText(r.Value, r.Scale)), r.Exact);
        EXPECT_EQ(N(ScaledToGeneralText(r.Value, r.Scale)), r.General);
        EXPECT_EQ(ScaleToInt64(r.Scale, r.Value), r.Truncated);
        EXPECT_DOUBLE_EQ(ScaleToDouble(r.Scale, r.Value), std::strtod(r.Exact, nullptr));
        Currency c = -1;
        EXPECT_EQ(ScaledToCurrency(r.Value, r.Scale, c), r.Fits);
        if (r.Fits) {
            EXPECT_EQ(c, r.AsCurrency);
        }
    }
}

TEST(Decimal, TextAsDecimalAndCurrency) {
    struct Row {
        const char16_t *Text;
        bool Plain;  // a plain decimal of at most 18 significant digits
        int64_t Digits;
        int Decimals;
        bool Fits;
        Currency AsCurrency;
    } rows[] = {
        {u" -12.5 ", true, -125, 1, true, -125000},
        {u"+0007.25000", true, 725000, 5, true, 72500},
        {u"0.00005", true, 5, 5, true, 1},  // half away from zero
        {u"123456789012345678", true, 123456789012345678, 0, false, 0},
        {u"1234567890123456789", false, 0, 0, false, 0},  // through floating point: too large
        {u"1e3", false, 0, 0, true, 10000000},
        {u"abc", false, 0, 0, false, 0},
        {u"", false, 0, 0, false, 0},
        {u"1.2.3", false, 0, 0, false, 0},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(N(r.Text));
        int64_t digits = 0;
        int decimals = 0;
        ASSERT_EQ(ParseDecimal(r.Text, digits, decimals), r.Plain);
        if (r.Plain) {
            EXPECT_EQ(digits, r.Digits);
            EXPECT_EQ(decimals, r.Decimals);
        }
        Currency c = 0;
        EXPECT_EQ(TryTextToCurrency(r.Text, c), r.Fits);
        if (r.Fits) {
            EXPECT_EQ(c, r.AsCurrency);
        }
    }
}

TEST(Decimal, TruncationAndRoundingOfDoubles) {
    int64_t v = 0;
    EXPECT_TRUE(TruncToInt64(-2.9, v));
    EXPECT_EQ(v, -2);
    EXPECT_TRUE(TruncToInt64(-9223372036854775808.0, v));
    EXPECT_EQ(v, kMin);
    EXPECT_FALSE(TruncToInt64(9223372036854775808.0, v));
    EXPECT_FALSE(TruncToInt64(NAN, v));
    EXPECT_FALSE(TruncToInt64(INFINITY, v));
    EXPECT_EQ(RoundScaled(1.23456, 3), 1.235);
    EXPECT_TRUE(FitsFifteenDigits(999999999999999));
    EXPECT_FALSE(FitsFifteenDigits(-1000000000000000));
}

}  // namespace
}  // namespace vantrel
