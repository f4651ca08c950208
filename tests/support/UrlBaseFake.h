// A base for stand-ins of the history object: every member of IWYSCURLBase,
// IDispatch's included, answers E_NOTIMPL until the stand-in overrides it.
//   class CFake final : public CComObjectRoot<CFake, UrlBaseFake> { ... };
#pragma once

#include "common/IWYSCURLBase.h"

namespace wys::test {

class UrlBaseFake : public IWYSCURLBase {
public:
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
    WYS_COM_DEFAULT_MEMBERS(WYS_IWYSCURLBASE_MEMBERS, E_NOTIMPL)

protected:
    ~UrlBaseFake() = default;
};

}  // namespace wys::test
