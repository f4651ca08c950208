// Keeps the content index of the history folder in step with the record
// list: a thread of its own reads each saved page's text (CPageText) and
// writes it to the index (CContentIndexFile), so that calls and events on
// the server's apartment thread never wait for a page to be read.
//
// The URL base tells it every change of the list as it happens: the folder
// and all its Paths when it opens a history folder, each Path added, each
// Path removed. From these it keeps the set of Paths the index should hold.
// Whenever it opens an index (at the start, after a change of folder, after
// the index turned out damaged, or a while after it was locked) it brings
// the index to that set: pages it holds for no Path are dropped, Paths it
// lacks are read in the background. An index file deleted or replaced while
// the server runs is noticed within kCheckWhileIdle and made anew. An index
// file that is damaged, truncated, not an index or of another schema is
// discarded and rebuilt. A folder where no index can be written leaves the
// searches to read the saved files.
//
// Threads: every call but WaitUntilIdle comes from the owner's thread and
// never waits for the indexing thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/contentindex/CContentIndexFile.h"

class CContentIndexer {
public:
    // How long a locked index waits before it is tried again.
    static constexpr std::chrono::seconds kRetryAfterBusy{5};
    // How often an idle indexer looks whether its file is still there.
    static constexpr std::chrono::seconds kCheckWhileIdle{5};
    // Pages written in one transaction while catching up.
    static constexpr std::size_t kPagesPerCommit = 64;

    CContentIndexer();
    // Stops the thread once the page it is reading is done; work not done
    // yet is left to the next start, which finds it missing from the index.
    ~CContentIndexer();
    CContentIndexer(const CContentIndexer&) = delete;
    CContentIndexer& operator=(const CContentIndexer&) = delete;

    // The list now lives in `folder` and holds these Paths.
    void Open(std::string folder, std::vector<std::string> paths);
    // A record with this Path joined the list; its saved page is on disk.
    void Add(std::string path);
    // A record with this Path left the list.
    void Remove(std::string path);

    // Waits until every request made before the call has been carried out
    // and no page is left to read; false when `timeout` passed first. For
    // tests and benchmarks.
    bool WaitUntilIdle(std::chrono::milliseconds timeout);

    // Whether the index is in step with the list: every request made before
    // the call carried out, nothing left to read, the index open and every
    // change committed. Then *paths receives the Paths of the list whose
    // pages it does not hold (pages that could not be read, Paths outside
    // the folder) and the answer is true; a search may take every other
    // page's text from the index.
    bool UnindexedPaths(std::vector<std::string>* paths) const;

    struct Statistics {
        std::uint64_t PagesIndexed = 0;
        std::uint64_t Rebuilds = 0;  // index files discarded and made anew
        CContentIndexFile::Status Status = CContentIndexFile::Status::Missing;
    };
    Statistics GetStatistics() const;

private:
    enum class Kind { Open, Add, Remove };
    struct Request {
        Kind kind;
        std::string text;  // the folder or the Path
        std::vector<std::string> paths;
    };

    void Run();
    void Apply(Request& request);
    void Synchronize();
    void IndexBacklog();
    bool IndexPage(const std::string& path);
    void Failed();
    void Close();

    // Shared with the owner's thread, under m_mutex.
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Request> m_requests;
    std::uint64_t m_requested = 0;
    std::uint64_t m_done = 0;
    bool m_busy = false;
    bool m_stop = false;
    Statistics m_statistics;
    bool m_inStep = false;
    std::vector<std::string> m_unheldPublished;

    // The indexing thread's own.
    std::string m_folder;
    std::unordered_map<std::string, int> m_known;  // Path -> records that carry it
    std::unique_ptr<CContentIndexFile> m_index;
    bool m_needsSync = false;
    std::chrono::steady_clock::time_point m_retryAt{};
    std::deque<std::string> m_backlog;
    std::unordered_set<std::string> m_unheld;  // known Paths the index holds no page for

    std::thread m_thread;
};
