#include "platform/inet/CResourcePreload.h"

#include <curl/curl.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "platform/base/AsciiText.h"
#include "platform/inet/InternetSession.h"
#include "platform/inet/ProcessCookies.h"
#include "platform/inet/UrlCombine.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long the preload's thread sleeps when nothing wakes it.
constexpr int kIdlePollMilliseconds = 1000;

// The URL as a request of the library sends it: escaped, without fragment.
std::optional<std::string> RequestUrl(const std::string& url)
{
    std::optional<std::string> escaped = CombineUrl(url, "");
    if (!escaped)
        return std::nullopt;
    std::string scheme = wys::base::AsciiLower(std::string_view(*escaped).substr(0, escaped->find(':')));
    if (scheme != "http" && scheme != "https")
        return std::nullopt;
    return escaped;
}

enum class EntryState { Pending, Done, Failed };

struct Entry {
    EntryState state = EntryState::Pending;
    PreloadedResponse response;
};

}  // namespace

struct CResourcePreload::Batch {
    std::string agent;
    PreloadFollower follow;
    Clock::time_point deadline = Clock::now() + kLifetime;

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> queue;
    std::deque<PreloadFinder> finders;     // not run yet
    std::size_t findersPending = 0;        // queued and not done
    std::set<std::string> known;           // every URL queued
    std::map<std::string, Entry> entries;  // those not taken yet
    bool ended = false;

    CURLM* multi = nullptr;  // the thread's; cleaned up under `mutex` once it ended
    std::thread worker;

    bool Expired() const { return Clock::now() >= deadline; }
    // Queues what is new among `urls`; under `mutex`.
    bool QueueLocked(const std::vector<std::string>& urls);
    void Run();
};

namespace {

struct Registry {
    std::mutex mutex;
    std::shared_ptr<CResourcePreload::Batch> current;
};

Registry& Preloads()
{
    static Registry* registry = new Registry;  // never destroyed: preloads may end after statics
    return *registry;
}

std::shared_ptr<CResourcePreload::Batch> CurrentBatch()
{
    Registry& registry = Preloads();
    std::lock_guard lock(registry.mutex);
    return registry.current;
}

// Waits under `lock` until every finder queued has run: the URL may be among
// those one is still looking for. False when `stop` (may be empty) said so.
bool WaitForFinders(CResourcePreload::Batch& batch, std::unique_lock<std::mutex>& lock,
                    const InternetStopCheck& stop)
{
    while (batch.findersPending > 0 && !batch.ended && !batch.Expired()) {
        if (stop && stop())
            return false;
        batch.changed.wait_for(lock, std::chrono::milliseconds(100));
    }
    return true;
}

// One transfer of the preload's thread.
struct Transfer {
    std::string url;
    CURL* easy = nullptr;
    PreloadedResponse response;
    std::size_t* budget = nullptr;  // body bytes the preload may still take; the thread's
    bool tooLarge = false;

    // The handle of the transfer of `url`, made and set up; null when none
    // can be had. The transfer owns it from then on.
    CURL* Start(const std::string& agent, Clock::time_point deadline)
    {
        easy = curl_easy_init();
        if (!easy)
            return nullptr;
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_USERAGENT, agent.c_str());
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(easy, CURLOPT_MAXREDIRS, CInternetSession::kMaxRedirects);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, CInternetSession::kConnectTimeoutSeconds);
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, std::max<long>(1, static_cast<long>(left.count())));
        curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
        AddProcessCookiesTo(easy);
        return easy;
    }

    static size_t OnBody(char* data, size_t size, size_t count, void* self)
    {
        auto* transfer = static_cast<Transfer*>(self);
        std::size_t bytes = size * count;
        if (bytes > *transfer->budget) {
            transfer->tooLarge = true;
            return 0;
        }
        *transfer->budget -= bytes;
        transfer->response.body.append(data, bytes);
        return bytes;
    }

    static size_t OnHeader(char* data, size_t size, size_t count, void* self)
    {
        auto* transfer = static_cast<Transfer*>(self);
        std::string_view line(data, size * count);
        if (line.starts_with("HTTP/")) {
            // Only the final response's headers count.
            transfer->response.headers.clear();
            return size * count;
        }
        std::string_view trimmed = wys::base::TrimAscii(line);
        std::size_t colon = trimmed.find(':');
        if (colon != std::string_view::npos) {
            transfer->response.headers.emplace_back(
                std::string(wys::base::TrimAscii(trimmed.substr(0, colon))),
                std::string(wys::base::TrimAscii(trimmed.substr(colon + 1))));
        }
        return size * count;
    }
};

}  // namespace

