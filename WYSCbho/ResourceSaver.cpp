#include "WYSCbho/ResourceSaver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "WYSCbho/LocalName.h"
#include "WYSCbho/ParseUrl.h"
#include "platform/base/CFileDescriptor.h"
#include "platform/base/FileWrite.h"

namespace wys::capture {
namespace {

// Bytes gathered from reads before they are written to the target file.
constexpr std::size_t kWriteChunk = 64 * 1024;

class InternetHandleCloser {
public:
    explicit InternetHandleCloser(HINTERNET handle) : m_handle(handle) {}
    ~InternetHandleCloser()
    {
        if (m_handle)
            InternetCloseHandle(m_handle);
    }
    InternetHandleCloser(const InternetHandleCloser&) = delete;
    InternetHandleCloser& operator=(const InternetHandleCloser&) = delete;

private:
    HINTERNET m_handle;
};

// A failed write loses this chunk only; the download goes on, as write
// errors are not a reason to give up the rest of the page.
void WriteChunk(int fd, std::string_view bytes)
{
    (void)wys::base::WriteAll(fd, bytes);
}

}  // namespace

ResourceSaver::ResourceSaver(std::string targetFolder, FileUrlCopy fileUrls, CaptureStopRef stop)
    : m_targetFolder(std::move(targetFolder)), m_fileUrls(fileUrls), m_stop(std::move(stop))
{
}

ResourceSaver::~ResourceSaver()
{
    FinishPrefetch();
    if (m_session)
        InternetCloseHandle(m_session);
}

HINTERNET ResourceSaver::Session()
{
    if (m_session)
        return m_session;
    m_session = InternetOpen(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (m_session && m_stop) {
        CaptureStopRef stop = m_stop;
        InternetSetStopCheck(m_session, [stop] { return stop->IsStopRequested(); });
    }
    return m_session;
}

bool ResourceSaver::SaveUrl(const std::string& url, const std::string& target)
{
    std::optional<UrlParts> parts = ParseUrl(url);
    if (!parts || parts->Scheme == kSchemeUnknown)
        return false;
    if (parts->Scheme == kSchemeFile) {
        if (m_fileUrls != FileUrlCopy::Allowed)
            return false;
        return CopyLocalFile(parts->UrlPath, target);
    }
    return Download(url, target);
}

bool ResourceSaver::CopyLocalFile(const std::string& path, const std::string& target)
{
    // A file URL's path is an absolute path here; several leading separators
    // ("file:////x") stand for one.
    std::size_t first = path.find_first_not_of("/\\");
    if (first == std::string::npos)
        return false;
    std::string source = "/" + path.substr(first);
    std::error_code error;
    if (!std::filesystem::is_regular_file(source, error))
        return false;
    return std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing,
                                      error);
}

ResourceSaver::Fetched ResourceSaver::Fetch(HINTERNET session, const std::string& url, std::size_t limit,
                                            const CaptureStopRef& stop)
{
    Fetched fetched;
    HINTERNET request = InternetOpenUrl(session, url.c_str(), nullptr, 0, INTERNET_FLAG_NEED_FILE, 1);
    if (!request)
        return fetched;
    InternetHandleCloser closeRequest(request);
    fetched.opened = true;
    char buffer[kTransferBuffer];
    while (!IsStopRequested(stop)) {
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request, &available, 0, 0) || available == 0) {
            fetched.complete = true;
            break;
        }
        DWORD read = 0;
        fetched.attempted = true;
        if (!InternetReadFile(request, buffer, available < kTransferBuffer ? available : kTransferBuffer,
                              &read)) {
            fetched.complete = true;  // what came before the failure is the body, as for a download
            break;
        }
        fetched.body.append(buffer, read);
        if (fetched.body.size() > limit)
            break;  // too large to hold: fetched again when saved
    }
    return fetched;
}

// Fetches running ahead of the saves: workers take the URLs in the order
// they will be saved, so a save waits at most for its own fetch.
struct ResourceSaver::PrefetchBatch {
    std::mutex mutex;
    std::condition_variable done;
    std::vector<std::string> urls;
    std::size_t next = 0;
    std::size_t budget = 0;
    // Every URL of the batch; nullopt while it is queued or being fetched.
    std::map<std::string, std::optional<Fetched>> results;
    std::set<std::string> abandoned;  // left to the download when saved
    std::vector<std::thread> workers;
};

