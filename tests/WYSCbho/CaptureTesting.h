// Helpers for the capture tests: documents built from HTML with the
// document object model, with frame documents looked up by absolute URL.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "platform/com/ComPtr.h"
#include "platform/dom/HtmlDocument.h"

namespace wys::test {

// Absolute URL -> HTML of the document shown there.
using PageSet = std::map<std::string, std::string>;

// Builds the document of `url` from `pages` (frames resolved against the
// document's URL, up to a depth of 4); an unknown frame URL has no document.
ComPtr<IHTMLDocument2> BuildSite(const PageSet& pages, const std::string& url);

// Builds one document from `html` at `url`, without frames.
ComPtr<IHTMLDocument2> BuildPageAt(std::string_view html, std::string_view url);

}  // namespace wys::test
