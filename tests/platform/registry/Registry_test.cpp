#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/registry/Registry.h"
#include "tests/platform/registry/RegistryTestSupport.h"

using namespace wys::test;
using namespace std::string_literals;

namespace {

constexpr const char* kWysc = "Software\\Quillonix\\WYSC";

class Registry : public TempHomeTest {
protected:
    // Opens or creates `path` below `parent`.
    static LONG Create(CScopedKey& key, const char* path = kWysc, REGSAM rights = KEY_ALL_ACCESS,
                       HKEY parent = HKEY_CURRENT_USER, DWORD* disposition = nullptr)
    {
        return RegCreateKeyEx(parent, path, 0, nullptr, 0, rights, nullptr, key.Out(), disposition);
    }

    static std::vector<std::string> SubkeyNames(HKEY key)
    {
        std::vector<std::string> names;
        char name[256];
        DWORD size = sizeof name;
        for (DWORD i = 0; RegEnumKeyEx(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) == 0; ++i) {
            names.emplace_back(name, size);
            size = sizeof name;
        }
        return names;
    }
};

}  // namespace

TEST_F(Registry, RoundTripsEveryTypeWithItsExactBytes)
{
    const std::pair<DWORD, std::string> cases[] = {
        {REG_SZ, "/home/u/Documents/Collected IE History\0"s},
        {REG_SZ, "no terminator"s},
        {REG_SZ, "embedded\0nul\0"s},
        {REG_SZ, "\xFF\xFE not UTF-8\0"s},
        {REG_EXPAND_SZ, "%HOME%/x\0"s},
        {REG_MULTI_SZ, "a\0bc\0\0"s},
        {REG_MULTI_SZ, "unfinished\0"s},
        {REG_BINARY, "\x01"s},
        {REG_BINARY, ""s},
        {REG_BINARY, std::string(70001, '\x5A')},
        {REG_DWORD, "\x2a\0\0\0"s},
        {REG_DWORD, "\x2a\0"s},
        {REG_QWORD, "\x00\x2f\x0d\0\0\0\0\0"s},
        {REG_QWORD, "\x01\x02\x03\x04\x05"s},
        {REG_NONE, "\0\x01"s},
        {0xDEADBEEF, "odd type"s},
    };
    CScopedKey key;
    ASSERT_EQ(Create(key), ERROR_SUCCESS);
    for (std::size_t i = 0; i < std::size(cases); ++i)
        ASSERT_EQ(SetBytes(key, ("V" + std::to_string(i)).c_str(), cases[i].first, cases[i].second), 0) << i;
    // A new handle reads the bytes back from the file.
    CScopedKey again;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kWysc, 0, KEY_READ, again.Out()), ERROR_SUCCESS);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        DWORD type = 0;
        EXPECT_EQ(ValueOf(again, ("V" + std::to_string(i)).c_str(), &type), cases[i].second) << i;
        EXPECT_EQ(type, cases[i].first) << i;
    }
}

