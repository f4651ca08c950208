#include <gtest/gtest.h>

#include <cstring>

#include "platform/com/Variant.h"

TEST(SafeArray, VectorOfBstrRoundTripsEmbeddedNuls)
{
    SAFEARRAY* a = SafeArrayCreateVector(VT_BSTR, 0, 3);
    ASSERT_NE(a, nullptr);
    const char withNul[] = {'p', 0, 'q', 0, 0, 0};
    BSTR values[3] = {SysAllocStringByteLen(withNul, 6), nullptr, SysAllocString(u"")};
    for (LONG i = 0; i < 3; ++i)
        ASSERT_EQ(SafeArrayPutElement(a, &i, values[i]), S_OK);

    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(a, &copy), S_OK);
    ASSERT_EQ(SafeArrayDestroy(a), S_OK);

    LONG lower, upper;
    ASSERT_EQ(SafeArrayGetLBound(copy, 1, &lower), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(copy, 1, &upper), S_OK);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, 2);
    BSTR out = nullptr;
    LONG i = 0;
    ASSERT_EQ(SafeArrayGetElement(copy, &i, &out), S_OK);
    EXPECT_EQ(SysStringByteLen(out), 6u);
    EXPECT_EQ(std::memcmp(out, withNul, 6), 0);
    SysFreeString(out);
    i = 1;
    ASSERT_EQ(SafeArrayGetElement(copy, &i, &out), S_OK);
    EXPECT_EQ(out, nullptr);
    i = 2;
    ASSERT_EQ(SafeArrayGetElement(copy, &i, &out), S_OK);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(SysStringLen(out), 0u);
    SysFreeString(out);
    i = 3;
    EXPECT_EQ(SafeArrayGetElement(copy, &i, &out), DISP_E_BADINDEX);
    for (BSTR v : values)
        SysFreeString(v);

    VARTYPE vt;
    ASSERT_EQ(SafeArrayGetVartype(copy, &vt), S_OK);
    EXPECT_EQ(vt, VT_BSTR);
    EXPECT_EQ(SafeArrayGetDim(copy), 1u);
    ASSERT_EQ(SafeArrayDestroy(copy), S_OK);
}

TEST(SafeArray, TwoDimensionsWithBoundsAndLocks)
{
    SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, -1}};
    SAFEARRAY* a = SafeArrayCreate(VT_BSTR, 2, bounds);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(SafeArrayGetDim(a), 2u);
    EXPECT_EQ(SafeArrayElementCount(a), 6u);
    LONG bound;
    ASSERT_EQ(SafeArrayGetLBound(a, 2, &bound), S_OK);
    EXPECT_EQ(bound, -1);
    ASSERT_EQ(SafeArrayGetUBound(a, 2, &bound), S_OK);
    EXPECT_EQ(bound, 1);
    EXPECT_EQ(SafeArrayGetLBound(a, 3, &bound), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetLBound(a, 0, &bound), DISP_E_BADINDEX);

    for (LONG r = 1; r <= 2; ++r) {
        for (LONG c = -1; c <= 1; ++c) {
            LONG idx[2] = {r, c};
            CComBSTR text(std::to_string(r * 10 + c));
            ASSERT_EQ(SafeArrayPutElement(a, idx, text.m_str), S_OK);
        }
    }
    LONG outside[2] = {3, 0};
    EXPECT_EQ(SafeArrayPutElement(a, outside, nullptr), DISP_E_BADINDEX);
    LONG idx[2] = {2, 1};
    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(a, idx, &out), S_OK);
    EXPECT_EQ(BstrView(out), u"21");
    SysFreeString(out);

    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(a, &data), S_OK);
    EXPECT_EQ(SafeArrayDestroy(a), DISP_E_ARRAYISLOCKED);
    // The first dimension varies fastest: element 1 is (2, -1).
    EXPECT_EQ(BstrView(static_cast<BSTR*>(data)[1]), u"19");
    ASSERT_EQ(SafeArrayUnaccessData(a), S_OK);
    EXPECT_EQ(SafeArrayUnlock(a), E_UNEXPECTED);
    EXPECT_EQ(SafeArrayDestroy(a), S_OK);
}

TEST(SafeArray, VariantHoldsArrayAndCopiesDeeply)
{
    CComVariant v;
    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = SafeArrayCreateVector(VT_BSTR, 0, 1);
    LONG i = 0;
    CComBSTR text("one");
    ASSERT_EQ(SafeArrayPutElement(v.parray, &i, text.m_str), S_OK);
    CComVariant copy(v);
    EXPECT_NE(copy.parray, v.parray);
    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(copy.parray, &i, &out), S_OK);
    EXPECT_EQ(BstrView(out), u"one");
    SysFreeString(out);
    EXPECT_EQ(copy.ChangeType(VT_I4), DISP_E_TYPEMISMATCH);

    SAFEARRAY* empty = SafeArrayCreateVector(VT_BSTR, 0, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SafeArrayElementCount(empty), 0u);
    LONG upper;
    ASSERT_EQ(SafeArrayGetUBound(empty, 1, &upper), S_OK);
    EXPECT_EQ(upper, -1);
    EXPECT_EQ(SafeArrayDestroy(empty), S_OK);
    EXPECT_EQ(SafeArrayCreate(VT_BSTR, 0, nullptr), nullptr);
}
