// Private to platform/inet: one URL request, a libcurl transfer that is
// driven only while its caller waits for headers or bytes, so that a reader
// that stops reading stops the transfer with it.
#pragma once

#include <curl/curl.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/inet/CResourcePreload.h"
#include "platform/inet/InternetObject.h"
#include "platform/inet/InternetSession.h"

class CUrlRequest final : public InternetObject {
public:
    explicit CUrlRequest(std::shared_ptr<const CInternetSession> session);
    ~CUrlRequest() override;

    // Starts the transfer and waits for the final response's headers (or the
    // first bytes, or the end). ERROR_SUCCESS or the error value.
    DWORD Open(const std::string& url, const char* headers, DWORD flags);
    // Instead of Open: answers with a response the browser already had.
    void OpenPreloaded(PreloadedResponse response);

    // As InternetQueryDataAvailable and InternetReadFile; ERROR_SUCCESS or the error.
    DWORD Available(DWORD* available);
    DWORD Read(void* buffer, DWORD toRead, DWORD* read);

    bool IsHttp() const { return m_http; }
    // The final response's status, once its headers have arrived.
    std::optional<DWORD> StatusCode() const;
    // The final response's header of that name (case-insensitive).
    std::optional<std::string> Header(std::string_view name) const;

private:
    static size_t OnBody(char* data, size_t size, size_t count, void* self);
    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    void HeaderLine(std::string_view line);

    // Drives the transfer until `ready()` holds or the transfer has ended;
    // ERROR_INTERNET_OPERATION_CANCELLED when the stop check fired first.
    template <class Ready>
    DWORD Pump(Ready ready);
    bool Stopped();
    void CollectFinished();
    std::size_t Buffered() const { return m_body.size() - m_consumed; }
    // The error for a transfer that ended without success, once its bytes are read.
    DWORD EndError() const;

    std::shared_ptr<const CInternetSession> m_session;
    CURLM* m_multi = nullptr;
    CURL* m_easy = nullptr;
    curl_slist* m_requestHeaders = nullptr;
    bool m_attached = false;
    bool m_http = false;
    bool m_follow = true;

    bool m_finished = false;
    CURLcode m_result = CURLE_OK;
    bool m_stopped = false;

    // The header block being received; it is the final one once m_headersDone.
    DWORD m_status = 0;
    bool m_blockHasLocation = false;
    bool m_redirected = false;
    bool m_headersDone = false;
    std::vector<std::pair<std::string, std::string>> m_headers;

    std::string m_body;
    std::size_t m_consumed = 0;
};
