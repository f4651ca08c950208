// The internet library: sessions, URL requests and their reads, as the page
// capture calls them, carried out by libcurl.
//
// A session (InternetOpen) holds the agent name, the proxy choice and a
// connection cache: every request opened on one session reuses its
// connections where the server keeps them alive, so a capture that keeps one
// session for its resources talks to each host over one connection. Cookies
// are the process's (Cookies.h): every request carries those that the
// process's pages were given, and keeps those its responses set.
//
// Threads: each handle is used by one thread at a time; different handles may
// be used on different threads at once. Failures return FALSE or null and set
// the calling thread's last internet error (InternetGetLastError).
#pragma once

#include <cstdint>
#include <functional>

#include "platform/base/WinError.h"

// An open session or URL request; only the functions below look inside.
struct InternetObject;
using HINTERNET = InternetObject*;
using DWORD_PTR = std::uintptr_t;

// Access types of InternetOpen: PRECONFIG takes proxies from http_proxy,
// https_proxy, all_proxy and no_proxy; DIRECT uses none whatever the
// environment says; PROXY uses the proxy and bypass list given.
inline constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;
inline constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;
inline constexpr DWORD INTERNET_OPEN_TYPE_PROXY = 3;
inline constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY = 4;

// Flags of InternetOpenUrl. There is no cache here: the cache flags are
// accepted and every request goes to the network.
inline constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000;
inline constexpr DWORD INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000;
inline constexpr DWORD INTERNET_FLAG_PRAGMA_NOCACHE = 0x00000100;
inline constexpr DWORD INTERNET_FLAG_NEED_FILE = 0x00000010;
inline constexpr DWORD INTERNET_FLAG_KEEP_CONNECTION = 0x00400000;
// Redirects are followed (up to 10) unless this is given.
inline constexpr DWORD INTERNET_FLAG_NO_AUTO_REDIRECT = 0x00200000;
// This platform's own: lets a request read a file URL. Without it only http,
// https and ftp are fetched, and a redirect never leads anywhere else.
inline constexpr DWORD INTERNET_FLAG_ALLOW_FILE_SCHEME = 0x00000008;

// Information levels of HttpQueryInfo; add HTTP_QUERY_FLAG_NUMBER for a DWORD.
inline constexpr DWORD HTTP_QUERY_CONTENT_TYPE = 1;
inline constexpr DWORD HTTP_QUERY_CONTENT_LENGTH = 5;
inline constexpr DWORD HTTP_QUERY_STATUS_CODE = 19;
inline constexpr DWORD HTTP_QUERY_FLAG_NUMBER = 0x20000000;

// Error values of the internet library.
inline constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
inline constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
inline constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
inline constexpr DWORD ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
inline constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
inline constexpr DWORD ERROR_INTERNET_OPERATION_CANCELLED = 12017;
inline constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
inline constexpr DWORD ERROR_INTERNET_ITEM_NOT_FOUND = 12028;
inline constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
inline constexpr DWORD ERROR_INTERNET_SEC_CERT_ERRORS = 12055;
inline constexpr DWORD ERROR_HTTP_HEADER_NOT_FOUND = 12150;
inline constexpr DWORD ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr DWORD ERROR_HTTP_REDIRECT_FAILED = 12156;
inline constexpr DWORD ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;

// Opens a session. `agent` is sent as the User-Agent of every request; null
// sends none. `proxy` and `proxyBypass` are used only with
// INTERNET_OPEN_TYPE_PROXY (libcurl's proxy and no-proxy syntax). `flags`
// must be 0. Close the result with InternetCloseHandle.
HINTERNET InternetOpen(const char* agent, DWORD accessType, const char* proxy, const char* proxyBypass,
                       DWORD flags);

// Asks `session` to give up: `stop` is called on the reading thread between
// reads and at least every 100 ms while a call waits for the network; once it
// returns true, the waiting call and every later read of the session's
// requests fail with ERROR_INTERNET_OPERATION_CANCELLED. Set it before the
// session's first request; an empty function removes it.
using InternetStopCheck = std::function<bool()>;
BOOL InternetSetStopCheck(HINTERNET session, InternetStopCheck stop);

// Requests `url` on `session` and returns once the response headers (after
// redirects) have arrived, or the first bytes for protocols without headers.
// The body is delivered whatever the response status. `headers` are extra
// request header lines separated by CRLF (null or empty for none;
// `headersLength` is ignored, the text ends at its NUL). `context` is kept
// and unused. Null on failure: ERROR_INTERNET_UNRECOGNIZED_SCHEME for a
// scheme that may not be fetched, ERROR_INTERNET_INVALID_URL,
// ERROR_INTERNET_NAME_NOT_RESOLVED, ERROR_INTERNET_CANNOT_CONNECT,
// ERROR_HTTP_REDIRECT_FAILED, ERROR_INTERNET_OPERATION_CANCELLED, ...
HINTERNET InternetOpenUrl(HINTERNET session, const char* url, const char* headers, DWORD headersLength,
                          DWORD flags, DWORD_PTR context);

// Whether InternetOpenUrl (without INTERNET_FLAG_RELOAD and headers of its
// own) would now answer `url` from what the browser loaded with the page,
// without asking the server: as a lookup in the platform's cache tells.
BOOL InternetIsUrlPreloaded(const char* url);

// Waits until body bytes are buffered or the body has ended; *available is
// the number buffered (0 at the end). FALSE when the transfer failed (the
// bytes before the failure are read first) or was stopped.
BOOL InternetQueryDataAvailable(HINTERNET request, DWORD* available, DWORD flags, DWORD_PTR context);

// Reads up to `toRead` body bytes, waiting until that many have arrived or the
// body has ended. TRUE with *read == 0 means the end. FALSE as for
// InternetQueryDataAvailable.
BOOL InternetReadFile(HINTERNET request, void* buffer, DWORD toRead, DWORD* read);

// Reads response information of an http or https request. Text levels copy
// the value with a NUL into `buffer` (*bufferLength: its size in bytes on
// entry, the text's length without the NUL on return); when it does not fit,
// ERROR_INSUFFICIENT_BUFFER and *bufferLength = the size needed with the NUL.
// With HTTP_QUERY_FLAG_NUMBER a DWORD is stored (*bufferLength >= 4).
// ERROR_HTTP_HEADER_NOT_FOUND when the response has no such value;
// ERROR_INTERNET_INCORRECT_HANDLE_TYPE for a session or a non-http request.
// `index` must be null.
BOOL HttpQueryInfo(HINTERNET request, DWORD infoLevel, void* buffer, DWORD* bufferLength, DWORD* index);

// Closes a session or a request. A request stays usable after its session is
// closed. ERROR_INVALID_HANDLE for a handle that is not open.
BOOL InternetCloseHandle(HINTERNET handle);

// The last error set on the calling thread by one of the functions above.
DWORD InternetGetLastError();
