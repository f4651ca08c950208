// The web browser object that wayscribe-band gives its band: its Navigate
// opens the saved copy or URL in the person's browser (CBrowserOpener). A
// local path is a saved copy: the browser shows it without keeping it in
// the history again. The other members answer as a browser that shows no
// document of its own.
//
// Lives in the GUI thread's apartment.
#pragma once

#include <QPointer>

#include "hosts/band/CBrowserOpener.h"
#include "platform/browser/CWebBrowserBase.h"

namespace wys::band_host {

class CBandBrowser final : public CWebBrowserBase<CBandBrowser> {
public:
    // `opener` must outlive the calls made on this object; once it is gone
    // Navigate fails with E_FAIL.
    explicit CBandBrowser(CBrowserOpener* opener);

    // E_INVALIDARG for an empty target or one that is neither an http,
    // https, ftp or file URL nor an absolute path; E_NOTIMPL for optional
    // arguments. S_OK: the page is on its way (its end is the opener's
    // `opened`).
    HRESULT Navigate(BSTR url, VARIANT* flags, VARIANT* targetFrameName, VARIANT* postData,
                     VARIANT* headers) override;
    HRESULT Stop() override { return S_OK; }
    // The band's window is a window of its own: no browser window here.
    HRESULT GetWindow(HWND* window) override;

private:
    QPointer<CBrowserOpener> m_opener;
};

}  // namespace wys::band_host
