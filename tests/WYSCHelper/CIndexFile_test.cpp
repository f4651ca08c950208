#include "WYSCHelper/CIndexFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <random>

#include "tests/WYSCHelper/RecordTesting.h"
#include "tests/support/TempHome.h"

namespace {

namespace fs = std::filesystem;
using wys::test::Describe;
using wys::test::MakeRecord;
using wys::test::ReadFile;
using wys::test::WriteFile;

std::string Hex(const std::string& bytes)
{
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
        out += ' ';
    }
    return out;
}

std::string U32(std::uint32_t v)
{
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
}

std::string I64(std::int64_t v)
{
    return U32(static_cast<std::uint32_t>(v)) +
           U32(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v) >> 32));
}

// A UTF-16LE string field as the writer lays it out.
std::string Field(const std::u16string& text)
{
    std::string out = U32(static_cast<std::uint32_t>(text.size() * 2 + 2));
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out + std::string(2, '\0');
}

const std::string kNullField = U32(0);

CUrlRecordList Read(const std::string& bytes)
{
    CUrlRecordList list;
    CIndexFile::ReadBytes(bytes.data(), bytes.size(), &list);
    return list;
}

CUrlRecordList SampleList()
{
    CUrlRecordList list;
    list.Append(MakeRecord(1069891200, "http://example.com/", "2003/November/27/Example.htm", "Example"));
    list.Append(MakeRecord(-1, "", std::nullopt, std::nullopt));
    list.Append(MakeRecord(1069891300, "http://x/\xc3\xa9", "2003\\November\\27\\x.mht", ""));
    CUrlRecord odd;
    odd.Time = 42;
    odd.AttachUrl(SysAllocStringLen(u"a\0b", 3));
    odd.AttachPath(SysAllocStringByteLen("xyz", 3));
    list.Append(std::move(odd));
    return list;
}

TEST(CIndexFile, LayoutOfOneRecord)
{
    CUrlRecordList list;
    list.Append(MakeRecord(0x0102030405060708, "", "a", std::nullopt));
    std::string expected = U32(2) + U32(1) + I64(0x0102030405060708) + U32(2) + std::string(2, '\0') +
                           U32(4) + "a" + std::string(3, '\0') + U32(0);
    EXPECT_EQ(Hex(CIndexFile::Serialize(list)), Hex(expected));
    EXPECT_EQ(Hex(expected.substr(0, 30)),
              "02 00 00 00 01 00 00 00 08 07 06 05 04 03 02 01 02 00 00 00 00 00 04 00 00 00 61 00 00 00 ");
}

TEST(CIndexFile, RoundTripKeepsEveryByte)
{
    CUrlRecordList list = SampleList();
    std::string bytes = CIndexFile::Serialize(list);
    CUrlRecordList back = Read(bytes);
    EXPECT_EQ(Describe(back), Describe(list));
    ASSERT_EQ(back.Count(), 4u);
    EXPECT_EQ(SysStringByteLen(back[3].Url), 6u);
    EXPECT_EQ(SysStringByteLen(back[3].Path), 3u);
    EXPECT_EQ(back[1].Path, nullptr);
    ASSERT_NE(back[1].Url, nullptr);
    EXPECT_EQ(SysStringByteLen(back[1].Url), 0u);
    EXPECT_EQ(CIndexFile::Serialize(back), bytes);
}

TEST(CIndexFile, OlderVersionsHaveNoTitle)
{
    for (std::uint32_t version : {0u, 1u}) {
        SCOPED_TRACE(version);
        std::string bytes = U32(version) + U32(2) + I64(10) + Field(u"http://a/") + Field(u"a.htm") +
                            I64(11) + kNullField + Field(u"b.htm");
        CUrlRecordList list = Read(bytes);
        EXPECT_EQ(Describe(list), "10 'http://a/' 'a.htm' null; 11 null 'b.htm' null; ");
        std::string again = CIndexFile::Serialize(list);
        EXPECT_EQ(again.substr(0, 4), U32(2));
        EXPECT_EQ(Describe(Read(again)), Describe(list));
    }
}

