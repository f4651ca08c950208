#include "WYSCHelper/CWYSCURLBase.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>

#include "WYSCHelper/CIndexFile.h"
#include "tests/WYSCHelper/UrlBaseTesting.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using wys::test::MakeRecord;
using wys::test::ReadFile;
using wys::test::SetSettingsValue;
using wys::test::UrlBaseTest;
using Log = std::vector<std::string>;

constexpr IID kISupportErrorInfo = MakeGuid("{DF0B3D60-548F-101B-8E65-08002B2BD119}");

class CWYSCURLBaseTest : public UrlBaseTest {
protected:
    // Writes an index file into `folder` holding `list`.
    void WriteIndex(const std::string& folder, const CUrlRecordList& list)
    {
        fs::create_directories(folder);
        ASSERT_TRUE(CIndexFile::Write(CIndexFile::PathIn(folder), list));
    }
    CUrlRecordList ReadIndex(const std::string& folder)
    {
        CUrlRecordList list;
        CIndexFile::Read(CIndexFile::PathIn(folder), &list);
        return list;
    }
};

TEST_F(CWYSCURLBaseTest, AnswersItsInterfacesInOrder)
{
    CreateBase();
    struct Case {
        const char* name;
        IID iid;
        bool offered;
    };
    const Case cases[] = {
        {"IUnknown", IID_IUnknown, true},
        {"IProvideClassInfo2", IProvideClassInfo2::Iid, true},
        {"IProvideClassInfo", IProvideClassInfo::Iid, true},
        {"IWYSCURLBase", IID_IWYSCURLBase, true},
        {"IDispatch", IID_IDispatch, true},
        {"IWYSCURLBaseEvents", DIID_IWYSCURLBaseEvents, true},
        {"IConnectionPointContainer", IConnectionPointContainer::Iid, true},
        {"ISupportErrorInfo", kISupportErrorInfo, false},
        {"IConnectionPoint", IConnectionPoint::Iid, false},
        {"IClassFactory", IID_IClassFactory, false},
    };
    std::map<std::string, void*> pointers;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        void* object = nullptr;
        HRESULT hr = m_base->QueryInterface(c.iid, &object);
        EXPECT_EQ(hr, c.offered ? S_OK : E_NOINTERFACE);
        pointers[c.name] = object;
        if (object)
            static_cast<IUnknown*>(object)->Release();
    }
    EXPECT_EQ(pointers["IUnknown"], pointers["IProvideClassInfo2"])
        << "IUnknown goes through the first interface";
    EXPECT_EQ(pointers["IProvideClassInfo"], pointers["IProvideClassInfo2"]);
    EXPECT_EQ(pointers["IDispatch"], pointers["IWYSCURLBase"]) << "IDispatch is answered by IWYSCURLBase";
    EXPECT_NE(pointers["IWYSCURLBaseEvents"], pointers["IWYSCURLBase"]);
    EXPECT_EQ(m_base->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(CWYSCURLBaseTest, DescribesItsClassAndEventSource)
{
    CreateBase();
    ComPtr<IProvideClassInfo2> info;
    ASSERT_EQ(m_base.As(&info), S_OK);
    ComPtr<ITypeInfo> type;
    ASSERT_EQ(info->GetClassInfo(type.ReleaseAndGetAddressOf()), S_OK);
    GUID guid{};
    EXPECT_EQ(type->GetGuid(&guid), S_OK);
    EXPECT_EQ(guid, CLSID_WYSCURLBase);
    EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &guid), S_OK);
    EXPECT_EQ(guid, DIID_IWYSCURLBaseEvents);
    EXPECT_EQ(info->GetGUID(2, &guid), E_INVALIDARG);
    EXPECT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, nullptr), E_POINTER);
}

