// A URL base that answers the history interface but offers no events
// (no IConnectionPointContainer), so that hooking OnSettingsChanged fails.
#pragma once

#include "common/IWYSCURLBase.h"
#include "platform/com/ComObject.h"

namespace wys::test {

class CFakeUrlBase final : public CComObjectRoot<CFakeUrlBase, IWYSCURLBase> {
public:
    HRESULT GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
    HRESULT GetData(_URL_DATE_*, ULONG) override { return E_NOTIMPL; }
    HRESULT AddData(_URL_DATE_) override { return E_NOTIMPL; }
    HRESULT get_DataCount(ULONG*) override { return E_NOTIMPL; }
    HRESULT get_BaseDirectory(BSTR*) override { return E_NOTIMPL; }
    HRESULT put_BaseDirectory(BSTR) override { return E_NOTIMPL; }
    HRESULT Find(LONGLONG, BSTR, ULONG*) override { return E_NOTIMPL; }
    HRESULT RemoveData(ULONG) override { return E_NOTIMPL; }
    HRESULT get_CollectHistory(VARIANT_BOOL* value) override
    {
        *value = VARIANT_TRUE;
        return S_OK;
    }
    HRESULT put_CollectHistory(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT RemoveRange(LONGLONG, LONGLONG, BSTR) override { return E_NOTIMPL; }
    HRESULT get_HistoricalRange(LONGLONG*) override { return E_NOTIMPL; }
    HRESULT put_HistoricalRange(LONGLONG) override { return E_NOTIMPL; }
    HRESULT Import(BSTR) override { return E_NOTIMPL; }
    HRESULT ExportRange(BSTR, LONGLONG, LONGLONG, BSTR) override { return E_NOTIMPL; }
    HRESULT Export(BSTR) override { return E_NOTIMPL; }
    HRESULT get_TitledFileNames(VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT put_TitledFileNames(VARIANT_BOOL) override { return E_NOTIMPL; }
    HRESULT ExportRange2(BSTR, VARIANT) override { return E_NOTIMPL; }
    HRESULT RemoveRange2(VARIANT) override { return E_NOTIMPL; }
    HRESULT get_UnindexedPaths(VARIANT*) override { return E_NOTIMPL; }
    HRESULT FindPaths(VARIANT, VARIANT*) override { return E_NOTIMPL; }
};

}  // namespace wys::test
