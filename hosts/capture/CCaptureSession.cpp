#include "hosts/capture/CCaptureSession.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>

#include "common/CUrlBaseEventSinkBase.h"
#include "common/Identifiers.h"
#include "common/UrlBaseConnection.h"
#include "platform/browser/BrowserExtensions.h"
#include "platform/browser/ObjectWithSite.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComObject.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/Apartment.h"

namespace wys::capture {
namespace {

constexpr std::chrono::seconds kLoadReportGrace{2};

}  // namespace

// Hears of every record the URL base adds and keeps its URL until a window
// claims it.
class CUrlBaseWatcher final : public CComObjectRoot<CUrlBaseWatcher, CUrlBaseEventSinkBase> {
public:
    CUrlBaseWatcher(IWYSCURLBase* urlBase, std::function<void()> onAdded)
        : m_urlBase(urlBase), m_onAdded(std::move(onAdded))
    {
        IgnoreBadEvents();
    }

    std::vector<std::string> added;
    void Forget() { m_urlBase = nullptr; }

    HRESULT OnDataAdded(LONG index) override
    {
        if (!m_urlBase)
            return S_OK;
        // The record is read inside the event, while its index still names it.
        _URL_DATE_ record{0, nullptr, nullptr, nullptr};
        if (SUCCEEDED(m_urlBase->GetData(&record, static_cast<ULONG>(index)))) {
            added.push_back(CComBSTR::CopyOf(record.Url).ToUtf8());
            FreeUrlDate(&record);
            if (m_onAdded)
                m_onAdded();
        }
        return S_OK;
    }

private:
    IWYSCURLBase* m_urlBase;  // the session's connection; outlives the advise
    std::function<void()> m_onAdded;
};

struct CCaptureSession::Window {
    std::size_t index = 0;
    ComPtr<IWebBrowser2> browser;
    std::vector<ComPtr<IObjectWithSite>> helpers;
    std::optional<NavigationOutcome> outcome;
    std::string statusText;  // what the helper object said of the capture
    std::chrono::steady_clock::time_point deadline;
    bool open = false;
    // The page is in the history; the window stays until the next one
    // opens or the session ends, so that closing it is not waited for.
    bool recorded = false;
    PageResult result;
};

CCaptureSession::CCaptureSession(std::chrono::seconds timeout, std::function<bool()> abandoned)
    : m_timeout(timeout), m_abandoned(std::move(abandoned)), m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

void CCaptureSession::Wake() const
{
    std::uint64_t one = 1;
    // A full counter already wakes the loop; nothing is lost.
    if (m_wake >= 0 && ::write(m_wake, &one, sizeof one) != sizeof one)
        return;
}

void CCaptureSession::WaitForNews(std::chrono::steady_clock::time_point until)
{
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    DWORD timeout = static_cast<DWORD>(std::clamp<long long>(left.count(), 0, 1000));
    DWORD index = 0;
    if (m_wake < 0) {
        CoWaitForMultipleHandles(0, std::min<DWORD>(timeout, 50), 0, nullptr, &index);
        return;
    }
    if (CoWaitForMultipleHandles(0, timeout, 1, &m_wake, &index) == S_OK) {
        std::uint64_t count = 0;
        if (::read(m_wake, &count, sizeof count) != sizeof count)
            count = 0;
    }
}

CCaptureSession::~CCaptureSession()
{
    for (auto& window : m_windows)
        Close(*window);
    m_urlBaseConnection.Unadvise();
    if (m_watcher)
        m_watcher->Forget();
    if (m_wake >= 0)
        ::close(m_wake);
}

HRESULT CCaptureSession::Connect()
{
    HRESULT hr = ConnectUrlBase(&m_urlBase);
    if (FAILED(hr))
        return hr;
    m_watcher.Attach(CreateComObject<CUrlBaseWatcher>(m_urlBase.Get(), [this] { Wake(); }));
    hr = m_urlBaseConnection.Advise(m_urlBase.Get(), DIID_IWYSCURLBaseEvents, m_watcher->GetUnknown());
    if (FAILED(hr))
        m_watcher.Reset();
    m_helperClasses = BrowserHelperObjects();
    return hr;
}

void CCaptureSession::Open(Window& window, const std::string& target)
{
    HeadlessBrowserOptions options;
    options.loadTimeout = m_timeout;
    Window* self = &window;  // windows live as long as the session
    options.onNavigationEnded = [this, self](const NavigationOutcome& outcome) {
        self->outcome = outcome;
        Wake();
    };
    options.onStatusText = [this, self](const std::string& text) {
        self->statusText = text;
        Wake();
    };
    HRESULT hr = CreateHeadlessBrowser(options, window.browser.GetAddressOf());
    if (FAILED(hr)) {
        window.result = {window.result.argument, PageState::NotLoaded,
                         "no browser window: " + HResultText(hr)};
        return;
    }
    window.open = true;
    window.deadline = std::chrono::steady_clock::now() + m_timeout;
    for (const CLSID& clsid : m_helperClasses) {
        ComPtr<IObjectWithSite> helper;
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IObjectWithSite, helper.PutVoid());
        if (SUCCEEDED(hr))
            hr = helper->SetSite(window.browser.Get());
        if (FAILED(hr)) {
            std::fprintf(stderr, "wayscribe-capture: helper object %s not attached: %s\n",
                         GuidToString(clsid).c_str(), HResultText(hr).c_str());
            continue;
        }
        window.helpers.push_back(helper);
    }
    CComBSTR url(target);
    hr = window.browser->Navigate(url, nullptr, nullptr, nullptr, nullptr);
    if (FAILED(hr)) {
        window.result = {window.result.argument, PageState::NotLoaded, "cannot navigate: " + HResultText(hr)};
        Close(window);
    }
}

