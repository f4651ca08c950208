#include "hosts/extension/CNativeHost.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "hosts/extension/CExtensionPort.h"
#include "hosts/extension/CExtensionTab.h"
#include "hosts/extension/CTabThread.h"
#include "hosts/extension/NavigationTarget.h"
#include "platform/browser/CompletionGate.h"

namespace wys::extension {
namespace {

// How long the band waits for the extension to take a page, and how long a
// saved copy the band opened is expected to complete.
constexpr std::chrono::seconds kNavigationWait{10};
constexpr std::chrono::seconds kSavedCopyWait{60};
// How often closed tabs are reaped and waits expired while nothing arrives.
constexpr int kHousekeepingMs = 250;
constexpr std::size_t kReadChunk = 1u << 20;
constexpr std::size_t kMaxBandConnections = 16;
// How long a tab's next page waits for the capture of the one before to
// take its document; pages no capture asks for (collection off) wait this
// long when the next one follows at once. As long as a browser window
// waits: on a loaded machine a capture takes over a second to connect to
// the history before it reads the document.
constexpr std::chrono::milliseconds kTakeWait = CCompletionGate::kPatience;
constexpr int kHeldBackMs = 10;
constexpr std::size_t kMaxHeldBack = 8;

void Say(const std::string& text)
{
    std::fprintf(stderr, "wayscribe-native-host: %s\n", text.c_str());
}

}  // namespace

struct CNativeHost::BandConnection {
    BandConnection(int descriptor, unsigned long long serial) : fd(descriptor), id(serial) {}
    ~BandConnection() { ::close(fd); }
    BandConnection(const BandConnection&) = delete;
    BandConnection& operator=(const BandConnection&) = delete;

    void Reply(const std::string& json)
    {
        std::string framed = FrameMessage(json);
        // A band that does not read its answer loses it; the host never waits for one.
        if (::send(fd, framed.data(), framed.size(), MSG_NOSIGNAL | MSG_DONTWAIT) !=
            static_cast<ssize_t>(framed.size()))
            broken = true;
    }

    int fd;
    unsigned long long id;  // descriptors are reused; this names the connection
    CNativeMessageReader reader{kMaxBandRequest};
    bool broken = false;
};

struct CNativeHost::PendingNavigation {
    unsigned long long band = 0;  // the connection that asked
    BandRequest request;
    std::chrono::steady_clock::time_point deadline;
};

CNativeHost::CNativeHost(NativeHostOptions options)
    : m_options(std::move(options)), m_port(std::make_shared<CExtensionPort>(m_options.output))
{
    std::string why;
    if (m_options.link && !m_listener.Listen(&why))
        Say("wayscribe-band cannot reach this browser: " + why);
    m_listener.Touch();
}

CNativeHost::~CNativeHost()
{
    for (auto& [tab, thread] : m_tabs)
        thread->Close();
    for (auto& [tab, thread] : m_tabs)
        m_closing.push_back(std::move(thread));
    m_tabs.clear();
    // Each tab's thread ends once its captures are done or their grace
    // time has passed; they wait side by side.
    m_closing.clear();
}

int CNativeHost::Run(int signalFd)
{
    bool ended = false;
    while (!ended) {
        std::vector<pollfd> fds;
        fds.push_back({m_options.input, POLLIN, 0});
        fds.push_back({signalFd, POLLIN, 0});
        fds.push_back({m_listener.Fd(), POLLIN, 0});
        for (auto& [fd, connection] : m_bands)
            fds.push_back({fd, POLLIN, 0});
        int ready = ::poll(fds.data(), fds.size(), m_heldBack.empty() ? kHousekeepingMs : kHeldBackMs);
        if (ready < 0 && errno != EINTR) {
            Say(std::string("cannot wait for the browser: ") + std::strerror(errno));
            break;
        }
        if (ready > 0) {
            if (fds[1].revents)
                break;
            if (fds[0].revents)
                ReadInput(&ended);
            if (fds[2].revents & POLLIN)
                AcceptBand();
            for (std::size_t i = 3; i < fds.size(); ++i) {
                if (!fds[i].revents)
                    continue;
                auto found = m_bands.find(fds[i].fd);
                if (found != m_bands.end())
                    ReadBand(*found->second);
            }
            std::erase_if(m_bands, [](const auto& entry) { return entry.second->broken; });
        }
        DeliverHeldBack();
        ReapClosedTabs();
        ExpireWaits();
    }
    if (m_reader.InsideMessage())
        Say("the browser's last message was cut off");
    return 0;
}

void CNativeHost::ReadInput(bool* ended)
{
    m_chunk.resize(kReadChunk);
    ssize_t n = ::read(m_options.input, m_chunk.data(), m_chunk.size());
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        *ended = true;
        return;
    }
    std::size_t oversized = m_reader.Oversized();
    m_reader.Feed(m_chunk.data(), static_cast<std::size_t>(n));
    while (std::optional<std::string> message = m_reader.Next())
        OnMessage(*message);
    if (m_reader.Oversized() != oversized)
        Say("a message longer than " + std::to_string(kMaxMessageFromBrowser) + " bytes was dropped");
}