bool CResourcePreload::Batch::QueueLocked(const std::vector<std::string>& urls)
{
    bool added = false;
    for (const std::string& url : urls) {
        if (known.size() >= kMaxUrls)
            break;
        std::optional<std::string> request = RequestUrl(url);
        if (!request || !known.insert(*request).second)
            continue;
        entries.emplace(*request, Entry{});
        queue.push_back(*request);
        added = true;
    }
    return added;
}

void CResourcePreload::Batch::Run()
{
    std::vector<std::unique_ptr<Transfer>> running;
    std::size_t bytesLeft = kMaxBytes;
    for (;;) {
        PreloadFinder find;
        {
            std::lock_guard lock(mutex);
            if (ended || Expired())
                break;
            if (!finders.empty()) {
                find = std::move(finders.front());
                finders.pop_front();
            }
        }
        if (find) {
            std::vector<std::string> found;
            try {
                found = find();
            } catch (const std::exception&) {
                // Out of memory: what it would have named is asked of the server.
            }
            std::lock_guard lock(mutex);
            QueueLocked(found);
            --findersPending;
            changed.notify_all();
        }
        {
            std::lock_guard lock(mutex);
            if (ended || Expired())
                break;
            while (running.size() < kConnections && !queue.empty()) {
                auto transfer = std::make_unique<Transfer>();
                transfer->url = std::move(queue.front());
                queue.pop_front();
                transfer->budget = &bytesLeft;
                CURL* easy = transfer->Start(agent, deadline);
                if (!easy) {
                    entries[transfer->url].state = EntryState::Failed;
                    changed.notify_all();
                    continue;
                }
                if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
                    curl_easy_cleanup(easy);
                    entries[transfer->url].state = EntryState::Failed;
                    changed.notify_all();
                    continue;
                }
                running.push_back(std::move(transfer));
            }
        }
        int active = 0;
        if (curl_multi_perform(multi, &active) != CURLM_OK)
            break;
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            CURL* easy = message->easy_handle;
            CURLcode result = message->data.result;
            auto found = std::find_if(running.begin(), running.end(),
                                      [easy](const std::unique_ptr<Transfer>& t) { return t->easy == easy; });
            if (found == running.end())
                continue;
            std::unique_ptr<Transfer> transfer = std::move(*found);
            running.erase(found);
            long status = 0;
            curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
            long redirects = 0;
            curl_easy_getinfo(easy, CURLINFO_REDIRECT_COUNT, &redirects);
            KeepCookiesOf(easy);
            curl_multi_remove_handle(multi, easy);
            curl_easy_cleanup(easy);
            bool done = result == CURLE_OK && !transfer->tooLarge;
            transfer->response.status = static_cast<DWORD>(status);
            transfer->response.redirected = redirects > 0;
            std::vector<std::string> further;
            if (done && follow)
                further = follow(transfer->url, transfer->response);
            std::lock_guard lock(mutex);
            auto entry = entries.find(transfer->url);
            if (entry != entries.end()) {
                entry->second.state = done ? EntryState::Done : EntryState::Failed;
                if (done)
                    entry->second.response = std::move(transfer->response);
            }
            QueueLocked(further);
            changed.notify_all();
        }
        {
            std::lock_guard lock(mutex);
            if (running.empty() && queue.empty() && (ended || Expired()))
                break;
            // URLs a finished sheet named start at once, as do finders.
            if ((!queue.empty() && running.size() < kConnections) || !finders.empty())
                continue;
        }
        curl_multi_poll(multi, nullptr, 0, kIdlePollMilliseconds, nullptr);
    }
    for (const auto& transfer : running) {
        curl_multi_remove_handle(multi, transfer->easy);
        curl_easy_cleanup(transfer->easy);
    }
    std::lock_guard lock(mutex);
    ended = true;
    // What was not fetched is left to the requests themselves.
    for (auto& [url, entry] : entries) {
        if (entry.state == EntryState::Pending)
            entry.state = EntryState::Failed;
    }
    queue.clear();
    finders.clear();
    findersPending = 0;
    changed.notify_all();
}