TEST(CIndexFile, ForeignVersionsAreIgnored)
{
    for (std::uint32_t version : {3u, 4u, 0x80000000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(version);
        CUrlRecordList list;
        list.Append(MakeRecord(1, "kept", "kept"));
        std::string bytes = U32(version) + U32(1) + I64(10) + Field(u"u") + Field(u"p") + Field(u"t");
        CIndexFile::ReadBytes(bytes.data(), bytes.size(), &list);
        EXPECT_EQ(Describe(list), "1 'kept' 'kept' null; ");
    }
}

TEST(CIndexFile, CountIsOnlyAHint)
{
    CUrlRecordList three;
    for (int i = 0; i < 3; ++i)
        three.Append(MakeRecord(i, "u", "p", "t"));
    std::string body = CIndexFile::Serialize(three).substr(8);
    for (std::uint32_t count : {0u, 1u, 3u, 10u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(count);
        EXPECT_EQ(Read(U32(2) + U32(count) + body).Count(), 3u);
    }
}

TEST(CIndexFile, TruncationKeepsEveryCompleteRecord)
{
    CUrlRecordList list = SampleList();
    std::string bytes = CIndexFile::Serialize(list);
    // Where each record ends in the file.
    std::vector<std::size_t> ends;
    for (ULONG i = 1; i <= list.Count(); ++i) {
        CUrlRecordList prefix;
        for (ULONG j = 0; j < i; ++j)
            prefix.Append(list[j]);
        ends.push_back(CIndexFile::Serialize(prefix).size());
    }
    for (std::size_t size = 0; size <= bytes.size(); ++size) {
        SCOPED_TRACE(size);
        std::size_t complete = 0;
        while (complete < ends.size() && ends[complete] <= size)
            ++complete;
        CUrlRecordList back = Read(bytes.substr(0, size));
        ASSERT_EQ(back.Count(), complete);
        for (ULONG i = 0; i < back.Count(); ++i)
            EXPECT_EQ(Describe(back[i].Path), Describe(list[i].Path));
    }
}

TEST(CIndexFile, HostileByteCountsAreHarmless)
{
    const std::string good = I64(1) + Field(u"u") + Field(u"p") + Field(u"t");
    struct Case {
        const char* name;
        std::string tail;
        std::size_t records;
    };
    const Case cases[] = {
        {"4 GB Url", I64(2) + U32(0xFFFFFFFFu) + std::string(60, 'x'), 1},
        {"2 GB Url", I64(2) + U32(0x80000000u) + std::string(60, 'x'), 1},
        {"Url longer than the file", I64(2) + U32(40) + std::string(20, 'x'), 1},
        {"byte count 1", I64(2) + U32(1) + "xx" + Field(u"p") + Field(u"t"), 1},
        {"byte count 3", I64(2) + U32(3) + "xyz" + Field(u"p") + Field(u"t"), 2},
        {"byte count 2 with garbage terminator", I64(2) + U32(2) + "zz" + Field(u"p") + Field(u"t"), 2},
        {"short Time", std::string(5, 'x'), 1},
        {"missing Title", I64(2) + Field(u"u") + Field(u"p"), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CUrlRecordList list = Read(U32(2) + U32(0xFFFFFFFFu) + good + c.tail);
        EXPECT_EQ(list.Count(), c.records);
    }
    CUrlRecordList odd = Read(U32(2) + U32(2) + good + I64(2) + U32(3) + "xyz" + Field(u"p") + Field(u"t"));
    ASSERT_EQ(odd.Count(), 2u);
    EXPECT_EQ(SysStringByteLen(odd[1].Url), 1u);
    EXPECT_EQ(reinterpret_cast<const char*>(odd[1].Url)[0], 'x');
    EXPECT_EQ(odd[1].Url[0] & 0xFF00, 0) << "the terminator is a real NUL";
}

TEST(CIndexFile, RandomBytesNeverCrash)
{
    std::mt19937 random(20031127);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(random() % 200, '\0');
        for (char& c : bytes)
            c = static_cast<char>(random() % 8 == 0 ? 0xFF : random() % 4);
        if (round % 2 == 0 && bytes.size() >= 4)
            bytes.replace(0, 4, U32(random() % 3));
        CUrlRecordList list = Read(bytes);
        // What was read writes back to bytes that read the same again.
        std::string again = CIndexFile::Serialize(list);
        EXPECT_EQ(CIndexFile::Serialize(Read(again)), again) << "round " << round;
    }
}

class CIndexFileOnDisk : public wys::test::TempHomeTest {
protected:
    std::string Folder() const { return m_home.Path() + "/history"; }
    void SetUp() override { fs::create_directories(Folder()); }
    std::vector<std::string> FolderEntries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Folder()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(CIndexFileOnDisk, WriteThenReadAppends)
{
    const std::string path = CIndexFile::PathIn(Folder());
    EXPECT_EQ(path, Folder() + "/index.hif");
    CUrlRecordList list = SampleList();
    ASSERT_TRUE(CIndexFile::Write(path, list));
    EXPECT_EQ(ReadFile(path), CIndexFile::Serialize(list));
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"index.hif"}) << "no temporary file stays behind";
    CUrlRecordList back;
    CIndexFile::Read(path, &back);
    CIndexFile::Read(path, &back);
    ASSERT_EQ(back.Count(), 2 * list.Count());
    EXPECT_EQ(Describe(back[list.Count()].Url), Describe(list[0].Url));
    CIndexFile::Read(path, nullptr);  // no list: nothing happens
}

TEST_F(CIndexFileOnDisk, MissingOrUnreadableFilesAddNothing)
{
    CUrlRecordList list;
    list.Append(MakeRecord(1, "u", "p"));
    CIndexFile::Read(Folder() + "/missing.hif", &list);
    CIndexFile::Read(Folder(), &list);  // a folder
    EXPECT_EQ(list.Count(), 1u);
    EXPECT_FALSE(CIndexFile::Write(Folder() + "/no/such/folder/index.hif", list));
    EXPECT_FALSE(CIndexFile::Write(Folder(), list)) << "a folder is not replaced";
    EXPECT_TRUE(fs::is_directory(Folder()));
}

TEST_F(CIndexFileOnDisk, FailedWriteLeavesThePreviousFileWhole)
{
    const std::string path = CIndexFile::PathIn(Folder());
    CUrlRecordList small = SampleList();
    ASSERT_TRUE(CIndexFile::Write(path, small));
    ::chmod(path.c_str(), 0640);
    const std::string before = ReadFile(path);

    CUrlRecordList big;
    for (int i = 0; i < 5000; ++i)
        big.Append(
            MakeRecord(i, "http://example.com/" + std::to_string(i), "p/" + std::to_string(i) + ".htm", "t"));
    // A file size limit makes the write fail part-way, as a full disk would.
    struct rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    bool written = CIndexFile::Write(path, big);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"index.hif"});

    ASSERT_TRUE(CIndexFile::Write(path, big));
    struct stat info;
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u) << "the replaced file keeps its permissions";
    CUrlRecordList back;
    CIndexFile::Read(path, &back);
    EXPECT_EQ(back.Count(), 5000u);
}

TEST_F(CIndexFileOnDisk, TruncatedFileOnDiskLoadsCompleteRecords)
{
    const std::string path = CIndexFile::PathIn(Folder());
    CUrlRecordList list = SampleList();
    std::string bytes = CIndexFile::Serialize(list);
    CUrlRecordList first;
    first.Append(list[0]);
    // Cut inside the second record's Path.
    std::size_t cut = CIndexFile::Serialize(first).size() + 8 + 4 + 2 + 2;
    WriteFile(path, bytes.substr(0, cut));
    CUrlRecordList back;
    CIndexFile::Read(path, &back);
    EXPECT_EQ(Describe(back), Describe(first));
}

}  // namespace
