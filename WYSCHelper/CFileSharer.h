// Stores every identical saved file once: after a visit is recorded, a
// thread of its own goes through the files of its saved copy (the page file
// and its "_files" folder, or the archive) and turns each regular file whose
// bytes equal those of a file already kept into a hard link to that file.
// Every saved copy keeps its own folder and names, so nothing that opens,
// exports or removes copies changes; removing a visit removes its names,
// and the bytes go with the last name.
//
// Which content lies where is kept in the history folder's CSharedFileStore.
// Files are linked only after their bytes were compared with the kept
// file's, never on a hash alone; only to files of recorded visits (whose
// capture is over, so that nobody writes them any more); never across file
// systems; and a file system without hard links keeps plain copies. A
// shared file is made read-only, so that writing it in place is refused
// instead of changing every visit that shares it; an editor that saves by
// writing a new file and renaming it breaks the link for its name only.
//
// It also counts what the saved copies of recorded visits take on disk
// (GetUsage): their page files and the files in their resource folders;
// files of captures or imports still being written are not counted until
// their visit is recorded. The count is made once per opened folder by
// walking it (names and file status only: a file's bytes are read only when
// it is new or has changed), and then kept up as visits come and go.
//
// Threads: every call comes from the owner's thread and never waits for
// the sharing thread, except DeletionLock, held only around a link.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "WYSCHelper/CSharedFileStore.h"

class CFileSharer {
public:
    enum class Mode {
        Share,      // link identical files, and count
        CountOnly,  // only count: every saved file stays a copy of its own
    };

    // How long a folder where no store could be made waits before the
    // next try.
    static constexpr std::chrono::seconds kRetryStoreAfter{60};

    explicit CFileSharer(Mode mode);
    // Stops the thread after the file it is at; what is left undone is
    // found again by the next start's walk.
    ~CFileSharer();
    CFileSharer(const CFileSharer&) = delete;
    CFileSharer& operator=(const CFileSharer&) = delete;

    // The list now lives in `folder` (absolute) and holds visits with
    // these Paths.
    void Open(std::string folder, std::vector<std::string> paths);
    // A visit with this Path joined the list: its files are complete.
    void Add(std::string path);
    // A visit with this Path left the list, and its files were deleted.
    void Remove(std::string path);

    // Held by whoever deletes saved copies, around the deletion, so that no
    // link is put back into a saved copy while it is being deleted.
    std::mutex& DeletionLock() { return m_deletionLock; }

    struct Usage {
        std::uint64_t BytesOnDisk = 0;
        std::uint64_t BytesWithoutSharing = 0;
        bool UpToDate = false;  // no request is waiting or being carried out
    };
    Usage GetUsage() const;

    struct Statistics {
        std::uint64_t FilesLinked = 0;
        std::uint64_t StoresMadeAnew = 0;  // missing or damaged stores rebuilt
        std::uint64_t FilesNotLinked = 0;  // identical, but the link could not be made
    };
    Statistics GetStatistics() const;

    // Waits until every request made before the call has been carried out;
    // false when `timeout` passed first. For tests and benchmarks.
    bool WaitUntilIdle(std::chrono::milliseconds timeout);

private:
    enum class Kind { Open, Add, Remove };
    struct Request {
        Kind kind;
        std::string text;  // the folder or the Path
        std::vector<std::string> paths;
    };
    // A visit's saved copy relative to the history folder: the page (or
    // archive) and the resource folder beside it.
    struct VisitFiles {
        std::string page;
        std::string folder;
    };
    struct FileStatus;

    void Run();
    // Whether the owner is being destroyed: long walks end early.
    bool Stopping() const;
    void Apply(const Request& request);
    void OpenFolder();
    // Opens the store again when the folder was missing at the last try,
    // or that try is kRetryStoreAfter ago.
    void RetryStore();
    // Every regular file of a recorded visit under the folder open at `fd`
    // (`relative` to the history folder), as rows; removes links left by a
    // crash.
    void Walk(const std::string& relative, int fd, int depth, std::vector<CSharedFileStore::Row>& found);
    void AddVisit(const VisitFiles& visit);
    void RemoveVisit(const VisitFiles& visit);
    void ShareFile(const std::string& relative);
    bool LinkToCandidate(const std::string& relative, const FileStatus& file,
                         const CSharedFileStore::Digest& digest);
    void PutCounted(const CSharedFileStore::Row& row);
    void EraseCounted(const CSharedFileStore::Row& row);
    bool IsSettled(const std::string& relative) const;
    void AddPath(const std::string& path, int delta);
    std::string Full(const std::string& relative) const;
    static std::optional<VisitFiles> FilesOf(const std::string& path);

    const Mode m_mode;
    std::mutex m_deletionLock;

    // Shared with the owner's thread, under m_mutex.
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Request> m_requests;
    std::uint64_t m_requested = 0;
    std::uint64_t m_done = 0;
    bool m_stop = false;
    Usage m_usage;
    Statistics m_statistics;

    // The sharing thread's own.
    std::string m_folder;
    std::unique_ptr<CSharedFileStore> m_store;
    // The pages and resource folders of recorded visits, with how many
    // records carry each.
    std::map<std::string, int> m_pages;
    std::map<std::string, int> m_folders;
    std::set<std::uint64_t> m_devicesWithoutLinks;
    bool m_folderExisted = false;
    std::chrono::steady_clock::time_point m_openedAt{};

    std::thread m_thread;
};
