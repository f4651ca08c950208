// Private to platform/browser: turning a page's bytes into UTF-8 text.
#pragma once

#include <string>
#include <string_view>

namespace wys::browser {

// The page's text in UTF-8. The encoding is taken from a byte-order mark,
// else the charset parameter of `contentType`, else a <meta> declaration
// among the first 1024 bytes, else UTF-8 when the bytes are valid UTF-8 and
// windows-1252 otherwise. Labels are read as browsers read them (latin1 and
// ASCII mean windows-1252; a <meta> naming UTF-16 means UTF-8). Bytes that
// are invalid in the chosen encoding become U+FFFD. Thread-safe.
std::string DecodePageText(std::string_view body, std::string_view contentType);

}  // namespace wys::browser
