// Private to platform/browser: loading one document's bytes with libcurl.
#pragma once

#include <atomic>
#include <chrono>
#include <string>

namespace wys::browser {

// The agent the headless browser sends with its own requests.
inline constexpr const char* kBrowserAgent = "Mozilla/5.0 (X11; Linux) Wayscribe-Capture/1.0";

struct PageLoadOptions {
    // The whole load, redirects included.
    std::chrono::milliseconds timeout{30000};
    // Set from another thread to abandon the load; may be null. Must outlive
    // the load.
    const std::atomic<bool>* stop = nullptr;
    // Bodies above this are refused rather than held in memory.
    std::size_t maxBytes = 64u << 20;
};

struct LoadedPage {
    // Empty when a response was had, whatever its status; otherwise why the
    // load failed, in words for a person ("connection refused").
    std::string failure;
    bool stopped = false;     // failed because the stop flag was set
    std::string finalUrl;     // after redirects; the requested URL when none
    long status = 0;          // HTTP or FTP status; 0 for file URLs
    std::string contentType;  // as the server sent it, or guessed (see .cpp)
    std::string body;

    bool Loaded() const { return failure.empty(); }
};

// Loads http, https, ftp and file URLs, following up to 20 redirects (never
// from a remote URL to a file URL). Thread-safe; blocks the calling thread.
LoadedPage LoadPage(const std::string& url, const PageLoadOptions& options);

}  // namespace wys::browser