TEST_F(Registry, QueryReportsSizesAndShortBuffers)
{
    CScopedKey key;
    ASSERT_EQ(Create(key), ERROR_SUCCESS);
    const std::string text = "/home/u/Documents/Collected IE History\0"s;
    ASSERT_EQ(SetBytes(key, "BasePath", REG_SZ, text), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key, nullptr, REG_SZ, "default\0"s), ERROR_SUCCESS);

    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueEx(key, "BasePath", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, text.size());
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    type = 0;
    size = 10;
    auto* bytes = reinterpret_cast<BYTE*>(buffer);
    EXPECT_EQ(RegQueryValueEx(key, "BasePath", nullptr, &type, bytes, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, text.size());
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(std::string(buffer, 10), std::string(10, '#')) << "a short buffer is left alone";
    EXPECT_EQ(RegQueryValueEx(key, "BasePath", nullptr, nullptr, bytes, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(buffer, size + 1), text + '#') << "nothing is written past the value";

    EXPECT_EQ(ValueOf(key, nullptr), "default\0"s);
    EXPECT_EQ(ValueOf(key, ""), "default\0"s);
    EXPECT_EQ(ValueOf(key, "Missing"), ErrorText(ERROR_FILE_NOT_FOUND));
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueEx(key, "BasePath", nullptr, &type, bytes, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueEx(key, "BasePath", &reserved, &type, nullptr, &size), ERROR_INVALID_PARAMETER);
}

TEST_F(Registry, NamesIgnoreAsciiCaseAndKeepTheirFirstSpelling)
{
    CScopedKey key, other;
    ASSERT_EQ(Create(key, "Software\\Quillonix\\WYSCUrlBase"), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key, "CollectHistory", REG_BINARY, "\x01"s), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key, "COLLECTHISTORY", REG_BINARY, "\x00"s), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key, "\xC3\x89t\xC3\xA9", REG_BINARY, "\x02"s),
              ERROR_SUCCESS);  // "Été" and "été"
    ASSERT_EQ(SetBytes(key, "\xC3\xA9t\xC3\xA9", REG_BINARY, "\x03"s),
              ERROR_SUCCESS);  // differ: not ASCII

    DWORD disposition = 0;
    ASSERT_EQ(Create(other, "SOFTWARE\\quillonix\\wyscurlbase", KEY_READ, HKEY_CURRENT_USER, &disposition),
              0);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_EQ(ValueOf(other, "collecthistory"), "\x00"s);
    std::vector<std::string> names;
    char name[64];
    DWORD size = sizeof name;
    for (DWORD i = 0; RegEnumValue(other, i, name, &size, nullptr, nullptr, nullptr, nullptr) == 0; ++i) {
        names.emplace_back(name, size);
        size = sizeof name;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"CollectHistory", "\xC3\x89t\xC3\xA9", "\xC3\xA9t\xC3\xA9"}));
    EXPECT_EQ(SubkeyNames(HKEY_CURRENT_USER), std::vector<std::string>{"Software"});
}

