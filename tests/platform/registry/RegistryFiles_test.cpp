#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
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

constexpr uid_t kNobody = 65534;

class RegistryFiles : public TempHomeTest {
protected:
    std::string UserHive() const { return UserHivePath(m_home, "HKEY_CURRENT_USER"); }

    // The value as read through a fresh handle; "<error N>" when it cannot be read.
    static std::string Read(HKEY root, const char* path, const char* name)
    {
        CScopedKey key;
        LONG result = RegOpenKeyEx(root, path, 0, KEY_READ, key.Out());
        DWORD type;
        std::string data;
        if (result == ERROR_SUCCESS)
            result = QueryBytes(key, name, type, data);
        return result == ERROR_SUCCESS ? data : "<error " + std::to_string(result) + ">";
    }
};

// Runs `check` as a user without special rights, so that file permissions
// apply (root may write anywhere): in a child process as "nobody" when this
// process is root. Returns the failures `check` reported.
std::string RunUnprivileged(const std::function<std::string()>& check)
{
    if (::geteuid() != 0)
        return check();
    int channel[2];
    if (::pipe(channel) != 0)
        return "pipe failed";
    pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        std::string failures;
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            failures = "cannot become nobody";
        else
            failures = check();
        (void)!::write(channel[1], failures.data(), failures.size());
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string failures;
    char buffer[512];
    ssize_t got;
    while ((got = ::read(channel[0], buffer, sizeof buffer)) > 0)
        failures.append(buffer, static_cast<std::size_t>(got));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        failures += " child ended abnormally";
    return failures;
}

// Collects "what: got N, expected M" lines in a child process, where gtest's
// own assertions would not be seen.
void Expect(std::string& failures, const char* what, LONG got, LONG expected)
{
    if (got != expected)
        failures += std::string(what) + ": got " + std::to_string(got) + ", expected " +
                    std::to_string(expected) + "\n";
}

}  // namespace

TEST_F(RegistryFiles, DamagedHivesKeepTheirSoundLinesAndTheOriginal)
{
    struct Case {
        const char* what;
        std::string text;
    } cases[] = {
        {"garbled lines",
         "; hand edited\n[Software\\Quillonix\\WYSC]\n\"HelpPath\"=sz:\"/usr/share/help\"\n"
         "this is not a value\n\"Broken\"=dword:xyz\n\"CurrentTab\"=binary:01,00,00,00\n"
         "[Unclosed\n\"Lost\"=sz:\"under a bad key\"\n[Other]\n@=sz:\"kept\"\n"},
        {"cut short",
         "[Software\\Quillonix\\WYSC]\n\"HelpPath\"=sz:\"/usr/share/help\"\n"
         "\"CurrentTab\"=binary:01,00,00,00\n[Other]\n@=sz:\"kept\"\n\"Partial\"=sz:\"no end"},
        {"binary noise",
         "[Software\\Quillonix\\WYSC]\n\"HelpPath\"=sz:\"/usr/share/help\"\n\x01\x02\xff\0\0\xfe\n"
         "\"CurrentTab\"=binary:01,00,00,00\n\0\0\0\n[Other]\n@=sz:\"kept\"\n"s},
        {"windows line ends",
         "[Software\\Quillonix\\WYSC]\r\n\"HelpPath\"=sz:\"/usr/share/help\"\r\n"
         "\"CurrentTab\"=binary:01,00,00,00\r\n[Other]\r\n@=sz:\"kept\"\r\nnonsense\r\n"},
    };
    for (const Case& c : cases) {
        WriteFile(UserHive(), c.text);
        fs::remove(UserHive() + ".bad");
        EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Quillonix\\WYSC", "HelpPath"), "/usr/share/help\0"s)
            << c.what;
        EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Quillonix\\WYSC", "CurrentTab"), "\x01\0\0\0"s) << c.what;
        EXPECT_EQ(Read(HKEY_CURRENT_USER, "Other", ""), "kept\0"s) << c.what;
        EXPECT_FALSE(fs::exists(UserHive() + ".bad")) << c.what << ": reading changes nothing";

        // The first change keeps the original aside and rewrites only what was sound.
        ASSERT_EQ(SetBytes(HKEY_CURRENT_USER, "New", REG_BINARY, "\x05"s), ERROR_SUCCESS) << c.what;
        EXPECT_EQ(ReadFile(UserHive() + ".bad"), c.text) << c.what;
        EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Quillonix\\WYSC", "HelpPath"), "/usr/share/help\0"s)
            << c.what;
        EXPECT_EQ(Read(HKEY_CURRENT_USER, "Other", ""), "kept\0"s) << c.what;
        EXPECT_EQ(Read(HKEY_CURRENT_USER, nullptr, "New"), "\x05"s) << c.what;
        EXPECT_EQ(ReadFile(UserHive()).find("Lost"), std::string::npos) << c.what;

        // Once rewritten, the hive is sound: later changes keep no more copies.
        ASSERT_EQ(SetBytes(HKEY_CURRENT_USER, "Newer", REG_BINARY, "\x06"s), ERROR_SUCCESS) << c.what;
        EXPECT_FALSE(fs::exists(UserHive() + ".bad.2")) << c.what;
    }
}

