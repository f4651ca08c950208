#include "WYSCbho/RewriteLinks.h"

#include <string.h>

#include <vector>

#include "WYSCbho/TextFileRewrite.h"
#include "platform/shell/ShellPath.h"

namespace wys::capture {
namespace {

// glibc's memmem finds a file name in a page in half the time of
// std::string::find, which stops at every byte equal to the name's first.
std::size_t FindName(std::string_view text, std::string_view name, std::size_t from)
{
    if (from > text.size())
        return std::string_view::npos;
    const void* found = ::memmem(text.data() + from, text.size() - from, name.data(), name.size());
    return found ? static_cast<std::size_t>(static_cast<const char*>(found) - text.data())
                 : std::string_view::npos;
}

bool IsQuote(char c)
{
    return c == '"' || c == '\'';
}

// Whether text[open+1, close) can be a quoted value (see the header).
bool IsQuotedValue(std::string_view text, std::size_t open, std::size_t close)
{
    if (text[open] != text[close])
        return false;
    return text.substr(open + 1, close - open - 1).find_first_of("<>\r\n") == std::string_view::npos;
}

// Whether the quoted value `value` can be a spelling of `url`: the URL
// itself, or a reference whose path, without leading "./", "../" and
// separators, is the end of the URL after a slash. A value that names
// another URL with the same file name, or merely mentions the name, is not.
bool CanSpell(std::string_view value, std::string_view url)
{
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t' || value.front() == '\n'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\n'))
        value.remove_suffix(1);
    if (value == url)
        return true;
    std::string path(value);
    for (char& c : path) {
        if (c == '\\')
            c = '/';
    }
    std::string_view rest = path;
    while (true) {
        if (rest.starts_with("./"))
            rest.remove_prefix(2);
        else if (rest.starts_with("../"))
            rest.remove_prefix(3);
        else if (rest.starts_with("/"))
            rest.remove_prefix(1);
        else
            break;
    }
    if (rest.empty() || url.size() <= rest.size())
        return false;
    return url.ends_with(rest) && url[url.size() - rest.size() - 1] == '/';
}

// Spans of the text that hold local paths written by earlier entries.
struct InsertedSpan {
    std::size_t begin;
    std::size_t end;
};

bool IsInside(const std::vector<InsertedSpan>& spans, std::size_t offset)
{
    for (const InsertedSpan& span : spans) {
        if (offset >= span.begin && offset < span.end)
            return true;
    }
    return false;
}

// Records that text[begin, begin + removed) became `inserted` bytes.
void NoteReplacement(std::vector<InsertedSpan>& spans, std::size_t begin, std::size_t removed,
                     std::size_t inserted)
{
    for (InsertedSpan& span : spans) {
        if (span.begin >= begin + removed) {
            span.begin = span.begin - removed + inserted;
            span.end = span.end - removed + inserted;
        }
    }
    spans.push_back({begin, begin + inserted});
}

void RewriteOne(std::string& text, std::vector<InsertedSpan>& spans, std::string_view url,
                std::string_view name, const std::string& relative)
{
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t found = FindName(text, name, start);
        if (found == std::string::npos)
            return;
        // A local path written for another URL is never taken for a spelling.
        if (IsInside(spans, found)) {
            start = found + name.size();
            continue;
        }
        std::size_t before = found == 0 ? std::string::npos : found - 1;
        while (before != std::string::npos && !IsQuote(text[before]))
            before = before == 0 ? std::string::npos : before - 1;
        std::size_t after = found + name.size();
        while (after < text.size() && !IsQuote(text[after]))
            ++after;
        if (before != std::string::npos && after < text.size() && IsQuotedValue(text, before, after) &&
            CanSpell(std::string_view(text).substr(before + 1, after - before - 1), url)) {
            text.replace(before + 1, after - before - 1, relative);
            NoteReplacement(spans, before + 1, after - before - 1, relative.size());
            start = before + 1 + relative.size();
        } else {
            start = found + name.size();
        }
    }
}

std::string_view FileNameOf(std::string_view url)
{
    std::size_t separator = url.find_last_of("/\\");
    return separator == std::string_view::npos ? url : url.substr(separator + 1);
}

}  // namespace

std::string RelativeLocalPath(const std::string& directory, const std::string& file)
{
    char relative[MAX_PATH];
    if (!PathRelativePathToA(relative, directory.c_str(), FILE_ATTRIBUTE_DIRECTORY, file.c_str(),
                             FILE_ATTRIBUTE_NORMAL))
        return {};
    // The result starts with "./" when it climbs no folder; canonicalising
    // the whole path would also drop a leading "..", so only that goes.
    std::string_view path = relative;
    if (path.starts_with("./"))
        path.remove_prefix(2);
    return std::string(path);
}

std::string RewriteLinksInText(std::string text, const std::string& directory,
                               const std::map<std::string, std::string>& savedFiles)
{
    std::vector<InsertedSpan> spans;
    for (const auto& [url, path] : savedFiles) {
        std::string_view name = FileNameOf(url);
        std::string relative = RelativeLocalPath(directory, path);
        // Without a local path there is nothing to point at; an empty name
        // would match everywhere.
        if (name.empty() || relative.empty())
            continue;
        RewriteOne(text, spans, url, name, relative);
    }
    return text;
}

void RewriteLinks(const std::string& file, const std::string& directory,
                  const std::map<std::string, std::string>& savedFiles)
{
    RewriteTextFile(
        file, [&](std::string text) { return RewriteLinksInText(std::move(text), directory, savedFiles); });
}

}  // namespace wys::capture
