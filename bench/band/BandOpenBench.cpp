// How long the band takes from SetSite to a painted History tree when the
// real history server serves 100,000 visits: once with the server started
// by the band's own connection (cold), then with it already running (warm).
//
//   band_open_bench [visits]
#include <QApplication>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "WYSCHelper/CIndexFile.h"
#include "WYSCHelper/CUrlRecordList.h"
#include "Wayscribe/AdvancedTree/CAdvancedTree.h"
#include "Wayscribe/AdvancedTree/CAdvancedTreeModel.h"
#include "Wayscribe/AdvancedTree/CSortedTreeItem.h"
#include "Wayscribe/band/CBandWindow.h"
#include "Wayscribe/band/CSurfBand.h"
#include "Wayscribe/tools/UrlBaseConnection.h"
#include "bench/WYSCHelper/BenchSupport.h"
#include "common/StringConvert.h"
#include "platform/registry/Registry.h"
#include "platform/rpc/Apartment.h"
#include "tests/support/TempHome.h"

namespace {

// The window a browser gives its band, and nothing else.
class CBenchSite final : public CComObjectRoot<CBenchSite, IOleWindow, IInputObjectSite> {
public:
    explicit CBenchSite(QWidget* parent) : m_parent(parent) {}
    HRESULT GetWindow(HWND* window) override
    {
        *window = m_parent;
        return S_OK;
    }
    HRESULT ContextSensitiveHelp(BOOL) override { return S_OK; }
    HRESULT OnFocusChangeIS(IUnknown*, BOOL) override { return S_OK; }

private:
    QWidget* m_parent;
};

// A year of browsing: a visit every five minutes over 5,000 distinct pages,
// so that pages recur within a day and get time nodes.
void WriteHistory(const std::string& folder, int visits)
{
    CUrlRecordList list;
    const std::int64_t start = 1704067200;  // 2024-01-01
    for (int i = 0; i < visits; ++i)
        list.Append(wys::bench::VisitRecord(start + std::int64_t(i) * 300, i % 5000));
    if (!CIndexFile::Write(CIndexFile::PathIn(folder), list))
        throw std::runtime_error("cannot write the index file");
}

void SetBasePath(const std::string& folder)
{
    HKEY key = nullptr;
    RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Quillonix\\WYSCUrlBase", 0, nullptr, 0, KEY_WRITE, nullptr,
                   &key, nullptr);
    RegSetValueEx(key, "BasePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                  static_cast<DWORD>(folder.size() + 1));
    const std::int64_t keepForever = 0;
    RegSetValueEx(key, "HistoryRange", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&keepForever),
                  sizeof keepForever);
    RegCloseKey(key);
}

// SetSite up to the first paint of the tree, in milliseconds.
double OpenBand(QWidget* parent, std::size_t* months)
{
    ComPtr<CBenchSite> site(new CBenchSite(parent));
    wys::bench::Stopwatch clock;
    ComPtr<CSurfBand> band(new CSurfBand());
    band->SetSite(site->GetUnknown());
    band->ShowDW(TRUE);
    CBandWindow* window = band->BandWindow();
    if (!window)
        throw std::runtime_error("the band built no window");
    window->HistoryTree()->repaint();
    QApplication::processEvents();
    const double elapsed = clock.WallMs();
    *months = band->Root()->GetChildCount();
    band->CloseDW(0);
    band->SetSite(nullptr);
    return elapsed;
}

}  // namespace

int main(int argc, char** argv)
{
    const int visits = argc > 1 ? std::atoi(argv[1]) : 100000;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("TZ", "UTC", 1);
    wys::test::TempHome home;
    const std::string history = home.Path() + "/history";
    std::filesystem::create_directories(history);
    const std::string server = WYS_SERVER_PROGRAM;
    if (std::system((server + " /RegServer").c_str()) != 0) {
        std::fprintf(stderr, "cannot register %s\n", server.c_str());
        return 1;
    }
    SetBasePath(history);
    WriteHistory(history, visits);

    QApplication app(argc, argv);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        QWidget parent;
        parent.resize(300, 800);
        parent.show();
        std::size_t months = 0;
        const double cold = OpenBand(&parent, &months);
        std::printf("band: %d visits, %zu months\n", visits, months);
        std::printf("%-44s %9.1f ms\n", "SetSite to painted tree, server started", cold);
        std::vector<double> warm;
        for (int i = 0; i < 5; ++i)
            warm.push_back(OpenBand(&parent, &months));
        wys::bench::Print("SetSite to painted tree, server running", wys::bench::Summarise(warm));
        // What the fill spends on the calls alone: one GetData per visit.
        ComPtr<IWYSCURLBase> base;
        if (SUCCEEDED(wys::ConnectUrlBase(&base))) {
            wys::bench::Stopwatch clock;
            ULONG count = 0;
            base->get_DataCount(&count);
            for (ULONG i = 0; i < count; ++i) {
                CUrlDateHolder record;
                base->GetData(record.Receive(), i);
            }
            std::printf("%-44s %9.1f ms (%.1f us a call)\n", "GetData of every visit, no tree",
                        clock.WallMs(), clock.WallMs() * 1000.0 / std::max<ULONG>(count, 1));
        }
    }
    CoUninitialize();
    // The server ends five seconds after its last client; let it save into
    // the temporary home before that goes.
    std::this_thread::sleep_for(std::chrono::milliseconds(6500));
    return 0;
}
