// One tab of the person's browser inside the host: a thread of its own in a
// single-threaded apartment, as a browser window has, holding the tab's web
// browser object (CExtensionTab) and a helper object of every registered
// class, each given the tab as its site.
//
// The host's main thread hands the extension's news to the tab with Post;
// it runs on the tab's thread, in order. Close lets the helper objects go
// (SetSite(null), then the last reference, which gives captures still
// running their grace time) and ends the thread; it returns at once, so a
// closing tab never holds up the others. The destructor waits for the
// thread's end.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "platform/com/Guid.h"

namespace wys::extension {

class CExtensionPort;
class CExtensionTab;

class CTabThread {
public:
    // Starts the thread and waits until the tab is set up. Helper objects
    // that cannot be created or sited are reported on standard error and
    // left out.
    CTabThread(int tab, std::shared_ptr<CExtensionPort> port, std::vector<CLSID> helperClasses);
    ~CTabThread();
    CTabThread(const CTabThread&) = delete;
    CTabThread& operator=(const CTabThread&) = delete;

    int Tab() const { return m_tab; }
    // Whether the thread could be started (with its apartment).
    bool Running() const { return m_threadId != 0; }
    // Runs `work` on the tab's thread with its web browser object.
    void Post(std::function<void(CExtensionTab&)> work);
    // Hands the tab a completed page: `work` gets the completion's number
    // for CExtensionTab::OnComplete.
    void PostCompletion(std::function<void(CExtensionTab&, unsigned completion)> work);
    // Whether the last completed page handed over has not been taken yet
    // (TakenCompletions), within `patience` of its handing over.
    bool CompletionUntaken(std::chrono::steady_clock::duration patience) const;
    // Lets the tab go; the thread ends once its helper objects are gone.
    void Close();
    bool HasEnded() const { return m_ended.load(); }
    // Helper objects attached (SetSite succeeded), once set up.
    std::size_t HelperCount() const { return m_helperCount; }

private:
    void Run(std::vector<CLSID> helperClasses, std::promise<void>& ready);

    int m_tab;
    std::shared_ptr<CExtensionPort> m_port;
    DWORD m_threadId = 0;
    std::size_t m_helperCount = 0;
    std::atomic<bool> m_ended{false};
    unsigned m_posted = 0;  // completions handed over; main thread only
    std::chrono::steady_clock::time_point m_postedAt;
    std::atomic<unsigned> m_taken{0};
    bool m_closing = false;
    CExtensionTab* m_browser = nullptr;  // owned by the thread; touched only there
    std::thread m_thread;
};

}  // namespace wys::extension
