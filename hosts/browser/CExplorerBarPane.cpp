#include "hosts/browser/CExplorerBarPane.h"

#include <QMainWindow>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

#include "platform/browser/ObjectWithSite.h"
#include "platform/browser/ServiceProvider.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComObject.h"
#include "platform/rpc/Activation.h"

namespace wys::browser_host {

// What a band is given as its site: the pane's widget as the parent window,
// the input-object site, and through the command target's service provider
// the window's web browser.
class CBandSite final
    : public CComObjectRoot<CBandSite, IOleWindow, IInputObjectSite, IServiceProvider, IOleCommandTarget> {
public:
    CBandSite(QWidget* parent, IWebBrowser2* browser) : m_parent(parent), m_browser(browser) {}

    void Detach()
    {
        m_parent = nullptr;
        m_browser.Reset();
    }

    HRESULT GetWindow(HWND* window) override
    {
        if (!window)
            return E_POINTER;
        *window = m_parent.data();
        return *window ? S_OK : E_FAIL;
    }
    HRESULT ContextSensitiveHelp(BOOL) override { return S_OK; }

    HRESULT OnFocusChangeIS(IUnknown*, BOOL) override { return S_OK; }

    HRESULT QueryService(REFGUID service, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if ((service != SID_SWebBrowserApp && service != IID_IWebBrowser2) || !m_browser)
            return E_NOINTERFACE;
        return m_browser->QueryInterface(iid, object);
    }

    HRESULT QueryStatus(const GUID* group, ULONG count, OLECMD* commands, OLECMDTEXT* text) override
    {
        if (group)
            return OLECMDERR_E_UNKNOWNGROUP;
        if (count > 0 && !commands)
            return E_POINTER;
        for (ULONG i = 0; i < count; ++i)
            commands[i].cmdf = 0;
        if (text)
            text->cwActual = 0;
        return S_OK;
    }
    HRESULT Exec(const GUID* group, DWORD, DWORD, VARIANT*, VARIANT*) override
    {
        return group ? OLECMDERR_E_UNKNOWNGROUP : OLECMDERR_E_NOTSUPPORTED;
    }

private:
    QPointer<QWidget> m_parent;
    ComPtr<IWebBrowser2> m_browser;
};

namespace {

constexpr DWORD kBandId = 0;
constexpr DWORD kAllBandInfo =
    DBIM_MINSIZE | DBIM_MAXSIZE | DBIM_INTEGRAL | DBIM_ACTUAL | DBIM_TITLE | DBIM_MODEFLAGS | DBIM_BKCOLOR;

std::string TitleOf(const DESKBANDINFO& info)
{
    if (!(info.dwMask & DBIM_TITLE))
        return {};
    std::size_t length = 0;
    while (length < std::size(info.wszTitle) && info.wszTitle[length])
        ++length;
    return QString::fromUtf16(info.wszTitle, static_cast<qsizetype>(length)).toStdString();
}

DESKBANDINFO AskBandInfo(IDeskBand* band)
{
    DESKBANDINFO info{};
    info.dwMask = kAllBandInfo;
    if (FAILED(band->GetBandInfo(kBandId, DBIF_VIEWMODE_VERTICAL, &info)))
        info.dwMask = 0;
    return info;
}

}  // namespace

std::vector<OfferedBand> OfferedBands()
{
    std::vector<OfferedBand> offered;
    for (const ExplorerBar& bar : ExplorerBars()) {
        OfferedBand band{bar.clsid, {}};
        ComPtr<IDeskBand> made;
        if (SUCCEEDED(
                CoCreateInstance(bar.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDeskBand, made.PutVoid())))
            band.title = TitleOf(AskBandInfo(made.Get()));
        if (band.title.empty())
            band.title = bar.name.empty() ? GuidToString(bar.clsid) : bar.name;
        offered.push_back(band);
    }
    return offered;
}

CExplorerBarPane::CExplorerBarPane(IWebBrowser2* browser, QWidget* parent)
    : QDockWidget(parent), m_browser(browser), m_container(new QWidget(this))
{
    setObjectName("explorerBar");
    setFeatures(QDockWidget::DockWidgetClosable);
    auto* layout = new QVBoxLayout(m_container);
    layout->setContentsMargins(0, 0, 0, 0);
    setWidget(m_container);
    hide();
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        // The pane's own close button, not a tab switch or minimising.
        if (!visible && m_band && !m_closing && !isVisible())
            CloseBand();
    });
}

