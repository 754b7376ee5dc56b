// TStringList: lines, text and name=value access.
#include <gtest/gtest.h>

#include "platform/Exceptions.h"
#include "platform/Strings.h"

using namespace vantrel;

TEST(StringList, SplitsAtEveryKindOfLineBreak) {
    TStringList l;
    l.SetText(u"a\r\nb\rc\nd\n\re");
    ASSERT_EQ(l.Count(), 6);
    EXPECT_EQ(l[0], u"a");
    EXPECT_EQ(l[3], u"d");
    EXPECT_EQ(l[4], u"");  // LF CR ends two lines
    EXPECT_EQ(l[5], u"e");
}

TEST(StringList, FinalLineBreakAddsNoEmptyLine) {
    TStringList l;
    l.SetText(u"x\r\n");
    EXPECT_EQ(l.Count(), 1);
    EXPECT_EQ(l.Text(), u"x\r\n");
    l.SetText(u"");
    EXPECT_EQ(l.Count(), 0);
}

TEST(StringList, NameValueLookupIgnoresAsciiCase) {
    TStringList l{u"user_name=SYSDBA", u"password=", u"lc_ctype=WIN1251", u"flag"};
    EXPECT_EQ(l.Values(u"USER_NAME"), u"SYSDBA");
    EXPECT_EQ(l.Values(u"password"), u"");
    EXPECT_EQ(l.Values(u"flag"), u"");
    EXPECT_EQ(l.IndexOfName(u"LC_CTYPE"), 2);
    l.SetValue(u"sql_dialect", u"3");
    EXPECT_EQ(l[4], u"sql_dialect=3");
    l.SetValue(u"sql_dialect", u"");
    EXPECT_EQ(l.Count(), 4);
}

TEST(StringList, ReportsEveryChange) {
    TStringList l;
    int before = 0, after = 0;
    l.OnChanging = [&] { ++before; };
    l.OnChange = [&] { ++after; };
    l.Add(u"a");
    l.Put(0, u"b");
    l.Delete(0);
    l.Clear();  // already empty: nothing to report
    EXPECT_EQ(before, 3);
    EXPECT_EQ(after, 3);
}

TEST(StringList, IndexOutsideTheListRaisesListError) {
    TStringList l{u"a"};
    try {
        (void)l[2];
        FAIL();
    } catch (const EListError &e) {
        EXPECT_EQ(e.Message(), u"List index out of bounds (2)");
    }
    EXPECT_THROW(l.Delete(-1), EListError);
}
