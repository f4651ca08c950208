#include "hosts/extension/CTabThread.h"

#include <cstdio>

#include "hosts/extension/CExtensionTab.h"
#include "platform/browser/ObjectWithSite.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/Apartment.h"
#include "platform/rpc/MessageLoop.h"

namespace wys::extension {

CTabThread::CTabThread(int tab, std::shared_ptr<CExtensionPort> port, std::vector<CLSID> helperClasses)
    : m_tab(tab), m_port(std::move(port))
{
    std::promise<void> ready;
    std::future<void> started = ready.get_future();
    m_thread = std::thread(
        [this, classes = std::move(helperClasses), &ready]() mutable { Run(std::move(classes), ready); });
    started.wait();
}

CTabThread::~CTabThread()
{
    Close();
    if (m_thread.joinable())
        m_thread.join();
}

void CTabThread::Run(std::vector<CLSID> helperClasses, std::promise<void>& ready)
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        m_ended = true;
        ready.set_value();
        return;
    }
    {
        ComPtr<CExtensionTab> browser;
        browser.Attach(CreateComObject<CExtensionTab>(m_tab, m_port, &m_taken));
        std::vector<ComPtr<IObjectWithSite>> helpers;
        for (const CLSID& clsid : helperClasses) {
            ComPtr<IObjectWithSite> helper;
            HRESULT hr =
                CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IObjectWithSite, helper.PutVoid());
            if (SUCCEEDED(hr))
                hr = helper->SetSite(browser->GetUnknown());
            if (FAILED(hr)) {
                // One helper object that fails costs its service, not the tab.
                std::fprintf(stderr, "wayscribe-native-host: helper object %s not attached to tab %d: %s\n",
                             GuidToString(clsid).c_str(), m_tab, HResultText(hr).c_str());
                if (helper)
                    helper->SetSite(nullptr);
                continue;
            }
            helpers.push_back(helper);
        }
        m_browser = browser.Get();
        m_helperCount = helpers.size();
        m_threadId = GetCurrentThreadId();
        ready.set_value();  // `ready` is gone from here on

        RunMessageLoop();

        // Helper objects let go of the tab while it still answers them: a
        // capture still running reads the document through it.
        for (auto& helper : helpers)
            helper->SetSite(nullptr);
        helpers.clear();
        browser->Close();
        m_browser = nullptr;
    }
    CoUninitialize();
    m_ended = true;
}

void CTabThread::Post(std::function<void(CExtensionTab&)> work)
{
    if (!Running() || m_closing)
        return;
    PostToApartment(m_threadId, [this, work = std::move(work)] {
        if (m_browser)
            work(*m_browser);
    });
}

void CTabThread::PostCompletion(std::function<void(CExtensionTab&, unsigned)> work)
{
    if (!Running() || m_closing)
        return;
    unsigned completion = ++m_posted;
    m_postedAt = std::chrono::steady_clock::now();
    Post([work = std::move(work), completion](CExtensionTab& browser) { work(browser, completion); });
}

bool CTabThread::CompletionUntaken(std::chrono::steady_clock::duration patience) const
{
    return m_taken.load() < m_posted && std::chrono::steady_clock::now() - m_postedAt < patience;
}

void CTabThread::Close()
{
    if (!Running() || m_closing)
        return;
    m_closing = true;
    PostToApartment(m_threadId, [] { PostQuitMessage(0); });
}

}  // namespace wys::extension
