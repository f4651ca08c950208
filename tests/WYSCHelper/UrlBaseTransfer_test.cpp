// Export of visits with their pages, and import of export files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "WYSCHelper/CIndexFile.h"
#include "platform/ui/CRecordingMessageBoxPresenter.h"
#include "platform/ui/IMessageBoxPresenter.h"
#include "platform/ui/MessageBox.h"
#include "tests/WYSCHelper/UrlBaseTesting.h"

namespace {

namespace fs = std::filesystem;
using wys::test::Describe;
using wys::test::MakeRecord;
using wys::test::ReadFile;
using wys::test::UrlBaseTest;
using wys::test::WriteFile;
using Log = std::vector<std::string>;

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kNov26 = 1069804800;  // 2003-11-26 00:00:00 UTC

// Sets TZ for the life of the object.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone)
    {
        const char* old = std::getenv("TZ");
        m_old = old ? std::optional<std::string>(old) : std::nullopt;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone()
    {
        if (m_old)
            ::setenv("TZ", m_old->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::optional<std::string> m_old;
};

// Records the message boxes shown while it lives.
class ScopedPresenter {
public:
    ScopedPresenter() : m_recorder(std::make_shared<CRecordingMessageBoxPresenter>()), m_scope(m_recorder) {}
    CRecordingMessageBoxPresenter& Recorder() { return *m_recorder; }

private:
    std::shared_ptr<CRecordingMessageBoxPresenter> m_recorder;
    ScopedMessageBoxPresenter m_scope;
};

class UrlBaseTransferTest : public UrlBaseTest {
protected:
    std::string Exports() const { return m_home.Path() + "/exports"; }
    void SetUp() override
    {
        UrlBaseTest::SetUp();
        fs::create_directories(Exports());
    }
    // Three days of visits, two on the middle day, each page with resources.
    void AddThreeDays()
    {
        const struct {
            std::int64_t time;
            const char* url;
            const char* path;
        } visits[] = {
            {kNov26 + 100, "http://a/", "2003/November/26/a.htm"},
            {kNov26 + kDay + 5, "http://b/", "2003/November/27/b.htm"},
            {kNov26 + kDay + 6, "http://c/", "2003/November/27/c.mht"},
            {kNov26 + 2 * kDay, "http://d/", "2003/November/28/d.htm"},
        };
        for (const auto& v : visits) {
            WriteFile(History() + "/" + std::string(v.path).substr(0, std::string(v.path).rfind('.')) +
                          "_files/r.css",
                      "css");
            ASSERT_EQ(AddVisit(v.time, v.url, v.path, std::string("title ") + v.url), S_OK);
        }
        TakeLog();
    }
    std::string ExportedRecords(const std::string& file)
    {
        CUrlRecordList list;
        CIndexFile::Read(file, &list);
        return Describe(list);
    }
    // An export file with its companion folder, written by hand.
    void WriteExport(const std::string& file, const CUrlRecordList& list,
                     const std::vector<std::string>& pages)
    {
        ASSERT_TRUE(CIndexFile::Write(file, list));
        std::string companion = file.substr(0, file.rfind('.')) + "_files";
        for (const std::string& page : pages)
            WriteFile(companion + "/" + page, "page " + page);
    }
};

TEST_F(UrlBaseTransferTest, ExportRangeWritesTheDayAndCopiesItsPages)
{
    CreateBase();
    AddThreeDays();
    const std::string file = Exports() + "/week.hef";
    CComBSTR path(file);
    EXPECT_EQ(m_base->ExportRange(path, kNov26 + kDay, kDay, nullptr), S_OK);
    EXPECT_EQ(ExportedRecords(file),
              "1069891205 'http://b/' '2003/November/27/b.htm' 'title http://b/'; "
              "1069891206 'http://c/' '2003/November/27/c.mht' 'title http://c/'; ");
    const std::string companion = Exports() + "/week_files";
    EXPECT_TRUE(fs::exists(companion + "/2003/November/27/b.htm"));
    EXPECT_TRUE(fs::exists(companion + "/2003/November/27/b_files/r.css"))
        << "resources travel with the page";
    EXPECT_TRUE(fs::exists(companion + "/2003/November/27/c.mht"));
    EXPECT_FALSE(fs::exists(companion + "/2003/November/26"));
    EXPECT_EQ(TakeLog(), Log{}) << "export raises no event";
    EXPECT_EQ(Count(), 4u);

    CComBSTR url("http://c/");
    const std::string one = Exports() + "/one.hef";
    CComBSTR onePath(one);
    EXPECT_EQ(m_base->ExportRange(onePath, kNov26, 3 * kDay, url), S_OK);
    EXPECT_EQ(ExportedRecords(one), "1069891206 'http://c/' '2003/November/27/c.mht' 'title http://c/'; ");
}

TEST_F(UrlBaseTransferTest, ExportRange2TakesOnlyAOneDimensionalArrayOfStrings)
{
    CreateBase();
    AddThreeDays();
    auto vector = [](std::vector<std::string> paths) {
        SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 3, static_cast<ULONG>(paths.size()));
        for (LONG i = 0; i < static_cast<LONG>(paths.size()); ++i) {
            CComBSTR text(paths[static_cast<std::size_t>(i)]);
            LONG index = i + 3;
            SafeArrayPutElement(array, &index, text.m_str);
        }
        return array;
    };
    struct Case {
        const char* name;
        std::function<void(VARIANT*)> make;
        HRESULT result;
        const char* records;  // nullptr: no file written
    };
    const Case cases[] = {
        {"a lone string",
         [](VARIANT* v) {
             v->vt = VT_BSTR;
             v->bstrVal = SysAllocString(u"2003/November/26/a.htm");
         },
         E_INVALIDARG, nullptr},
        {"one path",
         [&](VARIANT* v) {
             v->vt = VT_ARRAY | VT_BSTR;
             v->parray = vector({"2003/November/28/d.htm"});
         },
         S_OK, "1069977600 'http://d/' '2003/November/28/d.htm' 'title http://d/'; "},
        {"two paths, one twice, list order kept",
         [&](VARIANT* v) {
             v->vt = VT_ARRAY | VT_BSTR;
             v->parray =
                 vector({"2003/November/28/d.htm", "2003/November/26/a.htm", "2003/November/28/d.htm"});
         },
         S_OK,
         "1069804900 'http://a/' '2003/November/26/a.htm' 'title http://a/'; "
         "1069977600 'http://d/' '2003/November/28/d.htm' 'title http://d/'; "},
        {"a path of no record",
         [&](VARIANT* v) {
             v->vt = VT_ARRAY | VT_BSTR;
             v->parray = vector({"2003/November/28/x.htm"});
         },
         S_OK, nullptr},
        {"an empty array",
         [&](VARIANT* v) {
             v->vt = VT_ARRAY | VT_BSTR;
             v->parray = vector({});
         },
         S_OK, nullptr},
        {"a two-dimensional array",
         [](VARIANT* v) {
             SAFEARRAYBOUND bounds[2] = {{1, 0}, {1, 0}};
             v->vt = VT_ARRAY | VT_BSTR;
             v->parray = SafeArrayCreate(VT_BSTR, 2, bounds);
             LONG index[2] = {0, 0};
             CComBSTR text("2003/November/26/a.htm");
             SafeArrayPutElement(v->parray, index, text.m_str);
         },
         E_INVALIDARG, nullptr},
        {"an array of integers calling itself strings",
         [](VARIANT* v) {
             v->vt = VT_ARRAY | VT_BSTR;
             v->parray = SafeArrayCreateVector(VT_I4, 0, 2);
         },
         E_INVALIDARG, nullptr},
        {"an array of variants",
         [](VARIANT* v) {
             v->vt = VT_ARRAY | VT_VARIANT;
             v->parray = SafeArrayCreateVector(VT_VARIANT, 0, 1);
         },
         E_INVALIDARG, nullptr},
        {"a null array", [](VARIANT* v) { v->vt = VT_ARRAY | VT_BSTR; }, E_INVALIDARG, nullptr},
        {"nothing", [](VARIANT*) {}, E_INVALIDARG, nullptr},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CComVariant v;
        c.make(&v);
        const std::string file = Exports() + "/e" + std::to_string(n++) + ".hef";
        CComBSTR path(file);
        EXPECT_EQ(m_base->ExportRange2(path, v), c.result);
        if (c.records)
            EXPECT_EQ(ExportedRecords(file), c.records);
        else
            EXPECT_FALSE(fs::exists(file));
    }

    // A by-reference array is refused, even though it refers to a good one.
    CComVariant good;
    good.vt = VT_ARRAY | VT_BSTR;
    good.parray = vector({"2003/November/26/a.htm"});
    VARIANT byReference;
    VariantInit(&byReference);
    byReference.vt = VT_ARRAY | VT_BSTR | VT_BYREF;
    byReference.pparray = &good.parray;
    CComBSTR path(Exports() + "/byref.hef");
    EXPECT_EQ(m_base->ExportRange2(path, byReference), E_INVALIDARG);
    EXPECT_FALSE(fs::exists(Exports() + "/byref.hef"));
}

TEST_F(UrlBaseTransferTest, ExportKeepsVisitsWhosePagesAreMissing)
{
    CreateBase();
    AddThreeDays();
    fs::remove(History() + "/2003/November/26/a.htm");
    const std::string file = Exports() + "/all.hef";
    CComBSTR path(file);
    EXPECT_EQ(m_base->Export(path), S_OK);
    CUrlRecordList list;
    CIndexFile::Read(file, &list);
    EXPECT_EQ(list.Count(), 4u);
    EXPECT_FALSE(fs::exists(Exports() + "/all_files/2003/November/26/a.htm"));
    EXPECT_TRUE(fs::exists(Exports() + "/all_files/2003/November/28/d.htm"));
}

TEST_F(UrlBaseTransferTest, ExportToUnusableTargetsWritesNothingAndSucceeds)
{
    CreateBase();
    // Nothing to export: no file.
    CComBSTR emptyList(Exports() + "/empty.hef");
    EXPECT_EQ(m_base->Export(emptyList), S_OK);
    EXPECT_FALSE(fs::exists(Exports() + "/empty.hef"));

    AddThreeDays();
    WriteFile(Exports() + "/plain-file", "x");
    ScopedPresenter boxes;
    for (const std::string& target : {Exports() + "/plain-file/x.hef", std::string(""), Exports() + "/"}) {
        SCOPED_TRACE(target);
        CComBSTR path(target);
        EXPECT_EQ(m_base->Export(path), S_OK);
    }
    EXPECT_EQ(ReadFile(Exports() + "/plain-file"), "x");
    EXPECT_FALSE(fs::exists(Exports() + "/_files")) << "a path without a file name exports nothing";
    EXPECT_EQ(boxes.Recorder().Count(), 1u) << "the shell reports the failed copy in its own box";

    // A folder that does not exist yet is made by the copy of the pages.
    const std::string nested = Exports() + "/new/folder/h.hef";
    CComBSTR nestedPath(nested);
    EXPECT_EQ(m_base->Export(nestedPath), S_OK);
    EXPECT_TRUE(fs::exists(Exports() + "/new/folder/h_files/2003/November/26/a.htm"));
    EXPECT_EQ(ExportedRecords(nested).empty(), false);
}

TEST_F(UrlBaseTransferTest, ExportCopiesNoPageFromOrToOutside)
{
    const std::string outside = m_home.Path() + "/outside";
    WriteFile(outside + "/secret.htm", "secret");
    CUrlRecordList list;
    list.Append(MakeRecord(1, "http://x/", "../outside/secret.htm"));
    list.Append(MakeRecord(2, "http://y/", "y.htm"));
    MakePage("y.htm");
    ASSERT_TRUE(CIndexFile::Write(CIndexFile::PathIn(History()), list));
    CreateBase();
    const std::string file = Exports() + "/x.hef";
    CComBSTR path(file);
    EXPECT_EQ(m_base->Export(path), S_OK);
    EXPECT_EQ(ExportedRecords(file),
              "1 'http://x/' '../outside/secret.htm' null; 2 'http://y/' 'y.htm' null; ");
    EXPECT_FALSE(fs::exists(Exports() + "/outside"));
    EXPECT_TRUE(fs::exists(Exports() + "/x_files/y.htm"));
}

TEST_F(UrlBaseTransferTest, ImportPutsPagesIntoAFolderNamedAfterTheLocalTime)
{
    ScopedTimeZone zone("XST-3");  // three hours east of UTC, no daylight saving
    m_now = 1069931109;            // 2003-11-27 11:05:09 UTC, 14:05:09 local
    CreateBase();
    ASSERT_EQ(AddVisit(m_now - 50, "http://here/", "here.htm"), S_OK);
    TakeLog();
    CUrlRecordList list;
    list.Append(MakeRecord(m_now - 2 * kDay, "http://a/", "2003/November/25/a.htm", "A"));
    list.Append(MakeRecord(m_now - kDay, "http://b/", "2003\\November\\26\\b.htm", "B"));
    const std::string file = Exports() + "/backup.hef";
    WriteExport(file, list,
                {"2003/November/25/a.htm", "2003/November/25/a_files/i.png", "2003/November/26/b.htm"});

    CComBSTR path(file);
    EXPECT_EQ(m_base->Import(path), S_OK);
    EXPECT_EQ(TakeLog(), (Log{"added 1", "added 2"}));
    const std::string folder = "Imported/Nov 27 [14h 5m 9s] 2003";
    EXPECT_EQ(Record(1),
              std::to_string(m_now - 2 * kDay) + " 'http://a/' '" + folder + "/2003/November/25/a.htm' 'A'");
    EXPECT_EQ(Record(2),
              std::to_string(m_now - kDay) + " 'http://b/' '" + folder + "/2003\\November\\26\\b.htm' 'B'");
    EXPECT_EQ(ReadFile(History() + "/" + folder + "/2003/November/25/a.htm"), "page 2003/November/25/a.htm");
    EXPECT_TRUE(fs::exists(History() + "/" + folder + "/2003/November/25/a_files/i.png"));
    EXPECT_TRUE(fs::exists(History() + "/" + folder + "/2003/November/26/b.htm"));
    CUrlRecordList saved;
    CIndexFile::Read(CIndexFile::PathIn(History()), &saved);
    EXPECT_EQ(saved.Count(), 3u) << "a successful import saves the index";

    // The same file a second later: a second folder, every visit twice.
    m_now += 1;
    EXPECT_EQ(m_base->Import(path), S_OK);
    EXPECT_EQ(TakeLog(), (Log{"added 3", "added 4"}));
    EXPECT_TRUE(fs::exists(History() + "/Imported/Nov 27 [14h 5m 10s] 2003/2003/November/26/b.htm"));
    EXPECT_EQ(Count(), 5u);
    // An imported record is found by Time and Url even though it stands after a newer one.
    CComBSTR url("http://a/");
    ULONG index = 0;
    EXPECT_EQ(m_base->Find(m_now - 1 - 2 * kDay, url, &index), S_OK);
    EXPECT_EQ(index, 1u);
}

TEST_F(UrlBaseTransferTest, ImportLeavesOutExpiredVisits)
{
    CUrlRecordList list;
    list.Append(MakeRecord(m_now - 30 * kDay, "http://old/", "old.htm"));
    list.Append(MakeRecord(m_now - 31 * kDay, "http://older/", "older.htm"));
    const std::string file = Exports() + "/old.hef";
    WriteExport(file, list, {"old.htm", "older.htm"});
    CComBSTR path(file);
    CreateBase();
    ScopedPresenter boxes;
    EXPECT_EQ(m_base->Import(path), S_OK);
    EXPECT_EQ(Count(), 0u);
    EXPECT_FALSE(fs::exists(History() + "/Imported"));
    EXPECT_EQ(TakeLog(), Log{});
    EXPECT_EQ(m_base->put_HistoricalRange(0), S_OK);
    TakeLog();
    EXPECT_EQ(m_base->Import(path), S_OK);
    EXPECT_EQ(TakeLog(), (Log{"added 0", "added 1"}));
    EXPECT_EQ(boxes.Recorder().Count(), 0u) << "no message";
}

TEST_F(UrlBaseTransferTest, ImportSkipsVisitsWithoutPagesOrWithPathsLeavingTheFolder)
{
    const std::string outside = m_home.Path() + "/outside";
    WriteFile(outside + "/victim.htm", "keep");
    CUrlRecordList list;
    list.Append(MakeRecord(m_now - 1, "http://ok/", "ok.htm"));
    list.Append(MakeRecord(m_now - 2, "http://missing/", "missing.htm"));
    // From the companion folder this names the export's own "outside" folder;
    // from the import folder it would climb to the real one.
    list.Append(MakeRecord(m_now - 3, "http://climb/", "../outside/victim.htm"));
    list.Append(MakeRecord(m_now - 4, "http://abs/", outside + "/victim.htm"));
    list.Append(MakeRecord(m_now - 5, "http://empty/", ""));
    list.Append(MakeRecord(m_now - 6, "http://null/", std::nullopt));
    const std::string file = Exports() + "/mixed.hef";
    WriteExport(file, list, {"ok.htm"});
    WriteFile(Exports() + "/outside/victim.htm", "from the export");
    CreateBase();
    CComBSTR path(file);
    EXPECT_EQ(m_base->Import(path), S_OK);
    EXPECT_EQ(TakeLog(), Log{"added 0"});
    EXPECT_EQ(Count(), 1u);
    EXPECT_EQ(ReadFile(outside + "/victim.htm"), "keep");

    // No companion folder at all: nothing is added.
    fs::remove_all(Exports() + "/mixed_files");
    m_now += 1;
    EXPECT_EQ(m_base->Import(path), S_OK);
    EXPECT_EQ(Count(), 1u);
    EXPECT_EQ(TakeLog(), Log{});
}

// Every path under `root` that is a symbolic link.
std::vector<std::string> LinksUnder(const std::string& root)
{
    std::vector<std::string> links;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error); it != fs::recursive_directory_iterator();
         it.increment(error)) {
        if (it->is_symlink())
            links.push_back(it->path().string());
    }
    return links;
}

