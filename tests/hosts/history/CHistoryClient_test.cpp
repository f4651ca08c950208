// The client's commands on an in-process URL base object, as the user reads
// their results.
#include "hosts/history/CHistoryClient.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <sstream>

#include "WYSCHelper/CIndexFile.h"
#include "WYSCHelper/CWYSCURLBase.h"
#include "common/StringConvert.h"
#include "platform/registry/Registry.h"
#include "platform/rpc/Apartment.h"
#include "tests/server/ServerProcessTest.h"

using namespace wys::history;
using namespace wys::test;

namespace {

constexpr std::int64_t kT = 1700000000;  // 2023-11-14 22:13:20 UTC

class HistoryClient : public TempHomeTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, CWYSCURLBase::kSettingsKey, 0, nullptr, 0, KEY_WRITE,
                                 nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueEx(key, "BasePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(History().c_str()),
                      static_cast<DWORD>(History().size() + 1));
        RegCloseKey(key);
        CUrlBaseOptions options;
        options.Now = [] { return kT + 3600; };
        ASSERT_EQ(CWYSCURLBase::Create(IWYSCURLBase::Iid, m_history.PutVoid(), options), S_OK);
    }
    void TearDown() override
    {
        m_history = nullptr;
        CoUninitialize();
    }
    std::string History() const { return m_home.Path() + "/history"; }
    int Run(std::vector<std::string> args)
    {
        m_out.str("");
        m_err.str("");
        auto parsed = ParseHistoryCommand(args);
        EXPECT_TRUE(parsed.command) << parsed.error;
        if (!parsed.command)
            return -1;
        return CHistoryClient(m_history.Get(), m_out, m_err).Run(*parsed.command);
    }
    void AddTitled(std::int64_t time, const std::string& url, const std::string& title)
    {
        std::string name = url.substr(url.find_last_of('/') + 1) + ".htm";
        WriteFile(History() + "/" + name, "<html></html>");
        CComBSTR u(url), p(name), t(title);
        _URL_DATE_ visit{time, u, p, t};
        ASSERT_EQ(m_history->AddData(visit), S_OK);
    }
    void AddThree()
    {
        AddTitled(kT, "http://a/one", "One");
        AddTitled(kT + 60, "http://a/two", "Two\twith a tab");
        AddTitled(kT + 120, "http://a/three", "Three");
    }

    ComPtr<IWYSCURLBase> m_history;
    std::ostringstream m_out;
    std::ostringstream m_err;
};

}  // namespace

TEST_F(HistoryClient, ListPrintsEachVisitOnItsLineAndFiltersByTime)
{
    EXPECT_EQ(Run({"list"}), kExitDone);
    EXPECT_EQ(m_out.str(), "");
    AddThree();
    EXPECT_EQ(Run({"list"}), kExitDone);
    EXPECT_EQ(m_out.str(),
              "2023-11-14 22:13:20\thttp://a/one\tOne\tone.htm\n"
              "2023-11-14 22:14:20\thttp://a/two\tTwo\\x09with a tab\ttwo.htm\n"
              "2023-11-14 22:15:20\thttp://a/three\tThree\tthree.htm\n");
    EXPECT_EQ(Run({"list", std::to_string(kT + 60), std::to_string(kT + 120)}), kExitDone);
    EXPECT_EQ(m_out.str(), "2023-11-14 22:14:20\thttp://a/two\tTwo\\x09with a tab\ttwo.htm\n")
        << "TO is excluded";
    EXPECT_EQ(Run({"list", "2023-11-14 22:15"}), kExitDone);
    EXPECT_EQ(m_out.str(), "2023-11-14 22:15:20\thttp://a/three\tThree\tthree.htm\n");
}

TEST_F(HistoryClient, CountFindAndRemoveOneVisit)
{
    AddThree();
    EXPECT_EQ(Run({"count"}), kExitDone);
    EXPECT_EQ(m_out.str(), "3\n");
    EXPECT_EQ(Run({"find", "2023-11-14 22:15:20", "http://a/three"}), kExitDone);
    EXPECT_EQ(m_out.str(), "2023-11-14 22:15:20\thttp://a/three\tThree\tthree.htm\n");
    EXPECT_EQ(Run({"find", std::to_string(kT + 1), "http://a/one"}), kExitRefused);
    EXPECT_NE(m_err.str().find("no visit of http://a/one"), std::string::npos) << m_err.str();

    EXPECT_EQ(Run({"remove", std::to_string(kT), "http://a/one"}), kExitDone);
    EXPECT_EQ(m_out.str(), "removed 1 visit\n");
    EXPECT_FALSE(std::filesystem::exists(History() + "/one.htm")) << "the saved page goes with it";
    EXPECT_EQ(Run({"remove", std::to_string(kT), "http://a/one"}), kExitRefused);
    EXPECT_EQ(Run({"count"}), kExitDone);
    EXPECT_EQ(m_out.str(), "2\n");
}

