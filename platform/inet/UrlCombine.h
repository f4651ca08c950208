// Combining a base URL with a reference into an absolute URL, as the
// internet library's InternetCombineUrl does.
//
// The reference is resolved as RFC 3986 describes, with the leniency of
// browsers: leading and trailing spaces and control characters are dropped
// and tabs and line breaks inside removed; in http, https, ftp and file URLs a
// backslash before the query counts as a slash; a reference with the base's
// own scheme and no authority ("http:img.png") is relative; dot segments go,
// and ".." never climbs above the root. The scheme comes out in lower case and
// an http, https or ftp URL with a host gets at least "/" as its path.
// Unless ICU_NO_ENCODE is given, characters that may not stand in a URL
// (spaces, controls, '"', '<', '>', '`', '{', '}' in the path, bytes above
// 127) are written as %XX; '%' itself is left alone.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/inet/WinInet.h"

// Longest URL the internet library handles, without the terminating NUL.
inline constexpr DWORD INTERNET_MAX_URL_LENGTH = 2083;

// Flags: NO_ENCODE leaves unsafe characters as they are, ENCODE_SPACES_ONLY
// escapes spaces and nothing else, NO_META keeps "." and ".." segments;
// BROWSER_MODE is accepted, the leniency above being always on.
inline constexpr DWORD ICU_NO_ENCODE = 0x20000000;
inline constexpr DWORD ICU_ENCODE_SPACES_ONLY = 0x04000000;
inline constexpr DWORD ICU_NO_META = 0x08000000;
inline constexpr DWORD ICU_BROWSER_MODE = 0x02000000;

// Writes the combined URL and a NUL into `buffer`. *bufferLength is the
// buffer's size in characters, NUL included, on entry; on success it becomes
// the URL's length without the NUL. A buffer of 255 characters thus takes
// URLs of up to 254 characters. When the URL does not fit, FALSE with
// ERROR_INSUFFICIENT_BUFFER and *bufferLength = the size needed, NUL included.
// ERROR_INTERNET_INVALID_URL when `base` is not an absolute URL that can
// serve as a base (a reference without a scheme cannot), ERROR_INVALID_PARAMETER
// for flags outside the ICU_ set above. Sets InternetGetLastError.
BOOL InternetCombineUrl(const char* base, const char* relative, char* buffer, DWORD* bufferLength,
                        DWORD flags);

// The same combination as a string, without a length limit; nullopt where
// InternetCombineUrl fails for any reason but the buffer.
std::optional<std::string> CombineUrl(std::string_view base, std::string_view relative, DWORD flags = 0);
