#include "WYSCbho/CCaptureThread.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>

#include "WYSCbho/CModuleLock.h"
#include "WYSCbho/CPageCapture.h"
#include "common/UrlBaseConnection.h"
#include "platform/browser/WebBrowser.h"
#include "platform/rpc/Apartment.h"
#include "platform/rpc/Marshal.h"

namespace wys::capture {

struct CCaptureThread::State {
    State() : ended(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~State()
    {
        if (ended >= 0)
            ::close(ended);
    }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    void MarkEnded() const
    {
        std::uint64_t one = 1;
        // The counter cannot overflow with one write; a failure would only
        // make the owner wait its full time.
        if (::write(ended, &one, sizeof(one)) != sizeof(one))
            return;
    }

    std::shared_ptr<CCaptureStop> stop = std::make_shared<CCaptureStop>();
    int ended;  // readable once the thread has ended
};

namespace {

// How long the end of the process (or the library's unloading) waits for
// stopped captures.
constexpr unsigned kExitWaitMs = 2000;

// Captures still running, so that they can be stopped when the process ends.
class RunningCaptures {
public:
    // Never destroyed: a capture thread that outlives the process's end
    // still finds it. The captures are stopped when the library goes away.
    static RunningCaptures& Instance()
    {
        static RunningCaptures* instance = [] {
            auto* captures = new RunningCaptures;
            std::atexit([] { Instance().StopAll(kExitWaitMs); });
            return captures;
        }();
        return *instance;
    }

    void Add(const std::shared_ptr<CCaptureThread::State>& state)
    {
        std::lock_guard lock(m_mutex);
        m_states.insert(state);
    }
    void Remove(const std::shared_ptr<CCaptureThread::State>& state)
    {
        std::lock_guard lock(m_mutex);
        m_states.erase(state);
    }
    void StopAll(unsigned timeoutMs)
    {
        std::set<std::shared_ptr<CCaptureThread::State>> states;
        {
            std::lock_guard lock(m_mutex);
            states = m_states;
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (const auto& state : states)
            state->stop->RequestStop();
        for (const auto& state : states) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd fd{state->ended, POLLIN, 0};
            ::poll(&fd, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        }
    }

private:
    std::mutex m_mutex;
    std::set<std::shared_ptr<CCaptureThread::State>> m_states;
};

// Puts `text` on the window's status line (nothing for an empty text or a
// window that is gone: the capture's outcome does not depend on it).
void TellWindow(IWebBrowser2* browser, const std::string& text)
{
    if (browser && !text.empty())
        (void)browser->put_StatusText(CComBSTR(text));
}

}  // namespace

void RunCapture(std::unique_ptr<CaptureRequest> request, const CaptureStopRef& stop)
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return;
    ComPtr<IWebBrowser2> browser;
    try {
        CaptureInput input{request->Url, request->Time, request->Title};
        HRESULT hr = CoGetInterfaceAndReleaseStream(request->BrowserStream.Detach(), IID_IWebBrowser2,
                                                    browser.PutVoid());
        request.reset();
        ThrowIfFailed(hr);
        stop->ThrowIfStopped();

        ComPtr<IWYSCURLBase> urlBase;
        ThrowIfFailed(ConnectUrlBase(&urlBase));
        stop->ThrowIfStopped();

        ComPtr<IHTMLDocument2> document;
        ComPtr<IDispatch> shown;
        if (SUCCEEDED(browser->get_Document(shown.ReleaseAndGetAddressOf())) && shown &&
            FAILED(shown.As(&document)))
            document = nullptr;
        stop->ThrowIfStopped();

        const std::string title = input.Title.empty() ? input.Url : input.Title;
        CaptureOutcome outcome = CPageCapture(std::move(input), urlBase.Get(), document.Get(), stop).Run();
        TellWindow(browser.Get(), CPageCapture::StatusText(outcome, title));
    } catch (const ComError& error) {
        // Files written so far stay; the window says that no record came.
        TellWindow(browser.Get(), CPageCapture::FailureText(error.Error()));
    } catch (...) {
        TellWindow(browser.Get(), CPageCapture::FailureText(E_FAIL));
    }
    browser = nullptr;
    CoUninitialize();
}

std::unique_ptr<CCaptureThread> CCaptureThread::Start(std::unique_ptr<CaptureRequest> request)
{
    auto state = std::make_shared<State>();
    if (state->ended < 0)
        return nullptr;
    RunningCaptures::Instance().Add(state);
    CModuleLock::Lock();
    try {
        std::thread([state, request = std::move(request)]() mutable {
            RunCapture(std::move(request), state->stop);
            RunningCaptures::Instance().Remove(state);
            state->MarkEnded();
            CModuleLock::Unlock();
        }).detach();
    } catch (const std::system_error&) {
        CModuleLock::Unlock();
        RunningCaptures::Instance().Remove(state);
        return nullptr;
    }
    return std::unique_ptr<CCaptureThread>(new CCaptureThread(std::move(state)));
}

CCaptureThread::~CCaptureThread() = default;

bool CCaptureThread::HasEnded() const
{
    return WaitForEnd(0);
}

bool CCaptureThread::WaitForEnd(unsigned timeoutMs) const
{
    DWORD index = 0;
    HRESULT hr = CoWaitForMultipleHandles(0, timeoutMs, 1, &m_state->ended, &index);
    if (hr == CO_E_NOTINITIALIZED) {
        pollfd fd{m_state->ended, POLLIN, 0};
        return ::poll(&fd, 1, static_cast<int>(timeoutMs)) == 1;
    }
    return hr == S_OK;
}

void CCaptureThread::RequestStop()
{
    m_state->stop->RequestStop();
}

void StopAllCaptures(unsigned timeoutMs)
{
    RunningCaptures::Instance().StopAll(timeoutMs);
}

}  // namespace wys::capture
