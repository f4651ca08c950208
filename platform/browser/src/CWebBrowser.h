// Private to platform/browser: the headless browser window object behind
// CreateHeadlessBrowser (HeadlessBrowser.h), where its contract is stated.
#pragma once

#include <memory>
#include <thread>

#include "platform/browser/CWebBrowserBase.h"
#include "platform/browser/HeadlessBrowser.h"
#include "platform/browser/ServiceProvider.h"
#include "platform/browser/src/DocumentLoader.h"
#include "platform/com/ComObject.h"
#include "platform/com/ConnectionPoint.h"

namespace wys::browser {

class CWebBrowser final : public CWebBrowserBase<CWebBrowser> {
public:
    explicit CWebBrowser(const HeadlessBrowserOptions& options);
    ~CWebBrowser() override;

    // IWebBrowser2
    HRESULT Navigate(BSTR url, VARIANT* flags, VARIANT* targetFrameName, VARIANT* postData,
                     VARIANT* headers) override;
    HRESULT Stop() override;

    // IOleWindow
    HRESULT GetWindow(HWND* window) override;

private:
    struct PendingLoad;

    void OnStatusText() override;

    void AbandonLoad();
    void Finish(unsigned generation, LoadedDocumentTree& tree);
    // False when a sink navigated elsewhere during the event.
    bool FireDocumentComplete(unsigned generation, const CompletedDocument& completed);

    HeadlessBrowserOptions m_options;
    DWORD m_thread;
    // Read by loads' closures on the window's thread: false once this object is gone.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);

    unsigned m_generation = 0;
    std::shared_ptr<PendingLoad> m_pending;
    std::thread m_worker;
    // What the page shown is still loading for its helpers.
    std::shared_ptr<CResourcePreload> m_preload;
};

}  // namespace wys::browser
