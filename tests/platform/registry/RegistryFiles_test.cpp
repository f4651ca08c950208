#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "platform/registry/HiveLocation.h"
#include "platform/registry/Registry.h"
#include "tests/platform/registry/RegistryTestSupport.h"

using namespace wys::test;
using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

constexpr const char* kWysc = "Software\\Quillonix\\WYSC";

class RegistryFiles : public TempHomeTest {
protected:
    std::string UserHive() const { return UserHivePath(m_home, "HKEY_CURRENT_USER"); }

    enum class Others { MayRead, MayWrite };

    // Lets every user reach, and perhaps change, the folders of `path`.
    void OpenUp(const std::string& path, Others others)
    {
        for (fs::path folder = fs::path(path).parent_path(); folder.string().size() >= m_home.Path().size();
             folder = folder.parent_path())
            fs::permissions(folder,
                            others == Others::MayWrite
                                ? fs::perms::all
                                : fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    }
};

// Runs `check` as a user without special rights, so that file permissions
// apply: as "nobody" in a child process when this process is root. Returns
// the failures `check` reported (gtest cannot see a child's assertions).
std::string RunUnprivileged(const std::function<std::string()>& check)
{
    if (::geteuid() != 0)
        return check();
    int channel[2];
    if (::pipe(channel) != 0)
        return "no pipe";
    pid_t child = ::fork();
    if (child == 0) {
        std::string failures = "cannot become nobody";
        if (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0)
            failures = check();
        (void)!::write(channel[1], failures.data(), failures.size());
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string failures;
    char buffer[512];
    for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        failures.append(buffer, static_cast<std::size_t>(got));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? failures : failures + "child died";
}

void Expect(std::string& failures, const char* what, LONG got, LONG expected)
{
    if (got != expected)
        failures +=
            std::string(what) + ": " + std::to_string(got) + " not " + std::to_string(expected) + "\n";
}

}  // namespace

TEST_F(RegistryFiles, DamagedHivesKeepTheirSoundLinesAndTheOriginal)
{
    const std::pair<const char*, std::string> cases[] = {
        {"garbled",
         "; hand edited\n[Software\\Quillonix\\WYSC]\n\"HelpPath\"=sz:\"/help\"\nnot a value\n"
         "\"Broken\"=dword:xyz\n\"CurrentTab\"=binary:01,00,00,00\n[Unclosed\n\"Lost\"=sz:\"x\"\n"
         "[Other]\n@=sz:\"kept\"\n"},
        {"cut short",
         "[Software\\Quillonix\\WYSC]\n\"HelpPath\"=sz:\"/help\"\n"
         "\"CurrentTab\"=binary:01,00,00,00\n"
         "[Other]\n@=sz:\"kept\"\n\"Partial\"=sz:\"no end"},
        {"noise",
         "[Software\\Quillonix\\WYSC]\n\"HelpPath\"=sz:\"/help\"\n\x01\x02\xff\0\0\xfe\n"
         "\"CurrentTab\"=binary:01,00,00,00\n\0\0\0\n[Other]\n@=sz:\"kept\"\n"s},
        {"CRLF",
         "[Software\\Quillonix\\WYSC]\r\n\"HelpPath\"=sz:\"/help\"\r\n"
         "\"CurrentTab\"=binary:01,00,00,00\r\n"
         "[Other]\r\n@=sz:\"kept\"\r\nnonsense\r\n"},
    };
    auto expectSoundValues = [](const char* what) {
        EXPECT_EQ(ValueAt(HKEY_CURRENT_USER, kWysc, "HelpPath"), "/help\0"s) << what;
        EXPECT_EQ(ValueAt(HKEY_CURRENT_USER, kWysc, "CurrentTab"), "\x01\0\0\0"s) << what;
        EXPECT_EQ(ValueAt(HKEY_CURRENT_USER, "Other", ""), "kept\0"s) << what;
    };
    for (const auto& [what, text] : cases) {
        WriteFile(UserHive(), text);
        fs::remove(UserHive() + ".bad");
        expectSoundValues(what);
        EXPECT_FALSE(fs::exists(UserHive() + ".bad")) << what << ": reading changes nothing";

        // The first change keeps the original aside and rewrites what was sound.
        ASSERT_EQ(SetBytes(HKEY_CURRENT_USER, "New", REG_BINARY, "\x05"s), ERROR_SUCCESS) << what;
        EXPECT_EQ(ReadFile(UserHive() + ".bad"), text) << what;
        expectSoundValues(what);
        EXPECT_EQ(ValueAt(HKEY_CURRENT_USER, nullptr, "New"), "\x05"s) << what;
        // Now the hive is sound: later changes keep no more copies.
        ASSERT_EQ(SetBytes(HKEY_CURRENT_USER, "Newer", REG_BINARY, "\x06"s), ERROR_SUCCESS) << what;
        EXPECT_FALSE(fs::exists(UserHive() + ".bad.2")) << what;
    }

    // Earlier copies are never overwritten.
    WriteFile(UserHive() + ".bad.2", "another older copy");
    WriteFile(UserHive(), "[K]\nrubbish\n");
    ASSERT_EQ(SetBytes(HKEY_CURRENT_USER, "B", REG_BINARY, "\x02"s), ERROR_SUCCESS);
    EXPECT_EQ(ReadFile(UserHive() + ".bad"), cases[3].second);
    EXPECT_EQ(ReadFile(UserHive() + ".bad.2"), "another older copy");
    EXPECT_EQ(ReadFile(UserHive() + ".bad.3"), "[K]\nrubbish\n");
}

TEST_F(RegistryFiles, AHiveThatCannotBeReadIsNeverReplaced)
{
    fs::create_directories(UserHive());  // a folder where the file should be
    EXPECT_EQ(ValueAt(HKEY_CURRENT_USER, nullptr, "A"), ErrorText(ERROR_BADDB));
    EXPECT_EQ(SetBytes(HKEY_CURRENT_USER, "A", REG_BINARY, "\x01"s), ERROR_BADDB);
    EXPECT_TRUE(fs::is_directory(UserHive()));
    fs::remove(UserHive());

    WriteFile(UserHive(), "[K]\n\"A\"=binary:01\n");
    fs::permissions(UserHive(), fs::perms::none);
    OpenUp(UserHive(), Others::MayWrite);
    EXPECT_EQ(RunUnprivileged([] {
                  std::string failures;
                  Expect(failures, "query", RegQueryValueEx(HKEY_CURRENT_USER, "A", 0, 0, 0, 0),
                         ERROR_ACCESS_DENIED);
                  Expect(failures, "set", SetBytes(HKEY_CURRENT_USER, "B", REG_BINARY, "\x02"s),
                         ERROR_ACCESS_DENIED);
                  return failures;
              }),
              "");
    fs::permissions(UserHive(), fs::perms::owner_read);
    EXPECT_EQ(ReadFile(UserHive()), "[K]\n\"A\"=binary:01\n");
}

TEST_F(RegistryFiles, LocalMachineIsReadOnlyWhereTheUserMayNotWrite)
{
    const std::string machine = m_home.SystemConfigDir() + "/wayscribe/registry/HKEY_LOCAL_MACHINE.reg";
    const std::string original =
        "; installed\n[Software\\Quillonix\\WYSC]\n\"HelpPath\"=sz:\"/usr/help.chm\"\n";
    WriteFile(machine, original);
    OpenUp(machine, Others::MayRead);
    if (::geteuid() != 0)
        fs::permissions(fs::path(machine).parent_path(), fs::perms::owner_write, fs::perm_options::remove);

    EXPECT_EQ(
        RunUnprivileged([] {
            std::string failures;
            CScopedKey key, other;
            Expect(failures, "open to read", RegOpenKeyEx(HKEY_LOCAL_MACHINE, kWysc, 0, KEY_READ, key.Out()),
                   0);
            if (ValueOf(key, "HelpPath") != "/usr/help.chm\0"s)
                failures += "read " + ValueOf(key, "HelpPath") + "\n";
            Expect(failures, "set", SetBytes(key, "X", REG_SZ, "x\0"s), ERROR_ACCESS_DENIED);
            Expect(failures, "open to write",
                   RegOpenKeyEx(HKEY_LOCAL_MACHINE, kWysc, 0, KEY_WRITE, other.Out()), ERROR_ACCESS_DENIED);
            Expect(failures, "create",
                   RegCreateKeyEx(HKEY_LOCAL_MACHINE, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  other.Out(), nullptr),
                   ERROR_ACCESS_DENIED);
            Expect(failures, "set at root", SetBytes(HKEY_LOCAL_MACHINE, "X", REG_SZ, "x\0"s),
                   ERROR_ACCESS_DENIED);
            Expect(failures, "delete", RegDeleteTree(HKEY_LOCAL_MACHINE, "Software"), ERROR_ACCESS_DENIED);
            Expect(failures, "open maximum",
                   RegOpenKeyEx(HKEY_LOCAL_MACHINE, kWysc, 0, MAXIMUM_ALLOWED, other.Out()), 0);
            Expect(failures, "set under maximum", SetBytes(other, "X", REG_SZ, "x\0"s), ERROR_ACCESS_DENIED);
            return failures;
        }),
        "");
    EXPECT_EQ(ReadFile(machine), original);

    // Where the user may write (an administrator), it changes like any hive
    // and stays readable by every user.
    fs::permissions(fs::path(machine).parent_path(), fs::perms::owner_write, fs::perm_options::add);
    CScopedKey writable;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, kWysc, 0, KEY_ALL_ACCESS, writable.Out()), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(writable, "Added", REG_DWORD, "\x01\0\0\0"s), ERROR_SUCCESS);
    EXPECT_EQ(ValueAt(HKEY_LOCAL_MACHINE, kWysc, "HelpPath"), "/usr/help.chm\0"s);
    EXPECT_EQ(ValueAt(HKEY_CURRENT_USER, kWysc, "Added"), ErrorText(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(fs::status(machine).permissions() & fs::perms::others_read, fs::perms::others_read);
}

// Parsed hives are cached only once their file has settled; then a change in
// place (same inode, same size) or by renaming must still be seen.
TEST_F(RegistryFiles, CachedHivesNeverHideChanges)
{
    WriteFile(UserHive(), "[K]\n\"A\"=binary:01\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    EXPECT_EQ(ValueAt(HKEY_CURRENT_USER, "K", "A"), "\x01"s);
    EXPECT_EQ(ValueAt(HKEY_CURRENT_USER, "K", "A"), "\x01"s);
    WriteFile(UserHive(), "[K]\n\"A\"=binary:02\n");
    EXPECT_EQ(ValueAt(HKEY_CURRENT_USER, "K", "A"), "\x02"s);
    WriteFile(UserHive() + ".new", "[K]\n\"A\"=binary:03\n");
    fs::rename(UserHive() + ".new", UserHive());
    EXPECT_EQ(ValueAt(HKEY_CURRENT_USER, "K", "A"), "\x03"s);
}

TEST_F(RegistryFiles, HiveLocationsComeFromTheEnvironment)
{
    using wys::registry::PredefinedHive;
    const std::string user = "/wayscribe/registry/HKEY_CURRENT_USER.reg";
    const std::string machine = "/wayscribe/registry/HKEY_LOCAL_MACHINE.reg";
    struct Case {
        const char* configHome;  // null: unset
        const char* configDirs;
        PredefinedHive hive;
        std::string expected;
    } cases[] = {
        {"/c/", nullptr, PredefinedHive::ClassesRoot, "/c/wayscribe/registry/HKEY_CLASSES_ROOT.reg"},
        {nullptr, nullptr, PredefinedHive::CurrentUser, "/h/.config" + user},
        {"relative", nullptr, PredefinedHive::CurrentUser, "/h/.config" + user},
        {nullptr, "/etc/one:/etc/two", PredefinedHive::LocalMachine, "/etc/one" + machine},
        {nullptr, "rel:/etc/two", PredefinedHive::LocalMachine, "/etc/two" + machine},
        {nullptr, "", PredefinedHive::LocalMachine, "/etc/xdg" + machine},
        {nullptr, nullptr, PredefinedHive::LocalMachine, "/etc/xdg" + machine},
    };
    ::setenv("HOME", "/h", 1);
    for (const Case& c : cases) {
        c.configHome ? ::setenv("XDG_CONFIG_HOME", c.configHome, 1) : ::unsetenv("XDG_CONFIG_HOME");
        c.configDirs ? ::setenv("XDG_CONFIG_DIRS", c.configDirs, 1) : ::unsetenv("XDG_CONFIG_DIRS");
        auto location = wys::registry::LocateHive(c.hive);
        ASSERT_TRUE(location) << c.expected;
        EXPECT_EQ(location->path, c.expected);
    }
}