CResourcePreload::CResourcePreload(std::string agent, PreloadFollower follow)
    : m_batch(std::make_shared<Batch>())
{
    static const bool curlReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    m_batch->agent = std::move(agent);
    m_batch->follow = std::move(follow);
    m_batch->multi = curlReady ? curl_multi_init() : nullptr;
    std::shared_ptr<Batch> before;
    {
        Registry& registry = Preloads();
        std::lock_guard lock(registry.mutex);
        before = std::exchange(registry.current, m_batch);
    }
    if (before) {
        std::lock_guard lock(before->mutex);
        before->ended = true;
        if (before->multi)
            curl_multi_wakeup(before->multi);
    }
    if (!m_batch->multi) {
        m_batch->ended = true;
        return;
    }
    try {
        m_batch->worker = std::thread([batch = m_batch.get()] { batch->Run(); });
    } catch (const std::system_error&) {
        // No thread: every request goes to the server, as without a preload.
        m_batch->ended = true;
    }
}

CResourcePreload::~CResourcePreload()
{
    {
        std::lock_guard lock(m_batch->mutex);
        m_batch->ended = true;
        if (m_batch->multi)
            curl_multi_wakeup(m_batch->multi);
    }
    if (m_batch->worker.joinable())
        m_batch->worker.join();
    {
        Registry& registry = Preloads();
        std::lock_guard lock(registry.mutex);
        if (registry.current == m_batch)
            registry.current.reset();
    }
    // Under the lock: a preload starting on another thread may still be
    // waking this one.
    std::lock_guard lock(m_batch->mutex);
    if (m_batch->multi)
        curl_multi_cleanup(m_batch->multi);
    m_batch->multi = nullptr;
    m_batch->entries.clear();
    m_batch->changed.notify_all();
}

void CResourcePreload::Add(const std::vector<std::string>& urls)
{
    std::lock_guard lock(m_batch->mutex);
    if (m_batch->ended)
        return;
    if (m_batch->QueueLocked(urls) && m_batch->multi)
        curl_multi_wakeup(m_batch->multi);
}

void CResourcePreload::AddFound(PreloadFinder find)
{
    std::lock_guard lock(m_batch->mutex);
    if (m_batch->ended || !find)
        return;
    m_batch->finders.push_back(std::move(find));
    ++m_batch->findersPending;
    if (m_batch->multi)
        curl_multi_wakeup(m_batch->multi);
}

bool HasPreloadedResponse(const std::string& url)
{
    std::shared_ptr<CResourcePreload::Batch> batch = CurrentBatch();
    std::optional<std::string> request = batch ? RequestUrl(url) : std::nullopt;
    if (!request)
        return false;
    std::unique_lock lock(batch->mutex);
    if (!WaitForFinders(*batch, lock, {}) || batch->Expired())
        return false;
    auto entry = batch->entries.find(*request);
    return entry != batch->entries.end() && entry->second.state != EntryState::Failed;
}

std::optional<PreloadedResponse> TakePreloadedResponse(const std::string& url, const InternetStopCheck& stop)
{
    std::shared_ptr<CResourcePreload::Batch> batch = CurrentBatch();
    std::optional<std::string> request = batch ? RequestUrl(url) : std::nullopt;
    if (!request)
        return std::nullopt;
    std::unique_lock lock(batch->mutex);
    if (!WaitForFinders(*batch, lock, stop) || batch->Expired())
        return std::nullopt;
    auto entry = batch->entries.find(*request);
    if (entry == batch->entries.end())
        return std::nullopt;
    while (entry->second.state == EntryState::Pending) {
        if (stop && stop())
            return std::nullopt;
        batch->changed.wait_for(lock, std::chrono::milliseconds(100));
    }
    if (entry->second.state != EntryState::Done)
        return std::nullopt;
    PreloadedResponse response = std::move(entry->second.response);
    batch->entries.erase(entry);
    return response;
}
