// Private to common/contentindex: turning a document's bytes into UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/AsciiText.h"

namespace wys::content {

// The text of `bytes` in UTF-8. The encoding is taken from a byte-order
// mark, else `declared` (a charset label, from a Content-Type parameter;
// may be empty), else a <meta> declaration among the first 1024 bytes, else
// UTF-8 when the bytes are valid UTF-8 and windows-1252 otherwise. Labels
// are read as browsers read them (latin1 and ASCII mean windows-1252; a
// <meta> naming UTF-16 means UTF-8). A label that cannot be decoded counts
// as none. Bytes invalid in the chosen encoding become U+FFFD. Thread-safe.
std::string DecodeToUtf8(std::string_view bytes, std::string_view declared);

// The value of the parameter `name` (lower case) in a header value such as
// `text/html; charset="utf-8"`, quotes removed; empty when absent.
std::string HeaderParameter(std::string_view value, std::string_view name);

using wys::base::AsciiLower;

}  // namespace wys::content