CExplorerBarPane::~CExplorerBarPane()
{
    blockSignals(true);  // the window is going; nobody listens any more
    CloseBand();
}

bool CExplorerBarPane::Open(const OfferedBand& offered, std::string* why)
{
    CloseBand();
    ComPtr<IDeskBand> band;
    HRESULT hr =
        CoCreateInstance(offered.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDeskBand, band.PutVoid());
    if (FAILED(hr)) {
        if (why)
            *why = "the explorer bar \"" + offered.title + "\" cannot be loaded: " + HResultText(hr);
        return false;
    }
    ComPtr<IObjectWithSite> withSite;
    hr = band.As(&withSite);
    if (FAILED(hr)) {
        if (why)
            *why = "the explorer bar \"" + offered.title + "\" takes no site: " + HResultText(hr);
        return false;
    }
    DESKBANDINFO info = AskBandInfo(band.Get());
    setWindowTitle(QString::fromStdString(TitleOf(info).empty() ? offered.title : TitleOf(info)));

    m_site.Attach(CreateComObject<CBandSite>(m_container, m_browser.Get()));
    // A band reports its own failures (its message boxes); the result is
    // S_OK whatever became of it.
    withSite->SetSite(m_site->GetUnknown());
    m_band = band;
    m_clsid = offered.clsid;

    HWND window = nullptr;
    if (SUCCEEDED(band->GetWindow(&window)) && window) {
        m_bandWindow = static_cast<QWidget*>(window);
        m_container->layout()->addWidget(m_bandWindow);
    }
    ApplySizes(info);
    band->ShowDW(TRUE);
    show();
    emit bandChanged();
    return true;
}

void CExplorerBarPane::ApplySizes(const DESKBANDINFO& info)
{
    int minimum = 0;
    if (info.dwMask & DBIM_MINSIZE)
        minimum = std::max<LONG>(0, info.ptMinSize.x);
    int maximum = QWIDGETSIZE_MAX;
    if ((info.dwMask & DBIM_MAXSIZE) && info.ptMaxSize.x >= 0)
        maximum = std::max<int>(minimum, info.ptMaxSize.x);
    int ideal = (info.dwMask & DBIM_ACTUAL) && info.ptActual.x > 0 ? info.ptActual.x : 250;
    ideal = std::clamp(ideal, minimum, maximum);
    m_container->setMinimumWidth(minimum);
    m_container->setMaximumWidth(maximum);
    if (auto* window = qobject_cast<QMainWindow*>(parentWidget()))
        window->resizeDocks({this}, {ideal}, Qt::Horizontal);
    else
        resize(ideal, height());
}

void CExplorerBarPane::CloseBand()
{
    if (!m_band)
        return;
    m_closing = true;
    m_band->CloseDW(0);
    ComPtr<IObjectWithSite> withSite;
    if (SUCCEEDED(m_band.As(&withSite)))
        withSite->SetSite(nullptr);
    withSite.Reset();
    m_site->Detach();
    m_site.Reset();
    IDeskBand* band = m_band.Detach();
    ULONG left = band->Release();
    // A band destroys its window with itself. One still held elsewhere keeps
    // its window, taken out of the pane so that the pane never deletes it
    // under the band; a window left by a band that is gone is deleted here.
    if (m_bandWindow) {
        if (left == 0) {
            m_bandWindow->deleteLater();
        } else {
            m_bandWindow->hide();
            m_bandWindow->setParent(nullptr);
        }
    }
    m_bandWindow = nullptr;
    m_clsid = CLSID{};
    hide();
    m_closing = false;
    emit bandChanged();
}

}  // namespace wys::browser_host