void CNativeHost::OnMessage(const std::string& json)
{
    std::string why;
    std::optional<ExtensionMessage> parsed = ParseExtensionMessage(json, &why);
    if (!parsed) {
        Say("a message was refused: " + why);
        return;
    }
    ExtensionMessage& message = *parsed;
    switch (message.type) {
        case ExtensionMessageType::Hello:
            break;
        case ExtensionMessageType::Focus:
            m_listener.Touch();
            break;
        case ExtensionMessageType::TabOpened:
            Tab(message.tab, true);
            break;
        case ExtensionMessageType::TabClosed:
            CloseTab(message.tab);
            break;
        case ExtensionMessageType::Loading:
        case ExtensionMessageType::Complete:
            ToTab(std::move(message));
            break;
        case ExtensionMessageType::Navigated:
            FinishNavigation(message.request, message.tab, {});
            break;
        case ExtensionMessageType::NavigateFailed:
            FinishNavigation(message.request, -1,
                             message.text.empty() ? "the browser refused" : message.text);
            break;
    }
}

void CNativeHost::ToTab(ExtensionMessage message)
{
    CTabThread* tab = Tab(message.tab, true);
    if (!tab)
        return;
    auto held = m_heldBack.find(message.tab);
    if (held != m_heldBack.end() || tab->CompletionUntaken(kTakeWait)) {
        std::deque<ExtensionMessage>& waiting = m_heldBack[message.tab];
        // A tab cannot have loaded more pages than this within the wait: what
        // goes beyond is a misbehaving sender, and its oldest news goes.
        if (waiting.size() >= kMaxHeldBack) {
            Say("tab " + std::to_string(message.tab) +
                " sends pages faster than they can be kept; one is dropped");
            waiting.pop_front();
        }
        waiting.push_back(std::move(message));
        return;
    }
    Deliver(*tab, std::move(message));
}

void CNativeHost::Deliver(CTabThread& tab, ExtensionMessage message)
{
    if (message.type == ExtensionMessageType::Loading) {
        tab.Post([url = std::move(message.url)](CExtensionTab& browser) { browser.OnLoading(url); });
        return;
    }
    PageEvents events = ExpectedSavedCopy(message.url) ? PageEvents::Withhold : PageEvents::Fire;
    auto shared = std::make_shared<ExtensionMessage>(std::move(message));
    tab.PostCompletion([shared, events](CExtensionTab& browser, unsigned completion) {
        browser.OnComplete(completion, shared->url, shared->title, shared->snapshot,
                           std::move(shared->cookies), events);
    });
}

void CNativeHost::DeliverHeldBack()
{
    for (auto it = m_heldBack.begin(); it != m_heldBack.end();) {
        CTabThread* tab = Tab(it->first, false);
        std::deque<ExtensionMessage>& waiting = it->second;
        while (tab && !waiting.empty() && !tab->CompletionUntaken(kTakeWait)) {
            Deliver(*tab, std::move(waiting.front()));
            waiting.pop_front();
        }
        if (!tab || waiting.empty())
            it = m_heldBack.erase(it);
        else
            ++it;
    }
}