TEST_F(CWYSCURLBaseTest, OffersTwoConnectionPointsWithReusedSlots)
{
    CreateBase();
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(m_base.As(&container), S_OK);
    ComPtr<IConnectionPoint> events;
    ComPtr<IConnectionPoint> notify;
    ComPtr<IConnectionPoint> other;
    EXPECT_EQ(container->FindConnectionPoint(DIID_IWYSCURLBaseEvents, events.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(container->FindConnectionPoint(IPropertyNotifySink::Iid, notify.ReleaseAndGetAddressOf()),
              S_OK);
    EXPECT_EQ(container->FindConnectionPoint(IID_IWYSCURLBase, other.ReleaseAndGetAddressOf()),
              CONNECT_E_NOCONNECTION);
    EXPECT_FALSE(other);
    IID iid{};
    EXPECT_EQ(notify->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, IPropertyNotifySink::Iid);

    Log log;
    ComPtr<wys::test::CRecordingSink> second(new wys::test::CRecordingSink(nullptr, &log, "second"));
    ComPtr<wys::test::CRecordingSink> third(new wys::test::CRecordingSink(nullptr, &log, "third"));
    DWORD cookie2 = 0;
    DWORD cookie3 = 0;
    EXPECT_EQ(events->Advise(second->GetUnknown(), &cookie2), S_OK);  // the fixture's sink holds cookie 1
    EXPECT_EQ(events->Advise(third->GetUnknown(), &cookie3), S_OK);
    EXPECT_EQ(cookie2, 2u);
    EXPECT_EQ(events->Unadvise(cookie2), S_OK);
    EXPECT_EQ(events->Advise(second->GetUnknown(), &cookie2), S_OK);
    EXPECT_EQ(cookie2, 2u) << "a freed slot is reused";
    EXPECT_EQ(notify->Advise(second->GetUnknown(), &cookie2), CONNECT_E_CANNOTCONNECT);
}

TEST_F(CWYSCURLBaseTest, AddDataChecksDuplicatesAndSavedCopies)
{
    CreateBase();
    fs::create_directories(History() + "/2003/November/27/folder");
    wys::test::WriteFile(m_home.Path() + "/outside.htm", "x");
    struct Case {
        const char* name;
        std::int64_t time;
        std::u16string url;
        std::string path;
        bool makePage;
        HRESULT result;
    };
    const Case cases[] = {
        {"new visit", 100, u"http://a/", "2003/November/27/a.htm", true, S_OK},
        {"same second and URL", 100, u"http://a/", "2003/November/27/b.htm", true, E_INVALIDARG},
        {"same second, URL in other case", 100, u"HTTP://A/", "2003/November/27/c.htm", true, S_OK},
        {"same URL, next second", 101, u"http://a/", "2003/November/27/d.htm", true, S_OK},
        {"URL equal up to its first NUL", 100, u"http://a/\0tail"s, "2003/November/27/e.htm", true,
         E_INVALIDARG},
        {"no saved copy", 102, u"http://b/", "2003/November/27/missing.htm", false, E_INVALIDARG},
        {"saved copy is a folder", 103, u"http://c/", "2003/November/27/folder", false, S_OK},
        {"backslashes", 104, u"http://d/", "2003\\November\\27\\a.htm", false, S_OK},
        {"empty Path", 105, u"http://e/", "", false, E_INVALIDARG},
        {"Path '.'", 106, u"http://e/", ".", false, E_INVALIDARG},
        {"absolute Path", 107, u"http://e/", m_home.Path() + "/outside.htm", false, E_INVALIDARG},
        {"climbing Path", 108, u"http://e/", "../outside.htm", false, E_INVALIDARG},
        {"climbing through a folder", 109, u"http://e/", "2003/../../outside.htm", false, E_INVALIDARG},
    };
    ULONG expected = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.makePage)
            MakePage(c.path);
        CComBSTR url(std::u16string_view(c.url));
        CComBSTR path(c.path);
        TakeLog();
        EXPECT_EQ(m_base->AddData(_URL_DATE_{c.time, url, path, nullptr}), c.result);
        if (c.result == S_OK) {
            EXPECT_EQ(TakeLog(), Log{"added " + std::to_string(expected)});
            ++expected;
        } else {
            EXPECT_EQ(TakeLog(), Log{});
        }
        EXPECT_EQ(Count(), expected);
    }
    EXPECT_TRUE(fs::exists(m_home.Path() + "/outside.htm"));
}

TEST_F(CWYSCURLBaseTest, AddDataKeepsStringsUpToTheirFirstNul)
{
    CreateBase();
    MakePage("a.htm");
    CComBSTR url(std::u16string_view(u"http://a/\0hidden", 16));
    CComBSTR path(std::u16string_view(u"a.htm\0../x", 10));
    CComBSTR title(std::u16string_view(u"T\0itle", 6));
    ASSERT_EQ(m_base->AddData(_URL_DATE_{5, url, path, title}), S_OK);
    EXPECT_EQ(Record(0), "5 'http://a/' 'a.htm' 'T'");
    ASSERT_EQ(AddVisit(6, "http://b/", "b.htm"), S_OK);
    EXPECT_EQ(Record(1), "6 'http://b/' 'b.htm' null");
}

