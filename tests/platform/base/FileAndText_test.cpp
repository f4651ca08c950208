#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "platform/base/AsciiText.h"
#include "platform/base/CAtomicFileWriter.h"
#include "platform/base/FileWrite.h"
#include "tests/support/TempHome.h"

namespace {

using wys::base::CAtomicFileWriter;
using wys::test::ReadFile;
using wys::test::WriteFile;

std::set<std::string> NamesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Bytes whose order shows: a lost, repeated or moved chunk changes them.
std::string Pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) % 256);
    return bytes;
}

// Lowers the largest file size this process may write, so that a write
// really fails midway (EFBIG) as a full disk would make it fail.
class CFileSizeLimit {
public:
    explicit CFileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_oldHandler = ::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = m_saved;
        lowered.rlim_cur = bytes;
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
    }
    ~CFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        ::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_saved{};
    sighandler_t m_oldHandler;
};

class AtomicFileWriterTest : public wys::test::TempHomeTest {
protected:
    std::string Folder() const { return m_home.Path() + "/files"; }
    std::string Target() const { return Folder() + "/target"; }
};

TEST_F(AtomicFileWriterTest, AFailingWriteLeavesTheOldFileAndNoTemporary)
{
    WriteFile(Target(), "old contents");
    {
        CAtomicFileWriter writer;
        ASSERT_EQ(writer.Open(Target(), 0600), 0);
        {
            CFileSizeLimit limit(4096);
            // The first write stops short at the limit, the next one fails.
            EXPECT_EQ(writer.Write(Pattern(3 * 4096)), EFBIG);
        }
        EXPECT_EQ(ReadFile(Target()), "old contents");
    }
    EXPECT_EQ(ReadFile(Target()), "old contents");
    EXPECT_EQ(NamesIn(Folder()), std::set<std::string>{"target"});
}

TEST_F(AtomicFileWriterTest, CommitReplacesOrRefusesAndLeavesOnlyTheTarget)
{
    WriteFile(Target(), "old contents");
    const std::string bytes = Pattern(300000);
    {
        CAtomicFileWriter writer;
        ASSERT_EQ(writer.Open(Target(), 0600), 0);
        ASSERT_EQ(writer.Write(bytes.substr(0, 1000)), 0);
        ASSERT_EQ(writer.Write(bytes.substr(1000)), 0);
        EXPECT_EQ(ReadFile(Target()), "old contents");  // untouched until the commit
        ASSERT_EQ(writer.Commit(), 0);
    }
    EXPECT_EQ(ReadFile(Target()), bytes);

    {
        CAtomicFileWriter writer;
        ASSERT_EQ(writer.Open(Target(), 0600, Folder() + "/.hidden-"), 0);
        ASSERT_EQ(writer.Write("newer"), 0);
        EXPECT_EQ(writer.Commit(CAtomicFileWriter::Replace::No), EEXIST);
    }
    EXPECT_EQ(ReadFile(Target()), bytes);
    EXPECT_EQ(NamesIn(Folder()), std::set<std::string>{"target"});

    const std::string fresh = Folder() + "/fresh";
    {
        CAtomicFileWriter writer;
        ASSERT_EQ(writer.OpenFixed(fresh, fresh + ".tmp", 0600), 0);
        ASSERT_EQ(writer.Write("fresh"), 0);
        ASSERT_EQ(writer.Commit(CAtomicFileWriter::Replace::No), 0);
    }
    EXPECT_EQ(ReadFile(fresh), "fresh");
    EXPECT_EQ(NamesIn(Folder()), (std::set<std::string>{"fresh", "target"}));
}

std::atomic<int> g_interruptions{0};

void CountInterruption(int)
{
    ++g_interruptions;
}

TEST(WriteAll, GoesOnAfterShortWritesAndInterruptedWrites)
{
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    // A small pipe keeps the writer blocked with part of each write done,
    // so that a signal then cuts the write short.
    (void)::fcntl(ends[1], F_SETPIPE_SZ, 4096);  // Where it cannot shrink, writes still block often.
    struct sigaction action {};
    action.sa_handler = CountInterruption;  // no SA_RESTART: the write returns early
    struct sigaction saved {};
    ASSERT_EQ(::sigaction(SIGUSR1, &action, &saved), 0);
    g_interruptions = 0;

    const std::string bytes = Pattern(1 << 20);
    std::string received;
    std::thread reader([&] {
        char chunk[1000];
        ssize_t got;
        while ((got = ::read(ends[0], chunk, sizeof chunk)) != 0) {
            if (got < 0 && errno != EINTR)
                break;
            if (got > 0)
                received.append(chunk, static_cast<std::size_t>(got));
        }
    });
    std::atomic<bool> done{false};
    const pthread_t writerThread = ::pthread_self();
    std::thread interrupter([&] {
        while (!done) {
            ::pthread_kill(writerThread, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });
    const int result = wys::base::WriteAll(ends[1], bytes);
    done = true;
    interrupter.join();
    ::close(ends[1]);
    reader.join();
    ::close(ends[0]);
    ::sigaction(SIGUSR1, &saved, nullptr);

    EXPECT_EQ(result, 0);
    EXPECT_GT(g_interruptions.load(), 0);
    EXPECT_TRUE(received == bytes) << received.size() << " of " << bytes.size() << " bytes arrived";
}

TEST(PercentEncoding, KnownBytesRoundTrip)
{
    const auto reserved = [](unsigned char c) {
        return !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                 c == '.' || c == '_' || c == '~');
    };
    struct Case {
        std::string bytes;
        std::string encoded;
    };
    const Case cases[] = {
        {"plain-text_1.0~", "plain-text_1.0~"},
        {"a b/c?d", "a%20b%2Fc%3Fd"},
        {std::string("\x00\x7F\x80\xFF%", 5), "%00%7F%80%FF%25"},
        {"\xC3\x9C"
         "ber",
         "%C3%9Cber"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(wys::base::PercentEncode(c.bytes, reserved), c.encoded) << c.encoded;
        EXPECT_EQ(wys::base::PercentDecode(c.encoded), c.bytes) << c.encoded;
    }

    std::string every;
    for (int byte = 0; byte < 256; ++byte)
        every += static_cast<char>(byte);
    const std::string encoded = wys::base::PercentEncode(every, [](unsigned char) { return true; });
    EXPECT_EQ(encoded.size(), 3 * every.size());
    EXPECT_EQ(wys::base::PercentDecode(encoded), every);
    EXPECT_EQ(wys::base::PercentDecode(wys::base::AsciiLower(encoded)), every);

    // A '%' that starts no whole escape is a byte like any other.
    const Case malformed[] = {
        {"%", "%"}, {"100%", "100%"}, {"%4", "%4"}, {"%G1", "%G1"}, {"%A", "%%41"}, {"%4A", "%4%41"},
    };
    for (const Case& c : malformed)
        EXPECT_EQ(wys::base::PercentDecode(c.encoded), c.bytes) << c.encoded;
}

}  // namespace
