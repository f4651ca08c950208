// Late-bound calls: IDispatch of IWYSCURLBase, and IDispatch of
// IWYSCURLBaseEvents, through which a call raises an event to every sink.
#include <cstring>
#include <string_view>

#include "WYSCHelper/CWYSCURLBase.h"
#include "platform/com/ComError.h"
#include "platform/com/TypeInfo.h"

namespace {

struct Member {
    std::u16string_view name;
    DISPID id;
};

constexpr Member kMembers[] = {
    {u"GetData", DISPID_GetData},
    {u"AddData", DISPID_AddData},
    {u"DataCount", DISPID_DataCount},
    {u"BaseDirectory", DISPID_BaseDirectory},
    {u"Find", DISPID_Find},
    {u"RemoveData", DISPID_RemoveData},
    {u"CollectHistory", DISPID_CollectHistory},
    {u"RemoveRange", DISPID_RemoveRange},
    {u"HistoricalRange", DISPID_HistoricalRange},
    {u"Import", DISPID_Import},
    {u"ExportRange", DISPID_ExportRange},
    {u"Export", DISPID_Export},
    {u"TitledFileNames", DISPID_TitledFileNames},
    {u"ExportRange2", DISPID_ExportRange2},
    {u"RemoveRange2", DISPID_RemoveRange2},
    {u"UnindexedPaths", DISPID_UnindexedPaths},
    {u"FindPaths", DISPID_FindPaths},
};

constexpr Member kEvents[] = {
    {u"OnDataAdded", DISPID_OnDataAdded},
    {u"OnDataBeforeRemove", DISPID_OnDataBeforeRemove},
    {u"OnSettingsChanged", DISPID_OnSettingsChanged},
};

char16_t FoldAscii(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

// Names compare without regard to ASCII case, as automation names do.
template <std::size_t N>
HRESULT LookUpNames(const Member (&table)[N], LPOLESTR* names, UINT count, DISPID* ids)
{
    if (!names || !ids)
        return E_POINTER;
    if (count == 0)
        return S_OK;
    std::u16string_view wanted = names[0] ? std::u16string_view(names[0]) : std::u16string_view();
    ids[0] = DISPID_UNKNOWN;
    for (const Member& member : table) {
        if (member.name.size() != wanted.size())
            continue;
        bool same = true;
        for (std::size_t i = 0; i < wanted.size() && same; ++i)
            same = FoldAscii(member.name[i]) == FoldAscii(wanted[i]);
        if (same)
            ids[0] = member.id;
    }
    // Arguments are positional only: no parameter names are known.
    for (UINT i = 1; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    return ids[0] == DISPID_UNKNOWN || count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
}

// The arguments of one late-bound call, converted one by one.
class Arguments {
public:
    Arguments(DISPPARAMS* params, UINT* argError) : m_params(params), m_argError(argError) {}

    UINT Count() const { return m_params ? m_params->cArgs : 0; }

    // The n-th argument as written in the call, converted to `type`.
    CComVariant As(UINT n, VARTYPE type) const
    {
        const VARIANT& given = *DispArg(m_params, n);
        CComVariant value;
        HRESULT hr = VariantCopyInd(&value, &given);
        if (SUCCEEDED(hr) && value.vt != type)
            hr = VariantChangeType(&value, &value, 0, type);
        if (FAILED(hr))
            Fail(n, DISP_E_TYPEMISMATCH);
        return value;
    }
    std::int64_t Int64(UINT n) const { return As(n, VT_I8).llVal; }
    ULONG UInt32(UINT n) const { return As(n, VT_UI4).ulVal; }
    VARIANT_BOOL Bool(UINT n) const { return As(n, VT_BOOL).boolVal; }
    // A string; a missing, empty or null argument is the null string.
    CComBSTR String(UINT n) const
    {
        const VARIANT& given = *DispArg(m_params, n);
        VARTYPE type = given.vt & ~VT_BYREF;
        if (type == VT_EMPTY || type == VT_NULL || type == VT_ERROR)
            return CComBSTR();
        CComVariant value = As(n, VT_BSTR);
        CComBSTR text;
        text.Attach(value.bstrVal);
        value.vt = VT_EMPTY;
        return text;
    }
    const VARIANT& Raw(UINT n) const { return *DispArg(m_params, n); }

private:
    void Fail(UINT n, HRESULT hr) const
    {
        if (m_argError)
            *m_argError = m_params->cArgs - 1 - n;
        throw ComError(hr);
    }

    DISPPARAMS* m_params;
    UINT* m_argError;
};

void Need(const Arguments& args, UINT count)
{
    if (args.Count() != count)
        throw ComError(DISP_E_BADPARAMCOUNT);
}

void SetResult(VARIANT* result, CComVariant value)
{
    if (result)
        value.Detach(result);
}

}  // namespace

HRESULT CWYSCURLBase::UrlBaseGetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT CWYSCURLBase::UrlBaseGetTypeInfo(UINT index, LCID, ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    return CreateGuidTypeInfo(IID_IWYSCURLBase, info);
}

HRESULT CWYSCURLBase::UrlBaseGetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    return LookUpNames(kMembers, names, count, ids);
}

HRESULT CWYSCURLBase::UrlBaseInvoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                    VARIANT* result, EXCEPINFO*, UINT* argError)
{
    if (iid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    if (result)
        VariantInit(result);
    return ComBoundary([&]() -> HRESULT {
        Arguments args(params, argError);
        const bool get = (flags & DISPATCH_PROPERTYGET) != 0;
        const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
        const bool call = (flags & DISPATCH_METHOD) != 0;
        HRESULT hr = S_OK;
        switch (id) {
            case DISPID_GetData:
            case DISPID_AddData:
                // The visit record has no VARIANT form: only the interface carries it.
                return DISP_E_TYPEMISMATCH;
            case DISPID_DataCount: {
                if (!get)
                    return DISP_E_MEMBERNOTFOUND;
                Need(args, 0);
                ULONG count = 0;
                hr = get_DataCount(&count);
                CComVariant value;
                value.vt = VT_UI4;
                value.ulVal = count;
                SetResult(result, value);
                return hr;
            }
            case DISPID_BaseDirectory:
            case DISPID_CollectHistory:
            case DISPID_HistoricalRange:
            case DISPID_TitledFileNames: {
                if (put) {
                    Need(args, 1);
                    if (id == DISPID_BaseDirectory)
                        return put_BaseDirectory(args.String(0));
                    if (id == DISPID_CollectHistory)
                        return put_CollectHistory(args.Bool(0));
                    if (id == DISPID_TitledFileNames)
                        return put_TitledFileNames(args.Bool(0));
                    return put_HistoricalRange(args.Int64(0));
                }
                if (!get)
                    return DISP_E_MEMBERNOTFOUND;
                Need(args, 0);
                CComVariant value;
                if (id == DISPID_BaseDirectory) {
                    BSTR folder = nullptr;
                    hr = get_BaseDirectory(&folder);
                    value.vt = VT_BSTR;
                    value.bstrVal = folder;
                } else if (id == DISPID_HistoricalRange) {
                    value.vt = VT_I8;
                    hr = get_HistoricalRange(&value.llVal);
                } else {
                    value.vt = VT_BOOL;
                    hr = id == DISPID_CollectHistory ? get_CollectHistory(&value.boolVal)
                                                     : get_TitledFileNames(&value.boolVal);
                }
                SetResult(result, value);
                return hr;
            }
            case DISPID_UnindexedPaths: {
                if (!get)
                    return DISP_E_MEMBERNOTFOUND;
                Need(args, 0);
                CComVariant value;
                hr = get_UnindexedPaths(&value);
                SetResult(result, value);
                return hr;
            }
            default:
                break;
        }
        if (!call)
            return DISP_E_MEMBERNOTFOUND;
        switch (id) {
            case DISPID_Find: {
                Need(args, 2);
                ULONG index = kNoRecord;
                hr = Find(args.Int64(0), args.String(1), &index);
                CComVariant value;
                value.vt = VT_UI4;
                value.ulVal = index;
                SetResult(result, value);
                return hr;
            }
            case DISPID_RemoveData:
                Need(args, 1);
                return RemoveData(args.UInt32(0));
            case DISPID_RemoveRange:
                Need(args, 3);
                return RemoveRange(args.Int64(0), args.Int64(1), args.String(2));
            case DISPID_Import:
                Need(args, 1);
                return Import(args.String(0));
            case DISPID_ExportRange:
                Need(args, 4);
                return ExportRange(args.String(0), args.Int64(1), args.Int64(2), args.String(3));
            case DISPID_Export:
                Need(args, 1);
                return Export(args.String(0));
            case DISPID_ExportRange2:
                Need(args, 2);
                return ExportRange2(args.String(0), args.Raw(1));
            case DISPID_RemoveRange2:
                Need(args, 1);
                return RemoveRange2(args.Raw(0));
            case DISPID_FindPaths: {
                Need(args, 1);
                CComVariant value;
                hr = FindPaths(args.Raw(0), &value);
                SetResult(result, value);
                return hr;
            }
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    });
}

HRESULT CWYSCURLBase::EventsGetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT CWYSCURLBase::EventsGetTypeInfo(UINT index, LCID, ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    return CreateGuidTypeInfo(DIID_IWYSCURLBaseEvents, info);
}

HRESULT CWYSCURLBase::EventsGetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    return LookUpNames(kEvents, names, count, ids);
}

HRESULT CWYSCURLBase::EventsInvoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                   UINT* argError)
{
    const UINT count = params ? params->cArgs : 0;
    if (count > 1)
        return DISP_E_BADPARAMCOUNT;
    // Raising changes nothing, so it is never refused; but no removal may
    // come in while the event goes out.
    ChangeScope change(*this);
    return ComBoundary([&]() -> HRESULT {
        switch (id) {
            case DISPID_OnDataAdded:
            case DISPID_OnDataBeforeRemove: {
                if (count != 1)
                    return DISP_E_BADPARAMCOUNT;
                CComVariant index;
                if (FAILED(VariantChangeType(&index, &params->rgvarg[0], 0, VT_I4))) {
                    if (argError)
                        *argError = 0;
                    return DISP_E_TYPEMISMATCH;
                }
                if (id == DISPID_OnDataAdded)
                    OnDataAdded(static_cast<ULONG>(index.lVal));
                else
                    OnDataBeforeRemove(static_cast<ULONG>(index.lVal));
                return S_OK;
            }
            case DISPID_OnSettingsChanged:
                if (count != 0)
                    return DISP_E_BADPARAMCOUNT;
                OnSettingsChanged();
                return S_OK;
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    });
}
