#include <gtest/gtest.h>

#include <string>

#include "platform/registry/HiveText.h"
#include "platform/registry/Registry.h"

using namespace wys::registry;
using namespace std::string_literals;

namespace {

struct TypedBytes {
    DWORD type;
    std::string data;
};

std::string Describe(DWORD type, const std::string& data)
{
    return "type " + std::to_string(type) + " bytes " + testing::PrintToString(data);
}

}  // namespace

TEST(RegistryHiveText, WritesReadableFormsOnlyWhenTheyKeepTheExactBytes)
{
    struct Case {
        DWORD type;
        std::string data;
        std::string text;
    } cases[] = {
        {REG_SZ, "/home/u/Documents/Collected IE History\0"s, R"(sz:"/home/u/Documents/Collected IE History")"},
        {REG_SZ, "\0"s, R"(sz:"")"},
        {REG_SZ, "q\"b\\s\t\x7f\xC3\xA9\0"s, "sz:\"q\\\"b\\\\s\\x09\\x7f\xC3\xA9\""},
        {REG_EXPAND_SZ, "%HOME%\0"s, R"(expand_sz:"%HOME%")"},
        {REG_SZ, "abc"s, "hex(1):61,62,63"},              // no terminating NUL
        {REG_SZ, "a\0b\0"s, "hex(1):61,00,62,00"},        // embedded NUL
        {REG_SZ, "\xFF\0"s, "hex(1):ff,00"},              // not UTF-8
        {REG_SZ, "\xED\xA0\x80\0"s, "hex(1):ed,a0,80,00"},  // an encoded surrogate
        {REG_SZ, ""s, "hex(1):"},
        {REG_MULTI_SZ, "one\0two\0\0"s, R"(multi_sz:"one","two")"},
        {REG_MULTI_SZ, "\0"s, "multi_sz:"},
        {REG_MULTI_SZ, "\0\0"s, "hex(7):00,00"},          // an empty string inside
        {REG_MULTI_SZ, "one\0"s, "hex(7):6f,6e,65,00"},   // final NUL missing
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
        EXPECT_EQ(FormatValueData(c.type, c.data), c.text) << Describe(c.type, c.data);
}

TEST(RegistryHiveText, RoundTripsValuesNamesAndKeysExactly)
{
    const TypedBytes kValues[] = {
        {REG_SZ, "plain\0"s},          {REG_SZ, "a\0b"s},
        {REG_SZ, "\xC3\x28\0"s},       {REG_EXPAND_SZ, "x\0"s},
        {REG_MULTI_SZ, "a\0\xE2\x82\xAC\0\0"s},
        {REG_DWORD, "\xff\xfe\xfd\xfc"s}, {REG_DWORD, "\x01"s},
        {REG_QWORD, "12345678"s},       {REG_BINARY, std::string(300, '\xAB')},
        {REG_NONE, ""s},                {0xFFFFFFFF, "\n\r\0"s},
    };
    const std::string kNames[] = {"", "Plain", "with \"quotes\" and \\", "tab\there", "\xFF\xFE raw",
                                  "=", "@", "[x]", " spaced ", "\xE2\x82\xAC"};
    CHiveKey root;
    root.SetValue("RootValue", REG_DWORD, "\x01\x00\x00\x00"s);
    CHiveKey& key = root.AddSubkey("Software").AddSubkey("Odd ] [ names ").AddSubkey("\xC3\xA9t\xC3\xA9");
    root.AddSubkey("Empty");
    for (std::size_t i = 0; i < std::size(kNames); ++i)
        key.SetValue(kNames[i], kValues[i % std::size(kValues)].type, kValues[i % std::size(kValues)].data);
    for (std::size_t i = 0; i < std::size(kValues); ++i)
        key.SetValue("v" + std::to_string(i), kValues[i].type, kValues[i].data);

    std::string text = FormatHiveText(root, "HKEY_CURRENT_USER");
    ParsedHive parsed = ParseHiveText(text);
    EXPECT_EQ(parsed.unsoundLines, 0u) << text;
    EXPECT_TRUE(parsed.root == root) << text;
    EXPECT_EQ(FormatHiveText(parsed.root, "HKEY_CURRENT_USER"), text);
}

TEST(RegistryHiveText, ReadsHandEditedLines)
{
    struct Case {
        std::string line;
        DWORD type;
        std::string data;
    } cases[] = {
        {R"("A" = dword:2a)", REG_DWORD, "\x2a\0\0\0"s},
        {R"("A"=DWORD:0000002A)", REG_DWORD, "\x2a\0\0\0"s},
        {"\t\"A\"=binary: 01, 02 ,03  \r", REG_BINARY, "\x01\x02\x03"s},
        {R"("A"=binary:010203)", 0, ""},  // pairs need commas between them
        {R"("A"=sz:"tab\there\nnew\r")", REG_SZ, "tab\there\nnew\r\0"s},
        {R"("A"=sz:"nul\x00inside")", REG_SZ, "nul\0inside\0"s},
        {R"("A"=multi_sz: "x" , "y")", REG_MULTI_SZ, "x\0y\0\0"s},
        {R"("A"=qword:1)", REG_QWORD, "\x01\0\0\0\0\0\0\0"s},
        {R"("A"=hex(0B):01,02)", REG_QWORD, "\x01\x02"s},
        {R"("A"=dword:123456789)", 0, ""},  // more than 8 digits
        {R"("A"=qword:)", 0, ""},
        {R"("A"=sz:"unterminated)", 0, ""},
        {R"("A"=sz:"bad escape \q")", 0, ""},
        {R"("A"=sz:"short \x4")", 0, ""},
        {R"("A"=sz:"x" trailing)", 0, ""},
        {R"("A"=binary:01,)", 0, ""},
        {R"("A"=binary:0)", 0, ""},
        {R"("A"=hex(zz):01)", 0, ""},
        {R"("A"=multi_sz:"x","")", 0, ""},
        {R"("A"=word:01)", 0, ""},
        {R"("A"sz:"x")", 0, ""},
        {R"(""=sz:"empty name")", 0, ""},
        {R"(A=sz:"unquoted name")", 0, ""},
    };
    for (const Case& c : cases) {
        ParsedHive parsed = ParseHiveText("[K]\n" + c.line + "\n");
        const CHiveKey* key = parsed.root.FindSubkey("K");
        ASSERT_NE(key, nullptr) << c.line;
        const HiveValue* value = key->FindValue("A");
        if (c.type == 0) {
            EXPECT_EQ(value, nullptr) << c.line;
            EXPECT_EQ(parsed.unsoundLines, 1u) << c.line;
            continue;
        }
        ASSERT_NE(value, nullptr) << c.line;
        EXPECT_EQ(parsed.unsoundLines, 0u) << c.line;
        EXPECT_EQ(value->type, c.type) << c.line;
        EXPECT_EQ(value->data, c.data) << c.line;
    }
}

TEST(RegistryHiveText, SkipsUnsoundLinesAndKeepsTheRest)
{
    struct Case {
        std::string text;
        std::size_t unsound;
    } cases[] = {
        {"garbage\n", 1},
        {"[Bad\\\\Path]\n\"Lost\"=sz:\"x\"\n", 2},     // the value must not join another key
        {"[Unclosed\n\"Lost\"=sz:\"x\"\n", 2},
        {"[Trailing\\]\n\"Lost\"=sz:\"x\"\n", 2},
        {"[Ctrl\x01Char]\n", 1},
        {"[" + std::string(256, 'k') + "]\n", 1},
        {std::string("\0\0\xFF\xFE\n", 5), 1},
        {"; a comment\n# another\n\n   \n", 0},
        {"[Keep]\n\"Good\"=sz:\"again\"\n", 1},         // overrides the earlier line
    };
    const std::string kBefore = "; header\n[Keep]\n\"Good\"=sz:\"yes\"\n";
    const std::string kAfter = "[After]\n@=dword:00000007\n";
    for (const Case& c : cases) {
        ParsedHive parsed = ParseHiveText(kBefore + c.text + kAfter);
        EXPECT_EQ(parsed.unsoundLines, c.unsound) << testing::PrintToString(c.text);
        const CHiveKey* keep = parsed.root.FindSubkey("Keep");
        const CHiveKey* after = parsed.root.FindSubkey("After");
        ASSERT_TRUE(keep && keep->FindValue("Good")) << testing::PrintToString(c.text);
        ASSERT_TRUE(after && after->FindValue("")) << testing::PrintToString(c.text);
        EXPECT_EQ(after->FindValue("")->data, "\x07\0\0\0"s);
        EXPECT_EQ(keep->Values().size(), 1u) << testing::PrintToString(c.text);
        EXPECT_EQ(after->Values().size(), 1u) << testing::PrintToString(c.text);
        EXPECT_EQ(parsed.root.Values().size(), 0u) << testing::PrintToString(c.text);
    }

    // A value before any key line belongs nowhere, not to the root.
    ParsedHive orphan = ParseHiveText("\"Orphan\"=sz:\"x\"\n[K]\n");
    EXPECT_EQ(orphan.unsoundLines, 1u);
    EXPECT_TRUE(orphan.root.Values().empty());
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

    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        std::string_view kept(text.data(), cut);
        ParsedHive parsed = ParseHiveText(kept);
        bool midLine = cut > 0 && text[cut - 1] != '\n';
        std::size_t lineStart = kept.rfind('\n') == std::string_view::npos ? 0 : kept.rfind('\n') + 1;
        bool partialIsComment = midLine && text[lineStart] == ';';
        EXPECT_EQ(parsed.unsoundLines, midLine && !partialIsComment ? 1u : 0u) << "cut at " << cut;
        // Every complete line must come back: formatting what was read
        // reproduces the complete lines (the header included).
        ParsedHive whole = ParseHiveText(kept.substr(0, lineStart));
        const CHiveKey* expected = whole.root.Find({"Software", "Quillonix", "WYSCUrlBase"});
        const CHiveKey* got = parsed.root.Find({"Software", "Quillonix", "WYSCUrlBase"});
        if (!expected)
            continue;
        ASSERT_NE(got, nullptr) << "cut at " << cut;
        for (const HiveValue& value : expected->Values()) {
            const HiveValue* read = got->FindValue(value.name);
            ASSERT_NE(read, nullptr) << "cut at " << cut << " value " << value.name;
            EXPECT_EQ(read->data, key.FindValue(value.name)->data) << "cut at " << cut;
        }
    }
}
