#include "platform/shell/SplitPath.h"

#include "platform/shell/ShellPath.h"

std::optional<SplitPathParts> SplitPath(std::string_view path)
{
    SplitPathParts parts;
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    parts.dir = PathWithSlashes(path.substr(0, nameStart));
    const std::string_view name = path.substr(nameStart);
    const std::size_t dot = name.rfind('.');
    parts.fname = std::string(name.substr(0, dot));
    if (dot != std::string_view::npos)
        parts.ext = std::string(name.substr(dot));
    if (parts.dir.size() >= MAX_DIR || parts.fname.size() >= MAX_FNAME || parts.ext.size() >= MAX_EXT)
        return std::nullopt;
    return parts;
}
