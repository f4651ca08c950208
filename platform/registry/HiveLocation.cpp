#include "platform/registry/HiveLocation.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace wys::registry {

namespace {

constexpr std::string_view kRegistryFolder = "/wayscribe/registry/";

std::optional<std::string> AbsoluteVariable(const char* name)
{
    const char* value = std::getenv(name);
    // Relative values are invalid for the XDG variables and are ignored.
    if (value && value[0] == '/')
        return std::string(value);
    return std::nullopt;
}

std::optional<std::string> HomeFolder()
{
    if (auto home = AbsoluteVariable("HOME"))
        return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
        return std::string(found->pw_dir);
    return std::nullopt;
}

std::string FirstSystemConfigFolder()
{
    const char* value = std::getenv("XDG_CONFIG_DIRS");
    std::string_view list = value ? value : "";
    while (!list.empty()) {
        std::size_t end = list.find(':');
        std::string_view folder = list.substr(0, end);
        if (!folder.empty() && folder.front() == '/')
            return std::string(folder);
        list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
    }
    return "/etc/xdg";
}

bool MayWrite(const std::string& path)
{
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

bool Exists(const std::string& path)
{
    return ::faccessat(AT_FDCWD, path.c_str(), F_OK, AT_EACCESS) == 0;
}

}  // namespace

std::optional<HiveLocation> LocateHive(PredefinedHive hive)
{
    HiveLocation location;
    std::string folder;
    if (hive == PredefinedHive::LocalMachine) {
        location.name = "HKEY_LOCAL_MACHINE";
        location.sharing = HiveSharing::MachineWide;
        folder = FirstSystemConfigFolder();
    } else {
        location.name = hive == PredefinedHive::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_CLASSES_ROOT";
        if (auto config = AbsoluteVariable("XDG_CONFIG_HOME")) {
            folder = *config;
        } else if (auto home = HomeFolder()) {
            folder = *home + "/.config";
        } else {
            return std::nullopt;
        }
    }
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    location.path = folder + std::string(kRegistryFolder) + location.name + ".reg";
    return location;
}

bool MayWriteHive(const HiveLocation& location)
{
    if (Exists(location.path))
        return MayWrite(location.path) && MayWrite(location.path.substr(0, location.path.rfind('/')));
    std::string folder = location.path;
    for (;;) {
        std::size_t slash = folder.rfind('/');
        if (slash == std::string::npos)
            return false;
        folder.resize(slash == 0 ? 1 : slash);
        if (Exists(folder))
            return MayWrite(folder);
        if (slash == 0)
            return false;
    }
}

}  // namespace wys::registry
