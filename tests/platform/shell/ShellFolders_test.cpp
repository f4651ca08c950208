#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/shell/ShellFolders.h"
#include "platform/shell/ShellPath.h"
#include "tests/support/TempHome.h"

namespace {

class ShellFolders : public wys::test::TempHomeTest {
protected:
    void WriteUserDirs(const std::string& text)
    {
        wys::test::WriteFile(m_home.ConfigHome() + "/user-dirs.dirs", text);
    }

    std::string Documents(int flags = 0)
    {
        char path[MAX_PATH] = "garbage";
        m_result = SHGetFolderPathA(nullptr, CSIDL_PERSONAL | flags, nullptr, SHGFP_TYPE_CURRENT, path);
        return path;
    }

    HRESULT m_result = E_UNEXPECTED;
};

}  // namespace

TEST_F(ShellFolders, DocumentsFromUserDirsFile)
{
    const std::string home = m_home.Home();
    struct Case {
        std::string file, expected;
    } cases[] = {
        {"XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n", home + "/Docs"},
        {"# comment\nXDG_DESKTOP_DIR=\"$HOME/Desk\"\n  XDG_DOCUMENTS_DIR=\"$HOME/Papers/\"\n",
         home + "/Papers"},
        {"XDG_DOCUMENTS_DIR=\"" + m_home.Path() + "/elsewhere\"\n", m_home.Path() + "/elsewhere"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\" \\\\x\"\n", home + "/My \"Docs\" \\x"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/\"\n", home},
        {"XDG_DOCUMENTS_DIR=\"$HOME/First\"\nXDG_DOCUMENTS_DIR=\"$HOME/Second\"\n", home + "/Second"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/\xC3\x89"
         "crits\"\n",
         home + "/\xC3\x89"
                "crits"},
        // Unusable entries fall back to ~/Documents.
        {"XDG_DOCUMENTS_DIR=\"Docs\"\n", home + "/Documents"},
        {"XDG_DOCUMENTS_DIR=\"$HOMEX/y\"\n", home + "/Documents"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/unterminated\n", home + "/Documents"},
        {"XDG_DOCUMENTS_DIR=$HOME/unquoted\n", home + "/Documents"},
        {"#XDG_DOCUMENTS_DIR=\"$HOME/Commented\"\n", home + "/Documents"},
        {"XDG_DOCUMENTS_DIRX=\"$HOME/Other\"\n", home + "/Documents"},
        {"", home + "/Documents"},
    };
    for (const Case& c : cases) {
        WriteUserDirs(c.file);
        EXPECT_EQ(Documents(), c.expected) << "user-dirs.dirs:\n" << c.file;
        // Not created without the flag: only an existing folder gives S_OK.
        EXPECT_EQ(m_result, std::filesystem::is_directory(c.expected) ? S_OK : S_FALSE) << c.file;
        EXPECT_TRUE(c.expected == home || !std::filesystem::exists(c.expected)) << c.file;
    }
}

TEST_F(ShellFolders, CreateFlagMakesTheFolder)
{
    const std::string expected = m_home.Home() + "/Documents";
    EXPECT_EQ(Documents(), expected);
    EXPECT_EQ(m_result, S_FALSE);
    EXPECT_FALSE(std::filesystem::exists(expected));

    EXPECT_EQ(Documents(CSIDL_FLAG_CREATE), expected);
    EXPECT_EQ(m_result, S_OK);
    EXPECT_TRUE(std::filesystem::is_directory(expected));

    WriteUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/deep/er/Docs\"\n");
    EXPECT_EQ(Documents(CSIDL_FLAG_CREATE), m_home.Home() + "/deep/er/Docs");
    EXPECT_EQ(m_result, S_OK);
    EXPECT_TRUE(std::filesystem::is_directory(m_home.Home() + "/deep/er/Docs"));
    EXPECT_EQ(Documents(), m_home.Home() + "/deep/er/Docs");
    EXPECT_EQ(m_result, S_OK);  // exists now
}

TEST_F(ShellFolders, CreationFailureLeavesThePathEmpty)
{
    wys::test::WriteFile(m_home.Home() + "/blocker", "a file where a folder should be");
    WriteUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/blocker/Docs\"\n");
    EXPECT_EQ(Documents(CSIDL_FLAG_CREATE), "");
    EXPECT_TRUE(FAILED(m_result));
}

TEST_F(ShellFolders, ConfigHomeAndDefaultType)
{
    const std::string config = m_home.Path() + "/other-config";
    wys::test::WriteFile(config + "/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/FromOther\"\n");
    ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    EXPECT_EQ(Documents(), m_home.Home() + "/FromOther");
    char path[MAX_PATH];
    EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_DEFAULT, path), S_FALSE);
    EXPECT_EQ(std::string(path), m_home.Home() + "/Documents");
    // A relative XDG_CONFIG_HOME is ignored: ~/.config is read.
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
    WriteUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/FromDefault\"\n");
    EXPECT_EQ(Documents(), m_home.Home() + "/FromDefault");
}

TEST_F(ShellFolders, OtherFoldersAndBadArguments)
{
    WriteUserDirs("XDG_DESKTOP_DIR=\"$HOME/Bureau\"\n");
    char path[MAX_PATH] = "garbage";
    EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, 0, path), S_FALSE);
    EXPECT_EQ(std::string(path), m_home.Home() + "/Bureau");
    std::filesystem::create_directories(m_home.Home());
    EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, 0, path), S_OK);
    EXPECT_EQ(std::string(path), m_home.Home());

    std::strcpy(path, "garbage");
    EXPECT_EQ(SHGetFolderPathA(nullptr, 0x001A, nullptr, 0, path), E_INVALIDARG);
    EXPECT_STREQ(path, "");
    EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, nullptr), E_INVALIDARG);

    WriteUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/" + std::string(300, 'x') + "\"\n");
    std::strcpy(path, "garbage");
    EXPECT_EQ(SHGetFolderPathA(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr, 0, path),
              HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_STREQ(path, "");
}
