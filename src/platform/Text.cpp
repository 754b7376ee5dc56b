// Text helpers: UTF conversion, trimming, formatting and number text.
#include "platform/Text.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Exceptions.h"

namespace vantrel {

String Utf8ToString(std::string_view text) {
    // Every byte gives at most one UTF-16 unit (four bytes give two), so the
    // result is written into a buffer of the input's size and cut to length.
    String out;
    out.resize(text.size());
    char16_t *o = out.data();
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const auto *end = p + text.size();
    while (p < end) {
        unsigned char c = *p;
        if (c < 0x80) {
            *o++ = c;
            ++p;
            continue;
        }
        int extra = 0;
        char32_t cp = 0;
        if ((c & 0xE0) == 0xC0) { extra = 1; cp = c & 0x1F; }
        else if ((c & 0xF0) == 0xE0) { extra = 2; cp = c & 0x0F; }
        else if ((c & 0xF8) == 0xF0) { extra = 3; cp = c & 0x07; }
        else { *o++ = 0xFFFD; ++p; continue; }
        if (end - p <= extra) { *o++ = 0xFFFD; ++p; continue; }
        bool ok = true;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) { ok = false; break; }
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (!ok || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) ||
            (extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000)) {
            *o++ = 0xFFFD;
            ++p;
            continue;
        }
        p += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            *o++ = static_cast<char16_t>(0xD800 + (cp >> 10));
            *o++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            *o++ = static_cast<char16_t>(cp);
        }
    }
    out.resize(static_cast<size_t>(o - out.data()));
    return out;
}

size_t FirstInvalidUtf8(std::string_view text) {
    const auto *b = reinterpret_cast<const unsigned char *>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        // Scripts are mostly ASCII: eight bytes at a time.
        while (i + 8 <= n) {
            uint64_t word;
            std::memcpy(&word, b + i, sizeof word);
            if (word & 0x8080808080808080ULL) break;
            i += 8;
        }
        if (i >= n) break;
        const unsigned char c = b[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        // The second byte's range excludes overlong forms, surrogates and
        // code points above U+10FFFF.
        size_t extra;
        unsigned char low = 0x80, high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            if (c == 0xE0) low = 0xA0;
            if (c == 0xED) high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;
        } else {
            return i;
        }
        if (n - i <= extra || b[i + 1] < low || b[i + 1] > high) return i;
        for (size_t k = 2; k <= extra; ++k)
            if ((b[i + k] & 0xC0) != 0x80) return i;
        i += extra + 1;
    }
    return std::string_view::npos;
}

std::string StringToUtf8(StringView text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

size_t AppendUtf8(StringView text, std::string &out) {
    // First the exact size, so that a large text is never held with room to
    // spare; the same pass finds an unpaired surrogate before anything is
    // written.
    const size_t n = text.size();
    size_t bytes = 0;
    for (size_t i = 0; i < n; ++i) {
        const char16_t c = text[i];
        if (c < 0x80) bytes += 1;
        else if (c < 0x800) bytes += 2;
        else if (c < 0xD800 || c > 0xDFFF) bytes += 3;
        else if (c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) bytes += 4, ++i;
        else return AppendUtf8(text.substr(0, i), out), i;
    }
    const size_t start = out.size();
    out.resize(start + bytes);
    char *o = out.data() + start;
    for (size_t i = 0; i < n; ++i) {
        char32_t cp = text[i];
        if (cp < 0x80) {
            *o++ = static_cast<char>(cp);
            continue;
        }
        if (cp >= 0xD800 && cp <= 0xDBFF) cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (cp < 0x800) {
            *o++ = static_cast<char>(0xC0 | (cp >> 6));
        } else if (cp < 0x10000) {
            *o++ = static_cast<char>(0xE0 | (cp >> 12));
            *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        } else {
            *o++ = static_cast<char>(0xF0 | (cp >> 18));
            *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        }
        *o++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return StringView::npos;
}

String CodePointName(StringView text, size_t offset) {
    if (offset >= text.size()) return String();
    char32_t cp = text[offset];
    if (cp >= 0xD800 && cp <= 0xDBFF && offset + 1 < text.size() && text[offset + 1] >= 0xDC00 &&
        text[offset + 1] <= 0xDFFF)
        cp = 0x10000 + ((cp - 0xD800) << 10) + (text[offset + 1] - 0xDC00);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(cp));
    return Utf8ToString(buffer);
}

String Trim(StringView text) { return TrimRight(TrimLeft(text)); }

String TrimLeft(StringView text) {
    size_t i = 0;
    while (i < text.size() && IsWhite(text[i])) ++i;
    return String(text.substr(i));
}

String TrimRight(StringView text) {
    size_t n = text.size();
    while (n > 0 && IsWhite(text[n - 1])) --n;
    return String(text.substr(0, n));
}

String AsciiUpper(StringView text) {
    String out(text);
    for (auto &c : out)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    return out;
}

String AsciiLower(StringView text) {
    String out(text);
    for (auto &c : out)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    return out;
}

bool SameTextAscii(StringView a, StringView b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - 32);
        if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - 32);
        if (x != y) return false;
    }
    return true;
}

