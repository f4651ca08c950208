#include "WYSCHelper/CContentIndexer.h"

#include <new>
#include <unordered_set>

#include "WYSCHelper/CSavedCopyPath.h"

using Status = CContentIndexFile::Status;

CContentIndexer::CContentIndexer()
{
    m_thread = std::thread([this] { Run(); });
}

CContentIndexer::~CContentIndexer()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void CContentIndexer::Open(std::string folder, std::vector<std::string> paths)
{
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back({Kind::Open, std::move(folder), std::move(paths)});
        ++m_requested;
    }
    m_wake.notify_all();
}

void CContentIndexer::Add(std::string path)
{
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back({Kind::Add, std::move(path), {}});
        ++m_requested;
    }
    m_wake.notify_all();
}

void CContentIndexer::Remove(std::string path)
{
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back({Kind::Remove, std::move(path), {}});
        ++m_requested;
    }
    m_wake.notify_all();
}

bool CContentIndexer::WaitUntilIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    const std::uint64_t wanted = m_requested;
    return m_idle.wait_for(lock, timeout, [&] { return m_done >= wanted && !m_busy; });
}

bool CContentIndexer::UnindexedPaths(std::vector<std::string>* paths) const
{
    paths->clear();
    std::lock_guard lock(m_mutex);
    if (m_done < m_requested || m_busy || !m_inStep)
        return false;
    *paths = m_unheldPublished;
    return true;
}

CContentIndexer::Statistics CContentIndexer::GetStatistics() const
{
    std::lock_guard lock(m_mutex);
    return m_statistics;
}

void CContentIndexer::Run()
{
    for (;;) {
        std::deque<Request> requests;
        {
            std::unique_lock lock(m_mutex);
            m_busy = !m_backlog.empty() || m_needsSync;
            if (!m_busy)
                m_idle.notify_all();
            const auto ready = [&] {
                return m_stop || !m_requests.empty() || !m_backlog.empty() ||
                       (m_needsSync && std::chrono::steady_clock::now() >= m_retryAt);
            };
            if (m_needsSync && m_backlog.empty())
                m_wake.wait_until(lock, m_retryAt, ready);
            else
                m_wake.wait_for(lock, kCheckWhileIdle, ready);
            if (m_stop)
                break;
            requests.swap(m_requests);
            m_busy = true;
        }
        // An index deleted or replaced under the server is made anew.
        if (m_index && !m_index->IsStillInPlace()) {
            Close();
            m_needsSync = true;
            m_retryAt = {};
        }
        for (Request& request : requests)
            Apply(request);
        if (m_needsSync && std::chrono::steady_clock::now() >= m_retryAt)
            Synchronize();
        IndexBacklog();
        {
            std::lock_guard lock(m_mutex);
            m_done += requests.size();
            m_inStep = m_index && !m_needsSync && m_backlog.empty();
            // Pages that could not be read are few: copied as they stand.
            m_unheldPublished.assign(m_unheld.begin(), m_unheld.end());
        }
    }
    Close();
}

void CContentIndexer::Apply(Request& request)
{
    switch (request.kind) {
        case Kind::Open:
            Close();
            m_folder = std::move(request.text);
            m_known.clear();
            m_unheld.clear();
            for (std::string& path : request.paths)
                ++m_known[std::move(path)];
            m_backlog.clear();
            m_needsSync = true;
            m_retryAt = {};
            return;
        case Kind::Add:
            ++m_known[request.text];
            // Read before the pages still missing, in the next batch, when the
            // index is in step; otherwise the next synchronisation finds it
            // missing.
            if (m_index && !m_needsSync)
                m_backlog.push_front(request.text);
            return;
        case Kind::Remove: {
            auto known = m_known.find(request.text);
            if (known != m_known.end() && --known->second <= 0) {
                m_known.erase(known);
                m_unheld.erase(request.text);
            }
            for (auto it = m_backlog.begin(); it != m_backlog.end(); ++it) {
                if (*it == request.text) {
                    m_backlog.erase(it);
                    break;
                }
            }
            if (m_index && !m_index->Remove(request.text))
                Failed();
            return;
        }
    }
}

