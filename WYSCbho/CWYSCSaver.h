// The browser helper object: one per browser window. It attaches to the
// window's web browser object, follows the URL base's collection switch, and
// for every page the browser reports completed (and that is not recorded for
// that second yet) starts a capture thread with the browser marshalled to
// it. It never waits for a capture while the window is open.
//
// Apartment-threaded: every method runs on the browser window's thread, so
// the fields need no lock. While an instance exists it holds a lock on the
// component library. At destruction each capture still running gets 5000 ms
// to end (the window's incoming calls are dispatched meanwhile); one still
// running then is told to stop and ends at its next check, leaving its
// partial files and no record.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "WYSCbho/CCaptureThread.h"
#include "WYSCbho/CHistoryFolder.h"
#include "WYSCbho/CModuleLock.h"
#include "WYSCbho/IWYSCSaver.h"
#include "common/IWYSCURLBase.h"
#include "platform/browser/ObjectWithSite.h"
#include "platform/browser/WebBrowser.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ConnectionPoint.h"

namespace wys::capture {

class CBrowserEventSink;
class CUrlBaseEventSink;

class CWYSCSaver final : public CComObjectRoot<CWYSCSaver, IWYSCSaver, IObjectWithSite> {
public:
    // How long destruction waits for each running capture.
    static constexpr unsigned kCaptureGraceMs = 5000;
    static constexpr const char* kCannotCreateText = "BHO Cannot create TRKOB";
    static constexpr const char* kCannotHookText = "BHO Cannot hook TRKOB";

    // The current time in seconds since 1970 UTC; the system clock when empty.
    using Clock = std::function<std::int64_t()>;
    explicit CWYSCSaver(Clock clock = {});

    // IDispatch (IWYSCSaver has no members of its own)
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argError) override;

    // IObjectWithSite: always S_OK; GetSite is not offered.
    HRESULT SetSite(IUnknown* site) override;
    HRESULT GetSite(REFIID iid, void** site) override;

    // Event handlers, called by the sinks on the window's thread.
    void OnDocumentComplete(VARIANT* url);
    void OnSettingsChanged();

    // For tests: whether collection is on, the history folder as last read,
    // and the capture threads kept.
    bool CollectEnabled() const { return m_collectEnabled; }
    const CHistoryFolder& HistoryFolder() const { return m_historyFolder; }
    std::size_t ThreadCount() const { return m_threads.size(); }

private:
    ~CWYSCSaver() override;
    friend class CComObjectRoot<CWYSCSaver, IWYSCSaver, IObjectWithSite>;

    void Attach(IUnknown* site);
    void Detach();
    // Reads CollectHistory and the history folder.
    void ReadSettings();
    void PruneThreads();
    // Puts `text` on the window's status line.
    void TellWindow(const std::string& text);
    std::int64_t Now() const;

    CModuleLock m_moduleLock;
    Clock m_clock;
    // Fields of the object, in order.
    ComPtr<IWebBrowser2> m_browser;
    std::vector<std::unique_ptr<CCaptureThread>> m_threads;
    ComPtr<IWYSCURLBase> m_urlBase;
    bool m_collectEnabled = false;
    // The URL base's BaseDirectory as last read: pages shown from inside it
    // are the history's own and never captured.
    CHistoryFolder m_historyFolder;

    ComPtr<CBrowserEventSink> m_browserSink;
    CAdvisedConnection m_browserConnection;
    ComPtr<CUrlBaseEventSink> m_urlBaseSink;
    CAdvisedConnection m_urlBaseConnection;
};

}  // namespace wys::capture