TEST_F(UrlBaseTransferTest, ImportAndExportNeitherFollowNorMakeLinks)
{
    const std::string outside = m_home.Path() + "/outside";
    WriteFile(outside + "/secret.htm", "secret");
    // An export whose companion folder leads outside through links: a
    // folder link on the way to a page, a page that is a link, and links
    // inside a page's resource folder.
    CUrlRecordList list;
    list.Append(MakeRecord(m_now - 1, "http://ok/", "pages/ok.htm"));
    list.Append(MakeRecord(m_now - 2, "http://through/", "away/secret.htm"));
    list.Append(MakeRecord(m_now - 3, "http://link/", "pages/link.htm"));
    const std::string file = Exports() + "/links.hef";
    WriteExport(file, list, {"pages/ok.htm", "pages/ok_files/real.png"});
    const std::string companion = Exports() + "/links_files";
    fs::create_directory_symlink(outside, companion + "/away");
    fs::create_symlink(outside + "/secret.htm", companion + "/pages/link.htm");
    fs::create_symlink(outside + "/secret.htm", companion + "/pages/ok_files/leak.png");
    fs::create_directory_symlink(outside, companion + "/pages/ok_files/deep");
    CreateBase();
    CComBSTR path(file);
    EXPECT_EQ(m_base->Import(path), S_OK);
    EXPECT_EQ(TakeLog(), Log{"added 0"});
    ASSERT_EQ(Count(), 1u);
    const std::string imported = History() + "/Imported";
    EXPECT_EQ(LinksUnder(History()), std::vector<std::string>{});
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(imported))
        files.push_back(fs::relative(entry.path(), imported).string());
    std::sort(files.begin(), files.end());
    ASSERT_EQ(files.size(), 5u) << ::testing::PrintToString(files);
    EXPECT_TRUE(files[2].ends_with("pages/ok.htm")) << files[2];
    EXPECT_TRUE(files[4].ends_with("pages/ok_files/real.png")) << files[4];

    // The history itself leads outside: a day folder that is a link, and a
    // link inside a page's resource folder.
    fs::remove_all(imported);
    m_base->RemoveRange(0, m_now + 100, nullptr);
    MakePage("2003/mine.htm");
    MakePage("2003/mine_files/real.png");
    fs::create_symlink(outside + "/secret.htm", History() + "/2003/mine_files/leak.png");
    fs::create_directory_symlink(outside, History() + "/2004");
    CComBSTR mine("2003/mine.htm");
    CComBSTR url("http://mine/");
    ASSERT_EQ(m_base->AddData(_URL_DATE_{m_now, url, mine, nullptr}), S_OK);
    CComBSTR through("2004/secret.htm");
    CComBSTR other("http://through/");
    ASSERT_EQ(m_base->AddData(_URL_DATE_{m_now + 1, other, through, nullptr}), S_OK);
    const std::string exported = Exports() + "/mine.hef";
    CComBSTR exportPath(exported);
    EXPECT_EQ(m_base->Export(exportPath), S_OK);
    EXPECT_EQ(ExportedRecords(exported), std::to_string(m_now) + " 'http://mine/' '2003/mine.htm' null; " +
                                             std::to_string(m_now + 1) +
                                             " 'http://through/' '2004/secret.htm' null; ")
        << "a visit whose page cannot be copied is exported all the same";
    EXPECT_TRUE(fs::exists(Exports() + "/mine_files/2003/mine_files/real.png"));
    EXPECT_EQ(LinksUnder(Exports() + "/mine_files"), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(Exports() + "/mine_files/2004"));
}