void CContentIndexer::Synchronize()
{
    m_needsSync = false;
    m_backlog.clear();
    // Every page the index lacks is tried again.
    m_unheld.clear();
    if (m_folder.empty())
        return;
    Status status = Status::Ready;
    if (!m_index) {
        m_index = CContentIndexFile::OpenForWriting(m_folder, &status);
        if (!m_index && (status == Status::Damaged || status == Status::Foreign)) {
            // Never trusted as it stands; the pages are all on disk.
            if (CContentIndexFile::Discard(m_folder)) {
                std::lock_guard lock(m_mutex);
                ++m_statistics.Rebuilds;
            }
            m_index = CContentIndexFile::OpenForWriting(m_folder, &status);
        }
    }
    {
        std::lock_guard lock(m_mutex);
        m_statistics.Status = m_index ? Status::Ready : status;
    }
    if (!m_index) {
        if (status == Status::Busy) {
            m_needsSync = true;
            m_retryAt = std::chrono::steady_clock::now() + kRetryAfterBusy;
        }
        // Otherwise the folder cannot hold an index: searches read the pages.
        return;
    }
    std::vector<std::string> kept;
    if (!m_index->Paths(&kept)) {
        Failed();
        return;
    }
    std::unordered_set<std::string> present;
    present.reserve(kept.size());
    bool removing = false;
    for (std::string& path : kept) {
        if (m_known.count(path)) {
            present.insert(std::move(path));
            continue;
        }
        if (!removing && !m_index->Begin()) {
            Failed();
            return;
        }
        removing = true;
        if (!m_index->Remove(path)) {
            Failed();
            return;
        }
    }
    if (removing && !m_index->Commit()) {
        Failed();
        return;
    }
    for (const auto& [path, count] : m_known) {
        if (!present.count(path))
            m_backlog.push_back(path);
    }
}

void CContentIndexer::IndexBacklog()
{
    if (!m_index || m_backlog.empty())
        return;
    if (!m_index->Begin()) {
        Failed();
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    for (std::size_t n = 0; n < kPagesPerCommit && !m_backlog.empty(); ++n) {
        {
            std::lock_guard lock(m_mutex);
            if (m_stop)
                break;
        }
        const std::string path = std::move(m_backlog.front());
        m_backlog.pop_front();
        if (!IndexPage(path)) {
            Failed();
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            break;
    }
    if (!m_index->Commit())
        Failed();
}

bool CContentIndexer::IndexPage(const std::string& path)
{
    const auto unheld = [&] {
        m_unheld.insert(path);
        return true;
    };
    auto components = CSavedCopyPath::Components(std::string_view(path));
    if (!components)
        return unheld();  // a Path outside the folder has no page to read
    const std::string file = m_folder + "/" + CSavedCopyPath::Join(*components, components->size());
    std::optional<PageText> text;
    PageStamp stamp;
    try {
        text = CPageText::ReadFile(file, &stamp);
    } catch (const std::bad_alloc&) {
        return unheld();  // left to the searches, which read the file themselves
    }
    // A page that cannot be read now (gone, or still locked by its writer)
    // stays out of the index; searches then read the file.
    if (!text)
        return unheld();
    if (!m_index->Put(path, stamp, *text))
        return false;
    m_unheld.erase(path);
    std::lock_guard lock(m_mutex);
    ++m_statistics.PagesIndexed;
    return true;
}

void CContentIndexer::Failed()
{
    const bool damaged = m_index && m_index->IsDamaged();
    const bool busy = m_index && m_index->LastFailure() == Status::Busy;
    Close();
    if (damaged) {
        if (CContentIndexFile::Discard(m_folder)) {
            std::lock_guard lock(m_mutex);
            ++m_statistics.Rebuilds;
        }
    }
    // Whatever was under way is redone from the set of Paths.
    m_needsSync = true;
    m_backlog.clear();
    m_retryAt = damaged ? std::chrono::steady_clock::time_point{}
                        : std::chrono::steady_clock::now() + (busy ? kRetryAfterBusy : kRetryAfterBusy * 6);
    std::lock_guard lock(m_mutex);
    m_statistics.Status = damaged ? Status::Damaged : busy ? Status::Busy : Status::Unavailable;
}

void CContentIndexer::Close()
{
    if (m_index)
        m_index->Rollback();
    m_index.reset();
}
