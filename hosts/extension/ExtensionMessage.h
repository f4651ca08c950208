// The messages between the Wayscribe extension and its native host, checked
// on arrival. The extension is another program and its messages carry what
// pages put in them, so each message is validated whole before anything is
// done with it: a known type, every field of the right kind and within its
// bounds. A message that fails is refused as a whole, with the reason.
//
// From the extension (the field "type" names the kind):
//   {"type":"hello","browser":"chromium"}               the extension is there
//   {"type":"tab-opened","tab":7}                       a tab of a normal window
//   {"type":"tab-closed","tab":7}
//   {"type":"loading","tab":7,"url":"https://..."}      the tab starts a navigation
//   {"type":"complete","tab":7,"url":"...","title":"...","snapshot":"<snapshot JSON text>",
//    "cookies":[{"name":"...","value":"...","domain":"...","path":"/",
//                "secure":false,"httpOnly":false,"hostOnly":true,"expires":1.7e9}]}
//                                                       the page and its frames have loaded
//   {"type":"navigated","request":3,"tab":9}            a navigation the host asked for began
//   {"type":"navigate-failed","request":3,"error":"..."}
//   {"type":"focus"}                                    a normal window of this browser got the focus
// To the extension:
//   {"type":"navigate","request":3,"url":"...","tab":9} "tab" absent: a new tab of the last
//                                                       focused normal window
//
// Thread-safe (no state).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wys::extension {

// Bounds of the fields; a longer value refuses the message.
inline constexpr std::size_t kMaxUrlLength = 64 * 1024;
inline constexpr std::size_t kMaxTitleLength = 64 * 1024;
inline constexpr std::size_t kMaxCookies = 4096;
inline constexpr std::size_t kMaxCookieField = 8 * 1024;
inline constexpr std::size_t kMaxErrorLength = 4096;

enum class ExtensionMessageType {
    Hello,
    TabOpened,
    TabClosed,
    Loading,
    Complete,
    Navigated,
    NavigateFailed,
    Focus
};

// A cookie of the browser's store, as the page's downloads would send it.
struct BrowserCookie {
    std::string name;
    std::string value;
    std::string domain;
    std::string path;
    bool secure = false;
    bool httpOnly = false;
    bool hostOnly = false;
    std::optional<double> expires;  // seconds since 1970; none: a session cookie
};

struct ExtensionMessage {
    ExtensionMessageType type = ExtensionMessageType::Hello;
    int tab = -1;                        // tab-opened, tab-closed, loading, complete; navigated
    std::string url;                     // loading, complete
    std::string title;                   // complete (may be empty)
    std::string snapshot;                // complete: the snapshot script's result
    std::vector<BrowserCookie> cookies;  // complete
    long long request = 0;               // navigated, navigate-failed
    std::string text;                    // hello: the browser; navigate-failed: the error
};

// Parses and checks one message. Null, with *why saying what is wrong, when
// it is not a message of the table above.
std::optional<ExtensionMessage> ParseExtensionMessage(std::string_view json, std::string* why);

// The navigate message; `tab` < 0: a new tab.
std::string NavigateMessage(long long request, int tab, const std::string& url);

// Whether the host asks a browser to go to `url`: http, https, ftp and file
// URLs only, within kMaxUrlLength. Nothing that runs code in a page
// (javascript:, data:) or opens the browser's own pages.
bool IsNavigableUrl(std::string_view url);

}  // namespace wys::extension
