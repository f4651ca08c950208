#include "platform/browser/src/PageLoader.h"

#include <curl/curl.h>

#include "platform/base/AsciiText.h"
#include "platform/inet/ProcessCookies.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <string_view>

namespace wys::browser {
namespace {

constexpr long kMaxRedirects = 20;

struct Transfer {
    const PageLoadOptions* options;
    std::string body;
    bool tooLarge = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    size_t bytes = size * count;
    if (transfer->body.size() + bytes > transfer->options->maxBytes) {
        transfer->tooLarge = true;
        return 0;  // makes curl fail the transfer with CURLE_WRITE_ERROR
    }
    transfer->body.append(data, bytes);
    return bytes;
}

int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto* transfer = static_cast<Transfer*>(user);
    return transfer->options->stop && transfer->options->stop->load() ? 1 : 0;
}

bool EndsWith(std::string_view text, std::string_view tail)
{
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// File and FTP loads carry no media type, and some servers send none: guess
// from the path's extension, then from the first bytes, as browsers do.
std::string GuessContentType(std::string_view url, std::string_view body)
{
    std::string path = wys::base::AsciiLower(url.substr(0, url.find_first_of("?#")));
    for (std::string_view ext : {".html", ".htm", ".shtml", ".xhtml"}) {
        if (EndsWith(path, ext))
            return "text/html";
    }
    static constexpr std::pair<std::string_view, std::string_view> kImages[] = {
        {".png", "image/png"},   {".gif", "image/gif"},     {".jpg", "image/jpeg"},
        {".jpeg", "image/jpeg"}, {".svg", "image/svg+xml"}, {".ico", "image/x-icon"}};
    for (const auto& [ext, type] : kImages) {
        if (EndsWith(path, ext))
            return std::string(type);
    }
    std::string start = wys::base::AsciiLower(body.substr(0, 512));
    std::size_t first = start.find_first_not_of(" \t\r\n\f\xef\xbb\xbf");
    if (first != std::string::npos) {
        std::string_view head = std::string_view(start).substr(first);
        for (std::string_view marker : {"<!doctype html", "<html", "<head", "<body", "<frameset", "<title"}) {
            if (head.starts_with(marker))
                return "text/html";
        }
    }
    return "text/plain";
}

std::string FailureText(CURLcode code, const Transfer& transfer)
{
    switch (code) {
        case CURLE_COULDNT_CONNECT:
            return "connection refused";
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return "host not found";
        case CURLE_TOO_MANY_REDIRECTS:
            return "too many redirects";
        case CURLE_OPERATION_TIMEDOUT:
            return "timed out";
        case CURLE_ABORTED_BY_CALLBACK:
            return "stopped";
        case CURLE_UNSUPPORTED_PROTOCOL:
            return "unsupported URL scheme";
        case CURLE_URL_MALFORMAT:
            return "malformed URL";
        case CURLE_FILE_COULDNT_READ_FILE:
            return "file not found";
        case CURLE_WRITE_ERROR:
            if (transfer.tooLarge)
                return "page too large";
            break;
        default:
            break;
    }
    return curl_easy_strerror(code);
}

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

}  // namespace

LoadedPage LoadPage(const std::string& url, const PageLoadOptions& options)
{
    static std::once_flag globalInit;
    std::call_once(globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    LoadedPage page;
    page.finalUrl = url;
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        page.failure = "out of memory";
        return page;
    }
    Transfer transfer{&options, {}, false};
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https,ftp,file");
    // A remote page must not lead the browser into the local file system.
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https,ftp");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(c, CURLOPT_AUTOREFERER, 1L);
    curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(c, CURLOPT_USERAGENT, kBrowserAgent);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS,
                     static_cast<long>(std::max<std::int64_t>(1, options.timeout.count())));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &Progress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &transfer);
    // The page's cookies are the process's: what the page was given goes
    // with its capture's downloads, and only in memory.
    curl_easy_setopt(c, CURLOPT_COOKIEFILE, "");
    AddProcessCookiesTo(c);

    CURLcode code = curl_easy_perform(c);
    KeepCookiesOf(c);
    char* effective = nullptr;
    if (curl_easy_getinfo(c, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
        page.finalUrl = effective;
    if (code != CURLE_OK) {
        page.stopped = code == CURLE_ABORTED_BY_CALLBACK;
        page.failure = FailureText(code, transfer);
        return page;
    }
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &page.status);
    char* type = nullptr;
    if (curl_easy_getinfo(c, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type && *type)
        page.contentType = type;
    else
        page.contentType = GuessContentType(page.finalUrl, transfer.body);
    page.body = std::move(transfer.body);
    return page;
}

}  // namespace wys::browser
