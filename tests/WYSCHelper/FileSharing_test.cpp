// Identical saved files stored once: the URL base object in this process,
// with its keeper of shared files, over saved copies on a real file system,
// its figures checked against du run on the same folders.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <random>

#include "WYSCHelper/CFileSharer.h"
#include "WYSCHelper/CSharedFileStore.h"
#include "common/IWYSCDiskUsage.h"
#include "tests/WYSCHelper/UrlBaseTesting.h"

namespace wys::test {
namespace {

namespace fs = std::filesystem;

// Bytes that no two calls give alike.
std::string RandomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

struct stat StatOf(const std::string& path)
{
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
}

// What du says of `folder`, in bytes: each file once (du's way), or each
// name (--count-links).
std::uint64_t Du(const std::string& folder, bool countLinks)
{
    std::string command = "du -s -B1 " + std::string(countLinks ? "-l " : "") + "'" + folder + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    unsigned long long bytes = 0;
    EXPECT_EQ(std::fscanf(pipe, "%llu", &bytes), 1) << command;
    ::pclose(pipe);
    return bytes;
}

// One saved page with its resources, as the HTML route writes it.
struct SavedCopy {
    std::string page;                              // relative to the history folder
    std::map<std::string, std::string> resources;  // name in the "_files" folder -> bytes
};

class FileSharing : public UrlBaseTest {
protected:
    CWYSCURLBase& Base() { return *static_cast<CWYSCURLBase*>(m_base.Get()); }
    void Idle()
    {
        ASSERT_NE(Base().FileSharer(), nullptr);
        ASSERT_TRUE(Base().FileSharer()->WaitUntilIdle(std::chrono::seconds(30)));
    }

    // Writes the copy under `root` (the history folder by default) and adds its visit.
    HRESULT Save(const SavedCopy& copy, std::int64_t time, const std::string& url,
                 const std::string& root = "")
    {
        const std::string base = root.empty() ? History() : root;
        WriteFile(base + "/" + copy.page, "<html>" + url + "</html>");
        const std::string folder = base + "/" + copy.page.substr(0, copy.page.size() - 4) + "_files/";
        for (const auto& [name, bytes] : copy.resources)
            WriteFile(folder + name, bytes);
        CComBSTR u(url);
        CComBSTR p(copy.page);
        CComBSTR t(std::string("T"));
        return m_base->AddData(_URL_DATE_{time, u, p, t});
    }
    std::string Resource(const SavedCopy& copy, const std::string& name, const std::string& root = "")
    {
        return (root.empty() ? History() : root) + "/" + copy.page.substr(0, copy.page.size() - 4) +
               "_files/" + name;
    }
    // Every file of the copy holds the bytes it was saved with.
    void ExpectWhole(const SavedCopy& copy, const std::string& root = "")
    {
        for (const auto& [name, bytes] : copy.resources)
            EXPECT_EQ(ReadFile(Resource(copy, name, root)), bytes) << copy.page << " " << name;
    }
    // The server's figures, which must be up to date, against du of the
    // folders the saved copies lie in.
    void ExpectFiguresOfDu(const std::string& folder)
    {
        ComPtr<IWYSCDiskUsage> usage;
        ASSERT_EQ(m_base->QueryInterface(IWYSCDiskUsage::Iid, usage.PutVoid()), S_OK);
        ULONGLONG onDisk = 0;
        ULONGLONG withoutSharing = 0;
        ASSERT_EQ(usage->GetDiskUsage(&onDisk, &withoutSharing), S_OK);
        const std::uint64_t folderItself = StatOf(folder).st_blocks * 512;
        // du counts the folders too; the server counts files only.
        std::uint64_t folders = 0;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            if (entry.is_directory())
                folders += StatOf(entry.path().string()).st_blocks * 512;
        }
        EXPECT_EQ(onDisk, Du(folder, false) - folderItself - folders);
        EXPECT_EQ(withoutSharing, Du(folder, true) - folderItself - folders);
    }

