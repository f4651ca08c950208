#include "platform/registry/HiveStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <map>
#include <mutex>
#include <string>

#include "platform/base/CAtomicFileWriter.h"
#include "platform/base/CFileDescriptor.h"
#include "platform/base/FileWrite.h"
#include "platform/base/WinError.h"
#include "platform/registry/HiveText.h"

namespace wys::registry {

namespace {

using wys::base::CFileDescriptor;
using wys::base::FolderOf;
using wys::base::SyncFolder;
using wys::base::WriteAll;

constexpr std::size_t kCachedHives = 8;
constexpr int kMaxOriginalCopies = 100;

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    bool operator==(const FileIdentity& other) const
    {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

FileIdentity IdentityOf(const struct stat& info)
{
    return FileIdentity{info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

// A file changed within the last second may be followed, within the same
// tick of the file system's clock, by another with the same identity (inode
// numbers are reused), so only older files are safe to cache.
bool SettledLongEnough(const FileIdentity& identity)
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec - identity.changed.tv_sec >= 2;
}

struct LoadedHive {
    HiveSnapshot root;
    std::size_t unsoundLines = 0;
    std::string original;  // the file's bytes, kept only when it had unsound lines
};
using LoadedPtr = std::shared_ptr<const LoadedHive>;

class CHiveCache {
public:
    LoadedPtr Find(const std::string& path, const FileIdentity& identity)
    {
        std::lock_guard lock(m_mutex);
        auto it = m_entries.find(path);
        return (it != m_entries.end() && it->second.identity == identity) ? it->second.hive : nullptr;
    }

    void Store(const std::string& path, const FileIdentity& identity, LoadedPtr hive)
    {
        if (!SettledLongEnough(identity))
            return;
        std::lock_guard lock(m_mutex);
        if (m_entries.size() >= kCachedHives && !m_entries.count(path))
            m_entries.erase(m_entries.begin());
        m_entries[path] = Entry{identity, std::move(hive)};
    }

private:
    struct Entry {
        FileIdentity identity;
        LoadedPtr hive;
    };
    std::mutex m_mutex;
    std::map<std::string, Entry> m_entries;
};

CHiveCache& Cache()
{
    // Never destroyed: the registry may still be used by other objects' destructors at exit.
    static auto* cache = new CHiveCache;
    return *cache;
}

LoadedPtr EmptyHive()
{
    static const auto* empty = new LoadedPtr(
        std::make_shared<const LoadedHive>(LoadedHive{std::make_shared<const CHiveKey>(), 0, {}}));
    return *empty;
}

mode_t FileMode(HiveSharing sharing)
{
    return sharing == HiveSharing::MachineWide ? 0644 : 0600;
}

mode_t FolderMode(HiveSharing sharing)
{
    return sharing == HiveSharing::MachineWide ? 0755 : 0700;
}

LONG ReadError(int error)
{
    return (error == EACCES || error == EPERM) ? ERROR_ACCESS_DENIED : ERROR_CANTREAD;
}

bool ReadAll(int fd, std::string& text)
{
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

bool LockFile(int fd, int operation)
{
    while (::flock(fd, operation) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

LONG MakeFolders(const std::string& folder, mode_t mode)
{
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
    if (errno != ENOENT)
        return Win32ErrorFromErrno(errno);
    if (folder != "/") {
        LONG result = MakeFolders(FolderOf(folder), mode);
        if (result != ERROR_SUCCESS)
            return result;
    }
    if (::mkdir(folder.c_str(), mode) != 0 && errno != EEXIST)
        return Win32ErrorFromErrno(errno);
    return ERROR_SUCCESS;
}

// Loads the hive file; the caller holds its lock. Updates pass
// UseCache::No: a change must start from the bytes on disk.
enum class UseCache { Yes, No };

LONG Load(const std::string& path, UseCache useCache, LoadedPtr& loaded)
{
    CFileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.IsValid()) {
        if (errno == ENOENT || errno == ENOTDIR) {
            loaded = EmptyHive();
            return ERROR_SUCCESS;
        }
        return ReadError(errno);
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0)
        return ReadError(errno);
    if (!S_ISREG(info.st_mode))
        return ERROR_BADDB;
    FileIdentity identity = IdentityOf(info);
    if (useCache == UseCache::Yes) {
        if ((loaded = Cache().Find(path, identity)))
            return ERROR_SUCCESS;
    }
    std::string text;
    if (!ReadAll(fd.Get(), text))
        return ReadError(errno);
    ParsedHive parsed = ParseHiveText(text);
    auto hive = std::make_shared<LoadedHive>();
    hive->root = std::make_shared<const CHiveKey>(std::move(parsed.root));
    hive->unsoundLines = parsed.unsoundLines;
    if (parsed.unsoundLines)
        hive->original = std::move(text);
    loaded = hive;
    Cache().Store(path, identity, loaded);
    return ERROR_SUCCESS;
}

// Writes `text` to a new file that must not exist yet, flushed to disk. On
// failure `error` is the errno and no part of the file is left behind.
bool WriteNewFile(const std::string& path, const std::string& text, mode_t mode, int& error)
{
    CFileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!fd.IsValid()) {
        error = errno;
        return false;
    }
    error = WriteAll(fd.Get(), text);
    if (!error)
        error = ::fsync(fd.Get()) == 0 ? 0 : errno;
    if (const int closed = fd.Close(); !error)
        error = closed;
    if (!error)
        return true;
    (void)::unlink(path.c_str());  // a partial file would mislead whoever reads it
    return false;
}

// Keeps the bytes of a damaged hive under the first free ".bad" name.
LONG KeepOriginal(const std::string& path, const std::string& original, mode_t mode)
{
    for (int n = 1; n <= kMaxOriginalCopies; ++n) {
        std::string target = path + ".bad" + (n == 1 ? std::string() : "." + std::to_string(n));
        int error;
        if (WriteNewFile(target, original, mode, error)) {
            // A folder that cannot be flushed only makes the copy's name
            // less certain to survive a crash.
            (void)SyncFolder(FolderOf(path));
            return ERROR_SUCCESS;
        }
        if (error != EEXIST)
            return ERROR_CANTWRITE;
    }
    return ERROR_CANTWRITE;
}

LONG ReplaceFile(const std::string& path, const std::string& text, mode_t mode)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        mode = info.st_mode & 07777;
    // Only the holder of the exclusive lock uses the temporary name, so a
    // leftover one is from a writer that died and may be replaced.
    wys::base::CAtomicFileWriter file;
    int error = file.OpenFixed(path, path + ".tmp", mode);
    if (!error)
        error = file.Write(text);
    if (!error)
        error = file.Commit();
    return Win32ErrorFromErrno(error);
}

}  // namespace

LONG ReadHive(const HiveLocation& location, HiveSnapshot& hive)
{
    std::string lockPath = location.path + ".lock";
    CFileDescriptor lock(
        ::open(lockPath.c_str(), O_RDONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, FileMode(location.sharing)));
    if (!lock.IsValid()) {
        if (errno == ENOENT || errno == ENOTDIR) {
            hive = EmptyHive()->root;  // no folder, so no hive yet
            return ERROR_SUCCESS;
        }
        // A folder this user may not write (a system hive) cannot hold a new
        // lock file. Writers there replace the file by renaming, so reading
        // without the lock still sees one whole file.
        if (errno != EACCES && errno != EPERM && errno != EROFS)
            return ReadError(errno);
    } else if (!LockFile(lock.Get(), LOCK_SH)) {
        return ReadError(errno);
    }
    LoadedPtr loaded;
    LONG result = Load(location.path, UseCache::Yes, loaded);
    if (result == ERROR_SUCCESS)
        hive = loaded->root;
    return result;
}

LONG UpdateHive(const HiveLocation& location, const HiveEdit& edit)
{
    mode_t fileMode = FileMode(location.sharing);
    LONG result = MakeFolders(FolderOf(location.path), FolderMode(location.sharing));
    if (result != ERROR_SUCCESS)
        return result;
    std::string lockPath = location.path + ".lock";
    CFileDescriptor lock(::open(lockPath.c_str(), O_RDONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, fileMode));
    if (!lock.IsValid())
        return Win32ErrorFromErrno(errno);
    if (!LockFile(lock.Get(), LOCK_EX))
        return Win32ErrorFromErrno(errno);

    LoadedPtr loaded;
    if ((result = Load(location.path, UseCache::No, loaded)) != ERROR_SUCCESS)
        return result;
    CHiveKey root = *loaded->root;
    if ((result = edit(root)) != ERROR_SUCCESS || root == *loaded->root)
        return result;
    if (loaded->unsoundLines) {
        if ((result = KeepOriginal(location.path, loaded->original, fileMode)) != ERROR_SUCCESS)
            return result;
    }
    return ReplaceFile(location.path, FormatHiveText(root, location.name), fileMode);
}

}  // namespace wys::registry
