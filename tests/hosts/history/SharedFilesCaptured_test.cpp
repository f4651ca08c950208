// Identical saved files stored once, with the real pieces: pages of
// Debian's Python documentation served from loopback, captured by
// wayscribe-capture and libWYSCbho.so through the HTML route (two at once,
// so that two captures write the same resources at the same time), recorded
// and shared by the real WYSCHelper, and looked at with wayscribe-history.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>
#include <tuple>

#include "common/StringConvert.h"
#include "platform/browser/BrowserExtensions.h"
#include "tests/server/ServerProcessTest.h"
#include "tests/support/LoopbackHttpServer.h"

namespace wys::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDocs = "/usr/share/doc/python3-doc/html";

std::map<std::string, std::string> SettingsOf(const std::string& text)
{
    std::map<std::string, std::string> settings;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const std::size_t tab = line.find('\t');
        if (tab != std::string::npos)
            settings[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return settings;
}

std::uint64_t DuOfFiles(const std::string& folder, bool countLinks)
{
    // du counts the folders as well; the server counts the files only.
    std::uint64_t folders = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        struct stat info;
        if (entry.is_directory() && ::lstat(entry.path().c_str(), &info) == 0)
            folders += static_cast<std::uint64_t>(info.st_blocks) * 512;
    }
    struct stat info;
    ::lstat(folder.c_str(), &info);
    folders += static_cast<std::uint64_t>(info.st_blocks) * 512;
    std::string out;
    EXPECT_EQ(RunProgram({"/usr/bin/du", countLinks ? "-sl" : "-s", "-B1", folder}, &out), 0);
    return std::stoull(out) - folders;
}

// Every file of a saved copy's resource folder, by name, with its bytes.
std::map<std::string, std::string> Resources(const std::string& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file())
            files[entry.path().filename().string()] = ReadFile(entry.path().string());
    }
    return files;
}

class SharedFilesCaptured : public ServerProcessTest {
protected:
    void SetUp() override
    {
        if (!fs::exists(std::string(kDocs) + "/tutorial/appetite.html"))
            GTEST_SKIP() << "python3-doc is not installed";
        ServerProcessTest::SetUp();
        void* library = ::dlopen(WYS_CAPTURE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << ::dlerror();
        auto registerServer = reinterpret_cast<HRESULT (*)()>(::dlsym(library, "DllRegisterServer"));
        ASSERT_EQ(registerServer(), S_OK);
        ASSERT_EQ(AddBrowserHelperObject(CLSID_WYSCSaver, "WYSCbho"), ERROR_SUCCESS);
        EnterApartment();
        m_site.ServeFolder(kDocs);
        // The HTML route is the one for ".php" pages.
        for (const char* page : {"appetite", "interpreter"})
            m_site.Handle(
                std::string("/tutorial/") + page + ".php",
                HttpReply{
                    200, ReadFile(std::string(kDocs) + "/tutorial/" + page + ".html"), "text/html", {}, {}});
    }

    std::map<std::string, std::string> Settings()
    {
        std::string out, err;
        EXPECT_EQ(RunProgram({WYS_HISTORY_PROGRAM, "settings"}, &out, &err), 0) << err;
        return SettingsOf(out);
    }
    // The settings once the server has gone through every file.
    std::map<std::string, std::string> CountedSettings()
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            auto settings = Settings();
            if (settings.count("disk-use") &&
                settings["disk-use"].find("still counting") == std::string::npos)
                return settings;
        }
        ADD_FAILURE() << "the server's count did not catch up";
        return {};
    }
    void Capture(const std::vector<std::string>& pages)
    {
        std::vector<std::string> argv{WYS_CAPTURE_HOST, "--timeout", "60"};
        for (const std::string& page : pages)
            argv.push_back(m_site.Url("/tutorial/" + page + ".php"));
        std::string output;
        ASSERT_EQ(RunProgram(argv, &output, nullptr, 240000), 0) << output;
    }
    struct SavedVisit {
        std::int64_t time;
        std::string url;
        std::string folder;  // its resource folder
        std::string year;    // the year folder it lies in
        bool operator<(const SavedVisit& other) const
        {
            return std::tie(time, url) < std::tie(other.time, other.url);
        }
    };
    // The saved visits, oldest first.
    std::vector<SavedVisit> Visits()
    {
        std::vector<SavedVisit> visits;
        ComPtr<IWYSCURLBase> history = CreateHistory();
        for (ULONG i = 0; history && i < CountOf(history.Get()); ++i) {
            CUrlDateHolder visit;
            EXPECT_EQ(history->GetData(visit.Receive(), i), S_OK);
            const std::string path = BstrToNarrow(visit.Path);
            visits.push_back(SavedVisit{visit.Time, BstrToNarrow(visit.Url),
                                        History() + "/" + path.substr(0, path.size() - 4) + "_files",
                                        History() + "/" + path.substr(0, path.find('/'))});
        }
        std::sort(visits.begin(), visits.end());
        return visits;
    }

    LoopbackHttpServer m_site;
};

