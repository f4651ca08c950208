#include "tests/band/CBandTestHost.h"

#include <QResizeEvent>
#include <QSplitter>
#include <QVBoxLayout>

#include "common/StringConvert.h"
#include "platform/rpc/Activation.h"

namespace wys::test {
namespace {

// Keeps the band's window the size of the side area, as a browser sizes its
// explorer bar.
class CSideArea : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        for (QObject* child : children())
            if (auto* widget = qobject_cast<QWidget*>(child))
                widget->setGeometry(rect());
    }
};

}  // namespace

CBandTestHost::CBandTestHost()
{
    setWindowTitle(QStringLiteral("Band test host"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_splitter = new QSplitter(this);
    m_sideArea = new CSideArea(m_splitter);
    m_page = new QLabel(m_splitter);
    m_page->setAlignment(Qt::AlignCenter);
    m_splitter->addWidget(m_sideArea);
    m_splitter->addWidget(m_page);
    m_splitter->setSizes({280, 520});
    layout->addWidget(m_splitter);
    resize(800, 600);
    m_browser = ComPtr<CRecordingBrowser>(new CRecordingBrowser());
    m_browser->NavigateListener = [this](const std::string& target) {
        m_page->setText(QString::fromStdString(target));
    };
    m_site = ComPtr<CTestSite>(new CTestSite(m_sideArea, m_browser.Get()));
}

CBandTestHost::~CBandTestHost()
{
    UnloadBand();
}

HRESULT CBandTestHost::LoadBand(REFCLSID clsid)
{
    UnloadBand();
    HRESULT hr =
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IObjectWithSite, m_band.PutVoid());
    if (FAILED(hr))
        return hr;
    m_band->SetSite(m_site->GetUnknown());
    ComPtr<IDeskBand> deskBand;
    if (SUCCEEDED(m_band->QueryInterface(IID_IDeskBand, deskBand.PutVoid()))) {
        m_info = {};
        m_info.dwMask = DBIM_MINSIZE | DBIM_MAXSIZE | DBIM_INTEGRAL | DBIM_ACTUAL | DBIM_TITLE |
                        DBIM_MODEFLAGS | DBIM_BKCOLOR;
        deskBand->GetBandInfo(0, DBIF_VIEWMODE_VERTICAL, &m_info);
        deskBand->GetWindow(&m_bandWindow);
        if (auto* window = static_cast<QWidget*>(m_bandWindow))
            window->setGeometry(m_sideArea->rect());
        deskBand->ShowDW(TRUE);
    }
    return S_OK;
}

void CBandTestHost::UnloadBand()
{
    if (!m_band)
        return;
    ComPtr<IDockingWindow> docking;
    if (SUCCEEDED(m_band->QueryInterface(IID_IDockingWindow, docking.PutVoid())))
        docking->CloseDW(0);
    m_band->SetSite(nullptr);
    m_band = nullptr;
    m_bandWindow = nullptr;
}

QWidget* CBandTestHost::BandWindow() const
{
    return static_cast<QWidget*>(m_bandWindow);
}

}  // namespace wys::test
