// wayscribe-native-host's work: the browser host of the helper objects for
// the person's own browser. The browser starts it for the extension and
// talks to it through its standard input and output (native messaging);
// every tab of a normal window the extension reports becomes a browser
// window object with the registered helper objects (CTabThread), and the
// extension's news about it (loading, completed with the page's snapshot,
// closed) goes to that tab. wayscribe-band's requests to open a page arrive
// on the host's link socket (BrowserLink.h) and are carried out by the
// extension.
//
// What arrives is never trusted: a message that is malformed, of an unknown
// kind, out of bounds or longer than the browser may send is dropped (and
// said on standard error), and the host goes on with the next one. Nothing
// a page or the extension sends is ever run.
//
// When the browser closes the channel, or a termination signal arrives,
// every tab is closed as a closing browser window is: its helper objects are
// let go, captures still running get their grace time, and the host ends.
// Killed outright, captures end with the process: nothing half-recorded.
//
// Lives on the thread that calls Run.
#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hosts/extension/BrowserLink.h"
#include "hosts/extension/ExtensionMessage.h"
#include "hosts/extension/NativeMessageReader.h"
#include "platform/com/Guid.h"

namespace wys::extension {

class CExtensionPort;
class CTabThread;

struct NativeHostOptions {
    int input = 0;   // the browser's messages
    int output = 1;  // to the browser; the host closes it at its end
    std::vector<CLSID> helperClasses;
    std::size_t maxTabs = 2000;  // tabs beyond are not attached
    bool link = true;            // offer the browser to wayscribe-band
};

class CNativeHost {
public:
    explicit CNativeHost(NativeHostOptions options);
    ~CNativeHost();
    CNativeHost(const CNativeHost&) = delete;
    CNativeHost& operator=(const CNativeHost&) = delete;

    // Serves until the channel closes or `signalFd` (may be -1) becomes
    // readable; then closes every tab and waits for them. The exit status.
    int Run(int signalFd);

private:
    struct BandConnection;
    struct PendingNavigation;

    void ReadInput(bool* ended);
    void OnMessage(const std::string& json);
    // A tab's loading and complete news, in order: held back while the
    // tab's last completed page has not been taken by its capture.
    void ToTab(ExtensionMessage message);
    void Deliver(CTabThread& tab, ExtensionMessage message);
    void DeliverHeldBack();
    CTabThread* Tab(int tab, bool create);
    void CloseTab(int tab);
    void ReapClosedTabs();
    void AcceptBand();
    void ReadBand(BandConnection& connection);
    void OnBandRequest(BandConnection& connection, const BandRequest& request);
    BandConnection* Band(unsigned long long id);
    void FinishNavigation(long long request, int tab, const std::string& error);
    bool ExpectedSavedCopy(const std::string& url);
    void ExpireWaits();

    NativeHostOptions m_options;
    std::shared_ptr<CExtensionPort> m_port;
    CNativeMessageReader m_reader{kMaxMessageFromBrowser};
    std::string m_chunk;  // what one read takes
    std::map<int, std::unique_ptr<CTabThread>> m_tabs;
    std::map<int, std::deque<ExtensionMessage>> m_heldBack;  // by tab
    std::vector<std::unique_ptr<CTabThread>> m_closing;
    CBrowserLinkListener m_listener;
    std::map<int, std::unique_ptr<BandConnection>> m_bands;  // by descriptor
    unsigned long long m_lastBand = 0;
    std::map<long long, PendingNavigation> m_pending;  // by request
    // Saved copies the band opened: their completion is not captured again.
    std::vector<std::pair<std::string, std::chrono::steady_clock::time_point>> m_savedCopies;
    int m_bandTab = -1;  // the tab the band opens its pages in
};

}  // namespace wys::extension
