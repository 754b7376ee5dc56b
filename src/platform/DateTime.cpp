// Date-time values and their text forms.
#include "platform/DateTime.h"

#include <cmath>
#include <cstdio>

namespace vantrel {

namespace {

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Days from 0001-01-01 (day 1) to the date.
int64_t DayNumber(int y, int m, int d) {
    int64_t days = 0;
    int64_t yy = y - 1;
    days = yy * 365 + yy / 4 - yy / 100 + yy / 400;
    for (int i = 1; i < m; ++i) days += DaysInMonth(y, i);
    return days + d;
}

const int64_t kDelta = 693594;  // day number of 1899-12-30

void FromDayNumber(int64_t n, int &y, int &m, int &d) {
    // n: 1 = 0001-01-01
    int64_t t = n - 1;
    int64_t y400 = t / 146097;
    t %= 146097;
    int64_t y100 = t / 36524;
    if (y100 == 4) y100 = 3;
    t -= y100 * 36524;
    int64_t y4 = t / 1461;
    t %= 1461;
    int64_t y1 = t / 365;
    if (y1 == 4) y1 = 3;
    t -= y1 * 365;
    y = static_cast<int>(y400 * 400 + y100 * 100 + y4 * 4 + y1 + 1);
    m = 1;
    while (t >= DaysInMonth(y, m)) {
        t -= DaysInMonth(y, m);
        ++m;
    }
    d = static_cast<int>(t + 1);
}

String Two(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return Utf8ToString(buf);
}

}  // namespace

bool IsValidDate(int year, int month, int day) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

bool IsValidTime(int hour, int minute, int second, int ms) {
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60 && ms >= 0 &&
           ms < 1000;
}

bool TryEncodeDate(int year, int month, int day, TDateTime &date) {
    if (!IsValidDate(year, month, day)) return false;
    date = static_cast<double>(DayNumber(year, month, day) - kDelta);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int ms, TDateTime &time) {
    if (!IsValidTime(hour, minute, second, ms)) return false;
    time = (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + ms) / 86400000.0;
    return true;
}

TDateParts DecodeDateTime(TDateTime value) {
    TDateParts p;
    // Beyond the calendar (and NaN): all parts 0, which no check accepts.
    if (!(value > -693594.0 && value < 2958466.0)) return p;
    double whole = std::trunc(value);
    double frac = std::fabs(value - whole);
    int64_t msDay = static_cast<int64_t>(std::llround(frac * 86400000.0));
    if (msDay >= 86400000) msDay = 86399999;
    int64_t n = static_cast<int64_t>(whole) + kDelta;
    if (n >= 1 && n <= 3652059) FromDayNumber(n, p.Year, p.Month, p.Day);
    p.Hour = static_cast<int>(msDay / 3600000);
    p.Minute = static_cast<int>(msDay / 60000 % 60);
    p.Second = static_cast<int>(msDay / 1000 % 60);
    p.MilliSecond = static_cast<int>(msDay % 1000);
    return p;
}

String DateToText(TDateTime value) {
    TDateParts p = DecodeDateTime(value);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-", p.Year);
    return Utf8ToString(buf) + Two(p.Month) + u"-" + Two(p.Day);
}

String TimeToText(TDateTime value) {
    TDateParts p = DecodeDateTime(value);
    return Two(p.Hour) + u":" + Two(p.Minute) + u":" + Two(p.Second);
}

String DateTimeToText(TDateTime value) {
    double whole = std::trunc(value);
    bool hasTime = std::fabs(value - whole) > 0;
    if (whole == 0 && hasTime) return TimeToText(value);
    if (!hasTime) return DateToText(value);
    return DateToText(value) + u" " + TimeToText(value);
}

bool TryTextToDateTime(StringView text, TDateTime &value) {
    String t = Trim(text);
    std::string a = StringToUtf8(t);
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    int consumed = 0;
    TDateTime date = 0, time = 0;
    if (std::sscanf(a.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &consumed) == 3) {
        if (!TryEncodeDate(y, mo, d, date)) return false;
        std::string rest = a.substr(static_cast<size_t>(consumed));
        if (rest.empty()) {
            value = date;
            return true;
        }
        if (rest[0] != ' ' && rest[0] != 'T') return false;
        a = rest.substr(1);
    }
    int n = 0;
    consumed = 0;
    int fields = std::sscanf(a.c_str(), "%2d:%2d%n:%2d%n", &h, &mi, &consumed, &s, &n);
    if (fields < 2) return false;
    size_t pos = static_cast<size_t>(fields == 3 ? n : consumed);
    if (pos < a.size() && a[pos] == '.') {
        int digits = 0, msv = 0;
        ++pos;
        while (pos < a.size() && a[pos] >= '0' && a[pos] <= '9') {
            if (digits < 3) msv = msv * 10 + (a[pos] - '0'), ++digits;
            ++pos;
        }
        while (digits < 3) msv *= 10, ++digits;
        ms = msv;
    }
    if (pos != a.size()) return false;
    if (!TryEncodeTime(h, mi, s, ms, time)) return false;
    value = date < 0 ? date - time : date + time;
    return true;
}

}  // namespace vantrel