CTabThread* CNativeHost::Tab(int tab, bool create)
{
    auto found = m_tabs.find(tab);
    if (found != m_tabs.end())
        return found->second.get();
    if (!create)
        return nullptr;
    if (m_tabs.size() >= m_options.maxTabs) {
        Say("tab " + std::to_string(tab) + " is not kept: " + std::to_string(m_options.maxTabs) +
            " tabs are");
        return nullptr;
    }
    auto thread = std::make_unique<CTabThread>(tab, m_port, m_options.helperClasses);
    if (!thread->Running()) {
        Say("tab " + std::to_string(tab) + " cannot be kept: no thread for it");
        return nullptr;
    }
    return m_tabs.emplace(tab, std::move(thread)).first->second.get();
}

void CNativeHost::CloseTab(int tab)
{
    auto found = m_tabs.find(tab);
    if (found == m_tabs.end())
        return;
    found->second->Close();
    m_closing.push_back(std::move(found->second));
    m_tabs.erase(found);
    m_heldBack.erase(tab);  // pages of a closed tab are no visits any more
    if (tab == m_bandTab)
        m_bandTab = -1;
}

void CNativeHost::ReapClosedTabs()
{
    std::erase_if(m_closing, [](const std::unique_ptr<CTabThread>& thread) { return thread->HasEnded(); });
}

void CNativeHost::AcceptBand()
{
    for (int fd = m_listener.Accept(); fd >= 0; fd = m_listener.Accept()) {
        if (m_bands.size() >= kMaxBandConnections) {
            ::close(fd);
            continue;
        }
        m_bands.emplace(fd, std::make_unique<BandConnection>(fd, ++m_lastBand));
    }
}

void CNativeHost::ReadBand(BandConnection& connection)
{
    char chunk[16384];
    ssize_t n = ::recv(connection.fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        connection.broken = true;
        return;
    }
    connection.reader.Feed(chunk, static_cast<std::size_t>(n));
    while (std::optional<std::string> message = connection.reader.Next()) {
        std::string why;
        std::optional<BandRequest> request = ParseBandRequest(*message, &why);
        if (!request) {
            connection.Reply(BandReplyMessage("refused: " + why));
            continue;
        }
        OnBandRequest(connection, *request);
    }
    if (connection.reader.Oversized() > 0)
        connection.broken = true;  // a band does not send such things; this is not one
}

void CNativeHost::OnBandRequest(BandConnection& connection, const BandRequest& request)
{
    long long id = m_port->NextRequest();
    int tab = m_tabs.count(m_bandTab) ? m_bandTab : -1;
    if (!m_port->Send(NavigateMessage(id, tab, request.url))) {
        connection.Reply(BandReplyMessage("the browser is not listening"));
        return;
    }
    if (request.savedCopy)
        m_savedCopies.emplace_back(request.url, std::chrono::steady_clock::now() + kSavedCopyWait);
    m_pending[id] = {connection.id, request, std::chrono::steady_clock::now() + kNavigationWait};
}

void CNativeHost::FinishNavigation(long long request, int tab, const std::string& error)
{
    auto found = m_pending.find(request);
    if (found == m_pending.end())
        return;  // a tab's own navigation, or one given up on
    if (error.empty())
        m_bandTab = tab;
    if (BandConnection* band = Band(found->second.band))
        band->Reply(BandReplyMessage(error));
    if (!error.empty() && found->second.request.savedCopy)
        std::erase_if(m_savedCopies,
                      [&](const auto& entry) { return entry.first == found->second.request.url; });
    m_pending.erase(found);
}

CNativeHost::BandConnection* CNativeHost::Band(unsigned long long id)
{
    for (auto& [fd, connection] : m_bands) {
        if (connection->id == id && !connection->broken)
            return connection.get();
    }
    return nullptr;
}

bool CNativeHost::ExpectedSavedCopy(const std::string& url)
{
    for (auto it = m_savedCopies.begin(); it != m_savedCopies.end(); ++it) {
        if (SameAddress(it->first, url)) {
            m_savedCopies.erase(it);
            return true;
        }
    }
    return false;
}

void CNativeHost::ExpireWaits()
{
    auto now = std::chrono::steady_clock::now();
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (it->second.deadline > now) {
            ++it;
            continue;
        }
        if (BandConnection* band = Band(it->second.band))
            band->Reply(BandReplyMessage("the browser did not answer"));
        it = m_pending.erase(it);
    }
    std::erase_if(m_savedCopies, [&](const auto& entry) { return entry.second <= now; });
}

}  // namespace wys::extension
