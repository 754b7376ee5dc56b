// Decoding of IEEE 754 decimal64 and decimal128 (densely packed decimal).
#include "client/DecimalFloat.h"

#include <cstdlib>
#include <cstring>

namespace vantrel {

namespace {

// The three digits of a 10-bit declet, by the decoding table of the densely
// packed decimal encoding.
void DecodeDeclet(unsigned d, char *out) {
    auto bit = [d](int k) { return (d >> k) & 1u; };
    unsigned d2, d1, d0;
    if (!bit(3)) {
        d2 = (d >> 7) & 7u;
        d1 = (d >> 4) & 7u;
        d0 = d & 7u;
    } else {
        switch ((d >> 1) & 3u) {
        case 0:
            d2 = (d >> 7) & 7u;
            d1 = (d >> 4) & 7u;
            d0 = 8 + bit(0);
            break;
        case 1:
            d2 = (d >> 7) & 7u;
            d1 = 8 + bit(4);
            d0 = (bit(6) << 2) | (bit(5) << 1) | bit(0);
            break;
        case 2:
            d2 = 8 + bit(7);
            d1 = (d >> 4) & 7u;
            d0 = (bit(9) << 2) | (bit(8) << 1) | bit(0);
            break;
        default:
            switch ((d >> 5) & 3u) {
            case 0:
                d2 = 8 + bit(7);
                d1 = 8 + bit(4);
                d0 = (bit(9) << 2) | (bit(8) << 1) | bit(0);
                break;
            case 1:
                d2 = 8 + bit(7);
                d1 = (bit(9) << 2) | (bit(8) << 1) | bit(4);
                d0 = 8 + bit(0);
                break;
            case 2:
                d2 = (d >> 7) & 7u;
                d1 = 8 + bit(4);
                d0 = 8 + bit(0);
                break;
            default:
                d2 = 8 + bit(7);
                d1 = 8 + bit(4);
                d0 = 8 + bit(0);
                break;
            }
        }
    }
    out[0] = static_cast<char>('0' + d2);
    out[1] = static_cast<char>('0' + d1);
    out[2] = static_cast<char>('0' + d0);
}

}  // namespace

TDecimalFloat DecodeDecimalFloat(const char *data, int size) {
    // The format's widths: exponent continuation bits, declets, bias.
    const bool wide = size == 16;
    const int continuationBits = wide ? 12 : 8;
    const int declets = wide ? 11 : 5;
    const int bias = wide ? 6176 : 398;

    unsigned __int128 bits = 0;
    if (wide) {
        uint64_t words[2];
        std::memcpy(words, data, sizeof words);
        bits = (static_cast<unsigned __int128>(words[1]) << 64) | words[0];
    } else {
        uint64_t word;
        std::memcpy(&word, data, sizeof word);
        bits = word;
    }
    const int total = size * 8;
    auto field = [&](int from, int width) {  // from: bits below the field
        return static_cast<unsigned>((bits >> from) & ((static_cast<unsigned __int128>(1) << width) - 1));
    };

    TDecimalFloat value;
    value.Negative = field(total - 1, 1) != 0;
    const unsigned combination = field(total - 6, 5);
    const int coefficientBits = declets * 10;
    const unsigned continuation = field(coefficientBits, continuationBits);
    unsigned leading, exponentHigh;
    if ((combination >> 3) != 3) {
        exponentHigh = combination >> 3;
        leading = combination & 7u;
    } else if (((combination >> 1) & 3u) != 3) {
        exponentHigh = (combination >> 1) & 3u;
        leading = 8 + (combination & 1u);
    } else {
        if ((combination & 1u) == 0) {
            value.Kind = TDecimalFloat::TKind::Infinity;
        } else {
            // The first bit after the combination field tells a signaling NaN.
            value.Kind = (continuation >> (continuationBits - 1)) != 0 ? TDecimalFloat::TKind::SignalingNaN
                                                                      : TDecimalFloat::TKind::QuietNaN;
        }
        return value;
    }
    value.Exponent = static_cast<int>((exponentHigh << continuationBits) | continuation) - bias;

    std::string digits(1 + 3 * static_cast<size_t>(declets), '0');
    digits[0] = static_cast<char>('0' + leading);
    for (int k = 0; k < declets; ++k)
        DecodeDeclet(field((declets - 1 - k) * 10, 10), &digits[1 + 3 * static_cast<size_t>(k)]);
    const size_t first = digits.find_first_not_of('0');
    value.Digits = first == std::string::npos ? "0" : digits.substr(first);
    return value;
}

std::string TDecimalFloat::ToText() const {
    std::string text = Negative ? "-" : "";
    switch (Kind) {
    case TKind::Infinity: return text + "Infinity";
    case TKind::QuietNaN: return text + "NaN";
    case TKind::SignalingNaN: return text + "sNaN";
    case TKind::Finite: break;
    }
    const int length = static_cast<int>(Digits.size());
    const int adjusted = Exponent + length - 1;
    if (Exponent <= 0 && adjusted >= -6) {
        // Plain notation.
        if (Exponent == 0) return text + Digits;
        const int point = length + Exponent;  // digits before the point
        if (point > 0) {
            const size_t before = static_cast<size_t>(point);
            return text + Digits.substr(0, before) + "." + Digits.substr(before);
        }
        return text + "0." + std::string(static_cast<size_t>(-point), '0') + Digits;
    }
    text += Digits.substr(0, 1);
    if (length > 1) text += "." + Digits.substr(1);
    return text + "E" + (adjusted >= 0 ? "+" : "-") + std::to_string(adjusted >= 0 ? adjusted : -adjusted);
}

bool TDecimalFloat::TruncToInt64(int64_t &out) const {
    if (!IsFinite()) return false;
    std::string digits = Digits;
    if (Exponent < 0) {
        if (static_cast<int>(digits.size()) <= -Exponent) digits = "0";
        else digits.resize(digits.size() - static_cast<size_t>(-Exponent));
    } else if (digits != "0") {
        if (Exponent > 19) return false;
        digits.append(static_cast<size_t>(Exponent), '0');
    }
    if (digits.size() > 19) return false;
    unsigned __int128 magnitude = 0;
    for (char c : digits) magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
    const unsigned __int128 limit = static_cast<unsigned __int128>(INT64_MAX) + (Negative ? 1 : 0);
    if (magnitude > limit) return false;
    out = Negative ? static_cast<int64_t>(0 - static_cast<uint64_t>(magnitude)) : static_cast<int64_t>(magnitude);
    return true;
}

double TDecimalFloat::ToDouble() const {
    if (Kind == TKind::SignalingNaN) return std::strtod(Negative ? "-NaN" : "NaN", nullptr);
    // strtod reads every other form of the text, and rounds correctly.
    const std::string text = ToText();
    return std::strtod(text.c_str(), nullptr);
}

}  // namespace vantrel
