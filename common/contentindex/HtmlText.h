// Private to common/contentindex: the text a person reads in one HTML
// document.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace wys::content {

struct HtmlText {
    // The document's title, whitespace collapsed; empty when it has none.
    std::string Title;
    // The text of the body: no markup, no scripts, style sheets or other
    // content that is not shown; character references decoded. Runs of
    // whitespace become one space, block elements and line breaks start a
    // new line, and no-break spaces are plain spaces, as a reader sees them.
    std::string Text;
    // The src of every frame and inline frame, as written, in document order.
    std::vector<std::string> FrameSources;
    // The document nests elements deeper than kMaxHtmlNesting; it was read
    // only up to there.
    bool Cut = false;
    // The stop flag was raised before the text was complete.
    bool Stopped = false;
};

// The parser's work grows with the square of the nesting depth, so a
// document nested deeper than any real page is read only up to that depth.
inline constexpr std::size_t kMaxHtmlNesting = 512;

// Parses `utf8` (UTF-8; invalid sequences are read as U+FFFD) as a browser
// would. Never recurses into the document tree, so no nesting exhausts the
// stack, and stops where the nesting passes kMaxHtmlNesting. Thread-safe.
// `stop` (may be null) is polled while the text is gathered.
HtmlText ExtractHtmlText(std::string_view utf8, const std::atomic<bool>* stop = nullptr);

}  // namespace wys::content
