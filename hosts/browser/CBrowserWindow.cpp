#include "hosts/browser/CBrowserWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QProgressBar>
#include <QStatusBar>
#include <QToolBar>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <cstdio>

#include "hosts/browser/CookieSharing.h"
#include "platform/registry/RegKey.h"
#include "platform/registry/Registry.h"
#include "platform/rpc/Activation.h"

namespace wys::browser_host {
namespace {

// A page that opens the windows its links and scripts ask for in a new
// process: the new page only learns the address, then goes away.
class CBrowserPage final : public QWebEnginePage {
public:
    CBrowserPage(QWebEngineProfile* profile, std::function<void(const QUrl&)> openNewWindow, QObject* parent)
        : QWebEnginePage(profile, parent), m_openNewWindow(std::move(openNewWindow))
    {
    }

protected:
    QWebEnginePage* createWindow(WebWindowType) override
    {
        auto* page = new QWebEnginePage(profile(), this);
        auto open = m_openNewWindow;
        connect(page, &QWebEnginePage::urlChanged, page, [page, open](const QUrl& url) {
            if (url.isEmpty())
                return;
            if (open)
                open(url);
            page->deleteLater();
        });
        return page;
    }

private:
    std::function<void(const QUrl&)> m_openNewWindow;
};

void WriteRememberedBar(const std::string& text)
{
    CRegKey key;
    if (key.Create(HKEY_CURRENT_USER, kBrowserSettingsKey, KEY_WRITE) != ERROR_SUCCESS)
        return;  // not remembering the pane only costs the user a click next time
    RegSetValueEx(key, kExplorerBarValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                  static_cast<DWORD>(text.size() + 1));
}

}  // namespace

QString BrowserProgram()
{
    QFileInfo beside(QCoreApplication::applicationDirPath() + "/wayscribe-browser");
    if (beside.isExecutable())
        return beside.filePath();
    return "wayscribe-browser";
}

std::optional<CLSID> RememberedExplorerBar()
{
    CRegKey key;
    if (key.Open(HKEY_CURRENT_USER, kBrowserSettingsKey, KEY_READ) != ERROR_SUCCESS)
        return std::nullopt;
    char text[64] = {};
    DWORD size = sizeof text - 1;
    DWORD type = 0;
    LONG result =
        RegQueryValueEx(key, kExplorerBarValue, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    if (result != ERROR_SUCCESS || type != REG_SZ)
        return std::nullopt;
    return GuidFromString(text);
}

CBrowserWindow::CBrowserWindow(BrowserWindowOptions options, QWidget* parent)
    : QMainWindow(parent),
      m_options(std::move(options)),
      m_view(new QWebEngineView(this)),
      m_address(new QLineEdit(this)),
      m_progress(new QProgressBar(this))
{
    if (!m_options.openNewWindow) {
        m_options.openNewWindow = [](const QUrl& url) {
            QProcess::startDetached(BrowserProgram(), {url.toString()});
        };
    }
    auto* page = new CBrowserPage(QWebEngineProfile::defaultProfile(), m_options.openNewWindow, m_view);
    m_view->setPage(page);
    setCentralWidget(m_view);
    resize(1100, 760);
    setWindowTitle("Wayscribe");

    auto* toolbar = addToolBar("Navigation");
    toolbar->setObjectName("navigation");
    toolbar->setMovable(false);
    toolbar->addAction(m_view->pageAction(QWebEnginePage::Back));
    toolbar->addAction(m_view->pageAction(QWebEnginePage::Forward));
    toolbar->addAction(m_view->pageAction(QWebEnginePage::Reload));
    toolbar->addAction(m_view->pageAction(QWebEnginePage::Stop));
    m_address->setObjectName("address");
    m_address->setClearButtonEnabled(true);
    toolbar->addWidget(m_address);
    connect(m_address, &QLineEdit::returnPressed, this, [this] { NavigateTo(m_address->text()); });

    m_progress->setObjectName("progress");
    m_progress->setRange(0, 100);
    m_progress->setMaximumWidth(160);
    m_progress->hide();
    statusBar()->addPermanentWidget(m_progress);

    connect(m_view, &QWebEngineView::urlChanged, this,
            [this](const QUrl& url) { m_address->setText(url.toString(QUrl::PreferLocalFile)); });
    connect(m_view, &QWebEngineView::titleChanged, this, [this](const QString& title) {
        setWindowTitle(title.isEmpty() ? QString("Wayscribe") : title + " - Wayscribe");
    });
    connect(m_view, &QWebEngineView::loadStarted, this, [this] {
        m_progress->setValue(0);
        m_progress->show();
        statusBar()->showMessage("Loading " + m_view->url().toString());
    });
    connect(m_view, &QWebEngineView::loadProgress, m_progress, &QProgressBar::setValue);
    connect(m_view, &QWebEngineView::loadFinished, this, [this](bool ok) {
        m_progress->hide();
        if (ok)
            statusBar()->showMessage("Done", 5000);
        else
            statusBar()->showMessage("The page could not be loaded: " + m_view->url().toString());
    });
    connect(page, &QWebEnginePage::linkHovered, this, [this](const QString& url) {
        if (!url.isEmpty())
            statusBar()->showMessage(url, 3000);
    });
    // A download is no document: it goes to the downloads folder and is not captured.
    connect(
        page->profile(), &QWebEngineProfile::downloadRequested, this,
        [this](QWebEngineDownloadRequest* download) {
            if (download->page() != m_view->page())
                return;
            download->accept();
            Report("Downloading " + download->downloadFileName() + " to " + download->downloadDirectory());
        });

    ShareProfileCookies(page->profile(), this);

    m_browser.Attach(CreateComObject<CQtWebBrowser>(m_view, this));
    // What became of the page's capture stays on the status line until the
    // next page loads.
    m_browser->onStatusText = [this](const std::string& text) {
        statusBar()->showMessage(QString::fromStdString(text));
    };
    m_pane = new CExplorerBarPane(m_browser.Get(), this);
    addDockWidget(Qt::LeftDockWidgetArea, m_pane);
    connect(m_pane, &CExplorerBarPane::bandChanged, this, [this] {
        if (!m_detached)
            RememberExplorerBar();
    });

    BuildViewMenu();
    AttachHelperObjects(m_options.helperClasses ? *m_options.helperClasses : BrowserHelperObjects());
}

CBrowserWindow::~CBrowserWindow()
{
    DetachAll();
}

void CBrowserWindow::closeEvent(QCloseEvent* event)
{
    DetachAll();
    event->accept();
}

void CBrowserWindow::AttachHelperObjects(const std::vector<CLSID>& classes)
{
    for (const CLSID& clsid : classes) {
        ComPtr<IObjectWithSite> helper;
        HRESULT hr =
            CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IObjectWithSite, helper.PutVoid());
        if (SUCCEEDED(hr))
            hr = helper->SetSite(m_browser->GetUnknown());
        if (FAILED(hr)) {
            // One helper object that fails costs its service, not the window.
            std::fprintf(stderr, "wayscribe-browser: helper object %s not attached: %s\n",
                         GuidToString(clsid).c_str(), HResultText(hr).c_str());
            if (helper)
                helper->SetSite(nullptr);
            continue;
        }
        m_helpers.push_back(helper);
    }
}

void CBrowserWindow::DetachAll()
{
    if (m_detached)
        return;
    m_detached = true;
    m_pane->CloseBand();
    // Helper objects let go of the window while it still answers them: a
    // capture still running reads the document through it.
    for (auto& helper : m_helpers)
        helper->SetSite(nullptr);
    m_helpers.clear();
    m_browser->onStatusText = nullptr;
    m_browser->Stop();
    m_browser->DetachView();
}

void CBrowserWindow::BuildViewMenu()
{
    QMenu* view = menuBar()->addMenu("&View");
    view->setObjectName("viewMenu");
    m_barMenu = view->addMenu("&Explorer Bar");
    m_barMenu->setObjectName("explorerBarMenu");
    m_bands = OfferedBands();
    if (m_bands.empty()) {
        m_barMenu->addAction("(none installed)")->setEnabled(false);
        return;
    }
    auto* group = new QActionGroup(this);
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (const OfferedBand& band : m_bands) {
        QAction* action = m_barMenu->addAction(QString::fromStdString(band.title));
        action->setCheckable(true);
        action->setData(QString::fromStdString(GuidToString(band.clsid)));
        group->addAction(action);
        CLSID clsid = band.clsid;
        connect(action, &QAction::triggered, this, [this, clsid](bool checked) {
            if (checked)
                OpenExplorerBar(clsid);
            else
                m_pane->CloseBand();
        });
    }
    connect(m_pane, &CExplorerBarPane::bandChanged, this, [this] {
        for (QAction* action : m_barMenu->actions()) {
            auto clsid = GuidFromString(action->data().toString().toStdString());
            action->setChecked(m_pane->IsOpen() && clsid && *clsid == m_pane->OpenBand());
        }
    });
}

bool CBrowserWindow::OpenExplorerBar(REFCLSID clsid)
{
    for (const OfferedBand& band : m_bands) {
        if (band.clsid != clsid)
            continue;
        std::string why;
        if (m_pane->Open(band, &why)) {
            statusBar()->clearMessage();
            return true;
        }
        Report(QString::fromStdString(why));
        return false;
    }
    Report(QString::fromStdString("no explorer bar " + GuidToString(clsid) + " is installed"));
    return false;
}

void CBrowserWindow::RememberExplorerBar()
{
    WriteRememberedBar(m_pane->IsOpen() ? GuidToString(m_pane->OpenBand()) : std::string());
}

void CBrowserWindow::NavigateTo(const QString& target)
{
    CComBSTR url(target.trimmed().toStdString());
    HRESULT hr = m_browser->Navigate(url, nullptr, nullptr, nullptr, nullptr);
    if (FAILED(hr))
        Report("Cannot go to \"" + target + "\"");
}

void CBrowserWindow::Report(const QString& text)
{
    statusBar()->showMessage(text);
    std::fprintf(stderr, "wayscribe-browser: %s\n", text.toLocal8Bit().constData());
}

QString CBrowserWindow::StatusText() const
{
    return statusBar()->currentMessage();
}

}  // namespace wys::browser_host
