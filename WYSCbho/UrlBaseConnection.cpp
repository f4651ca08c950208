#include "WYSCbho/UrlBaseConnection.h"

#include "platform/rpc/Activation.h"

namespace wys::capture {

HRESULT ConnectUrlBase(ComPtr<IWYSCURLBase>* urlBase)
{
    *urlBase = nullptr;
    ComPtr<IUnknown> unknown;
    HRESULT hr = CoCreateInstance(CLSID_WYSCURLBase, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.PutVoid());
    if (FAILED(hr))
        return hr;
    hr = OleRun(unknown.Get());
    if (FAILED(hr))
        return hr;
    return unknown.As(urlBase);
}

}  // namespace wys::capture
