#include "tests/support/TempHome.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace wys::test {

namespace {
constexpr const char* kVariables[] = {"HOME",           "XDG_CONFIG_HOME", "XDG_DATA_HOME",  "XDG_STATE_HOME",
                                      "XDG_CACHE_HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_DIRS"};
}

TempHome::TempHome()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "wys-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary home folder");
    m_root = pattern;
    for (const char* name : kVariables) {
        const char* value = std::getenv(name);
        m_saved[name] = value ? std::optional<std::string>(value) : std::nullopt;
    }
    std::filesystem::create_directories(ConfigHome());
    std::filesystem::create_directories(RuntimeDir());
    std::filesystem::create_directories(SystemConfigDir());
    std::filesystem::permissions(RuntimeDir(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace);
    Set("HOME", Home());
    Set("XDG_CONFIG_HOME", ConfigHome());
    Set("XDG_DATA_HOME", Home() + "/.local/share");
    Set("XDG_STATE_HOME", Home() + "/.local/state");
    Set("XDG_CACHE_HOME", Home() + "/.cache");
    Set("XDG_RUNTIME_DIR", RuntimeDir());
    Set("XDG_CONFIG_DIRS", SystemConfigDir());
}

TempHome::~TempHome()
{
    for (const auto& [name, value] : m_saved) {
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
    std::error_code ignored;  // A leftover temporary folder is harmless.
    std::filesystem::remove_all(m_root, ignored);
}

void TempHome::Set(const char* name, const std::string& value)
{
    ::setenv(name, value.c_str(), 1);
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::filesystem::path p(path);
    if (p.has_parent_path())
        std::filesystem::create_directories(p.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace wys::test