TEST_F(RegistryFiles, EarlierCopiesOfDamagedHivesAreNeverOverwritten)
{
    WriteFile(UserHive() + ".bad", "an older copy");
    WriteFile(UserHive() + ".bad.2", "another older copy");
    const std::string damaged = "[K]\n\"A\"=binary:01\nrubbish\n";
    WriteFile(UserHive(), damaged);
    ASSERT_EQ(SetBytes(HKEY_CURRENT_USER, "B", REG_BINARY, "\x02"s), ERROR_SUCCESS);
    EXPECT_EQ(ReadFile(UserHive() + ".bad"), "an older copy");
    EXPECT_EQ(ReadFile(UserHive() + ".bad.2"), "another older copy");
    EXPECT_EQ(ReadFile(UserHive() + ".bad.3"), damaged);
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "K", "A"), "\x01"s);
}

TEST_F(RegistryFiles, AHiveThatCannotBeReadIsNeverReplaced)
{
    // A folder where the hive file should be.
    fs::create_directories(UserHive());
    EXPECT_EQ(Read(HKEY_CURRENT_USER, nullptr, "A"), "<error " + std::to_string(ERROR_BADDB) + ">");
    EXPECT_EQ(SetBytes(HKEY_CURRENT_USER, "A", REG_BINARY, "\x01"s), ERROR_BADDB);
    EXPECT_TRUE(fs::is_directory(UserHive()));
    fs::remove(UserHive());

    // A file this user may not read.
    WriteFile(UserHive(), "[K]\n\"A\"=binary:01\n");
    fs::permissions(UserHive(), fs::perms::none);
    fs::permissions(m_home.Path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions(m_home.Home(), fs::perms::all);
    fs::permissions(m_home.ConfigHome(), fs::perms::all);
    fs::permissions(fs::path(UserHive()).parent_path().parent_path(), fs::perms::all);
    fs::permissions(fs::path(UserHive()).parent_path(), fs::perms::all);
    std::string failures = RunUnprivileged([] {
        std::string failures;
        Expect(failures, "query", RegQueryValueEx(HKEY_CURRENT_USER, "A", nullptr, nullptr, nullptr, nullptr),
               ERROR_ACCESS_DENIED);
        Expect(failures, "set", SetBytes(HKEY_CURRENT_USER, "B", REG_BINARY, "\x02"s), ERROR_ACCESS_DENIED);
        return failures;
    });
    EXPECT_EQ(failures, "");
    fs::permissions(UserHive(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(ReadFile(UserHive()), "[K]\n\"A\"=binary:01\n");
}

TEST_F(RegistryFiles, LocalMachineIsReadOnlyWhereTheUserMayNotWrite)
{
    const std::string machine = MachineHivePath(m_home);
    const std::string original =
        "; installed\n[Software\\Quillonix\\WYSC]\n\"HelpPath\"=sz:\"/usr/share/wayscribe/help.chm\"\n";
    WriteFile(machine, original);
    for (const std::string& folder :
         {m_home.Path(), m_home.SystemConfigDir(), m_home.SystemConfigDir() + "/wayscribe",
          m_home.SystemConfigDir() + "/wayscribe/registry"})
        fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(machine, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                 fs::perms::others_read);
    if (::geteuid() != 0)
        fs::permissions(m_home.SystemConfigDir() + "/wayscribe/registry",
                        fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);

    std::string failures = RunUnprivileged([] {
        std::string failures;
        const char* path = "Software\\Quillonix\\WYSC";
        CScopedKey key;
        Expect(failures, "open for reading", RegOpenKeyEx(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.Out()),
               ERROR_SUCCESS);
        DWORD type = 0;
        std::string data;
        Expect(failures, "read", QueryBytes(key, "HelpPath", type, data), ERROR_SUCCESS);
        if (data != "/usr/share/wayscribe/help.chm\0"s)
            failures += "read wrong data " + data + "\n";
        Expect(failures, "write through a read handle", SetBytes(key, "X", REG_SZ, "x\0"s), ERROR_ACCESS_DENIED);
        CScopedKey other;
        Expect(failures, "open for writing", RegOpenKeyEx(HKEY_LOCAL_MACHINE, path, 0, KEY_WRITE, other.Out()),
               ERROR_ACCESS_DENIED);
        Expect(failures, "create", RegCreateKeyEx(HKEY_LOCAL_MACHINE, "Software\\New", 0, nullptr, 0,
                                                  KEY_ALL_ACCESS, nullptr, other.Out(), nullptr),
               ERROR_ACCESS_DENIED);
        Expect(failures, "set on the root",
               SetBytes(HKEY_LOCAL_MACHINE, "X", REG_SZ, "x\0"s), ERROR_ACCESS_DENIED);
        Expect(failures, "delete tree", RegDeleteTree(HKEY_LOCAL_MACHINE, "Software"), ERROR_ACCESS_DENIED);
        Expect(failures, "maximum allowed",
               RegOpenKeyEx(HKEY_LOCAL_MACHINE, path, 0, MAXIMUM_ALLOWED, other.Out()), ERROR_SUCCESS);
        Expect(failures, "write under maximum allowed", SetBytes(other, "X", REG_SZ, "x\0"s),
               ERROR_ACCESS_DENIED);
        Expect(failures, "read under maximum allowed", QueryBytes(other, "HelpPath", type, data), ERROR_SUCCESS);
        return failures;
    });
    EXPECT_EQ(failures, "");
    EXPECT_EQ(ReadFile(machine), original);
    EXPECT_FALSE(fs::exists(machine + ".tmp"));

    // Where the user may write (an administrator, or a private system folder), it changes like any hive.
    fs::permissions(m_home.SystemConfigDir() + "/wayscribe/registry", fs::perms::owner_all,
                    fs::perm_options::add);
    CScopedKey writable;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Quillonix\\WYSC", 0, KEY_ALL_ACCESS, writable.Out()),
              ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(writable, "Added", REG_DWORD, "\x01\0\0\0"s), ERROR_SUCCESS);
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "Software\\Quillonix\\WYSC", "Added"), "\x01\0\0\0"s);
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "Software\\Quillonix\\WYSC", "HelpPath"),
              "/usr/share/wayscribe/help.chm\0"s);
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "Software\\Quillonix\\WYSC", "HelpPath"),
              "<error " + std::to_string(ERROR_FILE_NOT_FOUND) + ">");
    EXPECT_EQ(fs::status(machine).permissions() & fs::perms::others_read, fs::perms::others_read)
        << "a machine hive stays readable by every user";
}