TEST_F(CWYSCURLBaseTest, FindAndGetDataReadTheList)
{
    CreateBase();
    ULONG index = 7;
    EXPECT_EQ(m_base->Find(1, nullptr, &index), S_OK);
    EXPECT_EQ(index, kNoRecord);
    // Loaded records may be equal, and out of time order, and keep embedded NULs.
    CUrlRecordList list;
    list.Append(MakeRecord(300, "http://new/", "n.htm", "new"));
    list.Append(MakeRecord(100, "http://old/", "o.htm", std::nullopt));
    list.Append(MakeRecord(100, "http://old/", "o2.htm", std::nullopt));
    CUrlRecord withNul = MakeRecord(5, "", "z.htm");
    withNul.AttachTitle(SysAllocStringLen(u"a\0b", 3));
    list.Append(std::move(withNul));
    m_base = nullptr;
    WriteIndex(History(), list);
    CreateBase();

    struct Case {
        std::int64_t time;
        std::optional<std::string> url;
        ULONG index;
    };
    const Case cases[] = {
        {100, "http://old/", 1},
        {300, "http://new/", 0},
        {100, "HTTP://OLD/", kNoRecord},
        {101, "http://old/", kNoRecord},
        {5, "", 3},
        {5, std::nullopt, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.time << " " << c.url.value_or("<null>"));
        CComBSTR url;
        url.Attach(wys::test::MakeBstr(c.url));
        EXPECT_EQ(m_base->Find(c.time, url, &index), S_OK);
        EXPECT_EQ(index, c.index);
    }

    EXPECT_EQ(Count(), 4u);
    _URL_DATE_ untouched{-9, reinterpret_cast<BSTR>(0x1), nullptr, nullptr};
    EXPECT_EQ(m_base->GetData(&untouched, 4), E_INVALIDARG);
    EXPECT_EQ(untouched.Time, -9);
    EXPECT_EQ(untouched.Url, reinterpret_cast<BSTR>(0x1));
    CUrlDateHolder last;
    ASSERT_EQ(m_base->GetData(last.Receive(), 3), S_OK);
    EXPECT_EQ(last.Time, 5);
    EXPECT_EQ(SysStringByteLen(last.Title), 6u);
    EXPECT_EQ(BstrView(last.Title), u"a\0b"s);
    EXPECT_EQ(Record(1), "100 'http://old/' 'o.htm' null");
    EXPECT_EQ(m_base->GetData(nullptr, 0), E_POINTER);
    EXPECT_EQ(m_base->get_DataCount(nullptr), E_POINTER);
    EXPECT_EQ(m_base->Find(0, nullptr, nullptr), E_POINTER);
}

TEST_F(CWYSCURLBaseTest, EveryTenthChangeSavesTheIndex)
{
    CreateBase();
    const std::string index = CIndexFile::PathIn(History());
    for (int i = 0; i < 9; ++i)
        ASSERT_EQ(AddVisit(m_now - i, "http://a/" + std::to_string(i), std::to_string(i) + ".htm"), S_OK);
    EXPECT_FALSE(fs::exists(index)) << "nine changes are not saved yet";
    ASSERT_EQ(m_base->RemoveData(0), S_OK);
    EXPECT_EQ(ReadIndex(History()).Count(), 8u) << "the tenth change, a removal, saves";
    for (int i = 9; i < 18; ++i)
        ASSERT_EQ(AddVisit(m_now - i, "http://a/" + std::to_string(i), std::to_string(i) + ".htm"), S_OK);
    EXPECT_EQ(ReadIndex(History()).Count(), 8u);
    ASSERT_EQ(AddVisit(m_now, "http://a/last", "last.htm"), S_OK);
    EXPECT_EQ(ReadIndex(History()).Count(), 18u);
}

