// VARIANT and BSTR for Linux.
#include "platform/Variant.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "platform/DateTime.h"
#include "platform/Exceptions.h"

namespace vantrel {

BSTR SysAllocStringLen(const char16_t *text, uint32_t length) {
    // The prefix holds the length in bytes; a longer string cannot be told.
    if (length > UINT32_MAX / sizeof(char16_t)) throw std::length_error("BSTR longer than its length prefix can hold");
    // 4-byte length prefix, the characters, a NUL terminator.
    size_t bytes = sizeof(uint32_t) + (static_cast<size_t>(length) + 1) * sizeof(char16_t);
    auto *block = static_cast<uint8_t *>(std::malloc(bytes));
    if (!block) throw std::bad_alloc();
    uint32_t byteLength = length * static_cast<uint32_t>(sizeof(char16_t));
    std::memcpy(block, &byteLength, sizeof byteLength);
    auto *chars = reinterpret_cast<char16_t *>(block + sizeof(uint32_t));
    if (text) std::memcpy(chars, text, length * sizeof(char16_t));
    else std::memset(chars, 0, length * sizeof(char16_t));
    chars[length] = 0;
    return chars;
}

BSTR SysAllocString(const String &text) {
    return SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
}

void SysFreeString(BSTR text) {
    if (text) std::free(reinterpret_cast<uint8_t *>(text) - sizeof(uint32_t));
}

uint32_t SysStringLen(BSTR text) {
    if (!text) return 0;
    uint32_t bytes;
    std::memcpy(&bytes, reinterpret_cast<uint8_t *>(text) - sizeof(uint32_t), sizeof bytes);
    return bytes / static_cast<uint32_t>(sizeof(char16_t));
}

void VariantInit(VARIANT *value) {
    if (value) std::memset(value, 0, sizeof *value);
}

void VariantClear(VARIANT *value) {
    if (!value) return;
    if (value->vt == VT_BSTR) SysFreeString(value->u.bstrVal);
    std::memset(value, 0, sizeof *value);
}

void VariantCopy(VARIANT *dest, const VARIANT *source) {
    VARIANT tmp = *source;
    if (source->vt == VT_BSTR && source->u.bstrVal)
        tmp.u.bstrVal = SysAllocStringLen(source->u.bstrVal, SysStringLen(source->u.bstrVal));
    *dest = tmp;
}

TVariantCopy::TVariantCopy(const VARIANT &source) {
    VariantInit(&FValue);
    VariantCopy(&FValue, &source);
}

TVariantCopy::~TVariantCopy() { VariantClear(&FValue); }

String VarTypeName(VARTYPE vt) {
    String base;
    switch (vt & ~VT_BYREF) {
    case VT_EMPTY: base = u"Empty"; break;
    case VT_NULL: base = u"Null"; break;
    case VT_I2: base = u"Smallint"; break;
    case VT_I4: base = u"Integer"; break;
    case VT_R4: base = u"Single"; break;
    case VT_R8: base = u"Double"; break;
    case VT_CY: base = u"Currency"; break;
    case VT_DATE: base = u"Date"; break;
    case VT_BSTR: base = u"OleStr"; break;
    case VT_BOOL: base = u"Boolean"; break;
    case VT_VARIANT: base = u"Variant"; break;
    case VT_I1: base = u"ShortInt"; break;
    case VT_UI1: base = u"Byte"; break;
    case VT_UI2: base = u"Word"; break;
    case VT_UI4: base = u"Cardinal"; break;
    case VT_I8: base = u"Int64"; break;
    case VT_UI8: base = u"UInt64"; break;
    default: base = Format(u"Unknown (%d)", {int64_t(vt & ~VT_BYREF)}); break;
    }
    return base;
}

namespace {

[[noreturn]] void CastError(VARTYPE vt) {
    throw EVariantTypeCastError(
        Format(kVariantToTextMessage, {VarTypeName(vt)}));
}

String CurrencyToText(int64_t cy) {
    bool neg = cy < 0;
    uint64_t a = neg ? 0 - static_cast<uint64_t>(cy) : static_cast<uint64_t>(cy);
    String out = UIntToStr(a / 10000);
    uint64_t frac = a % 10000;
    if (frac) {
        String f = UIntToStr(frac);
        while (f.size() < 4) f.insert(f.begin(), u'0');
        while (!f.empty() && f.back() == u'0') f.pop_back();
        out += u"." + f;
    }
    return neg ? u"-" + out : out;
}

// Text of a value of the given type stored at data.
String TextOf(VARTYPE vt, const void *data, int depth) {
    switch (vt) {
    case VT_EMPTY: return String();
    case VT_NULL: CastError(vt);
    case VT_I1: return IntToStr(*static_cast<const int8_t *>(data));
    case VT_UI1: return IntToStr(*static_cast<const uint8_t *>(data));
    case VT_I2: return IntToStr(*static_cast<const int16_t *>(data));
    case VT_UI2: return IntToStr(*static_cast<const uint16_t *>(data));
    case VT_I4: return IntToStr(*static_cast<const int32_t *>(data));
    case VT_UI4: return IntToStr(*static_cast<const uint32_t *>(data));
    case VT_I8: return IntToStr(*static_cast<const int64_t *>(data));
    case VT_UI8: return UIntToStr(*static_cast<const uint64_t *>(data));
    case VT_R4: return FloatToStr(*static_cast<const float *>(data));
    case VT_R8: return FloatToStr(*static_cast<const double *>(data));
    case VT_CY: return CurrencyToText(*static_cast<const int64_t *>(data));
    case VT_DATE: {
        double d = *static_cast<const double *>(data);
        if (!std::isfinite(d) || d < -693593.0 || d > 2958466.0) CastError(vt);
        return DateTimeToText(d);
    }
    case VT_BOOL: return *static_cast<const int16_t *>(data) ? u"True" : u"False";
    case VT_BSTR: {
        BSTR s = *static_cast<const BSTR *>(data);
        return s ? String(s, SysStringLen(s)) : String();
    }
    case VT_VARIANT: {
        const auto *inner = static_cast<const VARIANT *>(data);
        if (!inner || depth > 8) CastError(vt);
        if (inner->vt & VT_BYREF) {
            if (!inner->u.byref) CastError(inner->vt);
            return TextOf(inner->vt & ~VT_BYREF, inner->u.byref, depth + 1);
        }
        return TextOf(inner->vt, &inner->u, depth + 1);
    }
    default: CastError(vt);
    }
}

}  // namespace

String VarToText(const VARIANT &value) {
    if (value.vt & VT_BYREF) {
        if (!value.u.byref) CastError(value.vt & ~VT_BYREF);
        return TextOf(value.vt & ~VT_BYREF, value.u.byref, 0);
    }
    if (value.vt == VT_VARIANT) CastError(value.vt);
    return TextOf(value.vt, &value.u, 0);
}

}  // namespace vantrel
