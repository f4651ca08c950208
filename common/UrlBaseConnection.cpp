#include "common/UrlBaseConnection.h"

#include "platform/rpc/Activation.h"

namespace wys {

HRESULT ConnectUrlBase(ComPtr<IWYSCURLBase>* base)
{
    *base = nullptr;
    ComPtr<IUnknown> object;
    HRESULT hr = CoCreateInstance(CLSID_WYSCURLBase, nullptr, CLSCTX_SERVER, IID_IUnknown, object.PutVoid());
    if (SUCCEEDED(hr))
        hr = OleRun(object.Get());
    if (SUCCEEDED(hr))
        hr = object.As(base);
    if (FAILED(hr))
        *base = nullptr;
    return hr;
}

}  // namespace wys
