// Text helpers shared by every layer: UTF-8/UTF-16 conversion, trimming,
// ASCII case folding, message formatting and number text. "Classic" below
// means the component model's long-standing number conversions, kept as they
// are: blanks around a number and "$"/"0x" hex are accepted, and floating
// point prints in a general form of at most 15 significant digits.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace vantrel {

// All text inside the library is UTF-16.
using String = std::u16string;
using StringView = std::u16string_view;

// Invalid UTF-8 sequences decode as U+FFFD, unpaired surrogates encode as
// the bytes of U+FFFD.
String Utf8ToString(std::string_view text);
std::string StringToUtf8(StringView text);
// Appends text as UTF-8 to out; returns npos, or the offset of the first
// unpaired surrogate (out then ends before it).
size_t AppendUtf8(StringView text, std::string &out);
// "U+4E2D": the code point at an offset of text (a surrogate pair as one).
String CodePointName(StringView text, size_t offset);
// Offset of the first byte that does not begin a valid UTF-8 sequence
// (overlong forms, surrogates and cut sequences are invalid), or npos.
size_t FirstInvalidUtf8(std::string_view text);

// Whitespace in the sense of the script format: any character up to U+0020.
inline bool IsWhite(char16_t c) { return c <= u' '; }
inline bool HasNonWhite(StringView text) {
    for (char16_t c : text)
        if (!IsWhite(c)) return true;
    return false;
}
String Trim(StringView text);
String TrimLeft(StringView text);
String TrimRight(StringView text);

// Case folding of ASCII letters only ("any case (ASCII)" comparisons).
String AsciiUpper(StringView text);
String AsciiLower(StringView text);
bool SameTextAscii(StringView a, StringView b);
bool StartsWith(StringView text, StringView prefix);
bool EndsWith(StringView text, StringView suffix);

// One argument of Format: "%s" takes text, "%d" takes an integer.
using FormatArg = std::variant<String, int64_t>;
// Replaces "%s" and "%d" placeholders in order; "%%" stands for "%".
String Format(StringView pattern, std::initializer_list<FormatArg> args);

String IntToStr(int64_t value);
String UIntToStr(uint64_t value);
// General floating-point form with at most 15 significant digits and "." as
// the decimal separator (the library's fixed format settings).
String FloatToStr(double value);

// Strict decimal parsing of the whole text (surrounding blanks allowed, as
// the classic conversion routines allow them). Hex with "$" or "0x" also
// accepted, as those routines do.
bool TryStrToInt(StringView text, int32_t &value);
bool TryStrToInt64(StringView text, int64_t &value);
bool TryStrToFloat(StringView text, double &value);
// Raise EConvertError "'%s' is not a valid integer value".
int32_t StrToInt(StringView text);
int64_t StrToInt64(StringView text);

}  // namespace vantrel