TEST_F(HistoryClient, RemoveRangeTellsHowManyWent)
{
    AddThree();
    EXPECT_EQ(Run({"remove-range", std::to_string(kT + 60), std::to_string(kT + 3600)}), kExitDone);
    EXPECT_EQ(m_out.str(), "removed 2 visits\n");
    EXPECT_EQ(Run({"remove-range", std::to_string(kT), std::to_string(kT + 1), "http://other/"}), kExitDone);
    EXPECT_EQ(m_out.str(), "removed 0 visits\n");
    EXPECT_EQ(Run({"list"}), kExitDone);
    EXPECT_EQ(m_out.str(), "2023-11-14 22:13:20\thttp://a/one\tOne\tone.htm\n");
}

TEST_F(HistoryClient, RangesAsWideAsTimeItselfSelectWhatListShows)
{
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    const std::string min = std::to_string(kMin);
    const std::string max = std::to_string(kMax);
    AddTitled(-5, "http://w/early", "Early");
    AddThree();
    AddTitled(kMax - 1, "http://w/late", "Late");
    AddTitled(kMax, "http://w/last", "Last");
    EXPECT_EQ(Run({"list", "-1", max}), kExitDone);
    const std::string listed = m_out.str();
    EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 4) << listed;

    std::filesystem::create_directories(m_home.Path() + "/out");
    const std::string file = m_home.Path() + "/out/wide.hef";
    EXPECT_EQ(Run({"export-range", file, "-1", max}), kExitDone) << m_err.str();
    CUrlRecordList exported;
    CIndexFile::Read(file, &exported);
    std::string urls;
    for (const CUrlRecord& record : exported)
        urls += wys::BstrToNarrow(record.Url) + " ";
    EXPECT_EQ(urls, "http://a/one http://a/two http://a/three http://w/late ");

    EXPECT_EQ(Run({"remove-range", min, max}), kExitDone);
    EXPECT_EQ(m_out.str(), "removed 5 visits\n");
    EXPECT_EQ(Run({"remove", max, "http://w/last"}), kExitDone);
    EXPECT_EQ(m_out.str(), "removed 1 visit\n");
    EXPECT_EQ(Run({"count"}), kExitDone);
    EXPECT_EQ(m_out.str(), "0\n");
}

TEST_F(HistoryClient, ExportWritesTheFileOrSaysThatNothingWasExported)
{
    AddThree();
    std::string all = m_home.Path() + "/out/all.hef";
    std::filesystem::create_directories(m_home.Path() + "/out");
    EXPECT_EQ(Run({"export", all}), kExitDone);
    EXPECT_EQ(m_out.str(), "exported to " + all + "\n");
    EXPECT_TRUE(std::filesystem::exists(m_home.Path() + "/out/all_files/two.htm"));

    std::string none = m_home.Path() + "/out/none.hef";
    EXPECT_EQ(Run({"export-range", none, std::to_string(kT - 100), std::to_string(kT)}), kExitRefused);
    EXPECT_FALSE(std::filesystem::exists(none));
    EXPECT_NE(m_err.str().find("nothing was exported"), std::string::npos);
    EXPECT_EQ(Run({"export", all}), kExitDone) << "a file written over counts";

    std::string one = m_home.Path() + "/out/one.hef";
    EXPECT_EQ(Run({"export-paths", one, "three.htm", "missing.htm"}), kExitDone);
    EXPECT_TRUE(std::filesystem::exists(m_home.Path() + "/out/one_files/three.htm"));
    EXPECT_FALSE(std::filesystem::exists(m_home.Path() + "/out/one_files/one.htm"));
}

