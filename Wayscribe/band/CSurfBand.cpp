#include "Wayscribe/band/CSurfBand.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <algorithm>

#include "Wayscribe/AdvancedTree/CSortedTreeItem.h"
#include "Wayscribe/band/BandModule.h"
#include "Wayscribe/band/BandSettings.h"
#include "Wayscribe/band/CBandWindow.h"
#include "Wayscribe/band/NodeCommands.h"
#include "Wayscribe/historymodel/CDataItem.h"
#include "Wayscribe/historymodel/CTreeDataView.h"
#include "Wayscribe/tools/dialogs/CExportDialog.h"
#include "Wayscribe/tools/dialogs/CSearchDialog.h"
#include "Wayscribe/tools/help/Help.h"
#include "common/CUrlBaseEventSinkBase.h"
#include "common/Identifiers.h"
#include "common/StringConvert.h"
#include "common/UrlBaseConnection.h"
#include "platform/browser/ServiceProvider.h"
#include "platform/com/ComError.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/com/TypeInfo.h"
#include "platform/com/Utf.h"
#include "platform/rpc/Apartment.h"
#include "platform/ui/MessageBox.h"

// Receives the URL base's events for the band. A separate object, so that
// the URL base's reference to it does not keep the band alive.
class CSurfBand::CEventSink final : public CComObjectRoot<CEventSink, CUrlBaseEventSinkBase> {
public:
    // The server must never see a failure from a client: every outcome
    // is S_OK.
    explicit CEventSink(CSurfBand* band) : m_band(band) { IgnoreBadEvents(); }
    void Disconnect() { m_band = nullptr; }

    HRESULT OnDataAdded(LONG index) override
    {
        if (m_band)
            m_band->OnDataAdded(static_cast<ULONG>(index));
        return S_OK;
    }
    HRESULT OnDataBeforeRemove(LONG index) override
    {
        if (m_band)
            m_band->OnDataBeforeRemove(static_cast<ULONG>(index));
        return S_OK;
    }

private:
    CSurfBand* m_band;  // not owned; cleared before the band lets go of the sink
};

namespace {

// Whether `window` is a widget of this process, found without dereferencing
// it: a site may hand over anything.
QWidget* AsWindow(HWND window)
{
    if (!window || !qobject_cast<QApplication*>(QCoreApplication::instance()))
        return nullptr;
    const QWidgetList widgets = QApplication::allWidgets();
    auto found = std::find(widgets.begin(), widgets.end(), static_cast<QWidget*>(window));
    return found == widgets.end() ? nullptr : *found;
}

void CopyTitle(OLECHAR (&target)[256], const char* title)
{
    const std::u16string wide = Utf8ToUtf16(title);
    const std::size_t length = std::min<std::size_t>(wide.size(), 255);
    std::copy_n(wide.data(), length, target);
    target[length] = 0;
}

}  // namespace

CSurfBand::CSurfBand()
    : m_root(std::make_unique<AdvancedTree::CSortedTreeItem>(AdvancedTree::AutoDeleteMode::Never)),
      m_view(std::make_unique<CTreeDataView>())
{
    BandModule::Lock();
    m_root->Expand();
    m_view->SetRoot(m_root.get());
    if (std::optional<std::int32_t> mode = BandSettings::ReadBinaryValue(BandSettings::kItemViewMode))
        m_itemViewMode = *mode == 0 ? 0 : 1;  // the View menu knows these two only
    Help::ReadHelpPath();
    NodeCommands::InstallContextMenuHandler();
}

CSurfBand::~CSurfBand()
{
    ReleaseSite();
    DestroyWindow();
    m_view.reset();
    m_root.reset();
    BandModule::Unlock();
}

CBandWindow* CSurfBand::BandWindow() const
{
    return m_window.data();
}

HRESULT CSurfBand::GetWindow(HWND* window)
{
    if (!window)
        return E_INVALIDARG;
    *window = static_cast<QWidget*>(m_window.data());
    return S_OK;
}

