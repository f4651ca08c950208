// The four settings: defaults, reading values of any type, and writing all
// four on every change.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/WYSCHelper/UrlBaseTesting.h"

namespace {

namespace fs = std::filesystem;
using wys::test::GetSettingsValue;
using wys::test::SetSettingsValue;
using wys::test::UrlBaseTest;
using Log = std::vector<std::string>;

std::string Bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values)
        out += static_cast<char>(v);
    return out;
}

std::string Sz(const std::string& text)
{
    return text + std::string(1, '\0');
}

struct Settings {
    std::string folder;
    VARIANT_BOOL collect;
    VARIANT_BOOL titled;
    LONGLONG range;
};

class UrlBaseSettingsTest : public UrlBaseTest {
protected:
    Settings Read()
    {
        Settings s{};
        CComBSTR folder;
        EXPECT_EQ(m_base->get_BaseDirectory(&folder), S_OK);
        s.folder = folder.ToUtf8();
        EXPECT_EQ(m_base->get_CollectHistory(&s.collect), S_OK);
        EXPECT_EQ(m_base->get_TitledFileNames(&s.titled), S_OK);
        EXPECT_EQ(m_base->get_HistoricalRange(&s.range), S_OK);
        return s;
    }
    std::string DefaultFolder() const { return m_home.Home() + "/Documents/Collected IE History"; }
};

TEST_F(UrlBaseSettingsTest, WithoutAKeyTheDefaultsHold)
{
    CreateBase(false);
    Settings s = Read();
    EXPECT_EQ(s.folder, DefaultFolder());
    EXPECT_EQ(CWYSCURLBase::DefaultBaseDirectory(), DefaultFolder());
    EXPECT_EQ(s.collect, VARIANT_TRUE);
    EXPECT_EQ(s.titled, VARIANT_TRUE);
    EXPECT_EQ(s.range, 1296000);
    EXPECT_TRUE(fs::is_directory(m_home.Home() + "/Documents"))
        << "the documents folder is made when missing";
    EXPECT_FALSE(fs::exists(DefaultFolder())) << "the history folder itself is not";
    EXPECT_FALSE(GetSettingsValue("BasePath")) << "creation writes nothing";
    EXPECT_EQ(TakeLog(), Log{});
}

