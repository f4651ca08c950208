#include "Wayscribe/tools/UrlBaseConnection.h"

#include "platform/rpc/Activation.h"

namespace wys {

HRESULT ConnectUrlBase(ComPtr<IWYSCURLBase>* base)
{
    *base = nullptr;
    ComPtr<IUnknown> object;
    HRESULT hr = CoCreateInstance(CLSID_WYSCURLBase, nullptr, CLSCTX_SERVER, IID_IUnknown, object.PutVoid());
    if (FAILED(hr))
        return hr;
    hr = OleRun(object.Get());
    if (FAILED(hr))
        return hr;
    hr = object.As(base);
    if (FAILED(hr))
        *base = nullptr;
    return hr;
}

}  // namespace wys