TEST_F(CWYSCURLBaseTest, TheTenthChangeExpiresOldVisitsFirst)
{
    SetSettingsValue("HistoryRange", REG_BINARY, std::string("\x3c\0\0\0\0\0\0\0", 8));  // 60 seconds
    CreateBase();
    for (int i = 0; i < 9; ++i)
        ASSERT_EQ(AddVisit(m_now - 100 + i, "http://old/" + std::to_string(i), std::to_string(i) + ".htm"),
                  S_OK);
    TakeLog();
    // An old visit as the tenth change: expiry takes it away again, so it is
    // announced as leaving but never as added.
    ASSERT_EQ(AddVisit(m_now - 100, "http://old/last", "last.htm"), S_OK);
    Log log = TakeLog();
    ASSERT_EQ(log.size(), 10u);
    EXPECT_EQ(log.front(), "removing 0 http://old/0");
    EXPECT_EQ(log.back(), "removing 0 http://old/last");
    EXPECT_EQ(Count(), 0u);
    EXPECT_EQ(ReadIndex(History()).Count(), 0u);
    EXPECT_TRUE(fs::exists(CIndexFile::PathIn(History())));
}

TEST_F(CWYSCURLBaseTest, AVisitAddedWhileExpiryAnnouncesIsAnnouncedAndSoIsTheOneThatExpiredOthers)
{
    SetSettingsValue("HistoryRange", REG_BINARY, std::string("\x3c\0\0\0\0\0\0\0", 8));  // 60 seconds
    CreateBase();
    ASSERT_EQ(AddVisit(m_now - 100, "http://old/", "old.htm"), S_OK);
    for (int i = 1; i < 9; ++i)
        ASSERT_EQ(AddVisit(m_now + i, "http://new/" + std::to_string(i), std::to_string(i) + ".htm"), S_OK);
    MakePage("other.htm");
    m_sink->m_hook = [&](DISPID id, ULONG) {
        if (id != DISPID_OnDataBeforeRemove)
            return;
        // Another window's capture finishing while the old visit goes.
        CComBSTR url("http://other/");
        CComBSTR path("other.htm");
        EXPECT_EQ(m_base->AddData(_URL_DATE_{m_now + 20, url, path, nullptr}), S_OK);
    };
    TakeLog();
    // The tenth change: its expiry pass lets the other visit in.
    ASSERT_EQ(AddVisit(m_now + 10, "http://tenth/", "tenth.htm"), S_OK);
    EXPECT_EQ(TakeLog(), (Log{"removing 0 http://old/", "added 10", "added 8"}));
    EXPECT_EQ(Count(), 10u);
    EXPECT_EQ(Record(8), std::to_string(m_now + 10) + " 'http://tenth/' 'tenth.htm' null");
    EXPECT_EQ(Record(9), std::to_string(m_now + 20) + " 'http://other/' 'other.htm' null");
}

TEST_F(CWYSCURLBaseTest, EventsGoToSinksInOrderAndStopAtTheFirstFailure)
{
    CreateBase();
    Log log;
    ComPtr<wys::test::CRecordingSink> sinks[3];
    for (int i = 0; i < 3; ++i) {
        sinks[i] = ComPtr<wys::test::CRecordingSink>(
            new wys::test::CRecordingSink(m_base.Get(), &log, "sink" + std::to_string(i + 1)));
        Advise(sinks[i]->GetUnknown());
    }
    sinks[1]->m_result = DISP_E_EXCEPTION;
    EXPECT_EQ(AddVisit(10, "http://a/", "a.htm"), S_OK) << "a failing sink does not fail the call";
    EXPECT_EQ(log, (Log{"sink1: added 0", "sink2: added 0"}));
    EXPECT_EQ(TakeLog(), Log{"added 0"});
    log.clear();
    sinks[1]->m_result = S_OK;
    EXPECT_EQ(m_base->put_CollectHistory(VARIANT_FALSE), S_OK);
    EXPECT_EQ(log, (Log{"sink1: settings", "sink2: settings", "sink3: settings"}));
    EXPECT_EQ(Count(), 1u);

    // The second sink lets another visit in while it handles an event that
    // it then fails: the third never receives that event, every sink
    // receives the other, and none receives it before the first.
    log.clear();
    MakePage("c.htm");
    sinks[1]->m_hook = [&](DISPID, ULONG index) {
        if (index != 1) {
            sinks[1]->m_result = S_OK;
            return;
        }
        CComBSTR url("http://c/");
        CComBSTR path("c.htm");
        EXPECT_EQ(m_base->AddData(_URL_DATE_{12, url, path, nullptr}), S_OK);
        sinks[1]->m_result = DISP_E_EXCEPTION;
    };
    EXPECT_EQ(AddVisit(11, "http://b/", "b.htm"), S_OK);
    EXPECT_EQ(
        log, (Log{"sink1: added 1", "sink2: added 1", "sink1: added 2", "sink2: added 2", "sink3: added 2"}));
    EXPECT_EQ(Count(), 3u);
}

