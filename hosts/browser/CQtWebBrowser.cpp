#include "hosts/browser/CQtWebBrowser.h"

#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <chrono>

#include "hosts/browser/PageSnapshot.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComError.h"

namespace wys::browser_host {
namespace {

// How often a page still settling after its load is asked again, and how
// often at the most: the script itself settles within a second.
constexpr std::chrono::milliseconds kSnapshotRetry{25};
constexpr int kSnapshotTries = 200;

bool IsAbsent(const VARIANT* argument)
{
    return !argument || argument->vt == VT_EMPTY || argument->vt == VT_ERROR;
}

}  // namespace

QUrl UrlOfNavigationTarget(const std::string& target)
{
    QString text = QString::fromStdString(target).trimmed();
    if (text.isEmpty())
        return {};
    if (text.startsWith('/')) {
        text.replace('\\', '/');
        return QUrl::fromLocalFile(text);
    }
    QUrl url(text, QUrl::StrictMode);
    if (url.isValid() && !url.scheme().isEmpty())
        return url;
    return QUrl::fromUserInput(text);
}

CQtWebBrowser::CQtWebBrowser(QWebEngineView* view, QWidget* window)
    : m_view(view), m_window(window), m_connections(std::make_unique<QObject>())
{
    QObject::connect(view, &QWebEngineView::loadStarted, m_connections.get(), [this] { OnLoadStarted(); });
    QObject::connect(view, &QWebEngineView::loadFinished, m_connections.get(),
                     [this](bool ok) { OnLoadFinished(ok); });
}

CQtWebBrowser::~CQtWebBrowser() = default;

void CQtWebBrowser::DetachView()
{
    m_connections = std::make_unique<QObject>();
    m_view = nullptr;
    m_window = nullptr;
    ++m_generation;
    m_busy = false;
}

HRESULT CQtWebBrowser::Navigate(BSTR url, VARIANT* flags, VARIANT* targetFrameName, VARIANT* postData,
                                VARIANT* headers)
{
    return ComBoundary([&]() -> HRESULT {
        if (SysStringLen(url) == 0)
            return E_INVALIDARG;
        if (!IsAbsent(flags) || !IsAbsent(targetFrameName) || !IsAbsent(postData) || !IsAbsent(headers))
            return E_NOTIMPL;
        QUrl target = UrlOfNavigationTarget(CComBSTR::CopyOf(url).ToUtf8());
        if (!target.isValid())
            return E_INVALIDARG;
        if (!m_view)
            return E_FAIL;
        OnLoadStarted();
        m_view->load(target);
        return S_OK;
    });
}

void CQtWebBrowser::OnStatusText()
{
    if (onStatusText)
        onStatusText(m_statusText);
}

void CQtWebBrowser::OnLoadStarted()
{
    m_statusText.clear();
    ++m_generation;
    m_readyState = READYSTATE_LOADING;
    m_busy = true;
}

void CQtWebBrowser::OnLoadFinished(bool ok)
{
    if (!m_view)
        return;
    if (!ok) {
        // A failed load, a stopped one or a download: no document of it is
        // handed out, so nothing is captured.
        ++m_generation;
        m_busy = false;
        m_readyState = m_document ? READYSTATE_COMPLETE : READYSTATE_UNINITIALIZED;
        return;
    }
    RequestSnapshot(++m_generation, 0);
}

void CQtWebBrowser::RequestSnapshot(unsigned generation, int tries)
{
    if (generation != m_generation || !m_view)
        return;
    ComPtr<CQtWebBrowser> keep(this);  // the script's answer may come after the window let go
    m_view->page()->runJavaScript(QString::fromUtf8(kSnapshotScript), QWebEngineScript::ApplicationWorld,
                                  [keep, generation, tries](const QVariant& result) {
                                      keep->OnSnapshotAnswer(generation, tries, result);
                                  });
}

void CQtWebBrowser::OnSnapshotAnswer(unsigned generation, int tries, const QVariant& result)
{
    // Null while the page settles after its load. A page that runs no
    // script for us answers null for ever: after a few seconds it is taken
    // as having no document.
    if (result.isNull() && tries < kSnapshotTries) {
        ComPtr<CQtWebBrowser> keep(this);
        QTimer::singleShot(kSnapshotRetry, m_connections.get(),
                           [keep, generation, tries] { keep->RequestSnapshot(generation, tries + 1); });
        return;
    }
    OnSnapshot(generation, result.toString());
}

void CQtWebBrowser::OnSnapshot(unsigned generation, const QString& json)
{
    if (generation != m_generation || !m_view)
        return;
    // The page before may still be waiting for its capture to read it: this
    // one is shown, but handed to the helper objects once that is done.
    if (auto wait = m_gate->Remaining(); wait.count() > 0) {
        m_held = Held{generation, json};
        ComPtr<CQtWebBrowser> keep(this);
        QTimer::singleShot(wait, m_connections.get(), [keep] { keep->ReleaseHeld(); });
        return;
    }
    m_held.reset();
    ComPtr<CQtWebBrowser> keep(this);  // sinks may release the window's last reference
    // The address bar may show an address that a script put there
    // (history.replaceState); the page is the one its navigation loaded. A
    // saved archive opened from disk is named by its file.
    const QUrl shown = m_view->url();
    const std::string text = json.toStdString();
    std::string pageUrl = SnapshotUrl(text);
    if (shown.isLocalFile() || pageUrl.empty())
        pageUrl = shown.toString(QUrl::FullyEncoded).toStdString();
    PageSnapshot snapshot = BuildPageSnapshot(text, pageUrl);
    m_busy = false;
    if (!snapshot.document) {
        // The page ran no script for us (it went away meanwhile): it shows
        // no document of the object model, as a download shows none.
        m_readyState = m_document ? READYSTATE_COMPLETE : READYSTATE_UNINITIALIZED;
        return;
    }
    m_document = snapshot.document;
    m_url = pageUrl;
    m_title = m_view->title().toStdString();
    if (m_title.empty())
        m_title = snapshot.title;

    m_readyState = READYSTATE_INTERACTIVE;
    for (std::size_t i = 0; i + 1 < snapshot.completed.size(); ++i) {
        if (!FireDocumentComplete(generation, snapshot.completed[i].document.Get(),
                                  snapshot.completed[i].url))
            return;
    }
    m_readyState = READYSTATE_COMPLETE;
    if (!FirePageComplete([&] {
            return FireDocumentComplete(generation, snapshot.completed.back().document.Get(),
                                        snapshot.completed.back().url);
        }))
        return;
    if (onDocumentsReady)
        onDocumentsReady();
}

void CQtWebBrowser::OnDocumentTaken()
{
    if (!m_held)
        return;
    ComPtr<CQtWebBrowser> keep(this);
    QTimer::singleShot(0, m_connections.get(), [keep] { keep->ReleaseHeld(); });
}

void CQtWebBrowser::ReleaseHeld()
{
    if (!m_held)
        return;
    Held held = std::move(*m_held);
    m_held.reset();
    OnSnapshot(held.generation, held.json);
}

bool CQtWebBrowser::FireDocumentComplete(unsigned generation, IDispatch* document, const std::string& url)
{
    CComBSTR text(url);
    VARIANT documentArgument;
    VariantInit(&documentArgument);
    documentArgument.vt = VT_DISPATCH;
    documentArgument.pdispVal = document;
    VARIANT location;
    VariantInit(&location);
    location.vt = VT_BSTR;
    location.bstrVal = text;
    // A failing sink stops the delivery to later sinks but not the load's end.
    (void)FireDispatchEvent(m_events.Sinks(), DISPID_DOCUMENTCOMPLETE, {documentArgument, location});
    return generation == m_generation;
}

HRESULT CQtWebBrowser::Stop()
{
    if (m_view && m_busy)
        m_view->stop();
    if (m_busy) {
        ++m_generation;
        m_busy = false;
        m_readyState = m_document ? READYSTATE_COMPLETE : READYSTATE_UNINITIALIZED;
    }
    return S_OK;
}

HRESULT CQtWebBrowser::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = m_window.data();
    return *window ? S_OK : E_FAIL;
}

}  // namespace wys::browser_host
