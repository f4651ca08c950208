#include "hosts/band/CBandHostWindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QStatusBar>
#include <QVBoxLayout>
#include <cstdio>

#include "common/Identifiers.h"
#include "platform/com/ComObject.h"

namespace wys::band_host {

using browser_host::CExplorerBarPane;
using browser_host::OfferedBand;

CBandHostWindow::CBandHostWindow(BandHostOptions options, QWidget* parent)
    : QMainWindow(parent), m_opener(new CBrowserOpener(std::move(options.desktop), this))
{
    setWindowTitle("Wayscribe");
    resize(420, 720);
    m_browser.Attach(CreateComObject<CBandBrowser>(m_opener));
    // The pane fills the window: it is not docked, and neither closes nor
    // moves on its own.
    auto* content = new QWidget(this);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pane = new CExplorerBarPane(m_browser.Get(), content);
    m_pane->setFeatures(QDockWidget::NoDockWidgetFeatures);
    m_pane->setTitleBarWidget(new QWidget(m_pane));
    layout->addWidget(m_pane);
    auto* placeholder = new QLabel(content);
    placeholder->setObjectName("placeholder");
    placeholder->hide();
    layout->addWidget(placeholder);
    setCentralWidget(content);

    connect(m_opener, &CBrowserOpener::opened, this,
            [this](const QString& url, OpenedBy how, const QString& detail) {
                switch (how) {
                    case OpenedBy::Browser:
                        Report("Opened in your browser: " + url, false);
                        break;
                    case OpenedBy::Desktop:
                        Report("Opened with the desktop (" + detail + "): " + url, false);
                        break;
                    case OpenedBy::Nothing:
                        Report("Could not open " + url + ": " + detail, true);
                        break;
                }
            });

    CLSID clsid = options.band.value_or(CLSID_SurfBand);
    std::string title;
    for (const OfferedBand& offered : browser_host::OfferedBands()) {
        if (offered.clsid == clsid)
            title = offered.title;
    }
    std::string why;
    if (title.empty()) {
        why = "no explorer bar " + GuidToString(clsid) + " is installed";
    } else if (m_pane->Open(OfferedBand{clsid, title}, &why)) {
        setWindowTitle(QString::fromStdString(title) + " - Wayscribe");
        m_pane->setFeatures(QDockWidget::NoDockWidgetFeatures);
        return;
    }
    placeholder->show();
    placeholder->setWordWrap(true);
    placeholder->setMargin(12);
    placeholder->setText(QString::fromStdString("The history band cannot be shown: " + why));
    Report(QString::fromStdString(why), true);
}

CBandHostWindow::~CBandHostWindow()
{
    m_pane->CloseBand();
}

void CBandHostWindow::closeEvent(QCloseEvent* event)
{
    m_pane->CloseBand();
    event->accept();
}

void CBandHostWindow::Report(const QString& text, bool alsoOnStandardError)
{
    statusBar()->showMessage(text);
    if (alsoOnStandardError)
        std::fprintf(stderr, "wayscribe-band: %s\n", text.toLocal8Bit().constData());
}

QString CBandHostWindow::StatusText() const
{
    return statusBar()->currentMessage();
}

}  // namespace wys::band_host
