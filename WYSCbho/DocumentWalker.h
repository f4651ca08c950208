// The document walker: what has to be saved with a page. It looks at the
// top-level document only; resources inside frames are not collected, the
// frames' own documents are (FrameUrls).
#pragma once

#include <map>
#include <set>
#include <string>

#include "platform/dom/HtmlDocument.h"

namespace wys::capture {

struct WalkResult {
    // Absolute URLs of images, scripts, style sheets, image inputs and
    // player media (strings that could not be made absolute stay as found).
    std::set<std::string> ResourceUrls;
    // Absolute URL -> the spellings under which the page wrote it.
    std::map<std::string, std::set<std::string>> ResourceSpellings;
    // URLs of the documents of the top-level document's frames.
    std::set<std::string> FrameUrls;
    // The absolute URLs of ResourceUrls that came from linked style sheets,
    // whose own references are followed when they are saved.
    std::set<std::string> StyleSheetUrls;
};

// Walks `document`, which must not be null.
WalkResult WalkDocument(IHTMLDocument2* document);

}  // namespace wys::capture
