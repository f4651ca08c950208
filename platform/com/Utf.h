// Conversions between UTF-8 (this platform's system code page) and UTF-16.
// Invalid sequences (overlong forms, surrogates encoded in UTF-8, lone
// surrogates in UTF-16, truncated sequences) become U+FFFD; nothing throws
// except for lack of memory. Embedded NULs are kept.
#pragma once

#include <string>
#include <string_view>

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
