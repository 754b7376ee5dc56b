// Values of Firebird 4's DECFLOAT(16) and DECFLOAT(34): IEEE 754 decimal64
// and decimal128 in the densely packed decimal encoding, as the client
// stores them (one or two 64-bit words in the machine's byte order, the
// high word second). Decoded exactly into sign, digits and exponent.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Text.h"

namespace vantrel {

struct TDecimalFloat {
    enum class TKind : uint8_t { Finite, Infinity, QuietNaN, SignalingNaN };
    TKind Kind = TKind::Finite;
    bool Negative = false;
    // The coefficient's digits without leading zeros ("0" for zero).
    std::string Digits = "0";
    // The value is Digits x 10^Exponent.
    int Exponent = 0;

    bool IsFinite() const { return Kind == TKind::Finite; }
    // The number's text as the decimal arithmetic standard writes it (its
    // to-scientific-string): "1.50", "-0", "1.2E+40", "1E-7", "Infinity",
    // "NaN", "sNaN".
    std::string ToText() const;
    // Truncated toward zero; false for infinities, NaNs and values beyond
    // 64 bits.
    bool TruncToInt64(int64_t &out) const;
    // The nearest double (infinities and NaN included).
    double ToDouble() const;
};

// Decodes a stored value of 8 (decimal64) or 16 (decimal128) bytes.
TDecimalFloat DecodeDecimalFloat(const char *data, int size);

}  // namespace vantrel