HRESULT CSurfBand::ContextSensitiveHelp(BOOL enterMode)
{
    m_contextHelp = enterMode != 0;
    return S_OK;
}

HRESULT CSurfBand::ShowDW(BOOL show)
{
    m_shown = show != 0;
    if (m_window)
        m_window->setVisible(m_shown);
    return S_OK;
}

HRESULT CSurfBand::CloseDW(DWORD)
{
    return ShowDW(FALSE);
}

HRESULT CSurfBand::ResizeBorderDW(const void*, IUnknown*, BOOL)
{
    return S_OK;
}

HRESULT CSurfBand::GetBandInfo(DWORD bandId, DWORD viewMode, DESKBANDINFO* info)
{
    m_bandId = bandId;
    m_viewMode = viewMode;
    if (!info)
        return S_OK;
    if (info->dwMask & DBIM_MINSIZE)
        info->ptMinSize = {25, 22};
    if (info->dwMask & DBIM_MAXSIZE)
        info->ptMaxSize = {-1, -1};
    if (info->dwMask & DBIM_INTEGRAL)
        info->ptIntegral = {1, 1};
    if (info->dwMask & DBIM_ACTUAL)
        info->ptActual = {250, 22};
    if (info->dwMask & DBIM_TITLE)
        CopyTitle(info->wszTitle, kTitle);
    if (info->dwMask & DBIM_MODEFLAGS)
        info->dwModeFlags = DBIMF_VARIABLEHEIGHT;
    info->dwMask &= ~DBIM_BKCOLOR;
    return S_OK;
}

HRESULT CSurfBand::SetSite(IUnknown* site)
{
    ReleaseSite();
    if (site)
        Attach(site);
    return S_OK;
}

void CSurfBand::ReleaseSite()
{
    m_webBrowser = nullptr;
    m_site = nullptr;
    if (m_urlBase) {
        m_sinkConnection.Unadvise();
        m_urlBase = nullptr;
    }
    if (m_sink) {
        m_sink->Disconnect();
        m_sink = nullptr;
    }
    if (m_apartmentNotifier) {
        // SetSite(null) may itself arrive through the notifier's dispatch.
        m_apartmentNotifier->setEnabled(false);
        m_apartmentNotifier.release()->deleteLater();
    }
}

void CSurfBand::Attach(IUnknown* site)
{
    ComPtr<IOleWindow> oleWindow;
    HWND parentHandle = nullptr;
    if (FAILED(site->QueryInterface(IID_IOleWindow, oleWindow.PutVoid())) || !oleWindow ||
        FAILED(oleWindow->GetWindow(&parentHandle)))
        return;
    QWidget* parent = AsWindow(parentHandle);
    if (!parent)
        return;
    m_parent = parent;

    ComPtr<IWYSCURLBase> base;
    if (FAILED(wys::ConnectUrlBase(&base)) || !base) {
        MessageBoxA(nullptr, kCannotCreateText, kErrorCaption, MB_OK | MB_ICONERROR);
        return;
    }
    m_urlBase = base;
    m_sink = ComPtr<CEventSink>(new CEventSink(this));
    if (FAILED(m_sinkConnection.Advise(m_urlBase.Get(), DIID_IWYSCURLBaseEvents, m_sink->GetUnknown()))) {
        MessageBoxA(nullptr, kCannotHookText, kErrorCaption, MB_ICONERROR);
        m_sink->Disconnect();
        m_sink = nullptr;
        m_urlBase = nullptr;
        return;
    }
    // The events wait in this apartment's queue; serve it from Qt's loop.
    if (const int fd = ApartmentWakeFd(); fd >= 0) {
        m_apartmentNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(m_apartmentNotifier.get(), &QSocketNotifier::activated,
                         [] { DispatchApartmentMessages(); });
    }

    if (!BuildWindow(parent))
        return;

    if (FAILED(site->QueryInterface(IID_IInputObjectSite, m_site.PutVoid())))
        return;
    // The browser is found through the command target's service provider
    // where the site has one, else through the site's own.
    ComPtr<IServiceProvider> services;
    ComPtr<IOleCommandTarget> commands;
    if (SUCCEEDED(site->QueryInterface(IID_IOleCommandTarget, commands.PutVoid())) && commands)
        commands->QueryInterface(IID_IServiceProvider, services.PutVoid());
    if (!services)
        site->QueryInterface(IID_IServiceProvider, services.PutVoid());
    if (services)
        services->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, m_webBrowser.PutVoid());
}

