// The band a browser shows in its side pane: the history of every visit as
// a calendar tree, with the search pane and the tools on a toolbar.
//
// The host's contract is DeskBand.h's: create by CLSID_SurfBand, SetSite with
// a site that answers IOleWindow (the parent widget), IInputObjectSite and,
// for navigation, IServiceProvider -> SID_SWebBrowserApp -> IWebBrowser2;
// then ShowDW / CloseDW, SetSite(null) and Release.
//
// Apartment-threaded: every call, every window event and every URL base
// event runs on the thread that created the band, which must be a Qt GUI
// thread in a single-threaded apartment. While sited, the band serves that
// apartment's queue from Qt's event loop itself, so that the URL base's
// events reach the tree at once whatever the host's loop does.
#pragma once

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "Wayscribe/historymodel/CQXServiceProvider.h"
#include "common/IWYSCURLBase.h"
#include "platform/browser/DeskBand.h"
#include "platform/browser/ObjectWithSite.h"
#include "platform/browser/WebBrowser.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ConnectionPoint.h"

class CBandWindow;
class CTreeDataView;
class QSocketNotifier;
class QWidget;

namespace AdvancedTree {
class CSortedTreeItem;
}

// A dual interface without members of its own: the band's identity for
// automation.
struct ISurfBand : IDispatch {
    static constexpr GUID Iid = MakeGuid("{1F28B2C9-BB4C-4C7C-B1D6-1B8C543E593A}");
    using Base = IDispatch;

protected:
    ~ISurfBand() = default;
};

class CSurfBand final : public CComObjectRoot<CSurfBand, IDeskBand, IObjectWithSite, IInputObject, ISurfBand,
                                              IProvideClassInfo>,
                        public CQXServiceProvider {
public:
    static constexpr const char* kTitle = "Quillonix Trailbook Pro";
    static constexpr const char* kCannotCreateText = "SB Cannot create TRKOB";
    static constexpr const char* kCannotHookText = "SB Cannot hook TRKOB";
    static constexpr const char* kErrorCaption = "Error";

    // Reads "ItemViewMode" (Title view unless a 4-byte REG_BINARY says
    // otherwise). Counts towards DllCanUnloadNow while it lives.
    CSurfBand();

    // IOleWindow
    HRESULT GetWindow(HWND* window) override;
    HRESULT ContextSensitiveHelp(BOOL enterMode) override;
    // IDockingWindow
    HRESULT ShowDW(BOOL show) override;
    HRESULT CloseDW(DWORD reserved) override;
    HRESULT ResizeBorderDW(const void* border, IUnknown* site, BOOL reserved) override;
    // IDeskBand: fills only the members the mask asks for; the background
    // colour bit is cleared, leaving the host's.
    HRESULT GetBandInfo(DWORD bandId, DWORD viewMode, DESKBANDINFO* info) override;
    // IObjectWithSite: S_OK in every case; failures show "SB Cannot create
    // TRKOB" or "SB Cannot hook TRKOB" and leave the band without window.
    HRESULT SetSite(IUnknown* site) override;
    HRESULT GetSite(REFIID iid, void** site) override;
    // IInputObject: the band never takes the browser's accelerators.
    HRESULT UIActivateIO(BOOL activate, MSG* message) override;
    HRESULT HasFocusIO() override;
    HRESULT TranslateAcceleratorIO(MSG* message) override;
    // IDispatch (ISurfBand has no members)
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argError) override;
    // IProvideClassInfo
    HRESULT GetClassInfo(ITypeInfo** info) override;

    // CQXServiceProvider
    void ExportSelection(std::int64_t start, std::int64_t span, const std::string& urlFilter,
                         const std::set<std::string>& paths) override;
    // Throws ComError(E_POINTER) while no URL base is connected.
    std::string GetBaseDirectory() override;
    void Navigate(const std::string& target) override;
    int IsTitleView() override { return m_itemViewMode; }

    // The URL base's events; the handlers swallow every failure.
    void OnDataAdded(ULONG index);
    void OnDataBeforeRemove(ULONG index);

    // 0 URL view, 1 Title view. The band window repaints both trees.
    std::int32_t GetItemViewMode() const { return m_itemViewMode; }
    void SetItemViewMode(std::int32_t mode) { m_itemViewMode = mode; }

    // For the band window and tests.
    CBandWindow* BandWindow() const;
    AdvancedTree::CSortedTreeItem* Root() const { return m_root.get(); }
    CTreeDataView* DataView() const { return m_view.get(); }
    IWYSCURLBase* UrlBase() const { return m_urlBase.Get(); }
    IWebBrowser2* WebBrowser() const { return m_webBrowser.Get(); }
    DWORD BandId() const { return m_bandId; }
    DWORD ViewMode() const { return m_viewMode; }

private:
    class CEventSink;

    ~CSurfBand() override;
    friend class CComObjectRoot<CSurfBand, IDeskBand, IObjectWithSite, IInputObject, ISurfBand,
                                IProvideClassInfo>;

    // Steps 1 and 3 to 8 of SetSite; none throws.
    void ReleaseSite();
    void Attach(IUnknown* site);
    bool BuildWindow(QWidget* parent);
    void DestroyWindow();

    QPointer<CBandWindow> m_window;
    QWidget* m_parent = nullptr;  // the site's window; not owned
    ComPtr<IWYSCURLBase> m_urlBase;
    ComPtr<CEventSink> m_sink;
    CAdvisedConnection m_sinkConnection;
    ComPtr<IInputObjectSite> m_site;
    ComPtr<IWebBrowser2> m_webBrowser;
    DWORD m_bandId = 0;
    DWORD m_viewMode = 0;
    bool m_shown = false;
    bool m_contextHelp = false;
    std::int32_t m_itemViewMode = 1;

    std::unique_ptr<AdvancedTree::CSortedTreeItem> m_root;
    std::unique_ptr<CTreeDataView> m_view;
    std::unique_ptr<QSocketNotifier> m_apartmentNotifier;
};
