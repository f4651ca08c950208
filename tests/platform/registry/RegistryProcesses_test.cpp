#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry/HiveText.h"
#include "platform/registry/Registry.h"
#include "tests/platform/registry/RegistryTestSupport.h"

using namespace wys::test;
namespace fs = std::filesystem;

namespace {

constexpr int kWriters = 6;
constexpr int kValuesEach = 40;
constexpr const char* kShared = "Software\\Quillonix\\Shared";

std::string ValueName(int writer, int index)
{
    return "W" + std::to_string(writer) + "V" + std::to_string(index);
}

std::string ValueData(int writer, int index)
{
    return std::string(1 + (writer * 7 + index) % 13, static_cast<char>('a' + writer)) + '\0';
}

// One writer's work: its values in the shared key, one call each, and a key
// of its own halfway. Returns the number of failed calls.
int WriteValues(int writer)
{
    CScopedKey shared, own;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, kShared, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, shared.Out(),
                       nullptr))
        return 1;
    int failures = 0;
    for (int i = 0; i < kValuesEach; ++i) {
        failures +=
            SetBytes(shared, ValueName(writer, i).c_str(), REG_SZ, ValueData(writer, i)) != ERROR_SUCCESS;
        if (i == kValuesEach / 2) {
            std::string path = "Software\\Writer" + std::to_string(writer);
            failures += RegCreateKeyEx(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                       own.Out(), nullptr) != ERROR_SUCCESS;
        }
    }
    return failures;
}

class RegistryProcesses : public TempHomeTest {
protected:
    std::string Hive() const { return UserHivePath(m_home, "HKEY_CURRENT_USER"); }

    void ExpectEveryValue()
    {
        CScopedKey shared, own;
        ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kShared, 0, KEY_READ, shared.Out()), ERROR_SUCCESS);
        for (int writer = 0; writer < kWriters; ++writer) {
            for (int i = 0; i < kValuesEach; ++i)
                EXPECT_EQ(ValueOf(shared, ValueName(writer, i).c_str()), ValueData(writer, i))
                    << ValueName(writer, i);
            std::string path = "Software\\Writer" + std::to_string(writer);
            EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, own.Out()), ERROR_SUCCESS)
                << path;
        }
        DWORD values = 0;
        ASSERT_EQ(RegQueryInfoKey(shared, 0, 0, 0, 0, 0, 0, &values, 0, 0, 0, 0), ERROR_SUCCESS);
        EXPECT_EQ(values, static_cast<DWORD>(kWriters * kValuesEach));
        EXPECT_EQ(wys::registry::ParseHiveText(ReadFile(Hive())).unsoundLines, 0u);
        EXPECT_FALSE(fs::exists(Hive() + ".tmp"));
        EXPECT_FALSE(fs::exists(Hive() + ".bad"));
    }
};

}  // namespace

TEST_F(RegistryProcesses, WritersInManyProcessesLoseNothing)
{
    // The children wait on this pipe so that they all start at the same moment.
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    std::vector<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer) {
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(start[1]);
            char go;
            (void)!::read(start[0], &go,
                          1);  // returns at end of file, when the parent closes its end
            ::_exit(WriteValues(writer) == 0 ? 0 : 1);
        }
        children.push_back(child);
    }
    ::close(start[0]);
    ::close(start[1]);
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer process " << child;
    }
    ExpectEveryValue();
}

TEST_F(RegistryProcesses, WritersInManyThreadsLoseNothing)
{
    std::vector<std::thread> threads;
    std::vector<int> failures(kWriters, 0);
    for (int writer = 0; writer < kWriters; ++writer)
        threads.emplace_back([writer, &failures] { failures[writer] = WriteValues(writer); });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, std::vector<int>(kWriters, 0));
    ExpectEveryValue();
}

// A writer killed at any moment leaves one whole version of the hive: it
// reads without a fault and holds values 0..n-1 for some n, without gaps.
TEST_F(RegistryProcesses, AWriterKilledMidwayLeavesAWholeHive)
{
    for (int round = 0; round < 5; ++round) {
        auto name = [round](int i) { return "Round" + std::to_string(round) + "_" + std::to_string(i); };
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i)
                (void)SetBytes(HKEY_CURRENT_USER, name(i).c_str(), REG_BINARY, std::string(200, 'x'));
        }
        // Once the writer is going, kill it a little later each round.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (ValueOf(HKEY_CURRENT_USER, name(0).c_str()) != std::string(200, 'x') &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(5 + 13 * round));
        ::kill(child, SIGKILL);
        ASSERT_EQ(::waitpid(child, nullptr, 0), child);

        EXPECT_EQ(wys::registry::ParseHiveText(ReadFile(Hive())).unsoundLines, 0u) << "round " << round;
        int present = 0;
        while (ValueOf(HKEY_CURRENT_USER, name(present).c_str()) == std::string(200, 'x'))
            ++present;
        EXPECT_GT(present, 0) << "round " << round;
        for (int i = present; i < present + 5; ++i)
            EXPECT_EQ(ValueOf(HKEY_CURRENT_USER, name(i).c_str()), ErrorText(ERROR_FILE_NOT_FOUND))
                << name(i);
        // A later writer carries on, whatever the killed one left behind.
        ASSERT_EQ(SetBytes(HKEY_CURRENT_USER, "After", REG_BINARY, std::to_string(round)), ERROR_SUCCESS);
        EXPECT_FALSE(fs::exists(Hive() + ".tmp"));
        EXPECT_FALSE(fs::exists(Hive() + ".bad"));
    }
}