bool CSurfBand::BuildWindow(QWidget* parent)
{
    // A band sited again starts afresh in its new parent, with the history
    // of the URL base it has just connected to.
    DestroyWindow();
    m_root->RemoveAllChildren();
    m_window = new CBandWindow(*this, parent);
    m_view->InitialFill(m_urlBase.Get(), this);
    m_window->RestoreCurrentTab();
    if (m_shown)
        m_window->show();
    return !m_window.isNull();
}

void CSurfBand::DestroyWindow()
{
    delete m_window.data();  // saves the view settings
}

HRESULT CSurfBand::GetSite(REFIID iid, void** site)
{
    if (!site)
        return E_POINTER;
    *site = nullptr;
    if (!m_site)
        return E_FAIL;
    return m_site->QueryInterface(iid, site);
}

HRESULT CSurfBand::UIActivateIO(BOOL, MSG*)
{
    return S_OK;
}

HRESULT CSurfBand::HasFocusIO()
{
    return S_FALSE;
}

HRESULT CSurfBand::TranslateAcceleratorIO(MSG*)
{
    return S_OK;
}

HRESULT CSurfBand::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT CSurfBand::GetTypeInfo(UINT index, LCID, ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    return CreateGuidTypeInfo(IID_ISurfBand, info);
}

HRESULT CSurfBand::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids)
{
    for (UINT i = 0; ids && i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

HRESULT CSurfBand::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
{
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT CSurfBand::GetClassInfo(ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    return CreateGuidTypeInfo(CLSID_SurfBand, info);
}

void CSurfBand::ExportSelection(std::int64_t start, std::int64_t span, const std::string& urlFilter,
                                const std::set<std::string>& paths)
{
    CExportDialog::ExportSelection(QApplication::activeWindow(), m_urlBase.Get(), start, span, urlFilter,
                                   paths);
}

std::string CSurfBand::GetBaseDirectory()
{
    if (!m_urlBase)
        throw ComError(E_POINTER);
    CComBSTR folder;
    ThrowIfFailed(m_urlBase->get_BaseDirectory(&folder));
    return wys::BstrToNarrowZ(folder);
}

void CSurfBand::Navigate(const std::string& target)
{
    if (!m_webBrowser)
        return;
    CComBSTR url(target);
    m_webBrowser->Navigate(url, nullptr, nullptr, nullptr, nullptr);
}

void CSurfBand::OnDataAdded(ULONG index)
{
    if (!m_window || !m_urlBase)
        return;
    try {
        CUrlDateHolder record;
        if (FAILED(m_urlBase->GetData(record.Receive(), index)))
            return;
        m_view->AddItem(CDataItem::FromUrlDate(record, this));
    } catch (...) {
        // The server must not see a client's failure; the visit is not shown.
    }
}

void CSurfBand::OnDataBeforeRemove(ULONG index)
{
    if (!m_window || !m_urlBase)
        return;
    try {
        CUrlDateHolder record;
        if (FAILED(m_urlBase->GetData(record.Receive(), index)))
            return;
        CDataItem item = CDataItem::FromUrlDate(record, this);
        item.Title.clear();
        m_view->RemoveItem(item);
    } catch (...) {
        // As above: the tree keeps the visit rather than fail the server.
    }
}
