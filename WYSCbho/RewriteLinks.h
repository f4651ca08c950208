// Pointing a saved HTML file at the local copies of its resources.
//
// For every saved URL, in key order, each occurrence of the URL's file name
// (the text after its last slash or backslash) that stands inside a quoted
// value that can spell the URL has the whole quoted value replaced by the
// local file's path relative to `directory`. So an attribute (or a script
// string) that holds the resource's absolute URL or any relative spelling of
// it becomes the local path.
//
// A quoted value is the text between the nearest quote before the
// occurrence and the nearest quote after it, when both are the same quote
// character and the text between holds no '<', '>' or line break. Anything
// else (a quote on one side only, different quotes, or "quotes" that belong
// to neighbouring markup, as around CSS url(name) between two attributes) is
// left as it is: replacing such a span would cut through the markup.
//
// A value can spell the URL when it is the URL itself, or when its path,
// without leading "./", "../" and separators, ends the URL after a slash.
// A local path written for one URL is never taken for a spelling of a later
// one. So of two saved URLs with one file name each keeps its own
// references, and text that merely mentions the name is left alone.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace wys::capture {

// Rewrites `text` as described above. `savedFiles`: URL -> full local path.
std::string RewriteLinksInText(std::string text, const std::string& directory,
                               const std::map<std::string, std::string>& savedFiles);

// Reads the file (it must exist; the text ends at its first NUL byte),
// rewrites it and writes it back, the file ending where the text ends. A file
// that cannot be opened is left alone; read and write errors are ignored.
void RewriteLinks(const std::string& file, const std::string& directory,
                  const std::map<std::string, std::string>& savedFiles);

// The path of `file` relative to the folder `directory`, canonical
// ("x_files/a.png", "../b.png"); empty when it cannot be formed within the
// platform's path limit.
std::string RelativeLocalPath(const std::string& directory, const std::string& file);

}  // namespace wys::capture
