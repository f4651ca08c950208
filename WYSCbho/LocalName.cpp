#include "WYSCbho/LocalName.h"

#include <cstdio>

#include "WYSCbho/ParseUrl.h"
#include "platform/shell/ShellPath.h"

namespace wys::capture {
namespace {

// An extension longer than this is treated as part of the name when a long
// name has to be cut.
constexpr std::size_t kMaxKeptExtension = 16;

bool IsReplaced(unsigned char c)
{
    if (c < 0x20 || c == 0x7F)
        return true;
    switch (c) {
        case '"':
        case '\'':
        case '<':
        case '>':
        case '%':
            return true;
        default:
            return false;
    }
}

// Cuts `text` to at most `limit` bytes without splitting a UTF-8 sequence.
// Bytes that are no UTF-8 (a run of continuation bytes) are cut at the limit:
// backing up over them could leave nothing of the name.
std::string CutAtCharacter(std::string_view text, std::size_t limit)
{
    if (text.size() <= limit)
        return std::string(text);
    std::size_t end = limit;
    while (end > 0 && limit - end < 3 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    if ((static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        end = limit;
    return std::string(text.substr(0, end));
}

std::string_view ExtensionOf(std::string_view name)
{
    std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

std::string Join(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\'))
        return folder + name;
    return folder + "/" + name;
}

}  // namespace

std::optional<std::string> LocalNameOf(std::string_view url)
{
    std::optional<UrlParts> parts = ParseUrl(url);
    if (!parts)
        return std::nullopt;
    const std::string& path = parts->UrlPath;
    std::size_t separator = path.find_last_of("/\\");
    std::string name = separator == std::string::npos ? path : path.substr(separator + 1);
    if (name.empty() || name == "." || name == "..")
        return std::nullopt;
    for (char& c : name) {
        if (IsReplaced(static_cast<unsigned char>(c)))
            c = '_';
    }
    if (name.size() > kMaxLocalName) {
        std::string_view extension = ExtensionOf(name);
        if (extension.size() > kMaxKeptExtension)
            extension = {};
        std::string stem = CutAtCharacter(std::string_view(name).substr(0, name.size() - extension.size()),
                                          kMaxLocalName - extension.size());
        name = stem + std::string(extension);
    }
    return name;
}

std::optional<std::string> FreeTargetPath(const std::string& folder, const std::string& name)
{
    std::string candidate = Join(folder, name);
    if (!PathFileExistsA(candidate.c_str()))
        return candidate;
    std::string_view extension = ExtensionOf(name);
    std::string stem = name.substr(0, name.size() - extension.size());
    for (int i = 1; i <= kMaxNameNumber; ++i) {
        candidate = Join(folder, stem + std::to_string(i) + std::string(extension));
        if (!PathFileExistsA(candidate.c_str()))
            return candidate;
    }
    return std::nullopt;
}

}  // namespace wys::capture
