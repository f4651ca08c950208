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
using namespace std::string_literals;
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

// One writer's work: its values in the shared key, one at a time, and a key
// of its own. Returns how many calls failed.
int WriteValues(int writer)
{
    int failures = 0;
    CScopedKey shared;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, kShared, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, shared.Out(),
                       nullptr) != ERROR_SUCCESS)
        return kValuesEach + 1;
    for (int i = 0; i < kValuesEach; ++i) {
        if (SetBytes(shared, ValueName(writer, i).c_str(), REG_SZ, ValueData(writer, i)) != ERROR_SUCCESS)
            ++failures;
        if (i == kValuesEach / 2) {
            CScopedKey own;
            std::string path = "Software\\Writer" + std::to_string(writer);
            if (RegCreateKeyEx(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, own.Out(),
                               nullptr) != ERROR_SUCCESS)
                ++failures;
        }
    }
    return failures;
}

class RegistryProcesses : public TempHomeTest {
protected:
    void ExpectEveryValue()
    {
        CScopedKey shared;
        ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kShared, 0, KEY_READ, shared.Out()), ERROR_SUCCESS);
        for (int writer = 0; writer < kWriters; ++writer) {
            for (int i = 0; i < kValuesEach; ++i) {
                DWORD type = 0;
                std::string data;
                EXPECT_EQ(QueryBytes(shared, ValueName(writer, i).c_str(), type, data), ERROR_SUCCESS)
                    << ValueName(writer, i);
                EXPECT_EQ(data, ValueData(writer, i)) << ValueName(writer, i);
            }
            CScopedKey own;
            std::string path = "Software\\Writer" + std::to_string(writer);
            EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, own.Out()), ERROR_SUCCESS)
                << path;
        }
        DWORD values = 0;
        ASSERT_EQ(RegQueryInfoKey(shared, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                                  nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(values, static_cast<DWORD>(kWriters * kValuesEach));
        std::string hive = UserHivePath(m_home, "HKEY_CURRENT_USER");
        EXPECT_EQ(wys::registry::ParseHiveText(ReadFile(hive)).unsoundLines, 0u);
        EXPECT_FALSE(fs::exists(hive + ".tmp"));
        EXPECT_FALSE(fs::exists(hive + ".bad"));
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
            (void)!::read(start[0], &go, 1);  // returns at end of file, when the parent closes its end
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

// A writer killed at any moment leaves the hive as one of its whole versions:
// it reads without a fault and holds the values 0..n-1 for some n, no gaps.
TEST_F(RegistryProcesses, AWriterKilledMidwayLeavesAWholeHive)
{
    const std::string hive = UserHivePath(m_home, "HKEY_CURRENT_USER");
    for (int round = 0; round < 5; ++round) {
        std::string key = "Round" + std::to_string(round);
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i)
                (void)SetBytes(HKEY_CURRENT_USER, (key + "_" + std::to_string(i)).c_str(), REG_BINARY,
                               std::string(200, 'x'));
        }
        // Let the writer get going, then kill it a little later each round.
        std::string first = key + "_0";
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (RegQueryValueEx(HKEY_CURRENT_USER, first.c_str(), nullptr, nullptr, nullptr, nullptr) !=
                   ERROR_SUCCESS &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(5 + 13 * round));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);

        EXPECT_EQ(wys::registry::ParseHiveText(ReadFile(hive)).unsoundLines, 0u) << "round " << round;
        int present = 0;
        while (RegQueryValueEx(HKEY_CURRENT_USER, (key + "_" + std::to_string(present)).c_str(), nullptr,
                               nullptr, nullptr, nullptr) == ERROR_SUCCESS)
            ++present;
        EXPECT_GT(present, 0) << "round " << round << ": the writer made no progress";
        for (int i = present; i < present + 5; ++i)
            EXPECT_EQ(RegQueryValueEx(HKEY_CURRENT_USER, (key + "_" + std::to_string(i)).c_str(), nullptr,
                                      nullptr, nullptr, nullptr),
                      ERROR_FILE_NOT_FOUND)
                << "round " << round << " value " << i;
        // A later writer carries on, whatever the killed one left behind.
        ASSERT_EQ(SetBytes(HKEY_CURRENT_USER, "After", REG_BINARY, std::to_string(round)), ERROR_SUCCESS);
        EXPECT_FALSE(fs::exists(hive + ".tmp"));
        EXPECT_FALSE(fs::exists(hive + ".bad"));
    }
}
