// A minimal browser window for the band: a side area that holds the band's
// window and a stand-in for the page area that records where the band sent
// the browser. It loads the band as a browser does, by class identifier
// through the component runtime, and follows the host contract of
// platform/browser/DeskBand.h.
#pragma once

#include <QLabel>
#include <QWidget>

#include "platform/browser/DeskBand.h"
#include "platform/browser/ObjectWithSite.h"
#include "platform/com/ComPtr.h"
#include "tests/band/BandTesting.h"

class QSplitter;

namespace wys::test {

class CBandTestHost : public QWidget {
public:
    CBandTestHost();
    ~CBandTestHost() override;

    // Creates the band, sites it, asks its sizes and title, places its window
    // in the side area and shows it. The creation's result; S_OK when the
    // band was created (whether it built a window is the band's affair).
    HRESULT LoadBand(REFCLSID clsid);
    // Hides, unsites and releases the band.
    void UnloadBand();

    QWidget* SideArea() const { return m_sideArea; }
    QWidget* BandWindow() const;
    CRecordingBrowser* Browser() const { return m_browser.Get(); }
    const DESKBANDINFO& BandInfo() const { return m_info; }
    // The page area shows the last target it was sent to.
    QString PageText() const { return m_page->text(); }

private:
    QSplitter* m_splitter = nullptr;
    QWidget* m_sideArea = nullptr;
    QLabel* m_page = nullptr;
    ComPtr<CRecordingBrowser> m_browser;
    ComPtr<CTestSite> m_site;
    ComPtr<IObjectWithSite> m_band;
    DESKBANDINFO m_info{};
    HWND m_bandWindow = nullptr;
};

}  // namespace wys::test