void ResourceSaver::Prefetch(const std::set<std::string>& urls)
{
    FinishPrefetch();
    std::vector<std::string> pending;
    for (const std::string& url : urls) {
        std::optional<UrlParts> parts = ParseUrl(url);
        // What the browser loaded with the page is read from memory when
        // saved: a worker of its own would only cost a thread.
        if (parts && parts->Scheme != kSchemeUnknown && parts->Scheme != kSchemeFile &&
            !m_savedFiles.count(url) && LocalNameOf(url) && !InternetIsUrlPreloaded(url.c_str()))
            pending.push_back(url);
    }
    if (pending.size() < 2 || IsStopRequested(m_stop))
        return;
    auto batch = std::make_shared<PrefetchBatch>();
    batch->urls = std::move(pending);
    batch->budget = kMaxPrefetchBytes;
    for (const std::string& url : batch->urls)
        batch->results.emplace(url, std::nullopt);
    CaptureStopRef stop = m_stop;
    auto work = [batch, stop] {
        // Each worker its own session: one kept-alive connection per worker.
        HINTERNET session = InternetOpen(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
        InternetHandleCloser closeSession(session);
        if (session && stop)
            InternetSetStopCheck(session, [stop] { return stop->IsStopRequested(); });
        for (;;) {
            std::string url;
            std::size_t limit = 0;
            {
                std::lock_guard lock(batch->mutex);
                if (batch->next >= batch->urls.size())
                    return;
                url = batch->urls[batch->next++];
                limit = batch->budget;
            }
            Fetched fetched;
            bool usable = session && limit > 0 && !IsStopRequested(stop);
            if (usable) {
                fetched = Fetch(session, url, limit, stop);
                usable = fetched.complete && fetched.body.size() <= limit;
            }
            std::lock_guard lock(batch->mutex);
            if (usable && fetched.body.size() <= batch->budget) {
                batch->budget -= fetched.body.size();
                batch->results[url] = std::move(fetched);
            } else {
                batch->abandoned.insert(url);
            }
            batch->done.notify_all();
        }
    };
    const std::size_t count = std::min(kPrefetchConnections, batch->urls.size());
    try {
        for (std::size_t i = 0; i < count; ++i)
            batch->workers.emplace_back(work);
    } catch (const std::system_error&) {
        // Fewer workers than wanted: the ones that started do the work.
    }
    if (batch->workers.empty())
        return;
    m_prefetch = std::move(batch);
}

std::optional<ResourceSaver::Fetched> ResourceSaver::TakePrefetched(const std::string& url)
{
    if (!m_prefetch)
        return std::nullopt;
    PrefetchBatch& batch = *m_prefetch;
    std::unique_lock lock(batch.mutex);
    auto found = batch.results.find(url);
    if (found == batch.results.end())
        return std::nullopt;
    batch.done.wait(lock, [&] { return found->second.has_value() || batch.abandoned.count(url); });
    std::optional<Fetched> fetched = std::move(found->second);
    batch.results.erase(found);
    if (fetched)
        batch.budget += fetched->body.size();
    return fetched;
}

void ResourceSaver::FinishPrefetch()
{
    if (!m_prefetch)
        return;
    for (std::thread& worker : m_prefetch->workers)
        worker.join();
    m_prefetch.reset();
}

bool ResourceSaver::Download(const std::string& url, const std::string& target)
{
    if (std::optional<Fetched> prefetched = TakePrefetched(url)) {
        Fetched& fetched = *prefetched;
        if (!fetched.opened)
            return false;
        wys::base::CFileDescriptor file(
            ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
        if (!file.IsValid())
            return false;
        WriteChunk(file.Get(), fetched.body);
        return fetched.attempted;
    }
    HINTERNET session = Session();
    if (!session)
        return false;
    HINTERNET request = InternetOpenUrl(session, url.c_str(), nullptr, 0, INTERNET_FLAG_NEED_FILE, 1);
    if (!request)
        return false;
    InternetHandleCloser closeRequest(request);

    // Exclusive creation: an existing target (a file of another resource, or
    // of a capture running beside this one) is never replaced.
    wys::base::CFileDescriptor file(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!file.IsValid())
        return false;

    // Reads stay at most kTransferBuffer bytes each; the file is written in
    // larger pieces, as one write per read costs more than the read itself.
    std::string pending;
    pending.reserve(kWriteChunk);
    char buffer[kTransferBuffer];
    bool attempted = false;
    while (!IsStopRequested(m_stop)) {
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request, &available, 0, 0) || available == 0)
            break;
        DWORD read = 0;
        attempted = true;
        if (!InternetReadFile(request, buffer, available < kTransferBuffer ? available : kTransferBuffer,
                              &read))
            break;
        pending.append(buffer, read);
        if (pending.size() >= kWriteChunk) {
            WriteChunk(file.Get(), pending);
            pending.clear();
        }
    }
    WriteChunk(file.Get(), pending);
    return attempted;
}

void SaveResource(ResourceSaver& saver, const std::string& url)
{
    std::optional<std::string> name = LocalNameOf(url);
    if (!name)
        return;
    std::optional<std::string> target = FreeTargetPath(saver.TargetFolder(), *name);
    if (!target)
        return;
    if (saver.SaveUrl(url, *target))
        saver.SavedFiles().emplace(url, *target);
}

std::map<std::string, std::string> SaveAll(ResourceSaver& saver, const std::set<std::string>& urls)
{
    saver.Prefetch(urls);
    for (const std::string& url : urls) {
        if (IsStopRequested(saver.StopFlag()))
            break;
        SaveResource(saver, url);
    }
    saver.FinishPrefetch();
    return saver.SavedFiles();
}

}  // namespace wys::capture
