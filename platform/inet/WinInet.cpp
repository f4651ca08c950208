#include "platform/inet/WinInet.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_set>

#include "platform/inet/InternetObject.h"
#include "platform/inet/InternetSession.h"
#include "platform/inet/UrlRequest.h"

namespace {

class CSessionHandle final : public InternetObject {
public:
    explicit CSessionHandle(std::shared_ptr<CInternetSession> session) : m_session(std::move(session)) {}
    const std::shared_ptr<CInternetSession>& Session() const { return m_session; }

private:
    std::shared_ptr<CInternetSession> m_session;
};

struct HandleTable {
    std::mutex lock;
    std::unordered_set<const InternetObject*> open;
};

HandleTable& Handles()
{
    static HandleTable* table = new HandleTable;  // never destroyed: handles may outlive statics
    return *table;
}

bool InitialiseCurl()
{
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

// Copies `text` and a NUL into an HttpQueryInfo buffer.
BOOL CopyInfoText(const std::string& text, void* buffer, DWORD* bufferLength)
{
    DWORD needed = static_cast<DWORD>(text.size() + 1);
    if (!buffer || *bufferLength < needed) {
        *bufferLength = needed;
        return SetInternetError(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, text.c_str(), needed);
    *bufferLength = needed - 1;
    return TRUE;
}

BOOL CopyInfoNumber(const std::string& text, void* buffer, DWORD* bufferLength)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 10)
        return SetInternetError(ERROR_HTTP_INVALID_SERVER_RESPONSE);
    unsigned long long value = std::stoull(text);
    if (value > 0xFFFFFFFFull)
        return SetInternetError(ERROR_HTTP_INVALID_SERVER_RESPONSE);
    if (!buffer || *bufferLength < sizeof(DWORD)) {
        *bufferLength = sizeof(DWORD);
        return SetInternetError(ERROR_INSUFFICIENT_BUFFER);
    }
    DWORD number = static_cast<DWORD>(value);
    std::memcpy(buffer, &number, sizeof number);
    *bufferLength = sizeof number;
    return TRUE;
}

}  // namespace

HINTERNET RegisterInternetObject(InternetObject* object)
{
    HandleTable& table = Handles();
    std::lock_guard guard(table.lock);
    table.open.insert(object);
    return object;
}

bool UnregisterInternetObject(InternetObject* object)
{
    HandleTable& table = Handles();
    std::lock_guard guard(table.lock);
    return table.open.erase(object) == 1;
}

bool IsOpenInternetObject(HINTERNET handle)
{
    HandleTable& table = Handles();
    std::lock_guard guard(table.lock);
    return handle && table.open.contains(handle);
}

HINTERNET InternetOpen(const char* agent, DWORD accessType, const char* proxy, const char* proxyBypass,
                       DWORD flags)
{
    if (flags != 0 ||
        (accessType != INTERNET_OPEN_TYPE_PRECONFIG && accessType != INTERNET_OPEN_TYPE_DIRECT &&
         accessType != INTERNET_OPEN_TYPE_PROXY &&
         accessType != INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY) ||
        (accessType == INTERNET_OPEN_TYPE_PROXY && (!proxy || !*proxy))) {
        SetInternetError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!InitialiseCurl()) {
        SetInternetError(ERROR_INTERNET_INTERNAL_ERROR);
        return nullptr;
    }
    auto session = std::make_shared<CInternetSession>(
        agent ? std::optional<std::string>(agent) : std::nullopt, accessType,
        accessType == INTERNET_OPEN_TYPE_PROXY ? proxy : "",
        accessType == INTERNET_OPEN_TYPE_PROXY && proxyBypass ? proxyBypass : "");
    if (!session->IsValid()) {
        SetInternetError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return RegisterInternetObject(new CSessionHandle(std::move(session)));
}

BOOL InternetSetStopCheck(HINTERNET session, InternetStopCheck stop)
{
    auto* handle = FindInternetObject<CSessionHandle>(session);
    if (!handle)
        return FALSE;
    handle->Session()->SetStopCheck(std::move(stop));
    return TRUE;
}

HINTERNET InternetOpenUrl(HINTERNET session, const char* url, const char* headers, DWORD, DWORD flags,
                          DWORD_PTR)
{
    auto* handle = FindInternetObject<CSessionHandle>(session);
    if (!handle)
        return nullptr;
    if (!url) {
        SetInternetError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto request = std::make_unique<CUrlRequest>(handle->Session());
    // A request that follows redirects as the browser did and adds no
    // headers of its own may take what the browser loaded with the page.
    if ((flags & (INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_AUTO_REDIRECT)) == 0 && (!headers || !*headers)) {
        if (auto preloaded = TakePreloadedResponse(url, handle->Session()->StopCheck())) {
            request->OpenPreloaded(std::move(*preloaded));
            return RegisterInternetObject(request.release());
        }
    }
    if (DWORD error = request->Open(url, headers, flags)) {
        SetInternetError(error);
        return nullptr;
    }
    return RegisterInternetObject(request.release());
}

BOOL InternetIsUrlPreloaded(const char* url)
{
    return url && HasPreloadedResponse(url) ? TRUE : FALSE;
}

BOOL InternetQueryDataAvailable(HINTERNET request, DWORD* available, DWORD, DWORD_PTR)
{
    auto* object = FindInternetObject<CUrlRequest>(request);
    if (!object)
        return FALSE;
    if (!available)
        return SetInternetError(ERROR_INVALID_PARAMETER);
    *available = 0;
    if (DWORD error = object->Available(available))
        return SetInternetError(error);
    return TRUE;
}

BOOL InternetReadFile(HINTERNET request, void* buffer, DWORD toRead, DWORD* read)
{
    auto* object = FindInternetObject<CUrlRequest>(request);
    if (!object)
        return FALSE;
    if (!read || (!buffer && toRead > 0))
        return SetInternetError(ERROR_INVALID_PARAMETER);
    *read = 0;
    if (DWORD error = object->Read(buffer, toRead, read))
        return SetInternetError(error);
    return TRUE;
}

BOOL HttpQueryInfo(HINTERNET request, DWORD infoLevel, void* buffer, DWORD* bufferLength, DWORD* index)
{
    auto* object = FindInternetObject<CUrlRequest>(request);
    if (!object)
        return FALSE;
    if (!object->IsHttp())
        return SetInternetError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    if (!bufferLength || index)
        return SetInternetError(ERROR_INVALID_PARAMETER);
    bool number = (infoLevel & HTTP_QUERY_FLAG_NUMBER) != 0;
    std::optional<std::string> value;
    switch (infoLevel & ~HTTP_QUERY_FLAG_NUMBER) {
        case HTTP_QUERY_STATUS_CODE:
            if (auto status = object->StatusCode())
                value = std::to_string(*status);
            break;
        case HTTP_QUERY_CONTENT_TYPE:
            value = object->Header("Content-Type");
            break;
        case HTTP_QUERY_CONTENT_LENGTH:
            value = object->Header("Content-Length");
            break;
        default:
            return SetInternetError(ERROR_INVALID_PARAMETER);
    }
    if (!value)
        return SetInternetError(ERROR_HTTP_HEADER_NOT_FOUND);
    return number ? CopyInfoNumber(*value, buffer, bufferLength) : CopyInfoText(*value, buffer, bufferLength);
}

BOOL InternetCloseHandle(HINTERNET handle)
{
    if (!handle || !UnregisterInternetObject(handle))
        return SetInternetError(ERROR_INVALID_HANDLE);
    delete handle;
    return TRUE;
}
