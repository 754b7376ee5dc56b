// Exact decimal arithmetic of scaled integers (NUMERIC and DECIMAL values
// are integers with a negative decimal scale) and of Currency.
#pragma once

#include <cstdint>

#include "platform/Text.h"

namespace vantrel {

// Currency: a fixed-point number with four decimals, held as value x 10000
// (the VARIANT VT_CY representation).
using Currency = int64_t;

// 10^k for k in 0..18.
int64_t Pow10(int k);

// The value of Value x 10^Scale as a double / truncated toward zero (0 when
// the scale is beyond 18 decimals).
double ScaleToDouble(int Scale, int64_t Value);
int64_t ScaleToInt64(int Scale, int64_t Value);

// A double truncated toward zero, or false when it has no 64-bit value.
bool TruncToInt64(double d, int64_t &out);

// Rounds to k decimals after 15 significant digits, through text, as the
// fixed-point display of a scaled value does.
double RoundScaled(double d, int k);

// At most 15 significant digits: a double's general form is exact.
bool FitsFifteenDigits(int64_t v);

// Parses a decimal number with optional sign and fraction. Returns the
// digits as an integer and the count of decimals; false when the text is
// no plain decimal or has more than 18 significant digits.
bool ParseDecimal(StringView text, int64_t &value, int &decimals);

// Decimal text (or, failing that, a floating-point number) as Currency,
// decimals beyond four rounded half away from zero; false when it is not a
// number or Currency cannot hold it.
bool TryTextToCurrency(StringView text, Currency &out);

// The scaled value with four decimals (more are rounded half away from
// zero); false when Currency cannot hold it.
bool ScaledToCurrency(int64_t v, int scale, Currency &out);

// Exact decimal text of a scaled value with all its decimals ("-1.50").
String ScaledToDecimalText(int64_t v, int scale);

// Exact decimal text of a scaled value without trailing zeros after the
// point (the general form: "1.5", "-2", "1000000000000000").
String ScaledToGeneralText(int64_t v, int scale);

// The same for 128-bit integers (Firebird 4's INT128 and the NUMERIC and
// DECIMAL types above 18 digits).
String WideScaledToDecimalText(__int128 v, int scale);
String WideScaledToGeneralText(__int128 v, int scale);
// The 128-bit value's 64-bit value, its scale truncated toward zero; false
// when 64 bits cannot hold it.
bool Int128ToInt64(__int128 v, int scale, int64_t &out);
// The nearest double to the scaled 128-bit value.
double WideScaleToDouble(int Scale, __int128 Value);

}  // namespace vantrel
