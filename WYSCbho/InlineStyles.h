// The style written inside an HTML page: the text of its style elements and
// its style attributes, found in the markup so that their references can be
// pointed at local copies while every other byte of the page stays.
//
// The scan reads markup as the page saver writes it and as browsers parse
// it: comments, doctypes and end tags are skipped, attribute values may be
// quoted either way or bare, and the contents of script, style and the other
// raw-text elements are text up to their end tag.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace wys::capture {

// `html` with the CSS of every style element and style attribute passed to
// `change`, in document order, and replaced by its answer. Attribute values
// are handed over with their character references decoded and are written
// back escaped in double quotes; a value that `change` returns unchanged is
// left exactly as it was written.
std::string RewriteInlineStyles(std::string_view html,
                                const std::function<std::string(const std::string&)>& change);

// The href of the page's first base element as written (character
// references decoded); empty when there is none.
std::string BaseHrefOf(std::string_view html);

}  // namespace wys::capture
