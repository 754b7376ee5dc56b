// Date-time values as the component model keeps them: a double counting days
// since 1899-12-30, the fraction being the time of day. Text forms follow the
// library's fixed format settings (YYYY-MM-DD, HH:MM:SS). "Classic" below
// means the component model's long-standing date-time rules, kept as they
// are: the whole part of a negative value is the day and its fraction, taken
// as positive, the time; text leaves out a midnight time and the zero date.
#pragma once

#include <cstdint>

#include "platform/Text.h"

namespace vantrel {

using TDateTime = double;

struct TDateParts {
    int Year = 0, Month = 0, Day = 0;
    int Hour = 0, Minute = 0, Second = 0, MilliSecond = 0;
};

bool IsValidDate(int year, int month, int day);
bool IsValidTime(int hour, int minute, int second, int ms);
// Days since 1899-12-30 for a valid date; false when the date is invalid.
bool TryEncodeDate(int year, int month, int day, TDateTime &date);
bool TryEncodeTime(int hour, int minute, int second, int ms, TDateTime &time);
// Splits a date-time into its parts (negative values count back from 1899-12-30
// with the time still added, as the classic convention has it). A value
// outside years 1 to 9999, or NaN, gives parts that are all 0.
TDateParts DecodeDateTime(TDateTime value);

String DateToText(TDateTime value);       // YYYY-MM-DD
String TimeToText(TDateTime value);       // HH:MM:SS
// Date and time; the time is left out when it is midnight and the date is
// left out when it is the zero date, as the classic conversion does.
String DateTimeToText(TDateTime value);

// Parses "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.mmm]]" or "HH:MM[:SS]".
bool TryTextToDateTime(StringView text, TDateTime &value);

}  // namespace vantrel
