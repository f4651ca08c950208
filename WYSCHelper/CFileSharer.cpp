#include "WYSCHelper/CFileSharer.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <unordered_set>

#include "WYSCHelper/CSavedCopyPath.h"
#include "WYSCHelper/FileBytes.h"
#include "platform/base/AsciiText.h"
#include "platform/base/CFileDescriptor.h"

namespace {

constexpr int kMaxDepth = 64;
// Names of links being made: a crash between the link and the rename
// leaves one behind, which the next walk removes.
constexpr const char* kLinkPrefix = ".wys-link-";

using wys::base::CFileDescriptor;

std::int64_t Nanoseconds(const struct timespec& time)
{
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

CSharedFileStore::Row RowOf(const std::string& path, const struct stat& info, bool settled)
{
    CSharedFileStore::Row row;
    row.path = path;
    row.dev = static_cast<std::uint64_t>(info.st_dev);
    row.ino = static_cast<std::uint64_t>(info.st_ino);
    row.size = static_cast<std::uint64_t>(info.st_size);
    row.blocks = static_cast<std::uint64_t>(info.st_blocks) * 512;
    row.mtime = Nanoseconds(info.st_mtim);
    row.settled = settled;
    return row;
}

// Whether the row still describes the file: the same inode, size and
// modification time.
bool Describes(const CSharedFileStore::Row& row, const struct stat& info)
{
    return row.dev == static_cast<std::uint64_t>(info.st_dev) &&
           row.ino == static_cast<std::uint64_t>(info.st_ino) &&
           row.size == static_cast<std::uint64_t>(info.st_size) && row.mtime == Nanoseconds(info.st_mtim);
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string LinkName(const std::string& folder)
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    char name[40];
    std::snprintf(name, sizeof name, "%s%016llx", kLinkPrefix, static_cast<unsigned long long>(random()));
    return folder + "/" + name;
}

}  // namespace

struct CFileSharer::FileStatus {
    struct stat info;
};

CFileSharer::CFileSharer(Mode mode) : m_mode(mode), m_thread([this] { Run(); }) {}

CFileSharer::~CFileSharer()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void CFileSharer::Open(std::string folder, std::vector<std::string> paths)
{
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(Request{Kind::Open, std::move(folder), std::move(paths)});
        ++m_requested;
    }
    m_wake.notify_all();
}

void CFileSharer::Add(std::string path)
{
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(Request{Kind::Add, std::move(path), {}});
        ++m_requested;
    }
    m_wake.notify_all();
}

void CFileSharer::Remove(std::string path)
{
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(Request{Kind::Remove, std::move(path), {}});
        ++m_requested;
    }
    m_wake.notify_all();
}

bool CFileSharer::Stopping() const
{
    std::lock_guard lock(m_mutex);
    return m_stop;
}

CFileSharer::Usage CFileSharer::GetUsage() const
{
    std::lock_guard lock(m_mutex);
    Usage usage = m_usage;
    usage.UpToDate = m_done == m_requested;
    return usage;
}

CFileSharer::Statistics CFileSharer::GetStatistics() const
{
    std::lock_guard lock(m_mutex);
    return m_statistics;
}

bool CFileSharer::WaitUntilIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    const std::uint64_t target = m_requested;
    return m_idle.wait_for(lock, timeout, [&] { return m_done >= target; });
}

void CFileSharer::Run()
{
    // Captures and clients come first: linking can wait.
    (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()),
                        10);  // A failure keeps the normal priority.
    for (;;) {
        Request request;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stop || !m_requests.empty(); });
            if (m_stop)
                return;
            request = std::move(m_requests.front());
            m_requests.pop_front();
        }
        try {
            Apply(request);
        } catch (const CSharedFileStore::Damaged& damaged) {
            // The store failed under us: it is made anew from the files,
            // which the failed request left as they were or whole.
            std::fprintf(stderr, "WYSCHelper: the store of shared files failed (%s); it is made anew\n",
                         damaged.what());
            m_store.reset();
            CSharedFileStore::Discard(m_folder);
            try {
                OpenFolder();
            } catch (const std::exception&) {
                m_store.reset();  // No store: the files stay as they are.
            }
        } catch (const std::exception&) {
            // Out of memory: this request is dropped; the next walk finds its files.
        }
        {
            std::lock_guard lock(m_mutex);
            ++m_done;
        }
        m_idle.notify_all();
    }
}

