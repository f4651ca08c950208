// The references of style sheet text, with their places, so that a saved
// style sheet (or the style inside a saved page) can be pointed at the local
// copies of what it uses: @import of another sheet, and url(...) of images,
// fonts and the like.
//
// The scan follows the tokens of CSS far enough to find these and nothing
// else: comments are skipped, strings are read whole (a "url(" inside a
// string is text), escapes are decoded in the URLs found. Any bytes are
// accepted; an unterminated token ends the text.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wys::capture {

struct CssReference {
    enum class Kind { Import, Url };
    Kind kind;
    // The bytes to replace: the whole url(...) token, or the string after
    // @import.
    std::size_t begin;
    std::size_t end;
    // The reference as CSS means it: escapes decoded, surrounding white
    // space dropped, not yet resolved.
    std::string url;
};

// Every reference of `css`, in text order.
std::vector<CssReference> FindCssReferences(std::string_view css);

// `css` with each reference for which `localUrl` answers a value replaced
// by url("value"); references it answers nullopt for stay as written.
// `localUrl` gets each reference in text order.
std::string RewriteCssReferences(
    std::string_view css, const std::function<std::optional<std::string>(const CssReference&)>& localUrl);

// A local file path (relative, "/" separated) as it may stand inside
// url("..."): bytes that would end the string, start a query or fragment or
// an escape, and bytes outside printable ASCII, written as %XX. The result
// is plain ASCII, so it reads the same whatever character set the sheet has.
std::string CssUrlOfLocalPath(std::string_view path);

}  // namespace wys::capture
