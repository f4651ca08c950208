// Saving the resources of a page into its resource folder: each URL gets a
// local name that no file takes yet (SaveResource) and is fetched into it,
// by download or, for file URLs, by copy.
//
// Downloads go through one internet session per saver (agent "QXPL"), so a
// capture talks to each host over one kept-alive connection. A target that
// exists is never overwritten by a download; the body is saved whatever the
// response status.
//
// A saver is used by one thread.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "WYSCbho/CCaptureStop.h"
#include "platform/inet/WinInet.h"

namespace wys::capture {

// Whether file URLs may be copied. Only a page that is itself a file may
// bring local files along: a page from the network naming "file:///etc/..."
// must not make the capture copy them.
enum class FileUrlCopy { Allowed, Refused };

class ResourceSaver {
public:
    // The agent name sent with every download.
    static constexpr const char* kAgent = "QXPL";
    // Bytes read at most per read.
    static constexpr DWORD kTransferBuffer = 1024;

    // `targetFolder`: full path of the folder that receives the files.
    // `stop` (may be null) ends downloads between reads.
    ResourceSaver(std::string targetFolder, FileUrlCopy fileUrls, CaptureStopRef stop);
    virtual ~ResourceSaver();
    ResourceSaver(const ResourceSaver&) = delete;
    ResourceSaver& operator=(const ResourceSaver&) = delete;

    // Fetches `url` into the file `target`. True when the file was written:
    // for a download, once a read was attempted on a new target file; for a
    // file URL, when the copy succeeded. False for an unknown scheme, a file
    // URL that may not be copied, a request that fails, an existing target.
    virtual bool SaveUrl(const std::string& url, const std::string& target);

    // Starts fetching the bodies of those `urls` that are downloads (not
    // file URLs) and not preloaded by the browser (InternetIsUrlPreloaded)
    // into memory, several at once and in set order, so that the
    // SaveUrl of each waits only for its own fetch instead of for the
    // network one request after another. The names and the order of the
    // saved files do not change: they are given when each URL is saved, as
    // without it, and a URL not saved leaves no file. Bodies beyond
    // kMaxPrefetchBytes held at once are fetched when saved instead. Ends
    // an earlier batch first.
    virtual void Prefetch(const std::set<std::string>& urls);
    // Waits for the fetches started and forgets what no save took.
    void FinishPrefetch();
    // Fetches running at once, and memory the fetched bodies may hold.
    static constexpr std::size_t kPrefetchConnections = 6;
    static constexpr std::size_t kMaxPrefetchBytes = 64u << 20;

    const std::string& TargetFolder() const { return m_targetFolder; }
    // URL -> full local path of every URL saved so far (first path kept).
    const std::map<std::string, std::string>& SavedFiles() const { return m_savedFiles; }
    std::map<std::string, std::string>& SavedFiles() { return m_savedFiles; }

    // The flag that ends this saver's work early; may be null.
    const CaptureStopRef& StopFlag() const { return m_stop; }

private:
    struct Fetched {
        bool opened = false;     // the request got an answer
        bool attempted = false;  // a read was attempted
        bool complete = false;   // the whole body is here
        std::string body;
    };
    struct PrefetchBatch;
    // Fetches `url` on `session` into memory, at most `limit` bytes.
    static Fetched Fetch(HINTERNET session, const std::string& url, std::size_t limit,
                         const CaptureStopRef& stop);
    // The prefetched body of `url` once its fetch ended; nullopt when it was
    // not prefetched (or could not be).
    std::optional<Fetched> TakePrefetched(const std::string& url);
    bool Download(const std::string& url, const std::string& target);
    bool CopyLocalFile(const std::string& path, const std::string& target);
    HINTERNET Session();

    std::string m_targetFolder;
    FileUrlCopy m_fileUrls;
    CaptureStopRef m_stop;
    HINTERNET m_session = nullptr;  // Opened on the first download; owned.
    std::map<std::string, std::string> m_savedFiles;
    std::shared_ptr<PrefetchBatch> m_prefetch;  // the batch under way; shared with its workers
};

// Names, saves and records one URL: the local name of LocalNameOf in the
// saver's target folder, numbered when taken; nothing when the URL has no
// usable name, every numbered name is taken or SaveUrl fails.
void SaveResource(ResourceSaver& saver, const std::string& url);

// SaveResource for every URL of the set, in set order, stopping early once
// the saver's stop flag is set; returns the saver's SavedFiles.
std::map<std::string, std::string> SaveAll(ResourceSaver& saver, const std::set<std::string>& urls);

}  // namespace wys::capture