TEST_F(UrlBaseTransferTest, ImportOfMissingOrForeignFilesDoesNothing)
{
    CreateBase();
    ScopedPresenter boxes;
    WriteFile(Exports() + "/foreign.hef", std::string("\x03\0\0\0\x01\0\0\0", 8) + std::string(40, 'x'));
    WriteFile(Exports() + "/garbage.hef", "not an export file at all");
    for (const std::string& file : {Exports() + "/missing.hef", Exports() + "/foreign.hef",
                                    Exports() + "/garbage.hef", Exports(), std::string("")}) {
        SCOPED_TRACE(file);
        CComBSTR path(file);
        EXPECT_EQ(m_base->Import(path), S_OK);
    }
    EXPECT_EQ(m_base->Import(nullptr), S_OK);
    EXPECT_EQ(Count(), 0u);
    EXPECT_EQ(boxes.Recorder().Count(), 0u);
}

TEST_F(UrlBaseTransferTest, ImportFailureShowsTheMessage)
{
    CUrlRecordList list;
    list.Append(MakeRecord(m_now, "http://a/", "a.htm"));
    const std::string file = Exports() + "/a.hef";
    WriteExport(file, list, {"a.htm"});
    CreateBase();
    bool failClock = false;
    // Replace the object with one whose clock fails on demand.
    m_base = nullptr;
    CUrlBaseOptions options;
    options.Now = [&]() -> std::int64_t {
        if (failClock)
            throw std::bad_alloc();
        return m_now;
    };
    ASSERT_EQ(CWYSCURLBase::Create(IWYSCURLBase::Iid, m_base.PutVoid(), options), S_OK);
    ScopedPresenter boxes;
    failClock = true;
    CComBSTR path(file);
    EXPECT_EQ(m_base->Import(path), E_FAIL);
    auto shown = boxes.Recorder().Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "WYSCHelper Import Failed");
    EXPECT_EQ(shown[0].caption, "Error");
    EXPECT_EQ(shown[0].type & MB_ICONMASK, MB_ICONERROR);
    EXPECT_EQ(shown[0].owner, nullptr);
    ULONG count = 1;
    m_base->get_DataCount(&count);
    EXPECT_EQ(count, 0u);
    failClock = false;
    EXPECT_EQ(m_base->Import(path), S_OK);
    m_base->get_DataCount(&count);
    EXPECT_EQ(count, 1u);
}

TEST_F(UrlBaseTransferTest, ExportThenImportIntoAnotherHistory)
{
    CreateBase();
    AddThreeDays();
    const std::string file = Exports() + "/all.hef";
    CComBSTR path(file);
    ASSERT_EQ(m_base->Export(path), S_OK);
    CComBSTR other(m_home.Path() + "/second");
    ASSERT_EQ(m_base->put_BaseDirectory(other), S_OK);
    ASSERT_EQ(m_base->put_HistoricalRange(0), S_OK);
    TakeLog();
    ASSERT_EQ(m_base->Import(path), S_OK);
    EXPECT_EQ(TakeLog(), (Log{"added 0", "added 1", "added 2", "added 3"}));
    CUrlDateHolder data;
    ASSERT_EQ(m_base->GetData(data.Receive(), 3), S_OK);
    std::string importedPath = wys::BstrToNarrow(data.Path);
    EXPECT_TRUE(importedPath.starts_with("Imported/")) << importedPath;
    EXPECT_TRUE(importedPath.ends_with("/2003/November/28/d.htm")) << importedPath;
    EXPECT_TRUE(fs::exists(m_home.Path() + "/second/" + importedPath));
}

}  // namespace