TEST_F(CWYSCURLBaseTest, EventInterfaceOnTheObjectRaisesEvents)
{
    CreateBase();
    ComPtr<IWYSCURLBaseEvents> events;
    ASSERT_EQ(m_base.As(&events), S_OK);
    struct Case {
        const char* name;
        DISPID id;
        std::vector<CComVariant> args;  // first argument first
        HRESULT result;
        Log log;
    };
    CComVariant seven(LONG{7});
    CComVariant text(std::string_view("12"));
    CComVariant word(std::string_view("twelve"));
    CComVariant big;
    big.vt = VT_I8;
    big.llVal = 1LL << 40;
    const Case cases[] = {
        {"added", DISPID_OnDataAdded, {seven}, S_OK, {"added 7"}},
        {"removing, converted", DISPID_OnDataBeforeRemove, {text}, S_OK, {"removing 12 <GetData failed>"}},
        {"settings", DISPID_OnSettingsChanged, {}, S_OK, {"settings"}},
        {"added without argument", DISPID_OnDataAdded, {}, DISP_E_BADPARAMCOUNT, {}},
        {"added, two arguments", DISPID_OnDataAdded, {seven, seven}, DISP_E_BADPARAMCOUNT, {}},
        {"added, not a number", DISPID_OnDataAdded, {word}, DISP_E_TYPEMISMATCH, {}},
        {"added, out of range", DISPID_OnDataAdded, {big}, DISP_E_TYPEMISMATCH, {}},
        {"settings with an argument", DISPID_OnSettingsChanged, {seven}, DISP_E_BADPARAMCOUNT, {}},
        {"unknown member", 4, {}, DISP_E_MEMBERNOTFOUND, {}},
        {"unknown member, one argument", 0, {seven}, DISP_E_MEMBERNOTFOUND, {}},
        {"unknown member, two arguments", 4, {seven, seven}, DISP_E_BADPARAMCOUNT, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<VARIANT> reversed(c.args.rbegin(), c.args.rend());
        DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                          static_cast<UINT>(reversed.size()), 0};
        EXPECT_EQ(events->Invoke(c.id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                                 nullptr, nullptr),
                  c.result);
        EXPECT_EQ(TakeLog(), c.log);
    }
    DISPID ids[1] = {};
    LPOLESTR names[1] = {const_cast<LPOLESTR>(u"onsettingschanged")};
    EXPECT_EQ(events->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, ids), S_OK);
    EXPECT_EQ(ids[0], DISPID_OnSettingsChanged);
}

TEST_F(CWYSCURLBaseTest, MovingTheHistoryFolderReplacesTheList)
{
    CreateBase();
    ASSERT_EQ(AddVisit(1, "http://a/", "a.htm"), S_OK);
    ASSERT_EQ(AddVisit(2, "http://b/", "b.htm"), S_OK);
    TakeLog();

    CComBSTR same(History());
    EXPECT_EQ(m_base->put_BaseDirectory(same), S_OK);
    EXPECT_EQ(TakeLog(), Log{});

    const std::string other = m_home.Path() + "/other";
    CUrlRecordList five;
    for (int i = 0; i < 5; ++i)
        five.Append(MakeRecord(100 + i, "http://o/" + std::to_string(i), "o.htm"));
    WriteIndex(other, five);
    CComBSTR otherBstr(other);
    EXPECT_EQ(m_base->put_BaseDirectory(otherBstr), S_OK);
    EXPECT_EQ(TakeLog(), (Log{"removing 0 http://a/", "removing 1 http://b/", "settings", "added 0",
                              "added 1", "added 2", "added 3", "added 4"}));
    EXPECT_EQ(Count(), 5u);
    EXPECT_EQ(ReadIndex(History()).Count(), 2u) << "the old folder got its index before the move";
    EXPECT_TRUE(fs::exists(History() + "/a.htm")) << "moving deletes no page";
    CComBSTR folder;
    EXPECT_EQ(m_base->get_BaseDirectory(&folder), S_OK);
    EXPECT_EQ(folder.ToUtf8(), other);

    const std::string fresh = m_home.Path() + "/deep/new/history";
    CComBSTR freshBstr(fresh);
    EXPECT_EQ(m_base->put_BaseDirectory(freshBstr), S_OK);
    EXPECT_TRUE(fs::is_directory(fresh)) << "the new folder and its parents are made";
    EXPECT_EQ(Count(), 0u);
    EXPECT_EQ(TakeLog().size(), 6u);  // five removals and the settings
}