void CFileSharer::Apply(const Request& request)
{
    switch (request.kind) {
        case Kind::Open:
            m_folder = request.text;
            m_pages.clear();
            m_folders.clear();
            for (const std::string& path : request.paths)
                AddPath(path, 1);
            OpenFolder();
            return;
        case Kind::Add: {
            auto files = FilesOf(request.text);
            if (!files || m_folder.empty())
                return;
            AddPath(request.text, 1);
            if (!m_store)
                RetryStore();
            AddVisit(*files);
            return;
        }
        case Kind::Remove: {
            auto files = FilesOf(request.text);
            if (!files || m_folder.empty())
                return;
            AddPath(request.text, -1);
            RemoveVisit(*files);
            return;
        }
    }
}

std::optional<CFileSharer::VisitFiles> CFileSharer::FilesOf(const std::string& path)
{
    auto components = CSavedCopyPath::Components(std::string_view(path));
    if (!components)
        return std::nullopt;
    VisitFiles files;
    files.page = CSavedCopyPath::Join(*components, components->size());
    // The resource folder the shell carries with a saved page.
    const std::string& name = components->back();
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        const std::string extension = wys::base::AsciiLower(name.substr(dot));
        if (extension == ".htm" || extension == ".html" || extension == ".shtml" || extension == ".mht" ||
            extension == ".mhtml")
            files.folder = files.page.substr(0, files.page.size() - name.size() + dot) + "_files";
    }
    return files;
}

void CFileSharer::AddPath(const std::string& path, int delta)
{
    auto files = FilesOf(path);
    if (!files)
        return;
    auto change = [delta](std::map<std::string, int>& counts, const std::string& key) {
        if (key.empty())
            return;
        int& count = counts[key];
        count += delta;
        if (count <= 0)
            counts.erase(key);
    };
    change(m_pages, files->page);
    change(m_folders, files->folder);
}

bool CFileSharer::IsSettled(const std::string& relative) const
{
    if (m_pages.count(relative))
        return true;
    for (std::size_t slash = relative.find('/'); slash != std::string::npos;
         slash = relative.find('/', slash + 1)) {
        if (m_folders.count(relative.substr(0, slash)))
            return true;
    }
    return false;
}

std::string CFileSharer::Full(const std::string& relative) const
{
    return m_folder + "/" + relative;
}

void CFileSharer::RetryStore()
{
    // A folder made after the open (the first capture makes it) is tried
    // at once; one where no store could be made, only now and then.
    struct stat info;
    if (::stat(m_folder.c_str(), &info) != 0)
        return;
    if (m_folderExisted && std::chrono::steady_clock::now() - m_openedAt < kRetryStoreAfter)
        return;
    OpenFolder();
}

void CFileSharer::OpenFolder()
{
    m_store.reset();
    struct stat info;
    m_folderExisted = ::stat(m_folder.c_str(), &info) == 0;
    m_openedAt = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(m_mutex);
        m_usage = Usage{};
    }
    bool madeAnew = false;
    m_store = CSharedFileStore::Open(m_folder, &madeAnew);
    if (madeAnew) {
        std::lock_guard lock(m_mutex);
        ++m_statistics.StoresMadeAnew;
    }
    std::map<std::string, CSharedFileStore::Row> known;
    if (m_store) {
        // Until the walk is done, the figures are those the store last knew.
        Usage stored;
        std::unordered_set<std::string> inodes;
        for (CSharedFileStore::Row& row : m_store->All()) {
            stored.BytesWithoutSharing += row.blocks;
            if (inodes.insert(std::to_string(row.dev) + ":" + std::to_string(row.ino)).second)
                stored.BytesOnDisk += row.blocks;
            known.emplace(row.path, std::move(row));
        }
        std::lock_guard lock(m_mutex);
        m_usage = stored;
    }
    std::vector<CSharedFileStore::Row> found;
    CFileDescriptor root(::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (root.IsValid())
        Walk("", root.Get(), 0, found);
    // A walk cut short by the end of the server must not make the store
    // forget the files it did not reach.
    if (Stopping())
        return;

    Usage usage;
    std::unordered_set<std::string> inodes;
    if (m_store)
        m_store->Begin();
    for (CSharedFileStore::Row& row : found) {
        usage.BytesWithoutSharing += row.blocks;
        if (inodes.insert(std::to_string(row.dev) + ":" + std::to_string(row.ino)).second)
            usage.BytesOnDisk += row.blocks;
        if (!m_store)
            continue;
        auto old = known.find(row.path);
        if (old != known.end()) {
            // A hash is kept only for the very file it was taken of.
            if (old->second.hash && old->second.dev == row.dev && old->second.ino == row.ino &&
                old->second.size == row.size && old->second.mtime == row.mtime)
                row.hash = old->second.hash;
            const bool same = old->second.hash == row.hash && old->second.settled == row.settled &&
                              old->second.dev == row.dev && old->second.ino == row.ino &&
                              old->second.size == row.size && old->second.blocks == row.blocks &&
                              old->second.mtime == row.mtime;
            known.erase(old);
            if (same)
                continue;
        }
        m_store->Put(row);
    }
    if (m_store) {
        // What the store knew of files that are gone.
        for (const auto& [path, row] : known)
            m_store->Erase(path);
        m_store->Commit();
    }
    std::lock_guard lock(m_mutex);
    m_usage = usage;
}