TEST_F(UrlBaseSettingsTest, ValuesOfWrongTypesOrSizesFallBack)
{
    const std::string eight60 = Bytes({60, 0, 0, 0, 0, 0, 0, 0});
    const std::string minusOne = Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    struct Case {
        const char* name;
        const char* value;
        DWORD type;
        std::string bytes;
        Settings expected;  // folder "" stands for the default folder
    };
    const Case cases[] = {
        {"flag 0", "CollectHistory", REG_BINARY, Bytes({0}), {"", 0, -1, 1296000}},
        {"flag 1", "CollectHistory", REG_BINARY, Bytes({1}), {"", -1, -1, 1296000}},
        {"flag 7", "TitledFileNames", REG_BINARY, Bytes({7}), {"", -1, -1, 1296000}},
        {"flag 0 as DWORD", "CollectHistory", REG_DWORD, Bytes({0, 0, 0, 0}), {"", -1, -1, 1296000}},
        {"flag 0 in two bytes", "TitledFileNames", REG_BINARY, Bytes({0, 0}), {"", -1, -1, 1296000}},
        {"flag without bytes", "TitledFileNames", REG_BINARY, "", {"", -1, -1, 1296000}},
        {"flag 0 as string", "CollectHistory", REG_SZ, Sz("0"), {"", -1, -1, 1296000}},
        {"range 60", "HistoryRange", REG_BINARY, eight60, {"", -1, -1, 60}},
        {"range -1", "HistoryRange", REG_BINARY, minusOne, {"", -1, -1, -1}},
        {"range as QWORD", "HistoryRange", REG_QWORD, eight60, {"", -1, -1, 1296000}},
        {"range in four bytes", "HistoryRange", REG_BINARY, Bytes({60, 0, 0, 0}), {"", -1, -1, 1296000}},
        {"range in nine bytes", "HistoryRange", REG_BINARY, eight60 + Bytes({0}), {"", -1, -1, 1296000}},
        {"folder", "BasePath", REG_SZ, Sz("/data/history"), {"/data/history", -1, -1, 1296000}},
        {"folder, expandable",
         "BasePath",
         REG_EXPAND_SZ,
         Sz("/srv/$USER/h"),
         {"/srv/$USER/h", -1, -1, 1296000}},
        {"folder without terminator", "BasePath", REG_SZ, "/data/history", {"", -1, -1, 1296000}},
        {"folder as binary", "BasePath", REG_BINARY, Sz("/data/history"), {"", -1, -1, 1296000}},
        {"folder of 259 bytes",
         "BasePath",
         REG_SZ,
         Sz("/" + std::string(258, 'x')),
         {"/" + std::string(258, 'x'), -1, -1, 1296000}},
        {"folder of 260 bytes", "BasePath", REG_SZ, Sz("/" + std::string(259, 'x')), {"", -1, -1, 1296000}},
        {"relative folder", "BasePath", REG_SZ, Sz("history"), {"", -1, -1, 1296000}},
        {"empty folder", "BasePath", REG_SZ, Sz(""), {"", -1, -1, 1296000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* name : {"BasePath", "CollectHistory", "TitledFileNames", "HistoryRange"})
            SetSettingsValue(name, REG_NONE, "");
        SetSettingsValue(c.value, c.type, c.bytes);
        CreateBase(false);
        Settings s = Read();
        EXPECT_EQ(s.folder, c.expected.folder.empty() ? DefaultFolder() : c.expected.folder);
        EXPECT_EQ(s.collect, c.expected.collect);
        EXPECT_EQ(s.titled, c.expected.titled);
        EXPECT_EQ(s.range, c.expected.range);
        EXPECT_EQ(GetSettingsValue(c.value)->second, c.bytes) << "reading writes nothing back";
        m_base = nullptr;
    }
}

TEST_F(UrlBaseSettingsTest, EveryChangeWritesAllFourValuesThenTellsClients)
{
    CreateBase();
    EXPECT_EQ(m_base->put_TitledFileNames(VARIANT_FALSE), S_OK);
    EXPECT_EQ(TakeLog(), Log{"settings"});
    using Value = std::pair<DWORD, std::string>;
    EXPECT_EQ(GetSettingsValue("BasePath"), Value(REG_SZ, Sz(History())));
    EXPECT_EQ(GetSettingsValue("CollectHistory"), Value(REG_BINARY, Bytes({1})));
    EXPECT_EQ(GetSettingsValue("TitledFileNames"), Value(REG_BINARY, Bytes({0})));
    EXPECT_EQ(GetSettingsValue("HistoryRange"), Value(REG_BINARY, Bytes({0x80, 0xC6, 0x13, 0, 0, 0, 0, 0})));

    struct Case {
        const char* name;
        std::function<HRESULT(IWYSCURLBase*)> put;
        Log log;
        const char* value;
        std::string bytes;
    };
    const Case cases[] = {
        {"titled false again",
         [](IWYSCURLBase* b) { return b->put_TitledFileNames(VARIANT_FALSE); },
         {},
         "TitledFileNames",
         Bytes({0})},
        {"titled 1 means false",
         [](IWYSCURLBase* b) { return b->put_TitledFileNames(1); },
         {},
         "TitledFileNames",
         Bytes({0})},
        {"collect 1 means false",
         [](IWYSCURLBase* b) { return b->put_CollectHistory(1); },
         {"settings"},
         "CollectHistory",
         Bytes({0})},
        {"collect true",
         [](IWYSCURLBase* b) { return b->put_CollectHistory(VARIANT_TRUE); },
         {"settings"},
         "CollectHistory",
         Bytes({1})},
        {"range 0",
         [](IWYSCURLBase* b) { return b->put_HistoricalRange(0); },
         {"settings"},
         "HistoryRange",
         Bytes({0, 0, 0, 0, 0, 0, 0, 0})},
        {"range 0 again",
         [](IWYSCURLBase* b) { return b->put_HistoricalRange(0); },
         {},
         "HistoryRange",
         Bytes({0, 0, 0, 0, 0, 0, 0, 0})},
        {"range -2",
         [](IWYSCURLBase* b) { return b->put_HistoricalRange(-2); },
         {"settings"},
         "HistoryRange",
         Bytes({0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetSettingsValue("BasePath", REG_NONE, "");
        EXPECT_EQ(c.put(m_base.Get()), S_OK);
        EXPECT_EQ(TakeLog(), c.log);
        EXPECT_EQ(GetSettingsValue(c.value)->second, c.bytes);
        // A change writes every value again, so the deleted one is back.
        EXPECT_EQ(GetSettingsValue("BasePath").has_value(), !c.log.empty());
    }
    VARIANT_BOOL flag = 0;
    EXPECT_EQ(m_base->get_CollectHistory(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_TRUE);
    EXPECT_EQ(m_base->get_TitledFileNames(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_FALSE);
}

TEST_F(UrlBaseSettingsTest, SettingsSurviveANewObject)
{
    CreateBase();
    EXPECT_EQ(m_base->put_CollectHistory(VARIANT_FALSE), S_OK);
    EXPECT_EQ(m_base->put_HistoricalRange(3600), S_OK);
    m_base = nullptr;
    CreateBase(false);
    Settings s = Read();
    EXPECT_EQ(s.folder, History());
    EXPECT_EQ(s.collect, VARIANT_FALSE);
    EXPECT_EQ(s.titled, VARIANT_TRUE);
    EXPECT_EQ(s.range, 3600);
}

}  // namespace