void CCaptureSession::Close(Window& window)
{
    if (!window.open)
        return;
    window.open = false;
    // Helper objects let go of the window first, as a closing browser has them do.
    for (auto& helper : window.helpers)
        helper->SetSite(nullptr);
    window.helpers.clear();
    window.browser->Stop();
    window.browser.Reset();
}

void CCaptureSession::Update(Window& window)
{
    if (!window.open || window.recorded)
        return;
    PageResult& result = window.result;
    if (window.outcome && !window.outcome->loaded) {
        result.state = PageState::NotLoaded;
        result.detail = window.outcome->failure;
        Close(window);
        return;
    }
    if (window.outcome && m_watcher) {
        auto& added = m_watcher->added;
        for (auto it = added.begin(); it != added.end(); ++it) {
            if (*it == window.outcome->finalUrl) {
                added.erase(it);
                long status = window.outcome->status;
                bool httpError = status >= 400 && window.outcome->finalUrl.starts_with("http");
                result.state = httpError ? PageState::LoadedWithError : PageState::Recorded;
                result.detail = httpError ? "the server answered with status " + std::to_string(status) : "";
                window.recorded = true;
                return;
            }
        }
    }
    // The helper object said that no record will come, or that the visit
    // of this second is recorded already.
    constexpr std::string_view kNotSaved = "Not saved to the history: ";
    if (window.outcome && window.statusText.starts_with("Saved to the history: ")) {
        long status = window.outcome->status;
        bool httpError = status >= 400 && window.outcome->finalUrl.starts_with("http");
        result.state = httpError ? PageState::LoadedWithError : PageState::Recorded;
        result.detail = httpError ? "the server answered with status " + std::to_string(status) : "";
        window.recorded = true;
        return;
    }
    if (window.outcome && window.statusText.starts_with(kNotSaved)) {
        result.state = PageState::NotRecorded;
        result.detail = window.statusText.substr(kNotSaved.size());
        Close(window);
        return;
    }
    if (window.outcome && window.helpers.empty()) {
        result.state = PageState::NotRecorded;
        result.detail = "loaded, but no helper object is attached to record it";
        Close(window);
        return;
    }
    // The browser reports its own time-out, with a reason, shortly after.
    auto deadline = window.outcome ? window.deadline : window.deadline + kLoadReportGrace;
    if (std::chrono::steady_clock::now() >= deadline) {
        result.state = window.outcome ? PageState::NotRecorded : PageState::NotLoaded;
        result.detail = (window.outcome ? "loaded, but not recorded within " : "not loaded within ") +
                        std::to_string(m_timeout.count()) + " s";
        Close(window);
    }
}

std::vector<PageResult> CCaptureSession::Run(const std::vector<std::string>& arguments,
                                             const std::vector<std::optional<std::string>>& targets,
                                             const std::vector<std::string>& refusals)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        auto window = std::make_unique<Window>();
        window->index = i;
        window->result.argument = arguments[i];
        m_windows.push_back(std::move(window));
    }
    // One page at a time: the URL base refuses a record that arrives while
    // it is still announcing another, so captures finishing together could
    // lose one.
    for (auto& window : m_windows) {
        const auto& target = targets[window->index];
        if (!target) {
            window->result.state = PageState::NotLoaded;
            window->result.detail = "bad URL: " + refusals[window->index];
            continue;
        }
        if (m_abandoned && m_abandoned())
            break;
        for (auto& done : m_windows) {
            if (done->recorded)
                Close(*done);
        }
        Open(*window, *target);
        for (Update(*window); window->open && !window->recorded; Update(*window)) {
            if (m_abandoned && m_abandoned()) {
                window->result.state = PageState::NotRecorded;
                window->result.detail = "given up: nobody waits for it any more";
                Close(*window);
                break;
            }
            WaitForNews(window->deadline + kLoadReportGrace);
        }
    }
    std::vector<PageResult> results;
    for (auto& window : m_windows)
        results.push_back(window->result);
    return results;
}

std::string CCaptureSession::Describe(const PageResult& result)
{
    switch (result.state) {
        case PageState::Recorded:
            return result.argument + ": recorded";
        case PageState::LoadedWithError:
            return result.argument + ": recorded, but " + result.detail;
        case PageState::NotLoaded:
            return result.argument + ": not loaded: " + result.detail;
        case PageState::NotRecorded:
            return result.argument + ": not recorded: " + result.detail;
    }
    return result.argument;
}

}  // namespace wys::capture
