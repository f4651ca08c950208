// A temporary home folder for one test: HOME and the XDG variables point into
// it while the object lives, so that no test touches the real home folder.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

namespace wys::test {

class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::string& Path() const { return m_root; }
    std::string Home() const { return m_root + "/home"; }
    std::string ConfigHome() const { return m_root + "/home/.config"; }
    std::string RuntimeDir() const { return m_root + "/run"; }
    std::string SystemConfigDir() const { return m_root + "/etc-xdg"; }

private:
    void Set(const char* name, const std::string& value);

    std::string m_root;
    std::map<std::string, std::optional<std::string>> m_saved;
};

// Fixture base for tests that need an isolated home folder.
class TempHomeTest : public ::testing::Test {
protected:
    TempHome m_home;
};

// Writes text to a file, creating the folders above it.
void WriteFile(const std::string& path, const std::string& text);
// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace wys::test