TEST_F(CWYSCURLBaseTest, VisitsArrivingWhileTheListIsReplacedWaitAndAreKeptInOrder)
{
    CreateBase();
    ASSERT_EQ(AddVisit(1, "http://a/", "a.htm"), S_OK);
    const std::string other = m_home.Path() + "/other";
    CUrlRecordList one;
    one.Append(MakeRecord(100, "http://o/", "o.htm"));
    WriteIndex(other, one);
    auto add = [&](std::int64_t time, const char* url, const std::string& folder, const char* page) {
        wys::test::WriteFile(folder + "/" + page, "<html></html>");
        CComBSTR u(url);
        CComBSTR p(page);
        return m_base->AddData(_URL_DATE_{time, u, p, nullptr});
    };
    std::vector<HRESULT> answers;
    m_sink->m_hook = [&](DISPID id, ULONG) {
        if (id == DISPID_OnDataBeforeRemove) {
            // A capture that saved its page before the folder changed.
            answers.push_back(add(2, "http://late/", History(), "late.htm"));
            answers.push_back(add(2, "http://late/", History(), "late.htm"));
            CComBSTR u("http://nowhere/");
            CComBSTR p("nowhere.htm");
            answers.push_back(m_base->AddData(_URL_DATE_{3, u, p, nullptr}));
        } else if (id == DISPID_OnDataAdded && Count() == 1) {
            answers.push_back(add(4, "http://new/1", other, "n1.htm"));
            answers.push_back(add(5, "http://new/2", other, "n2.htm"));
        }
    };
    TakeLog();
    CComBSTR otherBstr(other);
    EXPECT_EQ(m_base->put_BaseDirectory(otherBstr), S_OK);
    EXPECT_EQ(answers, (std::vector<HRESULT>{S_OK, E_INVALIDARG, E_INVALIDARG, S_OK, S_OK}))
        << "checked as ever, and never refused for being busy";
    EXPECT_EQ(TakeLog(), (Log{"removing 0 http://a/", "settings", "added 0", "added 1", "added 2"}));
    EXPECT_EQ(Count(), 3u);
    EXPECT_EQ(Record(1), "4 'http://new/1' 'n1.htm' null");
    EXPECT_EQ(Record(2), "5 'http://new/2' 'n2.htm' null");
    EXPECT_EQ(wys::test::Describe(ReadIndex(History())),
              "1 'http://a/' 'a.htm' null; 2 'http://late/' 'late.htm' null; ")
        << "the visit whose page stayed in the old folder is kept in that folder's index";
}

TEST_F(CWYSCURLBaseTest, RelativeOrEmptyHistoryFolderIsRefused)
{
    CreateBase();
    ASSERT_EQ(AddVisit(1, "http://a/", "a.htm"), S_OK);
    TakeLog();
    for (const char* folder : {"", "relative/history", "./x"}) {
        SCOPED_TRACE(folder);
        CComBSTR value(folder);
        EXPECT_EQ(m_base->put_BaseDirectory(value), E_INVALIDARG);
        EXPECT_EQ(TakeLog(), Log{});
        EXPECT_EQ(Count(), 1u);
    }
    EXPECT_EQ(m_base->put_BaseDirectory(nullptr), E_INVALIDARG);
}

TEST_F(CWYSCURLBaseTest, DestructionSavesTheIndex)
{
    CreateBase();
    ASSERT_EQ(AddVisit(1, "http://a/", "a.htm", "A"), S_OK);
    EXPECT_FALSE(fs::exists(CIndexFile::PathIn(History())));
    m_sink = nullptr;
    m_base = nullptr;
    EXPECT_EQ(wys::test::Describe(ReadIndex(History())), "1 'http://a/' 'a.htm' 'A'; ");
    CreateBase();
    EXPECT_EQ(Count(), 1u) << "a new object loads what the last one saved";
}