void CFileSharer::Walk(const std::string& relative, int fd, int depth,
                       std::vector<CSharedFileStore::Row>& found)
{
    if (Stopping())
        return;
    DIR* listing = ::fdopendir(::dup(fd));
    if (!listing)
        return;
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(listing)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    ::closedir(listing);
    for (const std::string& name : names) {
        struct stat info;
        if (::fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        const std::string path = relative.empty() ? name : relative + "/" + name;
        if (S_ISDIR(info.st_mode)) {
            if (depth + 1 >= kMaxDepth)
                continue;
            CFileDescriptor folder(
                ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (folder.IsValid())
                Walk(path, folder.Get(), depth + 1, found);
            continue;
        }
        if (!S_ISREG(info.st_mode))
            continue;
        if (name.rfind(kLinkPrefix, 0) == 0 && info.st_nlink > 1) {
            // A link left by a crash before its rename: the bytes it names
            // are kept under another name.
            (void)::unlinkat(fd, name.c_str(), 0);  // Left for the next walk when it fails.
            continue;
        }
        // Only the files of recorded visits: at the top lie the index and
        // the server's other files, and elsewhere the files of captures and
        // imports still being written, and their temporary names.
        if (!IsSettled(path))
            continue;
        found.push_back(RowOf(path, info, true));
    }
}

void CFileSharer::AddVisit(const VisitFiles& visit)
{
    std::vector<std::string> files;
    struct stat info;
    if (::lstat(Full(visit.page).c_str(), &info) == 0 && S_ISREG(info.st_mode))
        files.push_back(visit.page);
    if (!visit.folder.empty()) {
        CFileDescriptor folder(
            ::open(Full(visit.folder).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (folder.IsValid()) {
            std::vector<CSharedFileStore::Row> found;
            Walk(visit.folder, folder.Get(), 0, found);
            for (const CSharedFileStore::Row& row : found)
                files.push_back(row.path);
        }
    }
    if (!m_store)
        return;
    m_store->Begin();
    for (const std::string& file : files) {
        if (Stopping())
            break;  // what is left is found by the next start's walk
        ShareFile(file);
    }
    m_store->Commit();
}

void CFileSharer::RemoveVisit(const VisitFiles& visit)
{
    if (!m_store)
        return;
    m_store->Begin();
    for (const CSharedFileStore::Row& row : m_store->UnderVisit(visit.page, visit.folder))
        EraseCounted(row);
    m_store->Commit();
}

void CFileSharer::PutCounted(const CSharedFileStore::Row& row)
{
    if (auto old = m_store->Get(row.path))
        EraseCounted(*old);
    const bool newInode = !m_store->Named(row.dev, row.ino);
    m_store->Put(row);
    std::lock_guard lock(m_mutex);
    m_usage.BytesWithoutSharing += row.blocks;
    if (newInode)
        m_usage.BytesOnDisk += row.blocks;
}

void CFileSharer::EraseCounted(const CSharedFileStore::Row& row)
{
    m_store->Erase(row.path);
    const bool lastName = !m_store->Named(row.dev, row.ino);
    std::lock_guard lock(m_mutex);
    m_usage.BytesWithoutSharing -= std::min(m_usage.BytesWithoutSharing, row.blocks);
    if (lastName)
        m_usage.BytesOnDisk -= std::min(m_usage.BytesOnDisk, row.blocks);
}

void CFileSharer::ShareFile(const std::string& relative)
{
    const std::string full = Full(relative);
    FileStatus file;
    if (::lstat(full.c_str(), &file.info) != 0 || !S_ISREG(file.info.st_mode))
        return;
    CSharedFileStore::Row row = RowOf(relative, file.info, true);
    if (m_mode == Mode::CountOnly || file.info.st_size == 0 || m_devicesWithoutLinks.count(row.dev)) {
        PutCounted(row);
        return;
    }
    CFileDescriptor fd(::open(full.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat opened;
    if (!fd.IsValid() || ::fstat(fd.Get(), &opened) != 0 || !Describes(row, opened)) {
        PutCounted(row);
        return;
    }
    std::optional<CSharedFileStore::Digest> digest = FileBytes::Sha256(fd.Get());
    // A file that changed while it was read is being written after all:
    // it is neither linked nor offered for linking.
    if (::fstat(fd.Get(), &opened) != 0 || !Describes(row, opened))
        digest.reset();
    row.hash = digest;
    PutCounted(row);
    if (digest && LinkToCandidate(relative, file, *digest)) {
        std::lock_guard lock(m_mutex);
        ++m_statistics.FilesLinked;
    }
}

bool CFileSharer::LinkToCandidate(const std::string& relative, const FileStatus& file,
                                  const CSharedFileStore::Digest& digest)
{
    const std::string full = Full(relative);
    const auto dev = static_cast<std::uint64_t>(file.info.st_dev);
    const auto size = static_cast<std::uint64_t>(file.info.st_size);
    for (CSharedFileStore::Row candidate : m_store->Candidates(dev, size, digest)) {
        if (candidate.path == relative)
            continue;
        if (candidate.ino == static_cast<std::uint64_t>(file.info.st_ino))
            return false;  // already the same file
        CFileDescriptor kept(::open(Full(candidate.path).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        struct stat keptInfo;
        if (!kept.IsValid() || ::fstat(kept.Get(), &keptInfo) != 0 || !S_ISREG(keptInfo.st_mode)) {
            EraseCounted(candidate);  // gone, or no longer a file
            continue;
        }
        if (!Describes(candidate, keptInfo)) {
            // The store was wrong about it: it is known again as it is now.
            CSharedFileStore::Row now = RowOf(candidate.path, keptInfo, candidate.settled);
            PutCounted(now);
            if (now.size != size)
                continue;
            candidate = now;
        }
        if (!candidate.hash) {
            candidate.hash = FileBytes::Sha256(kept.Get());
            PutCounted(candidate);
            if (candidate.hash != digest)
                continue;
        }
        CFileDescriptor mine(::open(full.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!mine.IsValid())
            return false;
        if (!FileBytes::Same(mine.Get(), kept.Get())) {
            // Equal hashes, other bytes: the hash was wrong, not the bytes.
            candidate.hash.reset();
            PutCounted(candidate);
            continue;
        }
        const std::string temporary = LinkName(FolderOf(full));
        {
            std::lock_guard deletion(m_deletionLock);
            struct stat now;
            // Deleted, replaced or written since it was compared: left alone.
            if (::lstat(full.c_str(), &now) != 0 || !Describes(RowOf(relative, file.info, true), now))
                return false;
            if (::link(Full(candidate.path).c_str(), temporary.c_str()) != 0) {
                const int error = errno;
                if (error == EMLINK)
                    continue;  // as many names as the file system allows: another may take one
                if (error == ENOENT) {
                    EraseCounted(candidate);
                    continue;
                }
                if (error == EPERM || error == EOPNOTSUPP || error == ENOSYS)
                    m_devicesWithoutLinks.insert(dev);  // no hard links here: plain copies, as ever
                std::lock_guard lock(m_mutex);
                ++m_statistics.FilesNotLinked;
                return false;
            }
            struct stat linked;
            // Shared bytes must not be changed through one name: they are
            // made read-only before the second name appears.
            const bool ready =
                ::lstat(temporary.c_str(), &linked) == 0 && linked.st_ino == keptInfo.st_ino &&
                ((keptInfo.st_mode & 0222) == 0 || ::fchmod(kept.Get(), keptInfo.st_mode & 07555) == 0);
            if (!ready || ::rename(temporary.c_str(), full.c_str()) != 0) {
                // Replaced between the comparison and the link: nothing changes.
                (void)::unlink(temporary.c_str());  // Removed by the next walk when this fails.
                continue;
            }
        }
        CSharedFileStore::Row shared = candidate;
        shared.path = relative;
        shared.settled = true;
        shared.hash = digest;
        struct stat now;
        if (::lstat(full.c_str(), &now) == 0)
            shared = RowOf(relative, now, true), shared.hash = digest;
        PutCounted(shared);
        return true;
    }
    return false;
}