bool StartsWith(StringView text, StringView prefix) {
    return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(StringView text, StringView suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

String Format(StringView pattern, std::initializer_list<FormatArg> args) {
    String out;
    out.reserve(pattern.size() + 32);
    auto arg = args.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        char16_t c = pattern[i];
        if (c == u'%' && i + 1 < pattern.size()) {
            char16_t k = pattern[i + 1];
            if (k == u'%') { out.push_back(u'%'); ++i; continue; }
            if ((k == u's' || k == u'd') && arg != args.end()) {
                if (const auto *s = std::get_if<String>(&*arg)) out += *s;
                else out += IntToStr(std::get<int64_t>(*arg));
                ++arg;
                ++i;
                continue;
            }
        }
        out.push_back(c);
    }
    return out;
}

String IntToStr(int64_t value) {
    char buf[32];
    int n = std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(value));
    return String(buf, buf + n);
}

String UIntToStr(uint64_t value) {
    char buf[32];
    int n = std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(value));
    return String(buf, buf + n);
}

String FloatToStr(double value) {
    if (std::isnan(value)) return u"NAN";
    if (std::isinf(value)) return value > 0 ? u"INF" : u"-INF";
    char buf[64];
    // Fixed notation while the exponent allows 15 digits, scientific beyond,
    // as the classic general format does.
    int n = std::snprintf(buf, sizeof buf, "%.15G", value);
    std::string s(buf, static_cast<size_t>(n));
    auto epos = s.find('E');
    std::string mant = epos == std::string::npos ? s : s.substr(0, epos);
    std::string exp = epos == std::string::npos ? "" : s.substr(epos);
    if (mant.find('.') != std::string::npos) {
        while (!mant.empty() && mant.back() == '0') mant.pop_back();
        if (!mant.empty() && mant.back() == '.') mant.pop_back();
    }
    if (!exp.empty()) {
        // E+05 -> E+5, E-07 -> E-7
        char sign = exp[1];
        std::string digits = exp.substr(2);
        while (digits.size() > 1 && digits[0] == '0') digits.erase(0, 1);
        exp = std::string("E") + (sign == '-' ? "-" : "+") + digits;
    }
    std::string r = mant + exp;
    return String(r.begin(), r.end());
}

namespace {

bool ParseInteger(StringView text, int64_t &value, int64_t min, int64_t max) {
    String t = Trim(text);
    if (t.empty()) return false;
    size_t i = 0;
    bool neg = false;
    if (t[i] == u'+' || t[i] == u'-') { neg = t[i] == u'-'; ++i; }
    int base = 10;
    if (i < t.size() && t[i] == u'$') { base = 16; ++i; }
    else if (i + 1 < t.size() && t[i] == u'0' && (t[i + 1] == u'x' || t[i + 1] == u'X')) { base = 16; i += 2; }
    if (i >= t.size()) return false;
    unsigned __int128 acc = 0;
    for (; i < t.size(); ++i) {
        char16_t c = t[i];
        int d;
        if (c >= u'0' && c <= u'9') d = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f') d = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F') d = c - u'A' + 10;
        else return false;
        acc = acc * base + d;
        if (acc > (static_cast<unsigned __int128>(1) << 64)) return false;
    }
    __int128 v = neg ? -static_cast<__int128>(acc) : static_cast<__int128>(acc);
    if (v < min || v > max) return false;
    value = static_cast<int64_t>(v);
    return true;
}

}  // namespace

bool TryStrToInt(StringView text, int32_t &value) {
    int64_t v;
    if (!ParseInteger(text, v, INT32_MIN, INT32_MAX)) return false;
    value = static_cast<int32_t>(v);
    return true;
}

bool TryStrToInt64(StringView text, int64_t &value) {
    return ParseInteger(text, value, INT64_MIN, INT64_MAX);
}

bool TryStrToFloat(StringView text, double &value) {
    String t = Trim(text);
    if (t.empty()) return false;
    std::string a;
    for (char16_t c : t) {
        if (c > 127) return false;
        a.push_back(static_cast<char>(c));
    }
    // Only plain decimal forms; no hex floats, no "inf"/"nan" words.
    for (char c : a)
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return false;
    char *end = nullptr;
    errno = 0;
    double v = std::strtod(a.c_str(), &end);
    if (end != a.c_str() + a.size()) return false;
    value = v;
    return true;
}

int32_t StrToInt(StringView text) {
    int32_t v;
    if (!TryStrToInt(text, v)) throw EConvertError(Format(kInvalidIntegerMessage, {String(text)}));
    return v;
}

int64_t StrToInt64(StringView text) {
    int64_t v;
    if (!TryStrToInt64(text, v)) throw EConvertError(Format(kInvalidIntegerMessage, {String(text)}));
    return v;
}

}  // namespace vantrel
