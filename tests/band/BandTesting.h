// What the band tests share: a site as a browser window offers it (a parent
// widget, an input-object site and a web browser that records where it was
// sent), and a fixture with the real history server in a temporary home.
#pragma once

#include <QWidget>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/IWYSCURLBase.h"
#include "common/StringConvert.h"
#include "platform/browser/DeskBand.h"
#include "platform/browser/ServiceProvider.h"
#include "platform/browser/WebBrowser.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/com/DispatchStubs.h"
#include "platform/registry/Registry.h"
#include "platform/ui/CRecordingMessageBoxPresenter.h"
#include "platform/ui/IMessageBoxPresenter.h"
#include "platform/ui/MessageBox.h"
#include "tests/server/ServerProcessTest.h"

namespace wys::test {

// A browser window's web browser that only records what it is told to show.
class CRecordingBrowser final : public CComObjectRoot<CRecordingBrowser, CDispatchNoTypeInfo<IWebBrowser2>> {
public:
    std::vector<std::string> Navigated;

    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
    HRESULT Navigate(BSTR url, VARIANT* flags, VARIANT* frame, VARIANT* postData, VARIANT* headers) override;
    HRESULT Stop() override { return S_OK; }
    HRESULT get_Document(IDispatch** document) override;
    HRESULT get_LocationName(BSTR* name) override;
    HRESULT get_LocationURL(BSTR* url) override;
    HRESULT get_Busy(VARIANT_BOOL* busy) override;
    HRESULT get_ReadyState(READYSTATE* state) override;

    // Whether the last Navigate came with all optional arguments absent.
    bool LastWithoutOptions = true;
    // Told every target, after it is recorded; may be empty.
    std::function<void(const std::string& target)> NavigateListener;
};

// The site a browser window hands its band. `parent` may be any pointer: a
// site of a browser without a display answers a window that is none.
class CTestSite final : public CComObjectRoot<CTestSite, IOleWindow, IInputObjectSite, IServiceProvider> {
public:
    CTestSite(HWND parent, CRecordingBrowser* browser) : m_parent(parent), m_browser(browser) {}

    HRESULT GetWindow(HWND* window) override;
    HRESULT ContextSensitiveHelp(BOOL) override { return S_OK; }
    HRESULT OnFocusChangeIS(IUnknown*, BOOL) override { return S_OK; }
    HRESULT QueryService(REFGUID service, REFIID iid, void** object) override;

private:
    HWND m_parent;
    ComPtr<CRecordingBrowser> m_browser;  // may be null: no browser to navigate
};

// Runs Qt's events and the apartment's queue until `done` or the time-out.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));
void PumpFor(std::chrono::milliseconds period);

// Seconds since 1970 of a local time (the tests run with TZ=UTC).
std::int64_t LocalTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

class BandServerTest : public ServerProcessTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // The server's own connection, for adding and counting visits.
    IWYSCURLBase* History();
    // Makes a saved copy under the history folder and adds the visit.
    HRESULT Visit(std::int64_t time, const std::string& url, const std::string& title);
    // Time and Url of every record, in list order.
    std::vector<std::pair<std::int64_t, std::string>> Records();
    ULONG Count() { return CountOf(History()); }
    std::string HistoryFolder() const { return ServerProcessTest::History(); }

    // Runs `f` on a thread of its own with a connection of its own: another
    // client of the same history. Waits for it while serving this thread.
    void FromAnotherClient(const std::function<void(IWYSCURLBase*)>& f);

    std::shared_ptr<CRecordingMessageBoxPresenter> m_boxes =
        std::make_shared<CRecordingMessageBoxPresenter>();
    std::unique_ptr<QWidget> m_sideArea;
    ComPtr<CRecordingBrowser> m_browser;
    ComPtr<CTestSite> m_site;

private:
    std::unique_ptr<ScopedMessageBoxPresenter> m_presenter;
    ComPtr<IWYSCURLBase> m_history;
    int m_visits = 0;
};

}  // namespace wys::test
