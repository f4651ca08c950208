// The part of the internet library's cache that a browser fills as it loads
// a page: the responses to the requests it made for the page's resources
// (style sheets, scripts, images), fetched while it was still building the
// page, so that a component asking the library for one of them afterwards
// without insisting on the latest version (InternetOpenUrl without
// INTERNET_FLAG_RELOAD, and without headers of its own) takes that response
// instead of asking the server again, as the platform's cache gives a
// browser helper the files the browser just loaded.
//
// A preload belongs to one page load. It fetches the URLs it is given, over
// at most kConnections kept-alive connections of its own, in the order
// given, each once; the follower it was made with names further URLs found
// in a response (a style sheet's imports), which are fetched after it. It
// carries the process's cookies (ProcessCookies.h) and keeps what responses
// set. It stops at kMaxUrls URLs or kMaxBytes of bodies, and at kLifetime.
//
// Each response is handed out once: a second request for its URL goes to
// the server. A new preload ends the one before and forgets what that one
// fetched and nobody took; so do the end of kLifetime and the preload's
// destruction. Responses of transfers that failed are not kept: their
// requests go to the server and meet the failure themselves. Thread-safe.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/inet/WinInet.h"

struct PreloadedResponse {
    // Always an http or https response.
    DWORD status = 0;                                          // the final response's status
    bool redirected = false;                                   // redirects were followed to it
    std::vector<std::pair<std::string, std::string>> headers;  // the final response's
    std::string body;
};

// Absolute URLs that a browser would load after this response (the imports
// and images of a style sheet); called on the preload's thread.
using PreloadFollower =
    std::function<std::vector<std::string>(const std::string& url, const PreloadedResponse&)>;
// Finds absolute URLs to fetch (a document's resources); run on the
// preload's thread, so that whoever queues it goes on at once.
using PreloadFinder = std::function<std::vector<std::string>()>;

class CResourcePreload {
public:
    static constexpr std::size_t kConnections = 3;
    static constexpr std::size_t kMaxUrls = 300;
    static constexpr std::size_t kMaxBytes = 64u << 20;
    static constexpr std::chrono::seconds kLifetime{30};

    // Starts a preload for a new page, sending `agent`; the preload before
    // ends. `follow` may be empty.
    CResourcePreload(std::string agent, PreloadFollower follow);
    // Ends the fetching and forgets what nobody took; a request waiting for
    // a fetch goes to the server.
    ~CResourcePreload();
    CResourcePreload(const CResourcePreload&) = delete;
    CResourcePreload& operator=(const CResourcePreload&) = delete;

    // Queues the http and https URLs among `urls` not queued yet (fragments
    // dropped); others are ignored.
    void Add(const std::vector<std::string>& urls);
    // Queues what `find` names, once the preload's thread has run it. A
    // response asked for meanwhile is looked for once every finder queued
    // before has run.
    void AddFound(PreloadFinder find);

    struct Batch;

private:
    std::shared_ptr<Batch> m_batch;
};

// The response preloaded for `url`, waiting while its fetch is under way
// (asking `stop`, which may be empty, between waits); nullopt when there is
// none, it failed, or `stop` said so. Meant for InternetOpenUrl.
std::optional<PreloadedResponse> TakePreloadedResponse(const std::string& url, const InternetStopCheck& stop);
// Whether a request for `url` would now take a preloaded response: one
// fetched or under way, not taken yet (once every finder queued has run).
bool HasPreloadedResponse(const std::string& url);