    // Two visits of pages that share a style sheet and a script, each with
    // an image of its own, and a third whose "script" is as long as the
    // shared one but not the same.
    SavedCopy m_first{"2024/May/1/10h 0m 0s.htm",
                      {{"style.css", RandomBytes(30000, 1)},
                       {"app.js", RandomBytes(12000, 2)},
                       {"one.png", RandomBytes(50000, 3)}}};
    SavedCopy m_second{"2024/May/1/10h 5m 0s.htm",
                       {{"style.css", RandomBytes(30000, 1)},
                        {"app.js", RandomBytes(12000, 2)},
                        {"two.png", RandomBytes(40000, 4)}}};
    SavedCopy m_lookalike{"2024/May/2/9h 0m 0s.htm",
                          {{"style.css", RandomBytes(30000, 1)}, {"app.js", RandomBytes(12000, 9)}}};
};

TEST_F(FileSharing, RemovingOneOfTwoVisitsThatShareFilesLeavesTheOtherWhole)
{
    CreateBase();
    ASSERT_EQ(Save(m_first, 100, "http://site/one"), S_OK);
    ASSERT_EQ(Save(m_second, 200, "http://site/two"), S_OK);
    ASSERT_EQ(Save(m_lookalike, 300, "http://site/three"), S_OK);
    Idle();

    const struct stat css = StatOf(Resource(m_first, "style.css"));
    EXPECT_EQ(css.st_ino, StatOf(Resource(m_second, "style.css")).st_ino);
    EXPECT_EQ(css.st_ino, StatOf(Resource(m_lookalike, "style.css")).st_ino);
    EXPECT_EQ(css.st_nlink, 3u);
    EXPECT_EQ(css.st_mode & 0222, 0u) << "shared bytes are read-only";
    EXPECT_EQ(StatOf(Resource(m_first, "app.js")).st_ino, StatOf(Resource(m_second, "app.js")).st_ino);
    EXPECT_NE(StatOf(Resource(m_first, "app.js")).st_ino, StatOf(Resource(m_lookalike, "app.js")).st_ino)
        << "same size, other bytes";
    EXPECT_NE(StatOf(Resource(m_first, "one.png")).st_mode & 0200, 0u) << "a file of its own stays writable";
    ExpectWhole(m_first);
    ExpectWhole(m_second);
    ExpectWhole(m_lookalike);
    ExpectFiguresOfDu(History() + "/2024");

    ASSERT_EQ(m_base->RemoveRange(100, 1, nullptr), S_OK);
    Idle();
    EXPECT_FALSE(fs::exists(History() + "/2024/May/1/10h 0m 0s_files"));
    ExpectWhole(m_second);
    ExpectWhole(m_lookalike);
    EXPECT_EQ(StatOf(Resource(m_second, "style.css")).st_nlink, 2u);
    ExpectFiguresOfDu(History() + "/2024");

    // Expiry deletes names the same way.
    ASSERT_EQ(m_base->put_HistoricalRange(m_now - 250), S_OK);
    Idle();
    EXPECT_EQ(Count(), 1u);
    ExpectWhole(m_lookalike);
    EXPECT_EQ(StatOf(Resource(m_lookalike, "style.css")).st_nlink, 1u);
    ExpectFiguresOfDu(History() + "/2024");
}

TEST_F(FileSharing, ExportWritesIndependentCopiesAndImportAfterDeletingTheHistoryGivesTheSameBytes)
{
    CreateBase();
    ASSERT_EQ(m_base->put_HistoricalRange(0), S_OK);
    ASSERT_EQ(Save(m_first, 100, "http://site/one"), S_OK);
    ASSERT_EQ(Save(m_second, 200, "http://site/two"), S_OK);
    Idle();
    ASSERT_EQ(StatOf(Resource(m_first, "style.css")).st_nlink, 2u);

    const std::string exported = m_home.Path() + "/out/week.hef";
    fs::create_directories(m_home.Path() + "/out");
    CComBSTR file(exported);
    ASSERT_EQ(m_base->Export(file), S_OK);
    const std::string companion = m_home.Path() + "/out/week_files";
    for (const SavedCopy* copy : {&m_first, &m_second}) {
        ExpectWhole(*copy, companion);
        for (const auto& [name, bytes] : copy->resources)
            EXPECT_EQ(StatOf(Resource(*copy, name, companion)).st_nlink, 1u) << name;
    }

    // The history goes whole, its folder with it; the export is all there is.
    ASSERT_EQ(m_base->RemoveRange(0, 1000, nullptr), S_OK);
    Idle();
    m_base = nullptr;
    m_sink = nullptr;
    fs::remove_all(History());
    CreateBase();
    ASSERT_EQ(m_base->Import(file), S_OK);
    ASSERT_EQ(Count(), 2u);
    Idle();
    CUrlDateHolder visit;
    ASSERT_EQ(m_base->GetData(visit.Receive(), 0), S_OK);
    const std::string prefix =
        BstrToNarrow(visit.Path).substr(0, BstrToNarrow(visit.Path).size() - m_first.page.size());
    const std::string imported = History() + "/" + prefix;
    ExpectWhole(m_first, imported);
    ExpectWhole(m_second, imported);
    EXPECT_EQ(StatOf(Resource(m_first, "style.css", imported)).st_ino,
              StatOf(Resource(m_second, "style.css", imported)).st_ino)
        << "import links what it brings";
    // The export itself is no part of the history.
    EXPECT_EQ(StatOf(Resource(m_first, "style.css", companion)).st_nlink, 1u);
    ExpectFiguresOfDu(History() + "/Imported");
}

TEST_F(FileSharing, ADamagedStoreIsMadeAnewWithoutLosingOrMergingWrongFiles)
{
    struct Damage {
        const char* name;
        std::function<void(const std::string& store)> apply;
    };
    const std::vector<Damage> damages = {
        {"missing", [](const std::string& store) { fs::remove(store); }},
        {"truncated", [](const std::string& store) { fs::resize_file(store, fs::file_size(store) / 2 + 1); }},
        {"not a database", [](const std::string& store) { WriteFile(store, std::string(8192, 'x')); }},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        fs::remove_all(History());
        CreateBase();
        ASSERT_EQ(m_base->RemoveRange(0, 1000, nullptr), S_OK);
        ASSERT_EQ(Save(m_first, 100, "http://site/one"), S_OK);
        Idle();
        m_base = nullptr;
        m_sink = nullptr;
        const std::string store = History() + "/" + CSharedFileStore::kFileName;
        for (const char* suffix : {"-wal", "-shm"})
            fs::remove(store + suffix);
        damage.apply(store);

        CreateBase();
        ASSERT_EQ(Save(m_second, 200, "http://site/two"), S_OK);
        ASSERT_EQ(Save(m_lookalike, 300, "http://site/three"), S_OK);
        Idle();
        EXPECT_GE(Base().FileSharer()->GetStatistics().StoresMadeAnew, 1u);
        EXPECT_EQ(StatOf(Resource(m_first, "style.css")).st_ino,
                  StatOf(Resource(m_second, "style.css")).st_ino);
        EXPECT_EQ(StatOf(Resource(m_first, "app.js")).st_ino, StatOf(Resource(m_second, "app.js")).st_ino);
        EXPECT_NE(StatOf(Resource(m_first, "app.js")).st_ino, StatOf(Resource(m_lookalike, "app.js")).st_ino);
        ExpectWhole(m_first);
        ExpectWhole(m_second);
        ExpectWhole(m_lookalike);
        ExpectFiguresOfDu(History() + "/2024");
        m_base = nullptr;
        m_sink = nullptr;
    }
}

TEST_F(FileSharing, AStoreWrongAboutItsFilesIsCorrectedByTheBytes)
{
    CreateBase();
    ASSERT_EQ(Save(m_first, 100, "http://site/one"), S_OK);
    ASSERT_EQ(Save(m_lookalike, 300, "http://site/three"), S_OK);
    Idle();
    m_base = nullptr;
    m_sink = nullptr;
    {
        // The store says that the lookalike's script holds the bytes of the
        // first one's (a hash that no longer matches), and knows a file that
        // is gone; the first one's script has been deleted from outside.
        bool madeAnew = false;
        auto store = CSharedFileStore::Open(History(), &madeAnew);
        ASSERT_TRUE(store);
        auto first = store->Get("2024/May/1/10h 0m 0s_files/app.js");
        auto lookalike = store->Get("2024/May/2/9h 0m 0s_files/app.js");
        ASSERT_TRUE(first && lookalike && first->hash);
        lookalike->hash = first->hash;
        store->Put(*lookalike);
        CSharedFileStore::Row gone = *first;
        gone.path = "2024/May/1/gone_files/app.js";
        store->Put(gone);
    }
    fs::remove(Resource(m_first, "app.js"));

    CreateBase();
    ASSERT_EQ(Save(m_second, 200, "http://site/two"), S_OK);
    Idle();
    ExpectWhole(m_second);
    ExpectWhole(m_lookalike);
    EXPECT_NE(StatOf(Resource(m_second, "app.js")).st_ino, StatOf(Resource(m_lookalike, "app.js")).st_ino);
    EXPECT_EQ(StatOf(Resource(m_second, "app.js")).st_nlink, 1u);
    EXPECT_EQ(StatOf(Resource(m_second, "style.css")).st_ino, StatOf(Resource(m_first, "style.css")).st_ino);
    ExpectFiguresOfDu(History() + "/2024");
}

// Runs `write` in a child process that has given up the power to write
// files it may not write (as a person's editor is, unlike a root test).
int AsPerson(const std::function<int()>& write)
{
    pid_t child = ::fork();
    if (child == 0) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        if (::syscall(SYS_capget, &header, data) == 0) {
            for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
                data[cap / 32].effective &= ~(1u << (cap % 32));
            if (::syscall(SYS_capset, &header, data) != 0)
                ::_exit(100);
        }
        ::_exit(write());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(FileSharing, EditingASharedFileChangesNoOtherVisit)
{
    CreateBase();
    ASSERT_EQ(Save(m_first, 100, "http://site/one"), S_OK);
    ASSERT_EQ(Save(m_second, 200, "http://site/two"), S_OK);
    Idle();
    const std::string mine = Resource(m_second, "style.css");
    ASSERT_EQ(StatOf(mine).st_ino, StatOf(Resource(m_first, "style.css")).st_ino);

    // Writing in place is refused.
    EXPECT_EQ(AsPerson([&] {
                  int fd = ::open(mine.c_str(), O_WRONLY);
                  return fd < 0 && errno == EACCES ? 0 : 1;
              }),
              0);
    ExpectWhole(m_first);
    // An editor that saves a new file and renames it over the old one
    // changes that visit's copy only.
    EXPECT_EQ(AsPerson([&] {
                  const std::string temporary = mine + "~";
                  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
                  bool ok = fd >= 0 && ::write(fd, "edited", 6) == 6 && ::close(fd) == 0 &&
                            ::rename(temporary.c_str(), mine.c_str()) == 0;
                  return ok ? 0 : 1;
              }),
              0);
    EXPECT_EQ(ReadFile(mine), "edited");
    ExpectWhole(m_first);
    EXPECT_EQ(StatOf(Resource(m_first, "style.css")).st_nlink, 1u);

    // The edited copy is found changed at the next start, and never offered
    // to later visits in place of the style sheet.
    m_base = nullptr;
    m_sink = nullptr;
    CreateBase();
    SavedCopy third{"2024/May/3/8h 0m 0s.htm", {{"style.css", m_first.resources["style.css"]}}};
    ASSERT_EQ(Save(third, 400, "http://site/four"), S_OK);
    Idle();
    EXPECT_EQ(StatOf(Resource(third, "style.css")).st_ino, StatOf(Resource(m_first, "style.css")).st_ino);
    EXPECT_EQ(ReadFile(mine), "edited");
    ExpectFiguresOfDu(History() + "/2024");
}

TEST_F(FileSharing, AFileStillBeingWrittenIsNeverLinkedTo)
{
    CreateBase();
    // Another capture is writing its copy: its style sheet is complete for
    // the moment, but its visit is not recorded, and it will rewrite it.
    SavedCopy writing{"2024/May/1/9h 0m 0s.htm", {{"style.css", m_first.resources["style.css"]}}};
    WriteFile(Resource(writing, "style.css"), writing.resources["style.css"]);
    ASSERT_EQ(Save(m_first, 100, "http://site/one"), S_OK);
    Idle();
    EXPECT_NE(StatOf(Resource(writing, "style.css")).st_ino, StatOf(Resource(m_first, "style.css")).st_ino);
    {
        int fd = ::open(Resource(writing, "style.css").c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "rewritten", 9), 9);
        ::close(fd);
    }
    ExpectWhole(m_first);
    // Both at once: the two recorded copies end up sharing.
    ASSERT_EQ(Save(m_second, 200, "http://site/two"), S_OK);
    ASSERT_EQ(Save(writing, 150, "http://site/nine"), S_OK);
    Idle();
    EXPECT_EQ(StatOf(Resource(writing, "style.css")).st_ino, StatOf(Resource(m_second, "style.css")).st_ino);
    ExpectWhole(m_first);
    ExpectWhole(m_second);
}

TEST_F(FileSharing, AFileWithManyLinksRemovedFromOutside)
{
    CreateBase();
    ASSERT_EQ(m_base->put_HistoricalRange(0), S_OK);
    std::vector<SavedCopy> copies;
    for (int i = 0; i < 40; ++i) {
        copies.push_back(SavedCopy{"2024/June/1/" + std::to_string(i) + "h 0m 0s.htm",
                                   {{"logo.png", RandomBytes(9000, 7)}}});
        ASSERT_EQ(Save(copies.back(), 1000 + i, "http://site/" + std::to_string(i)), S_OK);
    }
    Idle();
    ASSERT_EQ(StatOf(Resource(copies[0], "logo.png")).st_nlink, 40u);
    // A person deletes the first ten copies' files (the first is the one the
    // others were linked to), and a whole folder, by hand.
    for (int i = 0; i < 10; ++i)
        fs::remove(Resource(copies[i], "logo.png"));
    fs::remove_all(History() + "/2024/June/1/39h 0m 0s_files");

    SavedCopy next{"2024/June/2/1h 0m 0s.htm", {{"logo.png", RandomBytes(9000, 7)}}};
    ASSERT_EQ(Save(next, 5000, "http://site/next"), S_OK);
    Idle();
    EXPECT_EQ(StatOf(Resource(next, "logo.png")).st_nlink, 30u);
    for (int i = 10; i < 39; ++i)
        ExpectWhole(copies[i]);
    ExpectWhole(next);
    // Removing the visits whose files went deletes what is left of them.
    ASSERT_EQ(m_base->RemoveRange(1000, 10, nullptr), S_OK);
    Idle();
    // Counted anew at the next start, from the files as they are.
    m_base = nullptr;
    m_sink = nullptr;
    CreateBase();
    Idle();
    ExpectFiguresOfDu(History() + "/2024");
}

// A history folder on a FAT file system, which has no hard links, mounted
// through FUSE (no kernel driver or loop device needed).
TEST_F(FileSharing, AFileSystemWithoutHardLinksKeepsPlainCopies)
{
    const std::string image = m_home.Path() + "/fat.img";
    const std::string mount = m_home.Path() + "/fat";
    fs::create_directories(mount);
    if (std::system(("mkfs.vfat -C '" + image + "' 8192 >/dev/null 2>&1").c_str()) != 0 ||
        std::system(("fusefat -o rw+ '" + image + "' '" + mount + "' >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP()
            << "no FAT file system can be made and mounted here (needs dosfstools, fusefat and /dev/fuse)";
    struct Unmount {
        std::string at;
        ~Unmount() { (void)std::system(("fusermount -u -z '" + at + "'").c_str()); }
    } unmount{mount};

    CreateBase();
    CComBSTR folder(mount + "/history");
    ASSERT_EQ(m_base->put_BaseDirectory(folder), S_OK);
    const std::string root = mount + "/history";
    ASSERT_EQ(Save(m_first, 100, "http://site/one", root), S_OK);
    ASSERT_EQ(Save(m_second, 200, "http://site/two", root), S_OK);
    Idle();
    ExpectWhole(m_first, root);
    ExpectWhole(m_second, root);
    EXPECT_EQ(StatOf(Resource(m_second, "style.css", root)).st_nlink, 1u);
    EXPECT_GE(Base().FileSharer()->GetStatistics().FilesNotLinked, 1u);
    ExpectFiguresOfDu(root + "/2024");
    ASSERT_EQ(m_base->RemoveRange(100, 1, nullptr), S_OK);
    Idle();
    ExpectWhole(m_second, root);
    ExpectFiguresOfDu(root + "/2024");
    m_base = nullptr;
    m_sink = nullptr;
}

}  // namespace
}  // namespace wys::test