// Runs `body` where a file's mode bits are obeyed: in this process unless it
// runs as root, else in a child that hands the temporary home over to the
// user nobody and becomes that user. Whether `body` returned true.
bool RunObeyingFileModes(const std::string& root, const std::function<bool()>& body)
{
    if (::geteuid() != 0)
        return body();
    pid_t child = ::fork();
    if (child == 0) {
        const uid_t nobody = 65534;
        bool handedOver = ::lchown(root.c_str(), nobody, nobody) == 0;
        for (const auto& entry : fs::recursive_directory_iterator(root))
            handedOver = handedOver && ::lchown(entry.path().c_str(), nobody, nobody) == 0;
        if (!handedOver || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
            ::_exit(2);
        ::_exit(body() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(CWYSCURLBaseTest, AnIndexItCannotReadIsKeptAsItWasBeforeTheFirstSave)
{
    CUrlRecordList earlier;
    earlier.Append(MakeRecord(1, "http://earlier/1", "e1.htm", "E1"));
    earlier.Append(MakeRecord(2, "http://earlier/2", "e2.htm", "E2"));
    WriteIndex(History(), earlier);
    const std::string index = CIndexFile::PathIn(History());
    const std::string original = ReadFile(index);
    // Twice: the second run finds its own index unreadable too, and keeps
    // it without touching the copy the first run kept.
    for (const char* url : {"http://now/1", "http://now/2"}) {
        ASSERT_EQ(::chmod(index.c_str(), 0), 0);
        bool ran = RunObeyingFileModes(m_home.Path(), [&] {
            CreateBase();
            if (!m_base || Count() != 0 || AddVisit(10, url, "now.htm") != S_OK)
                return false;
            m_sink = nullptr;
            m_base = nullptr;
            return true;
        });
        ASSERT_TRUE(ran) << url;
    }
    for (const char* kept : {".bad", ".bad.2"})
        ::chmod((index + kept).c_str(), 0600);
    ::chmod(index.c_str(), 0600);
    EXPECT_EQ(ReadFile(index + ".bad"), original) << "the first copy is never written over";
    EXPECT_EQ(wys::test::Describe(ReadIndex(History())), "10 'http://now/2' 'now.htm' null; ");
    CUrlRecordList second;
    EXPECT_EQ(CIndexFile::Read(index + ".bad.2", &second), CIndexFile::ReadResult::Read);
    EXPECT_EQ(wys::test::Describe(second), "10 'http://now/1' 'now.htm' null; ");
}

TEST_F(CWYSCURLBaseTest, AnIndexOfALaterVersionIsLeftAsItIsAndTheHistoryKeptBesideIt)
{
    const std::string index = CIndexFile::PathIn(History());
    for (std::uint32_t version : {3u, 0xFFFFFFFFu}) {
        fs::remove_all(History());
        const std::string later =
            std::string{static_cast<char>(version), static_cast<char>(version >> 8),
                        static_cast<char>(version >> 16), static_cast<char>(version >> 24)} +
            "\x01\0\0\0what a later version keeps"s;
        wys::test::WriteFile(index, later);
        for (int run = 1; run <= 2; ++run) {
            testing::internal::CaptureStderr();
            CreateBase();
            EXPECT_EQ(Count(), static_cast<ULONG>(run - 1))
                << version << ": what the last run kept beside it";
            EXPECT_EQ(AddVisit(run, "http://v/" + std::to_string(run), "v.htm"), S_OK);
            m_sink = nullptr;
            m_base = nullptr;
            std::string said = testing::internal::GetCapturedStderr();
            EXPECT_NE(said.find(index), std::string::npos) << said;
            EXPECT_NE(said.find(History() + "/index.v2.hif"), std::string::npos) << said;
            EXPECT_EQ(ReadFile(index), later) << version;
        }
        CUrlRecordList beside;
        CIndexFile::Read(History() + "/index.v2.hif", &beside);
        EXPECT_EQ(wys::test::Describe(beside), "1 'http://v/1' 'v.htm' null; 2 'http://v/2' 'v.htm' null; ")
            << version;
    }
}

TEST_F(CWYSCURLBaseTest, TemporaryIndexFilesOfWritersThatAreGoneGoWhenTheObjectStarts)
{
    // A process that has ended, as a server killed in the middle of a save.
    pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ASSERT_GT(gone, 0);
    ::waitpid(gone, nullptr, 0);
    const std::string index = CIndexFile::PathIn(History());
    const std::string beside = History() + "/index.v2.hif";
    const std::string alive = std::to_string(::getpid());
    const std::string dead = std::to_string(gone);
    const std::vector<std::string> stale = {index + ".tmp." + dead + ".0", index + ".tmp." + dead + ".17",
                                            beside + ".tmp." + dead + ".3"};
    const std::vector<std::string> kept = {
        index + ".tmp." + alive + ".0",  // its writer may be saving right now
        // Names the writer never gives, and folders it never writes to.
        index + ".tmp." + dead,
        index + ".tmp." + dead + ".0.x",
        History() + "/notes.tmp." + dead + ".0",
        History() + "/2003/index.hif.tmp." + dead + ".0",
    };
    for (const auto& path : stale)
        wys::test::WriteFile(path, std::string(4096, 'x'));
    for (const auto& path : kept)
        wys::test::WriteFile(path, "x");
    CreateBase();
    for (const auto& path : stale)
        EXPECT_FALSE(fs::exists(path)) << path;
    for (const auto& path : kept)
        EXPECT_TRUE(fs::exists(path)) << path;
}

TEST_F(CWYSCURLBaseTest, SinksMayReadAndAddButNotRemoveDuringAChange)
{
    CreateBase();
    ASSERT_EQ(AddVisit(1, "http://a/", "a.htm"), S_OK);
    ASSERT_EQ(AddVisit(2, "http://b/", "b.htm"), S_OK);
    MakePage("c.htm");
    std::vector<HRESULT> nested;
    m_sink->m_hook = [&](DISPID id, ULONG index) {
        CComBSTR url("http://c/");
        CComBSTR path("c.htm");
        if (id == DISPID_OnDataBeforeRemove) {
            nested.push_back(m_base->RemoveData(index));
            // Another window's capture finishing now must not lose its visit.
            nested.push_back(m_base->AddData(_URL_DATE_{3, url, path, nullptr}));
            nested.push_back(m_base->RemoveRange(0, 100, nullptr));
            nested.push_back(m_base->put_HistoricalRange(1));
        }
        ULONG count = 0;
        nested.push_back(m_base->get_DataCount(&count));
    };
    TakeLog();
    EXPECT_EQ(m_base->RemoveData(0), S_OK);
    EXPECT_EQ(TakeLog(), (Log{"removing 0 http://a/", "added 2"}));
    EXPECT_EQ(nested, (std::vector<HRESULT>{WYSC_E_CHANGE_IN_PROGRESS, S_OK, S_OK, WYSC_E_CHANGE_IN_PROGRESS,
                                            WYSC_E_CHANGE_IN_PROGRESS, S_OK}));
    EXPECT_EQ(Count(), 2u);
    EXPECT_EQ(Record(0), "2 'http://b/' 'b.htm' null");
    EXPECT_EQ(Record(1), "3 'http://c/' 'c.htm' null");
    LONGLONG range = 0;
    EXPECT_EQ(m_base->get_HistoricalRange(&range), S_OK);
    EXPECT_EQ(range, CWYSCURLBase::kDefaultHistoryRange);
    // Once the change is over, changes are served again.
    m_sink->m_hook = nullptr;
    EXPECT_EQ(m_base->RemoveData(0), S_OK);
}

TEST_F(CWYSCURLBaseTest, TwoClientsShareOneList)
{
    CreateBase();
    ComPtr<IWYSCURLBase> secondClient;
    ASSERT_EQ(m_base->QueryInterface(IID_IWYSCURLBase, secondClient.PutVoid()), S_OK);
    Log log;
    ComPtr<wys::test::CRecordingSink> sink(
        new wys::test::CRecordingSink(secondClient.Get(), &log, "client2"));
    Advise(sink->GetUnknown());
    ASSERT_EQ(AddVisit(1, "http://a/", "a.htm"), S_OK);
    EXPECT_EQ(TakeLog(), Log{"added 0"});
    EXPECT_EQ(log, Log{"client2: added 0"});
    ULONG count = 0;
    EXPECT_EQ(secondClient->get_DataCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
}

}  // namespace
