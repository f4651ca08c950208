// Late-bound calls on IWYSCURLBase through IDispatch.
#include <gtest/gtest.h>

#include "tests/WYSCHelper/UrlBaseTesting.h"

namespace {

using wys::test::UrlBaseTest;
using Log = std::vector<std::string>;

class UrlBaseDispatchTest : public UrlBaseTest {
protected:
    // Invokes `id` with the arguments (first argument first); for a
    // property put the one argument is passed as the put value.
    HRESULT Call(DISPID id, WORD flags, std::vector<CComVariant> args, CComVariant* result = nullptr)
    {
        ComPtr<IDispatch> dispatch;
        EXPECT_EQ(m_base.As(&dispatch), S_OK);
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(),
                          flags == DISPATCH_PROPERTYPUT ? &named : nullptr,
                          static_cast<UINT>(reversed.size()), flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
        CComVariant ignored;
        if (result)
            result->Clear();  // the result is an out parameter: Invoke does not free what it held
        return dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result ? result : &ignored,
                                nullptr, nullptr);
    }
};

TEST_F(UrlBaseDispatchTest, NamesMapToTheirDispatchIdentifiers)
{
    CreateBase();
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(m_base.As(&dispatch), S_OK);
    struct Case {
        const char16_t* name;
        HRESULT result;
        DISPID id;
    };
    const Case cases[] = {
        {u"GetData", S_OK, 1},
        {u"adddata", S_OK, 2},
        {u"DATACOUNT", S_OK, 3},
        {u"BaseDirectory", S_OK, 4},
        {u"Find", S_OK, 5},
        {u"RemoveData", S_OK, 6},
        {u"CollectHistory", S_OK, 7},
        {u"RemoveRange", S_OK, 8},
        {u"HistoricalRange", S_OK, 9},
        {u"Import", S_OK, 10},
        {u"ExportRange", S_OK, 11},
        {u"Export", S_OK, 12},
        {u"TitledFileNames", S_OK, 13},
        {u"ExportRange2", S_OK, 14},
        {u"RemoveRange2", S_OK, 15},
        {u"OnDataAdded", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
        {u"", DISP_E_UNKNOWNNAME, DISPID_UNKNOWN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::u16string(c.name)));
        LPOLESTR names[1] = {const_cast<LPOLESTR>(c.name)};
        DISPID id = 0;
        EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), c.result);
        EXPECT_EQ(id, c.id);
    }
    UINT count = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.ReleaseAndGetAddressOf()), S_OK);
    GUID guid{};
    info->GetGuid(&guid);
    EXPECT_EQ(guid, IID_IWYSCURLBase);
}

TEST_F(UrlBaseDispatchTest, PropertiesAndMethodsWorkLateBound)
{
    CreateBase();
    ASSERT_EQ(AddVisit(100, "http://a/", "a.htm"), S_OK);
    TakeLog();

    CComVariant result;
    EXPECT_EQ(Call(DISPID_DataCount, DISPATCH_PROPERTYGET, {}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_UI4);
    EXPECT_EQ(result.ulVal, 1u);

    EXPECT_EQ(Call(DISPID_CollectHistory, DISPATCH_PROPERTYPUT, {CComVariant(false)}), S_OK);
    EXPECT_EQ(TakeLog(), Log{"settings"});
    EXPECT_EQ(Call(DISPID_CollectHistory, DISPATCH_PROPERTYGET, {}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_BOOL);
    EXPECT_EQ(result.boolVal, VARIANT_FALSE);

    EXPECT_EQ(Call(DISPID_HistoricalRange, DISPATCH_PROPERTYPUT, {CComVariant(std::string_view("0"))}), S_OK);
    EXPECT_EQ(TakeLog(), Log{"settings"});
    EXPECT_EQ(Call(DISPID_HistoricalRange, DISPATCH_PROPERTYGET, {}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_I8);
    EXPECT_EQ(result.llVal, 0);

    EXPECT_EQ(Call(DISPID_BaseDirectory, DISPATCH_PROPERTYGET, {}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(BstrView(result.bstrVal), CComBSTR(History()).View());

    EXPECT_EQ(Call(DISPID_Find, DISPATCH_METHOD,
                   {CComVariant(LONG{100}), CComVariant(std::string_view("http://a/"))}, &result),
              S_OK);
    EXPECT_EQ(result.vt, VT_UI4);
    EXPECT_EQ(result.ulVal, 0u);

    struct Case {
        const char* name;
        DISPID id;
        WORD flags;
        std::vector<CComVariant> args;
        HRESULT result;
    };
    const Case failures[] = {
        {"GetData has no VARIANT form",
         DISPID_GetData,
         DISPATCH_METHOD,
         {CComVariant(LONG{0})},
         DISP_E_TYPEMISMATCH},
        {"AddData has no VARIANT form",
         DISPID_AddData,
         DISPATCH_METHOD,
         {CComVariant(LONG{0})},
         DISP_E_TYPEMISMATCH},
        {"Find with one argument",
         DISPID_Find,
         DISPATCH_METHOD,
         {CComVariant(LONG{0})},
         DISP_E_BADPARAMCOUNT},
        {"Find with a word for a time",
         DISPID_Find,
         DISPATCH_METHOD,
         {CComVariant(std::string_view("soon")), CComVariant(std::string_view("u"))},
         DISP_E_TYPEMISMATCH},
        {"a method put as a property",
         DISPID_Export,
         DISPATCH_PROPERTYPUT,
         {CComVariant(std::string_view("x"))},
         DISP_E_MEMBERNOTFOUND},
        {"no such member", 99, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND},
        {"RemoveData out of range", DISPID_RemoveData, DISPATCH_METHOD, {CComVariant(LONG{5})}, E_INVALIDARG},
    };
    for (const Case& c : failures) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Call(c.id, c.flags, c.args), c.result);
    }

    EXPECT_EQ(Call(DISPID_RemoveRange, DISPATCH_METHOD,
                   {CComVariant(LONG{0}), CComVariant(LONG{1000}), CComVariant()}),
              S_OK);
    EXPECT_EQ(TakeLog(), Log{"removing 0 http://a/"});
    EXPECT_EQ(Count(), 0u);
}

}  // namespace
