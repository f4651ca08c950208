#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/registry/HiveText.h"
#include "platform/registry/Registry.h"

using namespace wys::registry;
using namespace std::string_literals;

TEST(RegistryHiveText, WritesReadableFormsOnlyWhenTheyKeepTheExactBytes)
{
    struct Case {
        DWORD type;
        std::string data;
        std::string text;
    } cases[] = {
        {REG_SZ, "/home/u/Documents/Collected IE History\0"s,
         R"(sz:"/home/u/Documents/Collected IE History")"},
        {REG_SZ, "\0"s, R"(sz:"")"},
        {REG_SZ, "q\"b\\s\t\x7f\xC3\xA9\0"s, "sz:\"q\\\"b\\\\s\\x09\\x7f\xC3\xA9\""},
        {REG_EXPAND_SZ, "%HOME%\0"s, R"(expand_sz:"%HOME%")"},
        {REG_SZ, "abc"s, "hex(1):61,62,63"},                // no terminating NUL
        {REG_SZ, "a\0b\0"s, "hex(1):61,00,62,00"},          // embedded NUL
        {REG_SZ, "\xFF\0"s, "hex(1):ff,00"},                // not UTF-8
        {REG_SZ, "\xED\xA0\x80\0"s, "hex(1):ed,a0,80,00"},  // an encoded surrogate
        {REG_SZ, ""s, "hex(1):"},
        {REG_MULTI_SZ, "one\0two\0\0"s, R"(multi_sz:"one","two")"},
        {REG_MULTI_SZ, "\0"s, "multi_sz:"},
        {REG_MULTI_SZ, "\0\0"s, "hex(7):00,00"},         // an empty string inside
        {REG_MULTI_SZ, "one\0"s, "hex(7):6f,6e,65,00"},  // final NUL missing
        {REG_DWORD, "\x2a\0\0\0"s, "dword:0000002a"},
        {REG_DWORD, "\x01\x02\x03"s, "hex(4):01,02,03"},
        {REG_QWORD, "\x00\x2f\x0d\0\0\0\0\0"s, "qword:00000000000d2f00"},
        {REG_QWORD, "\xff\xff\xff\xff"s, "hex(b):ff,ff,ff,ff"},
        {REG_BINARY, "\x01"s, "binary:01"},
        {REG_BINARY, ""s, "binary:"},
        {REG_BINARY, "\0\xff\x10"s, "binary:00,ff,10"},
        {REG_NONE, "\x05"s, "hex(0):05"},
        {0x12345678, "z"s, "hex(12345678):7a"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatValueData(c.type, c.data), c.text) << c.type << " " << testing::PrintToString(c.data);
}

TEST(RegistryHiveText, RoundTripsNamesAndKeysExactly)
{
    const std::string kNames[] = {
        "",         "Plain",       "with \"quotes\" and \\", "tab\there", "\xFF\xFE raw", "=", "@", "[x]",
        " spaced ", "\xE2\x82\xAC"};
    CHiveKey root;
    root.SetValue("AtRoot", REG_DWORD, "\x01\0\0\0"s);
    root.AddSubkey("Empty");
    CHiveKey& key = root.AddSubkey("Software").AddSubkey("Odd ] [ names ").AddSubkey("\xC3\xA9t\xC3\xA9");
    for (std::size_t i = 0; i < std::size(kNames); ++i)
        key.SetValue(kNames[i], i % 2 ? REG_SZ : REG_NONE, kNames[i] + '\0');

    std::string text = FormatHiveText(root, "HKEY_CURRENT_USER");
    ParsedHive parsed = ParseHiveText(text);
    EXPECT_EQ(parsed.unsoundLines, 0u) << text;
    EXPECT_TRUE(parsed.root == root) << text;
}

// Each line is read between sound ones; a line that does not read is
// skipped and counted, and nothing else is lost.
TEST(RegistryHiveText, ReadsHandEditedLinesAndSkipsUnsoundOnes)
{
    struct Case {
        std::string lines;
        DWORD type;  // of value "A" in key "K"; 0 when the lines must be skipped
        std::string data;
    } cases[] = {
        {R"("A" = DWORD:2A)", REG_DWORD, "\x2a\0\0\0"s},
        {"\t\"A\"=binary: 01, 02 ,03  \r", REG_BINARY, "\x01\x02\x03"s},
        {R"("A"=sz:"tab\there\r\nul\x00")", REG_SZ, "tab\there\r\nul\0\0"s},
        {R"("A"=multi_sz: "x" , "y")", REG_MULTI_SZ, "x\0y\0\0"s},
        {R"("A"=hex(0B):01,02)", REG_QWORD, "\x01\x02"s},
        {"; comment\n# another\n\n  \n\"A\"=qword:1", REG_QWORD, "\x01\0\0\0\0\0\0\0"s},
        {R"("A"=binary:010203)", 0, ""},
        {R"("A"=dword:123456789)", 0, ""},
        {R"("A"=sz:"unterminated)", 0, ""},
        {R"("A"=sz:"bad escape \q")", 0, ""},
        {R"("A"=sz:"x" trailing)", 0, ""},
        {R"("A"=binary:01,)", 0, ""},
        {R"("A"=hex(zz):01)", 0, ""},
        {R"("A"=multi_sz:"x","")", 0, ""},
        {R"("A"=word:01)", 0, ""},
        {R"(A=sz:"unquoted name")", 0, ""},
        {std::string("\0\xFF\xFE", 3), 0, ""},
        {"[Bad\\\\Path]\n\"A\"=sz:\"x\"", 0, ""},  // its values must not join another key
        {"[Unclosed\n\"A\"=sz:\"x\"", 0, ""},
        {"[Ctrl\x01]\n\"A\"=sz:\"x\"", 0, ""},
        {"[" + std::string(256, 'k') + "]\n\"A\"=sz:\"x\"", 0, ""},
    };
    for (const Case& c : cases) {
        ParsedHive parsed =
            ParseHiveText("[Keep]\n\"Good\"=sz:\"yes\"\n[K]\n" + c.lines + "\n[After]\n@=binary:07\n");
        std::string what = testing::PrintToString(c.lines);
        const HiveValue* value = parsed.root.Find({"K"})->FindValue("A");
        auto lines = static_cast<std::size_t>(std::count(c.lines.begin(), c.lines.end(), '\n') + 1);
        EXPECT_EQ(parsed.unsoundLines, c.type ? 0u : lines) << what;
        EXPECT_EQ(value ? value->type : 0, c.type) << what;
        EXPECT_EQ(value ? value->data : "", c.data) << what;
        EXPECT_EQ(parsed.root.Find({"Keep"})->Values().size(), 1u) << what;
        EXPECT_EQ(parsed.root.Find({"After"})->FindValue("")->data, "\x07") << what;
    }
    // A value before any key belongs nowhere; a value set twice keeps the later line.
    ParsedHive parsed = ParseHiveText("\"A\"=binary:01\n[K]\n\"A\"=binary:02\n\"a\"=binary:03\n");
    EXPECT_EQ(parsed.unsoundLines, 2u);
    EXPECT_TRUE(parsed.root.Values().empty());
    EXPECT_EQ(parsed.root.Find({"K"})->Values(), (std::vector<HiveValue>{{"A", REG_BINARY, "\x03"}}));
}

// Whatever byte a file is cut at, every line that ended before the cut reads
// exactly, and a cut inside a line is reported.
TEST(RegistryHiveText, TruncatedFilesKeepEveryCompleteLine)
{
    CHiveKey root;
    CHiveKey& key = root.AddSubkey("Software").AddSubkey("Quillonix").AddSubkey("WYSCUrlBase");
    key.SetValue("BasePath", REG_SZ, "/home/u/Documents/Collected IE History\0"s);
    key.SetValue("CollectHistory", REG_BINARY, "\x01"s);
    key.SetValue("HistoryRange", REG_BINARY, "\x00\xc6\x13\0\0\0\0\0"s);
    key.SetValue("N", REG_DWORD, "\x2a\0\0\0"s);
    key.SetValue("Q", REG_QWORD, "\x11\x22\x33\x44\x55\x66\x77\x08"s);
    root.AddSubkey("Second").SetValue("", REG_SZ, "default\0"s);
    const std::string text = FormatHiveText(root, "HKEY_CURRENT_USER");

    const std::vector<std::string> path = {"Software", "Quillonix", "WYSCUrlBase"};
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        std::string_view kept(text.data(), cut);
        std::size_t lineStart = kept.rfind('\n') + 1;  // 0 when there is none
        ParsedHive parsed = ParseHiveText(kept);
        EXPECT_EQ(parsed.unsoundLines, lineStart < cut && text[lineStart] != ';' ? 1u : 0u)
            << "cut at " << cut;
        ParsedHive completeLines = ParseHiveText(kept.substr(0, lineStart));
        const CHiveKey* complete = completeLines.root.Find(path);
        const CHiveKey* got = parsed.root.Find(path);
        for (const HiveValue& value : complete ? complete->Values() : std::vector<HiveValue>()) {
            const HiveValue* read = got ? got->FindValue(value.name) : nullptr;
            EXPECT_EQ(read ? read->data : "<missing>", key.FindValue(value.name)->data) << "cut at " << cut;
        }
    }
}
