// One run of wayscribe-capture: a browser window per page with the
// registered helper objects attached, kept until the page's capture is
// recorded in the URL base or its time-out passes.
//
// Lives on the thread that created it, which must be in a single-threaded
// apartment: the windows, the helper objects and the URL base's events all
// run there while Run dispatches.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/IWYSCURLBase.h"
#include "platform/browser/HeadlessBrowser.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ConnectionPoint.h"

namespace wys::capture {

enum class PageState { Recorded, NotLoaded, LoadedWithError, NotRecorded };

struct PageResult {
    std::string argument;  // the URL as given
    PageState state = PageState::NotRecorded;
    std::string detail;  // the reason, for every state but Recorded
};

class CUrlBaseWatcher;

class CCaptureSession {
public:
    // `abandoned`, when given, is asked while pages load: once it answers
    // true nobody waits for the outcome any more, and the page being
    // loaded and those after it are given up.
    explicit CCaptureSession(std::chrono::seconds timeout, std::function<bool()> abandoned = {});
    ~CCaptureSession();
    CCaptureSession(const CCaptureSession&) = delete;
    CCaptureSession& operator=(const CCaptureSession&) = delete;

    // Connects to the URL base and watches its records. The failure's
    // HRESULT when the URL base cannot be had.
    HRESULT Connect();
    // Captures each target (PageTarget's result; null for an argument that
    // was refused, with `refusals` giving why), one window after another,
    // and returns one result per argument, in order. The window of the last
    // page recorded is closed with the session.
    std::vector<PageResult> Run(const std::vector<std::string>& arguments,
                                const std::vector<std::optional<std::string>>& targets,
                                const std::vector<std::string>& refusals);

    // The line printed for a result.
    static std::string Describe(const PageResult& result);

private:
    struct Window;

    void Open(Window& window, const std::string& target);
    void Close(Window& window);
    void Update(Window& window);
    // Wakes WaitForNews: a record came, a navigation ended, a status was said.
    void Wake() const;
    // Dispatches the apartment's calls until Wake or `until` (at most a second).
    void WaitForNews(std::chrono::steady_clock::time_point until);

    std::chrono::seconds m_timeout;
    std::function<bool()> m_abandoned;
    ComPtr<IWYSCURLBase> m_urlBase;
    ComPtr<CUrlBaseWatcher> m_watcher;
    CAdvisedConnection m_urlBaseConnection;
    std::vector<CLSID> m_helperClasses;
    std::vector<std::unique_ptr<Window>> m_windows;
    int m_wake;  // eventfd; -1 when none could be had (the loop then polls)
};

}  // namespace wys::capture
