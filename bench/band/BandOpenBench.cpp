// How long the band takes from SetSite to a painted History tree when the
// real history server serves 100,000 visits: once with the server started
// by the band's own connection (cold), then five times with it already
// running (warm, median). Then the reads alone, side by side in alternating
// rounds: one GetData call at a time against the pipelined read the band's
// fill uses.
//
//   band_open_bench [visits] [--pin=together|apart]
//
// This machine's two processors make a round trip between two processes on
// one of them about four times cheaper than one between them; --pin puts
// the band and its server on processor 0 (together), or the band on 0 and
// the server on 1 once it runs (apart), to show what that does.
#include <QApplication>
#include <QWidget>

#include <sched.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "WYSCHelper/CIndexFile.h"
#include "WYSCHelper/CUrlRecordList.h"
#include "Wayscribe/AdvancedTree/CAdvancedTree.h"
#include "Wayscribe/AdvancedTree/CAdvancedTreeModel.h"
#include "Wayscribe/AdvancedTree/CSortedTreeItem.h"
#include "Wayscribe/band/CBandWindow.h"
#include "Wayscribe/band/CSurfBand.h"
#include "Wayscribe/historymodel/HistoryWindow.h"
#include "bench/WYSCHelper/BenchSupport.h"
#include "common/Identifiers.h"
#include "common/StringConvert.h"
#include "common/UrlBaseConnection.h"
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

// The process listening on the server's socket, 0 when none.
pid_t ServerPid(const std::string& runtime)
{
    const std::string path = runtime + "/wayscribe/com/" + GuidToString(CLSID_WYSCURLBase) + ".sock";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ucred peer{};
    socklen_t size = sizeof peer;
    const bool found = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0;
    ::close(fd);
    return found ? peer.pid : 0;
}

bool PinTo(pid_t pid, int processor)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(processor, &set);
    return ::sched_setaffinity(pid, sizeof set, &set) == 0;
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

// Every visit read with one GetData call at a time; microseconds a visit.
double ReadOneByOne(IWYSCURLBase* base, ULONG count)
{
    wys::bench::Stopwatch clock;
    for (ULONG i = 0; i < count; ++i) {
        CUrlDateHolder record;
        if (FAILED(base->GetData(record.Receive(), i)))
            return -1;
    }
    return clock.WallMs() * 1000.0 / std::max<ULONG>(count, 1);
}

// Every visit read in the band's windows of pipelined calls.
double ReadPipelined(IWYSCURLBase* base, ULONG count)
{
    wys::bench::Stopwatch clock;
    std::vector<wys::CWindowVisit> window;
    for (ULONG first = 0; first < count; first += wys::kHistoryWindow) {
        const ULONG size = std::min<ULONG>(wys::kHistoryWindow, count - first);
        if (FAILED(wys::ReadHistoryWindow(base, first, size, wys::WindowOrder::Ascending, nullptr, &window)))
            return -1;
    }
    return clock.WallMs() * 1000.0 / std::max<ULONG>(count, 1);
}

}  // namespace

int main(int argc, char** argv)
{
    int visits = 100000;
    std::string pin;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--pin=", 6) == 0)
            pin = argv[i] + 6;
        else
            visits = std::atoi(argv[i]);
    }
    if (!pin.empty() && pin != "together" && pin != "apart") {
        std::fprintf(stderr, "usage: band_open_bench [visits] [--pin=together|apart]\n");
        return 2;
    }
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
    if (!pin.empty() && !PinTo(0, 0)) {
        std::fprintf(stderr, "cannot pin to processor 0\n");
        return 1;
    }

    QApplication app(argc, argv);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        QWidget parent;
        parent.resize(300, 800);
        parent.show();
        std::size_t months = 0;
        const double cold = OpenBand(&parent, &months);
        if (pin == "apart" && !PinTo(ServerPid(home.RuntimeDir()), 1)) {
            std::fprintf(stderr, "cannot pin the server to processor 1\n");
            return 1;
        }
        std::printf("band: %d visits, %zu months%s%s\n", visits, months, pin.empty() ? "" : ", pinned ",
                    pin.c_str());
        std::printf("%-44s %9.1f ms\n", "SetSite to painted tree, server started", cold);
        std::vector<double> warm;
        for (int i = 0; i < 5; ++i)
            warm.push_back(OpenBand(&parent, &months));
        wys::bench::Print("SetSite to painted tree, server running", wys::bench::Summarise(warm));

        // What the fill spends on the calls alone, without a tree.
        ComPtr<IWYSCURLBase> base;
        ULONG count = 0;
        if (FAILED(wys::ConnectUrlBase(&base)) || FAILED(base->get_DataCount(&count))) {
            std::fprintf(stderr, "cannot reach the history\n");
            return 1;
        }
        std::vector<double> oneByOne;
        std::vector<double> pipelined;
        for (int round = 0; round < 3; ++round) {
            oneByOne.push_back(ReadOneByOne(base.Get(), count));
            pipelined.push_back(ReadPipelined(base.Get(), count));
        }
        std::printf("every visit read, no tree, median of 3 alternating rounds:\n");
        wys::bench::Print("  one GetData at a time, a visit", wys::bench::Summarise(oneByOne), "us");
        wys::bench::Print("  pipelined windows, a visit", wys::bench::Summarise(pipelined), "us");
    }
    CoUninitialize();
    // The server ends five seconds after its last client; let it save into
    // the temporary home before that goes.
    std::this_thread::sleep_for(std::chrono::milliseconds(6500));
    return 0;
}