TEST_F(Registry, CreatesKeysWithTheKeysAboveThem)
{
    const std::pair<const char*, DWORD> steps[] = {
        {"Software\\Quillonix\\WYSC", REG_CREATED_NEW_KEY},
        {"software\\QUILLONIX\\wysc\\", REG_OPENED_EXISTING_KEY},
        {"Software\\Quillonix", REG_OPENED_EXISTING_KEY},
        {"Software\\Quillonix\\WYSCUrlBase", REG_CREATED_NEW_KEY},
        {"", REG_OPENED_EXISTING_KEY},
    };
    for (const auto& [path, expected] : steps) {
        CScopedKey key;
        DWORD disposition = 0;
        EXPECT_EQ(Create(key, path, KEY_WRITE, HKEY_CURRENT_USER, &disposition), ERROR_SUCCESS) << path;
        EXPECT_EQ(disposition, expected) << path;
    }
    CScopedKey readOnly, writable, child;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Quillonix", 0, KEY_READ, readOnly.Out()), 0);
    EXPECT_EQ(SubkeyNames(readOnly), (std::vector<std::string>{"WYSC", "WYSCUrlBase"}));
    EXPECT_EQ(Create(child, "Nested\\Deeper", KEY_READ, readOnly), ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyEx(readOnly, nullptr, 0, KEY_ALL_ACCESS, writable.Out()), ERROR_SUCCESS);
    ASSERT_EQ(Create(child, "Nested\\Deeper", KEY_READ, writable), ERROR_SUCCESS);
    EXPECT_EQ(
        RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Quillonix\\Nested\\Deeper", 0, KEY_READ, child.Out()), 0);
}

TEST_F(Registry, EnumeratesKeysInNameOrderAndValuesInTheOrderSet)
{
    CScopedKey key, child;
    ASSERT_EQ(Create(key), ERROR_SUCCESS);
    for (const char* sub : {"beta", "Alpha", "gamma", "Beta2", "_under"})
        ASSERT_EQ(Create(child, sub, KEY_READ, key), ERROR_SUCCESS);
    EXPECT_EQ(SubkeyNames(key), (std::vector<std::string>{"_under", "Alpha", "beta", "Beta2", "gamma"}));

    const std::pair<std::string, std::string> values[] = {
        {"Zulu", "\x01"s}, {"", "d\0"s}, {"alpha", "\x02\x03"s}, {"Mid", std::string(300, 'm')}};
    for (const auto& [name, data] : values)
        ASSERT_EQ(SetBytes(key, name.c_str(), REG_BINARY, data), ERROR_SUCCESS);
    char name[16];
    BYTE data[512];
    for (DWORD i = 0; i < std::size(values); ++i) {
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        ASSERT_EQ(RegEnumValue(key, i, name, &nameSize, nullptr, &type, data, &dataSize), ERROR_SUCCESS) << i;
        EXPECT_EQ(std::string(name, nameSize), values[i].first) << i;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(data), dataSize), values[i].second) << i;
        EXPECT_EQ(type, REG_BINARY);
    }
    // Past the end; short name buffers (room for the NUL is needed) and short data.
    DWORD nameSize = sizeof name, dataSize = 10, counts[5] = {};
    EXPECT_EQ(RegEnumValue(key, 4, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegEnumValue(key, 3, name, &nameSize, nullptr, nullptr, data, &dataSize), ERROR_MORE_DATA);
    EXPECT_EQ(std::string(name) + " " + std::to_string(dataSize), "Mid 300");
    nameSize = 4;
    EXPECT_EQ(RegEnumValue(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    nameSize = 5;
    EXPECT_EQ(RegEnumKeyEx(key, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(nameSize, 5u);
    ASSERT_EQ(
        RegQueryInfoKey(key, 0, 0, 0, &counts[0], &counts[1], 0, &counts[2], &counts[3], &counts[4], 0, 0),
        0);
    EXPECT_EQ(std::vector<DWORD>(counts, counts + 5), (std::vector<DWORD>{5, 6, 4, 5, 300}));
}

TEST_F(Registry, DeletesValuesKeysAndTrees)
{
    CScopedKey key, leaf, deep, gone;
    ASSERT_EQ(Create(key), ERROR_SUCCESS);
    ASSERT_EQ(Create(leaf, "Tree\\Leaf", KEY_ALL_ACCESS, key), ERROR_SUCCESS);
    ASSERT_EQ(Create(deep, "Tree\\Branch\\Twig", KEY_READ, key), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key, "Value", REG_DWORD, "\x01\0\0\0"s), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(leaf, "Inner", REG_DWORD, "\x02\0\0\0"s), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteValue(key, "VALUE"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValue(key, "Value"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(key, "Tree"), ERROR_ACCESS_DENIED) << "a key with subkeys stays";
    EXPECT_EQ(RegDeleteKey(key, "Tree\\Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(key, "Tree\\LEAF"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED) << "the root stays";
    EXPECT_EQ(ValueOf(leaf, "Inner"), ErrorText(ERROR_KEY_DELETED));
    EXPECT_EQ(SetBytes(leaf, "Inner", REG_DWORD, "\x03\0\0\0"s), ERROR_KEY_DELETED);

    EXPECT_EQ(RegDeleteTree(key, "Tree"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTree(key, "Tree"), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(SubkeyNames(key).empty());
    EXPECT_EQ(RegOpenKeyEx(deep, nullptr, 0, KEY_READ, gone.Out()), ERROR_KEY_DELETED);

    // With no subkey, the key's own values and subkeys go; the key stays.
    ASSERT_EQ(SetBytes(key, "A", REG_BINARY, "a"s), ERROR_SUCCESS);
    ASSERT_EQ(Create(gone, "Sub", KEY_READ, key), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTree(key, nullptr), ERROR_SUCCESS);
    DWORD subKeys = 9, values = 9;
    ASSERT_EQ(RegQueryInfoKey(key, 0, 0, 0, &subKeys, 0, 0, &values, 0, 0, 0, 0), ERROR_SUCCESS);
    EXPECT_EQ(subKeys + values, 0u);
}

TEST_F(Registry, HandlesWithoutARightRefuseThatOperation)
{
    CScopedKey setup, sub;
    ASSERT_EQ(Create(setup), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(setup, "V", REG_BINARY, "\x01"s), ERROR_SUCCESS);
    ASSERT_EQ(Create(sub, "Sub", KEY_READ, setup), ERROR_SUCCESS);

    char name[8];
    DWORD size;
    using Operation = std::function<LONG(HKEY)>;
    const std::pair<const char*, Operation> writes[] = {
        {"set", [](HKEY k) { return SetBytes(k, "V", REG_BINARY, "\x02"s); }},
        {"delete value", [](HKEY k) { return RegDeleteValue(k, "V"); }},
        {"create",
         [](HKEY k) {
             CScopedKey made;
             return Create(made, "New", KEY_READ, k);
         }},
        {"delete key", [](HKEY k) { return RegDeleteKey(k, "Sub"); }},
        {"delete tree", [](HKEY k) { return RegDeleteTree(k, "New"); }},
    };
    const std::pair<const char*, Operation> reads[] = {
        {"query", [](HKEY k) { return RegQueryValueEx(k, "V", nullptr, nullptr, nullptr, nullptr); }},
        {"enum values",
         [&](HKEY k) {
             size = 8;
             return RegEnumValue(k, 0, name, &size, 0, 0, 0, 0);
         }},
        {"enum keys",
         [&](HKEY k) {
             size = 8;
             return RegEnumKeyEx(k, 0, name, &size, 0, 0, 0, 0);
         }},
    };
    const std::string before = ReadFile(UserHivePath(m_home, "HKEY_CURRENT_USER"));
    CScopedKey readOnly, writeOnly;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kWysc, 0, KEY_READ, readOnly.Out()), ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kWysc, 0, KEY_WRITE, writeOnly.Out()), ERROR_SUCCESS);
    for (const auto& [what, operation] : writes)
        EXPECT_EQ(operation(readOnly), ERROR_ACCESS_DENIED) << what << " on a key opened for reading";
    EXPECT_EQ(ReadFile(UserHivePath(m_home, "HKEY_CURRENT_USER")), before);
    for (const auto& [what, operation] : reads) {
        EXPECT_EQ(operation(readOnly), ERROR_SUCCESS) << what << " on a key opened for reading";
        EXPECT_EQ(operation(writeOnly), ERROR_ACCESS_DENIED) << what << " on a key opened for writing";
    }
    for (const auto& [what, operation] : writes)
        EXPECT_EQ(operation(writeOnly), ERROR_SUCCESS) << what << " on a key opened for writing";
}

TEST_F(Registry, BadHandlesAndArgumentsGetClearResults)
{
    CScopedKey open, out;
    ASSERT_EQ(Create(open), ERROR_SUCCESS);
    HKEY closed = nullptr;
    ASSERT_EQ(RegOpenKeyEx(open, nullptr, 0, KEY_ALL_ACCESS, &closed), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS) << "predefined keys stay usable";
    char name[8];
    DWORD size = sizeof name;
    for (HKEY bad : {HKEY{nullptr}, closed, reinterpret_cast<HKEY>(std::uintptr_t{0x80000003u})}) {
        const LONG results[] = {
            RegOpenKeyEx(bad, "x", 0, KEY_READ, out.Out()),
            Create(out, "x", KEY_READ, bad),
            RegQueryValueEx(bad, "x", nullptr, nullptr, nullptr, nullptr),
            SetBytes(bad, "x", REG_BINARY, "1"),
            RegDeleteValue(bad, "x"),
            RegDeleteKey(bad, "x"),
            RegDeleteTree(bad, "x"),
            RegEnumKeyEx(bad, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
            RegEnumValue(bad, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
            RegCloseKey(bad),
        };
        for (std::size_t i = 0; i < std::size(results); ++i)
            EXPECT_EQ(results[i], ERROR_INVALID_HANDLE) << "call " << i << " with handle " << bad;
    }
    for (const std::string& path : {"a\\\\b"s, "\\a"s, "a\x01"s, "a\\" + std::string(256, 'k'), "\\"s}) {
        EXPECT_EQ(Create(out, path.c_str(), KEY_READ, open), ERROR_INVALID_PARAMETER) << path;
        EXPECT_EQ(RegOpenKeyEx(open, path.c_str(), 0, KEY_READ, out.Out()), ERROR_INVALID_PARAMETER) << path;
    }
    EXPECT_EQ(Create(out, std::string(255, 'k').c_str(), KEY_READ, open), ERROR_SUCCESS);
    EXPECT_EQ(
        RegCreateKeyEx(open, "v", 0, nullptr, REG_OPTION_VOLATILE, KEY_READ, nullptr, out.Out(), nullptr),
        ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Create(out, nullptr, KEY_READ, open), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyEx(open, "Missing", 0, KEY_READ, out.Out()), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(static_cast<HKEY>(out), nullptr);
    EXPECT_EQ(RegSetValueEx(open, "x", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetBytes(open, std::string(16384, 'n').c_str(), REG_BINARY, "1"), ERROR_INVALID_PARAMETER);
}

TEST_F(Registry, HivesAreReadableFilesThatFollowTheEnvironment)
{
    CScopedKey key, classes, moved;
    ASSERT_EQ(Create(key, "Software\\Quillonix\\WYSCUrlBase"), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key, "BasePath", REG_SZ, "/home/u/Documents/Collected IE History\0"s), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key, "CollectHistory", REG_BINARY, "\x01"s), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key, "HistoryRange", REG_QWORD, "\x00\x2f\x0d\0\0\0\0\0"s), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key, "N", REG_DWORD, "\x2a\0\0\0"s), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key, "", REG_SZ, "default\0"s), ERROR_SUCCESS);
    const std::string user = UserHivePath(m_home, "HKEY_CURRENT_USER");
    const std::string text = ReadFile(user);
    EXPECT_EQ(text.rfind("; Wayscribe registry hive HKEY_CURRENT_USER\n", 0), 0u) << text;
    EXPECT_NE(text.find("\n[Software\\Quillonix\\WYSCUrlBase]\n"
                        "\"BasePath\"=sz:\"/home/u/Documents/Collected IE History\"\n"
                        "\"CollectHistory\"=binary:01\n"
                        "\"HistoryRange\"=qword:00000000000d2f00\n"
                        "\"N\"=dword:0000002a\n"
                        "@=sz:\"default\"\n"),
              std::string::npos)
        << text;

    // The user's classes are a hive of their own.
    ASSERT_EQ(Create(classes, "CLSID\\{9F1366DD-E157-4962-84F5-57066BB8506A}", KEY_WRITE, HKEY_CLASSES_ROOT),
              0);
    ASSERT_EQ(SetBytes(classes, nullptr, REG_SZ, "CWYSCURLBase Object\0"s), ERROR_SUCCESS);
    EXPECT_NE(ReadFile(UserHivePath(m_home, "HKEY_CLASSES_ROOT")).find("@=sz:\"CWYSCURLBase Object\""),
              std::string::npos);
    EXPECT_EQ(ReadFile(user), text);

    // Predefined keys follow the environment at each call; an opened key
    // stays in the file it was opened in.
    const std::string elsewhere = m_home.Path() + "/elsewhere";
    ::setenv("XDG_CONFIG_HOME", elsewhere.c_str(), 1);
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software", 0, KEY_READ, moved.Out()), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(SetBytes(HKEY_CURRENT_USER, "AtRoot", REG_BINARY, "\x07"s), ERROR_SUCCESS);
    EXPECT_NE(
        ReadFile(elsewhere + "/wayscribe/registry/HKEY_CURRENT_USER.reg").find("[]\n\"AtRoot\"=binary:07"),
        std::string::npos);
    ASSERT_EQ(SetBytes(key, "StillHere", REG_BINARY, "\x08"s), ERROR_SUCCESS);
    ::unsetenv("XDG_CONFIG_HOME");  // back to ~/.config, where the first hive is
    EXPECT_EQ(ValueAt(HKEY_CURRENT_USER, "Software\\Quillonix\\WYSCUrlBase", "StillHere"), "\x08"s);
}
