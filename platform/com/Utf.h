// Conversions between UTF-8 (this platform's system code page) and UTF-16.
// Invalid sequences (overlong forms, surrogates encoded in UTF-8, lone
// surrogates in UTF-16, truncated sequences) become U+FFFD; nothing throws
// except for lack of memory. Embedded NULs are kept.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Appends the UTF-8 form of `code`; a surrogate or a value above U+10FFFF,
// which UTF-8 cannot carry, becomes U+FFFD.
void AppendUtf8(std::string& out, char32_t code);

// The length of the well-formed UTF-8 sequence that starts at text[at], 0
// when none does (a stray continuation byte, an overlong form, a surrogate, a
// value above U+10FFFF or a sequence cut short). REQUIRES: at < text.size().
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at);

// Whether all of `text` is well-formed UTF-8.
bool IsUtf8(std::string_view text);
