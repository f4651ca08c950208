#include "platform/shell/ShellFolders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/shell/ShellPath.h"

namespace {

std::string HomeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
    struct passwd entry;
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return "/";
}

std::string ConfigHome(const std::string& home)
{
    // A relative XDG_CONFIG_HOME is invalid and ignored, as XDG readers do.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return config;
    return home + "/.config";
}

std::string WithoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The value of one line `KEY="value"` of user-dirs.dirs, or nullopt when the
// line is about another key or malformed. The file's own rules: the value is
// quoted, backslash escapes the next character, and it is either absolute or
// starts with $HOME.
std::optional<std::string> UserDirValue(std::string_view line, std::string_view key, const std::string& home)
{
    std::size_t i = line.find_first_not_of(" \t");
    if (i == std::string_view::npos || line.substr(i, key.size()) != key)
        return std::nullopt;
    i = line.find_first_not_of(" \t", i + key.size());
    if (i == std::string_view::npos || line[i] != '=')
        return std::nullopt;
    i = line.find_first_not_of(" \t", i + 1);
    if (i == std::string_view::npos || line[i] != '"')
        return std::nullopt;
    ++i;
    std::string value;
    if (line.substr(i, 5) == "$HOME") {
        i += 5;
        if (i < line.size() && line[i] != '/' && line[i] != '"')
            return std::nullopt;  // "$HOMEX" is not the home folder
        value = home;
    } else if (i >= line.size() || line[i] != '/') {
        return std::nullopt;
    }
    bool closed = false;
    for (; i < line.size(); ++i) {
        if (line[i] == '"') {
            closed = true;
            break;
        }
        if (line[i] == '\\' && i + 1 < line.size())
            ++i;
        value += line[i];
    }
    if (!closed)
        return std::nullopt;
    return WithoutTrailingSlashes(value);
}

std::optional<std::string> ConfiguredUserDir(std::string_view key, const std::string& home)
{
    std::ifstream file(ConfigHome(home) + "/user-dirs.dirs");
    std::optional<std::string> result;
    std::string line;
    while (std::getline(file, line)) {
        // A later entry for the same key wins, as in the XDG readers.
        if (auto value = UserDirValue(line, key, home))
            result = std::move(value);
    }
    return result;
}

std::optional<std::string> FolderPath(int folder, DWORD flags)
{
    const std::string home = WithoutTrailingSlashes(HomeFolder());
    std::string_view key;
    std::string fallback;
    switch (folder) {
        case CSIDL_PERSONAL:
            key = "XDG_DOCUMENTS_DIR";
            fallback = home + "/Documents";
            break;
        case CSIDL_DESKTOPDIRECTORY:
            key = "XDG_DESKTOP_DIR";
            fallback = home + "/Desktop";
            break;
        case CSIDL_PROFILE:
            return home;
        default:
            return std::nullopt;
    }
    if (flags == SHGFP_TYPE_DEFAULT)
        return fallback;
    return ConfiguredUserDir(key, home).value_or(fallback);
}

}  // namespace

HRESULT SHGetFolderPathA(HWND /*owner*/, int csidl, void* /*token*/, DWORD flags, char* path)
{
    if (!path)
        return E_INVALIDARG;
    path[0] = '\0';
    const std::optional<std::string> folder = FolderPath(csidl & ~CSIDL_FLAG_MASK, flags);
    if (!folder)
        return E_INVALIDARG;
    if (folder->size() >= MAX_PATH)
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    struct stat info;
    if (::stat(folder->c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        if (!(csidl & CSIDL_FLAG_CREATE)) {
            std::memcpy(path, folder->c_str(), folder->size() + 1);
            return S_FALSE;
        }
        std::error_code error;
        std::filesystem::create_directories(*folder, error);
        if (error)
            return HRESULT_FROM_WIN32(Win32ErrorFromErrno(error.value()));
    }
    std::memcpy(path, folder->c_str(), folder->size() + 1);
    return S_OK;
}
