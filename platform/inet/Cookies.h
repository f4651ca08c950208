// The process's cookie store, shared by every request of every session (and
// by the hosts' own page loads): as on the original platform, where the
// internet library keeps the browser's cookies, so that what a page loaded
// with a session cookie refers to is fetched with it too. Cookies live in
// memory only; nothing is written to disk.
//
// Thread-safe.
#pragma once

#include "platform/base/WinError.h"

// Keeps a cookie set for `url` (http or https). `data` is the cookie as a
// Set-Cookie header gives it: "name=value" followed by attributes ("; Path=/",
// "; Domain=example.com", "; Secure", "; HttpOnly", "; Expires=<date>",
// "; Max-Age=<seconds>"); when `name` is not null, `data` is only the value
// and its attributes, as with the platform's call. Without Domain the cookie
// goes back to the URL's host only; without Path, to the URL's folder. An
// expiry in the past removes the cookie of that name, domain and path.
// Unknown attributes are ignored. FALSE with ERROR_INVALID_PARAMETER (and
// nothing kept) for a URL that is not http or https, an empty name, a name
// or value with control characters (a line break would end the header it
// travels in), a Domain that does not cover the URL's host, or a name and
// value longer than 4096 bytes together; ERROR_INTERNET_INTERNAL_ERROR when
// the store cannot be had.
BOOL InternetSetCookie(const char* url, const char* name, const char* data);

// Forgets every cookie (a host whose profile was cleared), for the sessions
// opened from now on.
BOOL InternetClearCookies();
