#include "platform/inet/UrlRequest.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/base/AsciiText.h"
#include "platform/inet/ProcessCookies.h"
#include "platform/inet/UrlCombine.h"
#include "platform/inet/UrlParts.h"

namespace {

// How long one wait for the network lasts before the stop check runs again.
constexpr int kPollMilliseconds = 100;
// Consumed bytes are dropped from the front of the body buffer once this many
// have piled up, so that long transfers do not keep what was read.
constexpr std::size_t kCompactAfter = 64 * 1024;

bool IsFollowedRedirect(DWORD status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

CUrlRequest::CUrlRequest(std::shared_ptr<const CInternetSession> session) : m_session(std::move(session)) {}

CUrlRequest::~CUrlRequest()
{
    // What the responses set is the process's from now on.
    if (m_easy)
        KeepCookiesOf(m_easy);
    if (m_attached)
        curl_multi_remove_handle(m_multi, m_easy);
    if (m_easy)
        curl_easy_cleanup(m_easy);
    if (m_multi)
        curl_multi_cleanup(m_multi);
    curl_slist_free_all(m_requestHeaders);
}

DWORD CUrlRequest::Open(const std::string& url, const char* headers, DWORD flags)
{
    auto parts = CrackUrl(url);
    if (!parts)
        return ERROR_INTERNET_INVALID_URL;
    const std::string& scheme = parts->scheme;
    bool allowFile = (flags & INTERNET_FLAG_ALLOW_FILE_SCHEME) != 0;
    bool network = scheme == "http" || scheme == "https" || scheme == "ftp";
    if (!network && !(scheme == "file" && allowFile))
        return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    if (network && parts->host.empty())
        return ERROR_INTERNET_INVALID_URL;
    // libcurl refuses spaces and other unsafe characters that pages put into
    // URLs; combining with an empty reference escapes them and drops the fragment.
    auto escaped = CombineUrl(url, "");
    if (!escaped)
        return ERROR_INTERNET_INVALID_URL;
    m_http = scheme == "http" || scheme == "https";
    m_follow = (flags & INTERNET_FLAG_NO_AUTO_REDIRECT) == 0;

    m_multi = curl_multi_init();
    m_easy = curl_easy_init();
    if (!m_multi || !m_easy)
        return ERROR_NOT_ENOUGH_MEMORY;
    m_session->Configure(m_easy);
    curl_easy_setopt(m_easy, CURLOPT_URL, escaped->c_str());
    curl_easy_setopt(m_easy, CURLOPT_PROTOCOLS_STR, allowFile ? "http,https,ftp,file" : "http,https,ftp");
    // A redirect never leads to a file, whatever the request may read itself.
    curl_easy_setopt(m_easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https,ftp");
    curl_easy_setopt(m_easy, CURLOPT_FOLLOWLOCATION, m_follow ? 1L : 0L);
    curl_easy_setopt(m_easy, CURLOPT_MAXREDIRS, CInternetSession::kMaxRedirects);
    curl_easy_setopt(m_easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, &CUrlRequest::OnBody);
    curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(m_easy, CURLOPT_HEADERFUNCTION, &CUrlRequest::OnHeader);
    curl_easy_setopt(m_easy, CURLOPT_HEADERDATA, this);
    if (headers) {
        std::string_view rest(headers);
        while (!rest.empty()) {
            std::size_t end = std::min(rest.find("\r\n"), rest.size());
            std::string line(wys::base::TrimAscii(rest.substr(0, end)));
            rest.remove_prefix(std::min(end + 2, rest.size()));
            if (!line.empty())
                m_requestHeaders = curl_slist_append(m_requestHeaders, line.c_str());
        }
        curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, m_requestHeaders);
    }
    if (curl_multi_add_handle(m_multi, m_easy) != CURLM_OK)
        return ERROR_INTERNET_INTERNAL_ERROR;
    m_attached = true;

    if (DWORD error = Pump([this] { return m_headersDone || Buffered() > 0; }))
        return error;
    bool received = m_headersDone || Buffered() > 0;
    if (m_finished && m_result != CURLE_OK && !received)
        return EndError();
    return ERROR_SUCCESS;
}

void CUrlRequest::OpenPreloaded(PreloadedResponse response)
{
    m_http = true;
    m_status = response.status;
    m_redirected = response.redirected;
    m_headers = std::move(response.headers);
    m_body = std::move(response.body);
    m_headersDone = true;
    m_finished = true;
    m_result = CURLE_OK;
}

DWORD CUrlRequest::Available(DWORD* available)
{
    if (Stopped())
        return ERROR_INTERNET_OPERATION_CANCELLED;
    if (DWORD error = Pump([this] { return Buffered() > 0; }))
        return error;
    *available = static_cast<DWORD>(std::min<std::size_t>(Buffered(), 0xFFFFFFFFu));
    if (*available == 0 && m_result != CURLE_OK)
        return EndError();
    return ERROR_SUCCESS;
}

DWORD CUrlRequest::Read(void* buffer, DWORD toRead, DWORD* read)
{
    if (Stopped())
        return ERROR_INTERNET_OPERATION_CANCELLED;
    if (DWORD error = Pump([this, toRead] { return Buffered() >= toRead; }))
        return error;
    std::size_t n = std::min<std::size_t>(Buffered(), toRead);
    if (n == 0 && toRead > 0 && m_result != CURLE_OK)
        return EndError();
    std::memcpy(buffer, m_body.data() + m_consumed, n);
    m_consumed += n;
    if (m_consumed == m_body.size()) {
        m_body.clear();
        m_consumed = 0;
    } else if (m_consumed >= kCompactAfter && !m_finished) {
        // Bytes still to come would grow the buffer by what was read; once
        // the body is all here, moving the rest forward only costs.
        m_body.erase(0, m_consumed);
        m_consumed = 0;
    }
    *read = static_cast<DWORD>(n);
    return ERROR_SUCCESS;
}

std::optional<DWORD> CUrlRequest::StatusCode() const
{
    if (!m_http || m_status == 0)
        return std::nullopt;
    return m_status;
}

std::optional<std::string> CUrlRequest::Header(std::string_view name) const
{
    for (const auto& [key, value] : m_headers) {
        if (wys::base::EqualsIgnoringAsciiCase(key, name))
            return value;
    }
    return std::nullopt;
}

size_t CUrlRequest::OnBody(char* data, size_t size, size_t count, void* self)
{
    static_cast<CUrlRequest*>(self)->m_body.append(data, size * count);
    return size * count;
}

size_t CUrlRequest::OnHeader(char* data, size_t size, size_t count, void* self)
{
    static_cast<CUrlRequest*>(self)->HeaderLine(std::string_view(data, size * count));
    return size * count;
}

void CUrlRequest::HeaderLine(std::string_view line)
{
    if (!m_http)
        return;
    if (line.starts_with("HTTP/")) {
        // A new response: after a 1xx or a followed redirect the earlier one is gone.
        m_headers.clear();
        m_blockHasLocation = false;
        std::size_t space = line.find(' ');
        m_status = 0;
        for (std::size_t i = space + 1; space != std::string_view::npos && i < line.size() &&
                                        std::isdigit(static_cast<unsigned char>(line[i]));
             ++i)
            m_status = m_status * 10 + static_cast<DWORD>(line[i] - '0');
        return;
    }
    std::string_view trimmed = wys::base::TrimAscii(line);
    if (trimmed.empty()) {
        bool another =
            m_status / 100 == 1 || (m_follow && IsFollowedRedirect(m_status) && m_blockHasLocation);
        m_redirected = m_redirected || (m_follow && IsFollowedRedirect(m_status));
        m_headersDone = !another;
        return;
    }
    std::size_t colon = trimmed.find(':');
    if (colon == std::string_view::npos)
        return;
    std::string name(wys::base::TrimAscii(trimmed.substr(0, colon)));
    if (wys::base::EqualsIgnoringAsciiCase(name, "Location"))
        m_blockHasLocation = true;
    m_headers.emplace_back(std::move(name), std::string(wys::base::TrimAscii(trimmed.substr(colon + 1))));
}

template <class Ready>
DWORD CUrlRequest::Pump(Ready ready)
{
    while (!ready() && !m_finished) {
        if (Stopped())
            return ERROR_INTERNET_OPERATION_CANCELLED;
        int running = 0;
        if (curl_multi_perform(m_multi, &running) != CURLM_OK) {
            m_finished = true;
            m_result = CURLE_RECV_ERROR;
            break;
        }
        CollectFinished();
        if (ready() || m_finished)
            break;
        curl_multi_poll(m_multi, nullptr, 0, kPollMilliseconds, nullptr);
    }
    return ERROR_SUCCESS;
}

bool CUrlRequest::Stopped()
{
    if (!m_stopped) {
        const InternetStopCheck& stop = m_session->StopCheck();
        m_stopped = stop && stop();
    }
    return m_stopped;
}

void CUrlRequest::CollectFinished()
{
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == m_easy) {
            m_finished = true;
            m_result = message->data.result;
        }
    }
}

DWORD CUrlRequest::EndError() const
{
    return InternetErrorFromCurl(m_result, m_redirected);
}