TEST_F(SharedFilesCaptured, PagesOfOneSiteShareTheirResourcesAndKeepThemWhenOneGoes)
{
    ASSERT_EQ(RunProgram({WYS_HISTORY_PROGRAM, "set", "titled-file-names", "off"}), 0);
    ASSERT_EQ(RunProgram({WYS_HISTORY_PROGRAM, "set", "history-range", "0"}), 0);
    Capture({"appetite", "interpreter"});
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // another second: another name
    Capture({"appetite"});
    auto settings = CountedSettings();
    std::vector<SavedVisit> visits = Visits();
    ASSERT_EQ(visits.size(), 3u);
    const SavedVisit again = visits[2];
    const bool firstIsOnce = visits[0].url == again.url;
    const SavedVisit once = firstIsOnce ? visits[0] : visits[1];
    ASSERT_EQ(once.url, again.url);

    // The same style sheets and scripts, once on disk, each whole.
    const auto before = Resources(once.folder);
    ASSERT_TRUE(before.count("doctools.js")) << once.folder;
    EXPECT_EQ(before.at("doctools.js"), ReadFile(std::string(kDocs) + "/_static/doctools.js"));
    std::size_t shared = 0;
    for (const auto& [name, bytes] : Resources(again.folder)) {
        struct stat first, last;
        ASSERT_EQ(::lstat((once.folder + "/" + name).c_str(), &first), 0) << name;
        ASSERT_EQ(::lstat((again.folder + "/" + name).c_str(), &last), 0) << name;
        EXPECT_EQ(bytes, before.at(name)) << name;
        EXPECT_EQ(first.st_ino, last.st_ino) << name << " is stored twice";
        shared += first.st_ino == last.st_ino;
    }
    EXPECT_GE(shared, 5u);
    // Two captures that wrote the same files at once share them too.
    const SavedVisit other = firstIsOnce ? visits[1] : visits[0];
    struct stat mine, theirs;
    ASSERT_EQ(::lstat((once.folder + "/doctools.js").c_str(), &mine), 0);
    ASSERT_EQ(::lstat((other.folder + "/doctools.js").c_str(), &theirs), 0);
    EXPECT_EQ(mine.st_ino, theirs.st_ino);
    EXPECT_EQ(mine.st_nlink, 3u);

    // What the server says is what du says.
    EXPECT_EQ(settings["visits"], "3");
    EXPECT_EQ(std::stoull(settings["bytes-on-disk"]), DuOfFiles(once.year, false));
    EXPECT_EQ(std::stoull(settings["bytes-without-sharing"]), DuOfFiles(once.year, true));
    EXPECT_LT(std::stoull(settings["bytes-on-disk"]) * 2, std::stoull(settings["bytes-without-sharing"]));

    // The first visit of the page goes; the two others keep every byte.
    std::map<std::string, std::map<std::string, std::string>> kept;
    for (const SavedVisit& visit : {other, again})
        kept[visit.folder] = Resources(visit.folder);
    std::string out, err;
    ASSERT_EQ(RunProgram({WYS_HISTORY_PROGRAM, "remove", std::to_string(once.time), once.url}, &out, &err), 0)
        << err;
    EXPECT_FALSE(fs::exists(once.folder));
    visits = Visits();
    ASSERT_EQ(visits.size(), 2u);
    for (const SavedVisit& visit : visits)
        EXPECT_EQ(Resources(visit.folder), kept[visit.folder]) << visit.folder;
    settings = CountedSettings();
    EXPECT_EQ(settings["visits"], "2");
    EXPECT_EQ(std::stoull(settings["bytes-on-disk"]), DuOfFiles(once.year, false));
}

}  // namespace
}  // namespace wys::test
