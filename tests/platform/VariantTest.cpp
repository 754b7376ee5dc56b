// VARIANT/BSTR handling and the text of an argument.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/Exceptions.h"
#include "platform/Variant.h"

using namespace vantrel;

namespace {
VARIANT Make(VARTYPE vt) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    return v;
}
}  // namespace

TEST(Bstr, CarriesItsByteLengthAndTerminator) {
    BSTR s = SysAllocStringLen(u"ab\0c", 4);
    EXPECT_EQ(SysStringLen(s), 4u);
    uint32_t bytes;
    std::memcpy(&bytes, reinterpret_cast<char *>(s) - 4, 4);
    EXPECT_EQ(bytes, 8u);
    EXPECT_EQ(s[4], 0);
    SysFreeString(s);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);
}

TEST(VarToText, ConvertsEveryScalarKind) {
    VARIANT v = Make(VT_EMPTY);
    EXPECT_EQ(VarToText(v), u"");
    v = Make(VT_I1); v.u.cVal = -5; EXPECT_EQ(VarToText(v), u"-5");
    v = Make(VT_UI1); v.u.bVal = 250; EXPECT_EQ(VarToText(v), u"250");
    v = Make(VT_I2); v.u.iVal = -300; EXPECT_EQ(VarToText(v), u"-300");
    v = Make(VT_UI2); v.u.uiVal = 65535; EXPECT_EQ(VarToText(v), u"65535");
    v = Make(VT_I4); v.u.lVal = INT32_MIN; EXPECT_EQ(VarToText(v), u"-2147483648");
    v = Make(VT_UI4); v.u.ulVal = 4000000000u; EXPECT_EQ(VarToText(v), u"4000000000");
    v = Make(VT_I8); v.u.llVal = -9000000000LL; EXPECT_EQ(VarToText(v), u"-9000000000");
    v = Make(VT_UI8); v.u.ullVal = 18446744073709551615ull; EXPECT_EQ(VarToText(v), u"18446744073709551615");
    v = Make(VT_R4); v.u.fltVal = 2.5f; EXPECT_EQ(VarToText(v), u"2.5");
    v = Make(VT_R8); v.u.dblVal = 1.0 / 3; EXPECT_EQ(VarToText(v), u"0.333333333333333");
    v = Make(VT_CY); v.u.cyVal = 123450; EXPECT_EQ(VarToText(v), u"12.345");
    v = Make(VT_CY); v.u.cyVal = -5; EXPECT_EQ(VarToText(v), u"-0.0005");
    v = Make(VT_BOOL); v.u.boolVal = -1; EXPECT_EQ(VarToText(v), u"True");
    v = Make(VT_BOOL); v.u.boolVal = 0; EXPECT_EQ(VarToText(v), u"False");
    v = Make(VT_DATE); v.u.date = 45000.5; EXPECT_EQ(VarToText(v), u"2023-03-15 12:00:00");
    v = Make(VT_DATE); v.u.date = 2; EXPECT_EQ(VarToText(v), u"1900-01-01");
}

TEST(VarToText, TakesTheWholeStoredLengthOfAString) {
    VARIANT v = Make(VT_BSTR);
    v.u.bstrVal = SysAllocStringLen(u"a\0b", 3);
    EXPECT_EQ(VarToText(v), String(u"a\0b", 3));
    VariantClear(&v);
    EXPECT_EQ(v.vt, VT_EMPTY);
    v = Make(VT_BSTR);  // null pointer: the empty string
    EXPECT_EQ(VarToText(v), u"");
}

TEST(VarToText, NullRaisesTheConversionMessage) {
    VARIANT v = Make(VT_NULL);
    try {
        VarToText(v);
        FAIL();
    } catch (const EVariantTypeCastError &e) {
        EXPECT_EQ(e.Message(), u"Could not convert variant of type (Null) into type (OleStr)");
    }
}

TEST(VarToText, FollowsByReferenceValues) {
    int32_t n = 77;
    VARIANT v = Make(VT_I4 | VT_BYREF);
    v.u.byref = &n;
    EXPECT_EQ(VarToText(v), u"77");
    BSTR s = SysAllocString(u"path.sql");
    VARIANT r = Make(VT_BSTR | VT_BYREF);
    r.u.byref = &s;
    EXPECT_EQ(VarToText(r), u"path.sql");
    SysFreeString(s);
    VARIANT inner = Make(VT_NULL);
    VARIANT byVariant = Make(VT_VARIANT | VT_BYREF);
    byVariant.u.byref = &inner;
    EXPECT_THROW(VarToText(byVariant), EVariantTypeCastError);
    VARIANT nullRef = Make(VT_I4 | VT_BYREF);
    EXPECT_THROW(VarToText(nullRef), EVariantTypeCastError);
}

TEST(VarToText, UnknownKindsRaise) {
    VARIANT v = Make(13);  // VT_UNKNOWN
    EXPECT_THROW(VarToText(v), EVariantTypeCastError);
    v = Make(VT_DATE);
    v.u.date = 1e300;
    EXPECT_THROW(VarToText(v), EVariantTypeCastError);
}

TEST(VariantCopy, DuplicatesStringsAndLeavesTheSourceAlone) {
    VARIANT src = Make(VT_BSTR);
    src.u.bstrVal = SysAllocString(u"x");
    {
        TVariantCopy copy(src);
        EXPECT_NE(copy.Value().u.bstrVal, src.u.bstrVal);
        EXPECT_EQ(VarToText(copy.Value()), u"x");
    }
    EXPECT_EQ(VarToText(src), u"x");
    VariantClear(&src);
}