TEST_F(HistoryClient, ImportTellsHowManyVisitsCameInAndHowManyWereSkipped)
{
    AddThree();
    std::string file = m_home.Path() + "/out/all.hef";
    std::filesystem::create_directories(m_home.Path() + "/out");
    ASSERT_EQ(Run({"export", file}), kExitDone);
    // The history holds every visit of its own export: none comes twice.
    EXPECT_EQ(Run({"import", file}), kExitRefused);
    EXPECT_EQ(m_out.str(), "imported 0 visits, skipped 3\n");
    EXPECT_NE(m_err.str().find("nothing was imported"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(History() + "/Imported")) << "no page was copied";
    // Two visits gone: the same file brings back those two, and only once.
    ASSERT_EQ(Run({"remove-range", std::to_string(kT + 60), std::to_string(kT + 121)}), kExitDone);
    EXPECT_EQ(Run({"import", file}), kExitDone);
    EXPECT_EQ(m_out.str(), "imported 2 visits, skipped 1\n");
    EXPECT_EQ(Run({"import", file}), kExitRefused);
    EXPECT_EQ(m_out.str(), "imported 0 visits, skipped 3\n");
    EXPECT_EQ(Run({"count"}), kExitDone);
    EXPECT_EQ(m_out.str(), "3\n");
    auto folders = std::distance(std::filesystem::directory_iterator(History() + "/Imported"), {});
    EXPECT_EQ(folders, 1);

    EXPECT_EQ(Run({"import", m_home.Path() + "/out/missing.hef"}), kExitRefused);
    EXPECT_NE(m_err.str().find("no such file"), std::string::npos);
    ASSERT_EQ(Run({"remove-range", std::to_string(kT), std::to_string(kT + 121)}), kExitDone);
    std::filesystem::remove_all(m_home.Path() + "/out/all_files");
    EXPECT_EQ(Run({"import", file}), kExitRefused) << "its pages are gone";
    EXPECT_EQ(m_out.str(), "imported 0 visits, skipped 3\n");
}

TEST_F(HistoryClient, SettingsShowAndChange)
{
    EXPECT_EQ(Run({"settings"}), kExitDone);
    const std::string empty =
        "visits\t0\nbytes-on-disk\t0\nbytes-without-sharing\t0\n"
        "disk-use\t0 visits, 0 bytes on disk, 0 bytes without sharing\n";
    EXPECT_EQ(m_out.str(), "base-directory\t" + History() +
                               "\ncollect-history\ton\ntitled-file-names\ton\nhistory-range\t1296000\n" +
                               empty);
    EXPECT_EQ(Run({"set", "collect-history", "off"}), kExitDone);
    EXPECT_EQ(Run({"set", "titled-file-names", "no"}), kExitDone);
    EXPECT_EQ(Run({"set", "history-range", "0"}), kExitDone);
    // A relative folder is the user's, not the server's working folder.
    auto previous = std::filesystem::current_path();
    std::filesystem::current_path(m_home.Path());
    EXPECT_EQ(Run({"set", "base-directory", "elsewhere/history"}), kExitDone);
    std::filesystem::current_path(previous);
    EXPECT_EQ(Run({"settings"}), kExitDone);
    EXPECT_EQ(m_out.str(),
              "base-directory\t" + m_home.Path() +
                  "/elsewhere/history\ncollect-history\toff\ntitled-file-names\toff\nhistory-range\t0\n" +
                  empty);
}

TEST_F(HistoryClient, WatchPrintsEachEventWithItsVisitUntilStopped)
{
    int stop[2];
    ASSERT_EQ(::pipe(stop), 0);
    PostToApartment(GetCurrentThreadId(), [&] {
        AddTitled(kT, "http://w/one", "One");
        m_history->RemoveData(0);
        m_history->put_TitledFileNames(VARIANT_FALSE);
        [[maybe_unused]] ssize_t n = ::write(stop[1], "x", 1);
    });
    std::ostringstream out, err;
    EXPECT_EQ(CHistoryClient(m_history.Get(), out, err).Watch(stop[0], std::chrono::milliseconds(50)),
              kExitDone);
    EXPECT_EQ(out.str(),
              "added\t0\t2023-11-14 22:13:20\thttp://w/one\tOne\tone.htm\n"
              "removing\t0\t2023-11-14 22:13:20\thttp://w/one\tOne\tone.htm\n"
              "settings-changed\n");
    ::close(stop[0]);
    ::close(stop[1]);
}
