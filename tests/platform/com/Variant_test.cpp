#include <gtest/gtest.h>

#include <cstring>

#include "platform/com/ComObject.h"
#include "platform/com/Dispatch.h"

namespace {

class CCounted final : public CComObjectRoot<CCounted, IUnknown> {};

struct ChangeCase {
    const char* name;
    VARIANT in;
    HRESULT hr;
    LONG value;
};

VARIANT Make(VARTYPE vt, LONGLONG bits)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.llVal = bits;
    return v;
}

}  // namespace

TEST(Variant, ChangeTypeToI4)
{
    double half = 2.5;
    LONGLONG halfBits;
    std::memcpy(&halfBits, &half, sizeof half);
    ChangeCase cases[] = {
        {"empty", Make(VT_EMPTY, 0), S_OK, 0},
        {"i2", Make(VT_I2, static_cast<SHORT>(-7)), S_OK, -7},
        {"ui4 in range", Make(VT_UI4, 42), S_OK, 42},
        {"ui4 too big", Make(VT_UI4, 0xFFFFFFFFu), DISP_E_OVERFLOW, 0},
        {"i8 too big", Make(VT_I8, 1LL << 40), DISP_E_OVERFLOW, 0},
        {"i8 negative", Make(VT_I8, -5), S_OK, -5},
        {"bool true", Make(VT_BOOL, static_cast<SHORT>(VARIANT_TRUE)), S_OK, -1},
        {"r8 rounds to even", Make(VT_R8, halfBits), S_OK, 2},
        {"null", Make(VT_NULL, 0), DISP_E_TYPEMISMATCH, 0},
        {"dispatch", Make(VT_DISPATCH, 0), DISP_E_TYPEMISMATCH, 0},
    };
    for (auto& c : cases) {
        VARIANT out;
        VariantInit(&out);
        EXPECT_EQ(VariantChangeType(&out, &c.in, 0, VT_I4), c.hr) << c.name;
        if (c.hr == S_OK) {
            EXPECT_EQ(out.vt, VT_I4) << c.name;
            EXPECT_EQ(out.lVal, c.value) << c.name;
        } else {
            EXPECT_EQ(out.vt, VT_EMPTY) << c.name;
        }
    }
}

TEST(Variant, ChangeTypeFromText)
{
    struct {
        const char* text;
        HRESULT hr;
        LONG value;
    } cases[] = {
        {"123", S_OK, 123},
        {" -45 ", S_OK, -45},
        {"+7", S_OK, 7},
        {"12x", DISP_E_TYPEMISMATCH, 0},
        {"", DISP_E_TYPEMISMATCH, 0},
        {"99999999999", DISP_E_OVERFLOW, 0},
        {"999999999999999999999999", DISP_E_OVERFLOW, 0},
    };
    for (const auto& c : cases) {
        CComVariant v{std::string_view(c.text)};
        HRESULT hr = v.ChangeType(VT_I4);
        EXPECT_EQ(hr, c.hr) << c.text;
        if (hr == S_OK)
            EXPECT_EQ(v.lVal, c.value) << c.text;
        else
            EXPECT_EQ(v.vt, VT_BSTR) << "a failed conversion leaves the value: " << c.text;
    }
}

TEST(Variant, ByReferenceStaysDistinctAndDereferences)
{
    LONG target = 17;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_I4 | VT_BYREF;
    ref.plVal = &target;
    CComVariant copy(ref);
    EXPECT_EQ(copy.vt, VT_I4 | VT_BYREF);
    EXPECT_EQ(copy.plVal, &target);
    VARIANT value;
    VariantInit(&value);
    ASSERT_EQ(VariantCopyInd(&value, &ref), S_OK);
    EXPECT_EQ(value.vt, VT_I4);
    EXPECT_EQ(value.lVal, 17);
    VARIANT converted;
    VariantInit(&converted);
    ASSERT_EQ(VariantChangeType(&converted, &ref, 0, VT_I4), S_OK);
    EXPECT_EQ(converted.lVal, 17);
    EXPECT_EQ(VariantClear(&ref), S_OK);  // never frees what it points at
    EXPECT_EQ(target, 17);
}

TEST(Variant, CopyAndClearManageOwnedValues)
{
    auto* object = CreateComObject<CCounted>();
    {
        CComVariant holder;
        holder.vt = VT_UNKNOWN;
        holder.punkVal = object;
        object->AddRef();
        EXPECT_EQ(object->RefCount(), 2u);
        CComVariant copy(holder);
        EXPECT_EQ(object->RefCount(), 3u);
    }
    EXPECT_EQ(object->RefCount(), 1u);
    object->Release();

    const char bytes[] = {'a', 0, 'b'};
    CComVariant text;
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocStringByteLen(bytes, 3);
    CComVariant copy(text);
    EXPECT_NE(copy.bstrVal, text.bstrVal);
    EXPECT_EQ(SysStringByteLen(copy.bstrVal), 3u);
    EXPECT_EQ(std::memcmp(copy.bstrVal, bytes, 3), 0);

    VARIANT bad;
    VariantInit(&bad);
    bad.vt = 0x0FFF;
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
}

TEST(Variant, ChangeTypeToTextAndBool)
{
    CComVariant number(LONG{-12});
    ASSERT_EQ(number.ChangeType(VT_BSTR), S_OK);
    EXPECT_EQ(BstrView(number.bstrVal), u"-12");
    CComVariant flag(true);
    ASSERT_EQ(flag.ChangeType(VT_I4), S_OK);
    EXPECT_EQ(flag.lVal, -1);
    CComVariant zero(LONG{0});
    ASSERT_EQ(zero.ChangeType(VT_BOOL), S_OK);
    EXPECT_EQ(zero.boolVal, VARIANT_FALSE);
}