// Parsed hives are cached only once their file has settled; then a change in
// place (same inode, same size) or by renaming must still be seen.
TEST_F(RegistryFiles, CachedHivesNeverHideChanges)
{
    WriteFile(UserHive(), "[K]\n\"A\"=binary:01\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "K", "A"), "\x01"s);
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "K", "A"), "\x01"s);

    WriteFile(UserHive(), "[K]\n\"A\"=binary:02\n");
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "K", "A"), "\x02"s);

    WriteFile(UserHive() + ".new", "[K]\n\"A\"=binary:03\n");
    fs::rename(UserHive() + ".new", UserHive());
    EXPECT_EQ(Read(HKEY_CURRENT_USER, "K", "A"), "\x03"s);
}

TEST_F(RegistryFiles, HiveLocationsComeFromTheEnvironment)
{
    using wys::registry::LocateHive;
    using wys::registry::PredefinedHive;
    struct Case {
        const char* configHome;  // null: unset
        const char* configDirs;
        const char* home;
        PredefinedHive hive;
        std::string expected;
    } cases[] = {
        {"/c", nullptr, "/h", PredefinedHive::CurrentUser, "/c/wayscribe/registry/HKEY_CURRENT_USER.reg"},
        {"/c/", nullptr, "/h", PredefinedHive::ClassesRoot, "/c/wayscribe/registry/HKEY_CLASSES_ROOT.reg"},
        {nullptr, nullptr, "/h", PredefinedHive::CurrentUser, "/h/.config/wayscribe/registry/HKEY_CURRENT_USER.reg"},
        {"relative", nullptr, "/h", PredefinedHive::CurrentUser,
         "/h/.config/wayscribe/registry/HKEY_CURRENT_USER.reg"},
        {nullptr, "/etc/one:/etc/two", "/h", PredefinedHive::LocalMachine,
         "/etc/one/wayscribe/registry/HKEY_LOCAL_MACHINE.reg"},
        {nullptr, "rel:/etc/two", "/h", PredefinedHive::LocalMachine,
         "/etc/two/wayscribe/registry/HKEY_LOCAL_MACHINE.reg"},
        {nullptr, "", "/h", PredefinedHive::LocalMachine, "/etc/xdg/wayscribe/registry/HKEY_LOCAL_MACHINE.reg"},
        {nullptr, nullptr, "/h", PredefinedHive::LocalMachine, "/etc/xdg/wayscribe/registry/HKEY_LOCAL_MACHINE.reg"},
    };
    for (const Case& c : cases) {
        auto set = [](const char* name, const char* value) {
            value ? ::setenv(name, value, 1) : ::unsetenv(name);
        };
        set("XDG_CONFIG_HOME", c.configHome);
        set("XDG_CONFIG_DIRS", c.configDirs);
        set("HOME", c.home);
        auto location = LocateHive(c.hive);
        ASSERT_TRUE(location) << c.expected;
        EXPECT_EQ(location->path, c.expected);
    }
}
