// Exact decimal arithmetic of scaled integers and Currency.
#include "client/Decimal.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vantrel {

namespace {

const int64_t kPow10[19] = {1LL, 10LL, 100LL, 1000LL, 10000LL, 100000LL, 1000000LL, 10000000LL, 100000000LL,
                            1000000000LL, 10000000000LL, 100000000000LL, 1000000000000LL, 10000000000000LL,
                            100000000000000LL, 1000000000000000LL, 10000000000000000LL, 100000000000000000LL,
                            1000000000000000000LL};

double Pow10Double(int k) { return k <= 18 ? static_cast<double>(kPow10[k]) : std::pow(10.0, k); }

}  // namespace

int64_t Pow10(int k) { return kPow10[k]; }

bool TruncToInt64(double d, int64_t &out) {
    if (!std::isfinite(d)) return false;
    double t = std::trunc(d);
    if (t < -9223372036854775808.0 || t >= 9223372036854775808.0) return false;
    out = static_cast<int64_t>(t);
    return true;
}

double RoundScaled(double d, int k) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.14e", d);
    double r = std::strtod(buf, nullptr);
    std::snprintf(buf, sizeof buf, "%.*f", k, r);
    return std::strtod(buf, nullptr);
}

bool FitsFifteenDigits(int64_t v) { return v > -1000000000000000LL && v < 1000000000000000LL; }

bool ParseDecimal(StringView text, int64_t &value, int &decimals) {
    String t = Trim(text);
    size_t i = 0;
    bool neg = false;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) neg = t[i++] == u'-';
    uint64_t acc = 0;
    int digits = 0, sig = 0;
    decimals = 0;
    bool point = false;
    for (; i < t.size(); ++i) {
        char16_t c = t[i];
        if (c == u'.' && !point) {
            point = true;
            continue;
        }
        if (c < u'0' || c > u'9') return false;
        ++digits;
        if (point) ++decimals;
        if (acc == 0 && c == u'0') continue;  // leading zeros do not count
        if (++sig > 18) return false;
        acc = acc * 10 + static_cast<uint64_t>(c - u'0');
    }
    if (digits == 0 || decimals > 18) return false;
    value = neg ? -static_cast<int64_t>(acc) : static_cast<int64_t>(acc);
    return true;
}

bool TryTextToCurrency(StringView text, Currency &out) {
    int64_t v;
    int decimals;
    if (ParseDecimal(text, v, decimals)) {
        if (decimals <= 4) {
            __int128 c = static_cast<__int128>(v) * kPow10[4 - decimals];
            if (c > INT64_MAX || c < INT64_MIN) return false;
            out = static_cast<Currency>(c);
            return true;
        }
        int64_t d = kPow10[decimals - 4];
        int64_t q = v / d, r = v % d;
        if (2 * (r < 0 ? -r : r) >= d) q += v < 0 ? -1 : 1;
        out = q;
        return true;
    }
    double f;
    if (!TryStrToFloat(text, f)) return false;
    int64_t c;
    if (!TruncToInt64(std::round(f * 10000.0), c)) return false;
    out = c;
    return true;
}

bool ScaledToCurrency(int64_t v, int scale, Currency &out) {
    if (scale >= -4) {
        const int k = 4 + scale;
        if (k > 18) {
            out = 0;
            return v == 0;
        }
        return !__builtin_mul_overflow(v, kPow10[k], &out);
    }
    const int k = -4 - scale;
    if (k > 18) {
        out = 0;
        return true;
    }
    const int64_t d = kPow10[k];
    int64_t q = v / d, r = v % d;
    // |r| < d <= 10^18, so twice it still fits.
    if (2 * (r < 0 ? -r : r) >= d) q += v < 0 ? -1 : 1;
    out = q;
    return true;
}

String ScaledToDecimalText(int64_t v, int scale) {
    bool neg = v < 0;
    uint64_t a = neg ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    String digits = UIntToStr(a);
    if (scale > 0) {
        if (a != 0) digits.append(static_cast<size_t>(scale), u'0');
    } else if (scale < 0) {
        size_t k = static_cast<size_t>(-scale);
        if (digits.size() <= k) digits.insert(0, k + 1 - digits.size(), u'0');
        digits.insert(digits.size() - k, 1, u'.');
    }
    return neg ? u"-" + digits : digits;
}

String ScaledToGeneralText(int64_t v, int scale) {
    String text = ScaledToDecimalText(v, scale);
    if (text.find(u'.') != String::npos) {
        while (text.back() == u'0') text.pop_back();
        if (text.back() == u'.') text.pop_back();
    }
    return text;
}

String WideScaledToDecimalText(__int128 v, int scale) {
    if (v >= INT64_MIN && v <= INT64_MAX) return ScaledToDecimalText(static_cast<int64_t>(v), scale);
    const bool neg = v < 0;
    unsigned __int128 a = neg ? 0 - static_cast<unsigned __int128>(v) : static_cast<unsigned __int128>(v);
    String digits;
    for (; a != 0; a /= 10) digits.insert(digits.begin(), static_cast<char16_t>(u'0' + static_cast<int>(a % 10)));
    if (scale > 0) {
        digits.append(static_cast<size_t>(scale), u'0');
    } else if (scale < 0) {
        size_t k = static_cast<size_t>(-scale);
        if (digits.size() <= k) digits.insert(0, k + 1 - digits.size(), u'0');
        digits.insert(digits.size() - k, 1, u'.');
    }
    return neg ? u"-" + digits : digits;
}

String WideScaledToGeneralText(__int128 v, int scale) {
    String text = WideScaledToDecimalText(v, scale);
    if (text.find(u'.') != String::npos) {
        while (text.back() == u'0') text.pop_back();
        if (text.back() == u'.') text.pop_back();
    }
    return text;
}

bool Int128ToInt64(__int128 v, int scale, int64_t &out) {
    if (scale < 0) {
        // 10^38 exceeds every 128-bit value: beyond that the quotient is 0.
        for (int k = -scale; k > 0 && v != 0; --k) v /= 10;
    } else {
        for (int k = scale; k > 0 && v != 0; --k) {
            if (v > INT64_MAX || v < INT64_MIN) return false;
            v *= 10;
        }
    }
    if (v > INT64_MAX || v < INT64_MIN) return false;
    out = static_cast<int64_t>(v);
    return true;
}

double WideScaleToDouble(int Scale, __int128 Value) {
    if (Value >= INT64_MIN && Value <= INT64_MAX) return ScaleToDouble(Scale, static_cast<int64_t>(Value));
    // Through the exact decimal text: strtod rounds it correctly.
    const std::string text = StringToUtf8(WideScaledToDecimalText(Value, Scale));
    return std::strtod(text.c_str(), nullptr);
}

double ScaleToDouble(int Scale, int64_t Value) {
    if (Scale > 0) return static_cast<double>(Value) * Pow10Double(Scale);
    if (Scale < 0) return static_cast<double>(Value) / Pow10Double(-Scale);
    return static_cast<double>(Value);
}

int64_t ScaleToInt64(int Scale, int64_t Value) {
    if (Scale > 0) {
        if (Scale > 18) return 0;
        return static_cast<int64_t>(static_cast<uint64_t>(Value) * static_cast<uint64_t>(kPow10[Scale]));
    }
    if (Scale < 0) {
        if (Scale < -18) return 0;
        return Value / kPow10[-Scale];
    }
    return Value;
}


}  // namespace vantrel
