// VARIANT and BSTR for Linux: allocation, copying, clearing and the
// conversion of a VARIANT argument to text.
#pragma once

#include "platform/Text.h"
#include "vantrel/vantrel.h"

namespace vantrel {

// Raises std::length_error when the byte count does not fit the 32-bit
// length prefix, std::bad_alloc when memory runs out.
BSTR SysAllocStringLen(const char16_t *text, uint32_t length);
BSTR SysAllocString(const String &text);
void SysFreeString(BSTR text);
uint32_t SysStringLen(BSTR text);

void VariantInit(VARIANT *value);
void VariantClear(VARIANT *value);
// Deep copy: strings are duplicated; by-reference values stay references.
void VariantCopy(VARIANT *dest, const VARIANT *source);

// RAII copy of a by-value argument, released when it goes out of scope.
class TVariantCopy {
public:
    explicit TVariantCopy(const VARIANT &source);
    ~TVariantCopy();
    TVariantCopy(const TVariantCopy &) = delete;
    TVariantCopy &operator=(const TVariantCopy &) = delete;
    const VARIANT &Value() const { return FValue; }

private:
    VARIANT FValue;
};

// The text of an argument: empty for VT_EMPTY, the whole stored length for
// VT_BSTR, decimal digits for integers, general form for floating point,
// "True"/"False", currency with up to four decimals, dates as date-time
// text; VT_BYREF follows the reference. VT_NULL and kinds without a text
// form raise EVariantTypeCastError
// "Could not convert variant of type (%s) into type (OleStr)".
String VarToText(const VARIANT &value);

// Human name of a variant type for messages ("Null", "Integer", ...).
String VarTypeName(VARTYPE vt);

}  // namespace vantrel
