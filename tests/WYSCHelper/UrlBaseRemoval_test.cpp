// Removal by index, by range and by expiry: events, saved copies, pruned
// folders, and the bounds no stored Path can cross.
#include <gtest/gtest.h>

#include <filesystem>

#include "WYSCHelper/CIndexFile.h"
#include "tests/WYSCHelper/UrlBaseTesting.h"

namespace {

namespace fs = std::filesystem;
using wys::test::MakeRecord;
using wys::test::UrlBaseTest;
using wys::test::WriteFile;
using Log = std::vector<std::string>;

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kNov27 = 1069891200;  // 2003-11-27 00:00:00 UTC

class UrlBaseRemovalTest : public UrlBaseTest {
protected:
    // A page with its resource folder, as capture leaves it.
    void MakeSavedPage(const std::string& path)
    {
        MakePage(path);
        std::string stem = path.substr(0, path.rfind('.'));
        WriteFile(History() + "/" + stem + "_files/image.png", "png");
    }
    HRESULT AddSavedVisit(std::int64_t time, const std::string& url, const std::string& path)
    {
        MakeSavedPage(path);
        return AddVisit(time, url, path);
    }
    // Starts the object over a list written straight into the index file.
    void CreateWithIndex(const CUrlRecordList& list)
    {
        ASSERT_TRUE(CIndexFile::Write(CIndexFile::PathIn(History()), list));
        CreateBase();
    }
    bool Exists(const std::string& relative) { return fs::exists(History() + "/" + relative); }
    std::vector<std::string> Urls()
    {
        std::vector<std::string> urls;
        for (ULONG i = 0; i < Count(); ++i) {
            CUrlDateHolder data;
            EXPECT_EQ(m_base->GetData(data.Receive(), i), S_OK);
            urls.push_back(wys::BstrToNarrow(data.Url));
        }
        return urls;
    }
};

TEST_F(UrlBaseRemovalTest, RemoveDataDeletesThePageAndPrunesEmptyFolders)
{
    CreateBase();
    ASSERT_EQ(AddSavedVisit(kNov27, "http://a/", "2003/November/27/a.htm"), S_OK);
    ASSERT_EQ(AddSavedVisit(kNov27 + 1, "http://b/", "2003/November/27/b.htm"), S_OK);
    ASSERT_EQ(AddSavedVisit(kNov27 + kDay, "http://c/", "2003/November/28/c.mht"), S_OK);
    TakeLog();

    EXPECT_EQ(m_base->RemoveData(3), E_INVALIDARG);
    EXPECT_EQ(TakeLog(), Log{});
    EXPECT_EQ(m_base->RemoveData(2), S_OK) << "the last record";
    EXPECT_EQ(TakeLog(), Log{"removing 2 http://c/"});
    EXPECT_FALSE(Exists("2003/November/28")) << "the emptied day folder goes";
    EXPECT_TRUE(Exists("2003/November/27/b.htm"));

    EXPECT_EQ(m_base->RemoveData(0), S_OK);
    EXPECT_FALSE(Exists("2003/November/27/a.htm"));
    EXPECT_FALSE(Exists("2003/November/27/a_files")) << "the resource folder goes with the page";
    EXPECT_TRUE(Exists("2003/November/27/b_files/image.png"));
    EXPECT_EQ(Urls(), std::vector<std::string>{"http://b/"});

    EXPECT_EQ(m_base->RemoveData(0), S_OK);
    EXPECT_FALSE(Exists("2003")) << "day, month and year folders go when emptied";
    EXPECT_TRUE(fs::is_directory(History())) << "the history folder stays";
    EXPECT_EQ(Count(), 0u);
}

TEST_F(UrlBaseRemovalTest, RemoveRangeAnnouncesEveryRecordBeforeRemovingAny)
{
    CreateBase();
    ASSERT_EQ(AddSavedVisit(kNov27 - kDay, "http://a/", "2003/November/26/a.htm"), S_OK);
    ASSERT_EQ(AddSavedVisit(kNov27, "http://a/", "2003/November/27/a.htm"), S_OK);
    ASSERT_EQ(AddSavedVisit(kNov27 + 10, "http://b/", "2003/November/27/b.htm"), S_OK);
    ASSERT_EQ(AddSavedVisit(kNov27 + 11, "http://a/", "2003/November/27/a2.htm"), S_OK);
    ASSERT_EQ(AddSavedVisit(kNov27 + kDay, "http://a/", "2003/November/28/a.htm"), S_OK);
    TakeLog();
    // The whole day of the 27th.
    EXPECT_EQ(m_base->RemoveRange(kNov27, kDay, nullptr), S_OK);
    EXPECT_EQ(TakeLog(), (Log{"removing 1 http://a/", "removing 2 http://b/", "removing 3 http://a/"}));
    EXPECT_EQ(Urls(), (std::vector<std::string>{"http://a/", "http://a/"}));
    EXPECT_FALSE(Exists("2003/November/27"));
    EXPECT_TRUE(Exists("2003/November/26/a.htm"));
    EXPECT_TRUE(Exists("2003/November/28/a_files/image.png"));
    CUrlRecordList saved;
    CIndexFile::Read(CIndexFile::PathIn(History()), &saved);
    EXPECT_EQ(saved.Count(), 2u) << "RemoveRange saves the index at once";
}

TEST_F(UrlBaseRemovalTest, RemoveRangeSelectsByTimeAndOptionalUrl)
{
    struct Case {
        const char* name;
        std::int64_t start;
        std::int64_t span;
        std::optional<std::string> url;
        std::vector<std::string> left;
    };
    const Case cases[] = {
        {"one visit", kNov27, 1, "http://a/", {"http://a/+1", "http://b/"}},
        {"one URL over a day", kNov27, kDay, "http://a/", {"http://b/"}},
        {"other URL", kNov27, kDay, "http://c/", {"http://a/", "http://a/+1", "http://b/"}},
        {"empty URL", kNov27, kDay, "", {"http://a/", "http://a/+1", "http://b/"}},
        {"zero span", kNov27, 0, std::nullopt, {"http://a/", "http://a/+1", "http://b/"}},
        {"negative span", kNov27 + 5, -10, std::nullopt, {"http://a/", "http://a/+1", "http://b/"}},
        {"everything from a moment on", kNov27 + 1, INT64_MAX, std::nullopt, {"http://a/"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(History());
        fs::create_directories(History());
        CUrlRecordList list;
        list.Append(MakeRecord(kNov27, "http://a/", "a.htm"));
        list.Append(MakeRecord(kNov27 + 1, "http://a/", "a1.htm"));
        list.Append(MakeRecord(kNov27 + 2, "http://b/", "b.htm"));
        CreateWithIndex(list);
        fs::remove(CIndexFile::PathIn(History()));
        CComBSTR url;
        url.Attach(wys::test::MakeBstr(c.url));
        EXPECT_EQ(m_base->RemoveRange(c.start, c.span, url), S_OK);
        std::vector<std::string> left = Urls();
        // Tell the two visits of http://a/ apart by their time.
        for (ULONG i = 0; i < Count(); ++i) {
            CUrlDateHolder data;
            m_base->GetData(data.Receive(), i);
            if (data.Time == kNov27 + 1)
                left[i] += "+1";
        }
        EXPECT_EQ(left, c.left);
        EXPECT_TRUE(fs::exists(CIndexFile::PathIn(History())))
            << "the index is written even when nothing went";
        m_base = nullptr;
    }
}

TEST_F(UrlBaseRemovalTest, ExpiryRemovesRecordByRecordWhereverTheyStand)
{
    CUrlRecordList list;
    list.Append(MakeRecord(m_now - 30, "http://30/", "30.htm"));
    list.Append(MakeRecord(m_now - 90, "http://90/", "90.htm"));
    list.Append(MakeRecord(m_now - 120, "http://120/", "120.htm"));
    for (const char* page : {"30.htm", "90.htm", "120.htm"})
        MakePage(page);
    CreateWithIndex(list);
    EXPECT_EQ(m_base->put_HistoricalRange(60), S_OK);
    EXPECT_EQ(TakeLog(), (Log{"settings", "removing 1 http://90/", "removing 1 http://120/"}));
    EXPECT_EQ(Urls(), std::vector<std::string>{"http://30/"});
    EXPECT_FALSE(Exists("90.htm"));
    EXPECT_TRUE(Exists("30.htm"));
    CUrlRecordList saved;
    CIndexFile::Read(CIndexFile::PathIn(History()), &saved);
    EXPECT_EQ(saved.Count(), 1u) << "a range change that removed something saves";

    fs::remove(CIndexFile::PathIn(History()));
    EXPECT_EQ(m_base->put_HistoricalRange(100), S_OK);
    EXPECT_EQ(TakeLog(), Log{"settings"});
    EXPECT_FALSE(fs::exists(CIndexFile::PathIn(History()))) << "nothing removed, nothing saved";
}

TEST_F(UrlBaseRemovalTest, ZeroOrNegativeRangeKeepsEverything)
{
    CUrlRecordList list;
    list.Append(MakeRecord(m_now + 1000, "http://future/", "f.htm"));
    list.Append(MakeRecord(0, "http://1970/", "o.htm"));
    list.Append(MakeRecord(INT64_MIN, "http://min/", "m.htm"));
    CreateWithIndex(list);
    for (LONGLONG range : std::vector<LONGLONG>{0, -1, -1000000, INT64_MIN}) {
        SCOPED_TRACE(range);
        EXPECT_EQ(m_base->put_HistoricalRange(range), S_OK);
        EXPECT_EQ(Count(), 3u);
    }
    // The cutoff lies far in the past, without overflowing.
    EXPECT_EQ(m_base->put_HistoricalRange(INT64_MAX), S_OK);
    EXPECT_EQ(Urls(), (std::vector<std::string>{"http://future/", "http://1970/"}));
    EXPECT_EQ(m_base->put_HistoricalRange(1), S_OK);
    EXPECT_EQ(Urls(), std::vector<std::string>{"http://future/"});
}

TEST_F(UrlBaseRemovalTest, NoStoredPathReachesOutsideTheHistoryFolder)
{
    const std::string outside = m_home.Path() + "/outside";
    WriteFile(outside + "/victim.htm", "keep");
    WriteFile(outside + "/victim_files/x.png", "keep");
    WriteFile(outside + "/sub/deep.htm", "keep");
    fs::create_directories(History() + "/2003/November/27");
    MakeSavedPage("2003/November/27/other.htm");
    MakePage("keep.htm");
    fs::create_directory_symlink(outside, History() + "/link");
    fs::create_directories(History() + "/empty/folder");

    const char* paths[] = {
        "",
        ".",
        "./",
        "/",
        "2003",
        "2003/November",
        "empty/folder",
        "../outside/victim.htm",
        "..\\outside\\victim.htm",
        "2003/../../outside/victim.htm",
        "link/victim.htm",
        "link/sub/deep.htm",
        "C:\\outside\\victim.htm",
    };
    CUrlRecordList list;
    std::int64_t time = 1;
    for (const char* path : paths)
        list.Append(MakeRecord(time++, "http://x/", path));
    list.Append(MakeRecord(time++, "http://x/", outside + "/victim.htm"));
    list.Append(MakeRecord(time++, "http://x/", "\\" + outside.substr(1) + "\\victim.htm"));
    const ULONG total = list.Count();
    CreateWithIndex(list);
    ASSERT_EQ(Count(), total);

    EXPECT_EQ(m_base->RemoveRange(0, 1000, nullptr), S_OK);
    EXPECT_EQ(Count(), 0u) << "the records go, their Paths are not used";
    EXPECT_EQ(TakeLog().size(), total);
    EXPECT_TRUE(fs::is_directory(History()));
    EXPECT_TRUE(Exists("keep.htm"));
    EXPECT_TRUE(Exists("2003/November/27/other.htm"));
    EXPECT_TRUE(Exists("2003/November/27/other_files/image.png"));
    EXPECT_TRUE(fs::is_directory(History() + "/empty")) << "only folders above a removed page are pruned";
    EXPECT_TRUE(fs::is_symlink(History() + "/link"));
    EXPECT_EQ(wys::test::ReadFile(outside + "/victim.htm"), "keep");
    EXPECT_TRUE(fs::exists(outside + "/victim_files/x.png"));
    EXPECT_TRUE(fs::exists(outside + "/sub/deep.htm"));
}

TEST_F(UrlBaseRemovalTest, MissingPagesAndRemoveRange2ChangeNothingElse)
{
    CreateBase();
    ASSERT_EQ(AddSavedVisit(kNov27, "http://a/", "2003/a.htm"), S_OK);
    fs::remove_all(History() + "/2003");
    TakeLog();
    CComVariant anything(std::string_view("x"));
    EXPECT_EQ(m_base->RemoveRange2(anything), S_OK);
    VARIANT empty;
    VariantInit(&empty);
    EXPECT_EQ(m_base->RemoveRange2(empty), S_OK);
    EXPECT_EQ(TakeLog(), Log{});
    EXPECT_EQ(Count(), 1u);
    EXPECT_EQ(m_base->RemoveData(0), S_OK) << "a page already gone is no error";
    EXPECT_EQ(Count(), 0u);
}

}  // namespace
