// Date-time values and their text.
#include <gtest/gtest.h>

#include "platform/DateTime.h"

using namespace vantrel;

TEST(DateTime, EncodesAndDecodesAroundTheEpoch) {
    TDateTime d = 0;
    ASSERT_TRUE(TryEncodeDate(1899, 12, 30, d));
    EXPECT_EQ(d, 0);
    ASSERT_TRUE(TryEncodeDate(2000, 2, 29, d));
    EXPECT_EQ(d, 36585);
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, d));
    TDateParts p = DecodeDateTime(36585.75);
    EXPECT_EQ(p.Year, 2000);
    EXPECT_EQ(p.Month, 2);
    EXPECT_EQ(p.Day, 29);
    EXPECT_EQ(p.Hour, 18);
}

TEST(DateTime, TextForms) {
    EXPECT_EQ(DateTimeToText(36585.5), u"2000-02-29 12:00:00");
    EXPECT_EQ(DateToText(1), u"1899-12-31");
    EXPECT_EQ(TimeToText(0.25), u"06:00:00");
    TDateTime v = 0;
    ASSERT_TRUE(TryTextToDateTime(u"2000-02-29 12:00:00", v));
    EXPECT_DOUBLE_EQ(v, 36585.5);
    ASSERT_TRUE(TryTextToDateTime(u"06:30", v));
    EXPECT_NEAR(v, 6.5 / 24, 1e-9);
    EXPECT_FALSE(TryTextToDateTime(u"2000-13-01", v));
    EXPECT_FALSE(TryTextToDateTime(u"yesterday", v));
}
