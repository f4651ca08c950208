#include "platform/dom/src/CMediaPlayerObject.h"

namespace wys::dom {

HRESULT CMediaPlayerObject::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*)
{
    if (iid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    // Automation clients read properties with either flag, often both.
    if (id != m_player.dispId || (flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0)
        return DISP_E_MEMBERNOTFOUND;
    if (params && (params->cArgs != 0 || params->cNamedArgs != 0))
        return DISP_E_BADPARAMCOUNT;
    if (!m_mediaFile)
        return E_FAIL;
    if (!result)
        return S_OK;
    VariantInit(result);
    BSTR text = nullptr;
    HRESULT hr = ReturnString(*m_mediaFile, &text);
    if (FAILED(hr))
        return hr;
    result->vt = VT_BSTR;
    result->bstrVal = text;
    return S_OK;
}

}  // namespace wys::dom
