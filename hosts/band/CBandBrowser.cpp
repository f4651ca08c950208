#include "hosts/band/CBandBrowser.h"

#include "hosts/extension/ExtensionMessage.h"
#include "hosts/extension/NavigationTarget.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComError.h"

namespace wys::band_host {
namespace {

bool IsAbsent(const VARIANT* argument)
{
    return !argument || argument->vt == VT_EMPTY || argument->vt == VT_ERROR;
}

}  // namespace

CBandBrowser::CBandBrowser(CBrowserOpener* opener) : m_opener(opener)
{
    m_readyState = READYSTATE_COMPLETE;
}

HRESULT CBandBrowser::Navigate(BSTR url, VARIANT* flags, VARIANT* targetFrameName, VARIANT* postData,
                               VARIANT* headers)
{
    return ComBoundary([&]() -> HRESULT {
        if (SysStringLen(url) == 0)
            return E_INVALIDARG;
        if (!IsAbsent(flags) || !IsAbsent(targetFrameName) || !IsAbsent(postData) || !IsAbsent(headers))
            return E_NOTIMPL;
        std::string target = CComBSTR::CopyOf(url).ToUtf8();
        std::string address = extension::UrlOfNavigationTarget(target);
        if (!extension::IsNavigableUrl(address))
            return E_INVALIDARG;
        if (!m_opener)
            return E_FAIL;
        bool savedCopy = address.starts_with("file:");
        m_opener->Open(QString::fromStdString(address), savedCopy);
        return S_OK;
    });
}

HRESULT CBandBrowser::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = nullptr;
    return E_FAIL;
}

}  // namespace wys::band_host
