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
    // A fresh key under HKEY_CURRENT_USER, opened with every right.
    void CreateKey(CScopedKey& key, const char* path = kWysc)
    {
        ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                 key.Out(), nullptr),
                  ERROR_SUCCESS)
            << path;
    }

    std::vector<std::string> SubkeyNames(HKEY key)
    {
        std::vector<std::string> names;
        char name[256];
        for (DWORD i = 0;; ++i) {
            DWORD size = sizeof name;
            LONG result = RegEnumKeyEx(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
            if (result != ERROR_SUCCESS) {
                EXPECT_EQ(result, ERROR_NO_MORE_ITEMS);
                return names;
            }
            EXPECT_EQ(size, std::strlen(name));
            names.emplace_back(name);
        }
    }
};

}  // namespace

TEST_F(Registry, RoundTripsEveryTypeWithItsExactBytes)
{
    struct Case {
        DWORD type;
        std::string data;
    } cases[] = {
        {REG_SZ, "/home/u/Documents/Collected IE History\0"s},
        {REG_SZ, "no terminator"s},
        {REG_SZ, "embedded\0nul\0"s},
        {REG_SZ, "\xFF\xFE not UTF-8\0"s},
        {REG_EXPAND_SZ, "%HOME%/x\0"s},
        {REG_MULTI_SZ, "a\0bc\0\0"s},
        {REG_MULTI_SZ, "unfinished\0"s},
        {REG_BINARY, "\x01"s},
        {REG_BINARY, "\x00\xc6\x13\x00\x00\x00\x00\x00"s},
        {REG_BINARY, ""s},
        {REG_BINARY, std::string(70001, '\x5A')},
        {REG_DWORD, "\x2a\x00\x00\x00"s},
        {REG_DWORD, "\x2a\x00"s},
        {REG_QWORD, "\x00\x2f\x0d\x00\x00\x00\x00\x00"s},
        {REG_QWORD, "\x01\x02\x03\x04\x05"s},
        {REG_NONE, "\x00\x01\x02"s},
        {REG_NONE, ""s},
        {0xDEADBEEF, "odd type"s},
    };
    CScopedKey key;
    CreateKey(key);
    int n = 0;
    for (const Case& c : cases) {
        std::string name = "Value" + std::to_string(n++);
        ASSERT_EQ(SetBytes(key, name.c_str(), c.type, c.data), ERROR_SUCCESS) << name;
    }
    // Read back through a new handle, so that the bytes come from the file.
    CScopedKey again;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kWysc, 0, KEY_READ, again.Out()), ERROR_SUCCESS);
    n = 0;
    for (const Case& c : cases) {
        std::string name = "Value" + std::to_string(n++);
        DWORD type = 0;
        std::string data;
        ASSERT_EQ(QueryBytes(again, name.c_str(), type, data), ERROR_SUCCESS) << name;
        EXPECT_EQ(type, c.type) << name;
        EXPECT_EQ(data, c.data) << name << " type " << c.type;
    }
}

TEST_F(Registry, QueryReportsSizesAndShortBuffers)
{
    CScopedKey key;
    CreateKey(key);
    const std::string text = "/home/u/Documents/Collected IE History\0"s;
    ASSERT_EQ(SetBytes(key, "BasePath", REG_SZ, text), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key, nullptr, REG_SZ, "default\0"s), ERROR_SUCCESS);

    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueEx(key, "BasePath", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, text.size());

    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    type = 0;
    size = 10;
    EXPECT_EQ(RegQueryValueEx(key, "BasePath", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, text.size());
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(std::string(buffer, 10), std::string(10, '#')) << "a short buffer is left alone";

    size = static_cast<DWORD>(text.size());
    EXPECT_EQ(RegQueryValueEx(key, "BasePath", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(buffer, size), text);
    EXPECT_EQ(buffer[size], '#') << "nothing is written past the value";

    // Type only, nothing else asked.
    type = 0;
    EXPECT_EQ(RegQueryValueEx(key, "BasePath", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);

    // The default value answers to a null and to an empty name.
    for (const char* name : {static_cast<const char*>(nullptr), ""}) {
        std::string data;
        EXPECT_EQ(QueryBytes(key, name, type, data), ERROR_SUCCESS);
        EXPECT_EQ(data, "default\0"s);
    }

    DWORD reserved = 0;
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueEx(key, "Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueEx(key, "BasePath", nullptr, &type, reinterpret_cast<BYTE*>(buffer), nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueEx(key, "BasePath", &reserved, &type, nullptr, &size), ERROR_INVALID_PARAMETER);
}

TEST_F(Registry, NamesIgnoreAsciiCaseAndKeepTheirFirstSpelling)
{
    CScopedKey key;
    CreateKey(key, "Software\\Quillonix\\WYSCUrlBase");
    ASSERT_EQ(SetBytes(key, "CollectHistory", REG_BINARY, "\x01"s), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key, "COLLECTHISTORY", REG_BINARY, "\x00"s), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key, "\xC3\x89t\xC3\xA9", REG_BINARY, "\x02"s), ERROR_SUCCESS);  // "Été"
    ASSERT_EQ(SetBytes(key, "\xC3\xA9t\xC3\xA9", REG_BINARY, "\x03"s), ERROR_SUCCESS);  // "été": another name

    CScopedKey other;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, "SOFTWARE\\quillonix\\wyscurlbase", 0, nullptr, 0,
                             KEY_READ, nullptr, other.Out(), &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    DWORD type;
    std::string data;
    ASSERT_EQ(QueryBytes(other, "collecthistory", type, data), ERROR_SUCCESS);
    EXPECT_EQ(data, "\x00"s);

    char name[64];
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        if (RegEnumValue(other, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, size);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"CollectHistory", "\xC3\x89t\xC3\xA9", "\xC3\xA9t\xC3\xA9"}));

    CScopedKey software;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "software", 0, KEY_READ, software.Out()), ERROR_SUCCESS);
    EXPECT_EQ(SubkeyNames(software), std::vector<std::string>{"Quillonix"});
}

TEST_F(Registry, CreatesKeysWithTheKeysAboveThem)
{
    struct Step {
        const char* path;
        DWORD disposition;
    } steps[] = {
        {"Software\\Quillonix\\WYSC", REG_CREATED_NEW_KEY},
        {"Software\\Quillonix\\WYSC", REG_OPENED_EXISTING_KEY},
        {"software\\QUILLONIX\\wysc\\", REG_OPENED_EXISTING_KEY},
        {"Software\\Quillonix", REG_OPENED_EXISTING_KEY},
        {"Software\\Quillonix\\WYSCUrlBase", REG_CREATED_NEW_KEY},
        {"", REG_OPENED_EXISTING_KEY},
    };
    for (const Step& step : steps) {
        CScopedKey key;
        DWORD disposition = 0;
        EXPECT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, step.path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_WRITE, nullptr, key.Out(), &disposition),
                  ERROR_SUCCESS)
            << step.path;
        EXPECT_EQ(disposition, step.disposition) << step.path;
    }
    CScopedKey quillonix;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Quillonix", 0, KEY_READ, quillonix.Out()),
              ERROR_SUCCESS);
    EXPECT_EQ(SubkeyNames(quillonix), (std::vector<std::string>{"WYSC", "WYSCUrlBase"}));

    // A key made below an opened one; the subkey path is relative to it.
    CScopedKey child;
    ASSERT_EQ(RegCreateKeyEx(quillonix, "Nested\\Deeper", 0, nullptr, 0, KEY_READ, nullptr, child.Out(),
                             nullptr),
              ERROR_ACCESS_DENIED)
        << "a read-only parent cannot make subkeys";
    CScopedKey writable;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Quillonix", 0, KEY_ALL_ACCESS, writable.Out()),
              ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyEx(writable, "Nested\\Deeper", 0, nullptr, 0, KEY_READ, nullptr, child.Out(),
                             nullptr),
              ERROR_SUCCESS);
    CScopedKey check;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Quillonix\\Nested\\Deeper", 0, KEY_READ,
                           check.Out()),
              ERROR_SUCCESS);
}

TEST_F(Registry, EnumeratesKeysInNameOrderAndValuesInTheOrderSet)
{
    CScopedKey key;
    CreateKey(key);
    for (const char* sub : {"beta", "Alpha", "gamma", "Beta2", "_under"}) {
        CScopedKey child;
        ASSERT_EQ(RegCreateKeyEx(key, sub, 0, nullptr, 0, KEY_READ, nullptr, child.Out(), nullptr),
                  ERROR_SUCCESS);
    }
    EXPECT_EQ(SubkeyNames(key), (std::vector<std::string>{"_under", "Alpha", "beta", "Beta2", "gamma"}));

    const std::pair<std::string, std::string> values[] = {
        {"Zulu", "\x01"s}, {"", "d\0"s}, {"alpha", "\x02\x03"s}, {"Mid", std::string(300, 'm')}};
    for (const auto& [name, data] : values)
        ASSERT_EQ(SetBytes(key, name.c_str(), REG_BINARY, data), ERROR_SUCCESS);
    for (DWORD i = 0; i < std::size(values); ++i) {
        char name[16];
        BYTE data[512];
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        ASSERT_EQ(RegEnumValue(key, i, name, &nameSize, nullptr, &type, data, &dataSize), ERROR_SUCCESS) << i;
        EXPECT_EQ(std::string(name, nameSize), values[i].first) << i;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(data), dataSize), values[i].second) << i;
        EXPECT_EQ(type, REG_BINARY);
    }
    char name[16];
    DWORD nameSize = sizeof name;
    EXPECT_EQ(RegEnumValue(key, 4, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

    // Short buffers: a name needs room for its NUL; data reports the size it needs.
    nameSize = 4;  // "Zulu" without room for the NUL
    EXPECT_EQ(RegEnumValue(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(nameSize, 4u);
    BYTE small[10];
    DWORD dataSize = sizeof small;
    nameSize = sizeof name;
    EXPECT_EQ(RegEnumValue(key, 3, name, &nameSize, nullptr, nullptr, small, &dataSize), ERROR_MORE_DATA);
    EXPECT_EQ(dataSize, 300u);
    EXPECT_STREQ(name, "Mid");
    nameSize = 5;  // "Alpha" needs 6
    EXPECT_EQ(RegEnumKeyEx(key, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(nameSize, 5u);

    DWORD subKeys = 0, longestKey = 0, count = 0, longestName = 0, longestData = 0;
    ASSERT_EQ(RegQueryInfoKey(key, nullptr, nullptr, nullptr, &subKeys, &longestKey, nullptr, &count,
                              &longestName, &longestData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys, 5u);
    EXPECT_EQ(longestKey, 6u);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(longestName, 5u);
    EXPECT_EQ(longestData, 300u);
}

TEST_F(Registry, DeletesValuesKeysAndTrees)
{
    CScopedKey key;
    CreateKey(key);
    CScopedKey leaf, deep;
    ASSERT_EQ(RegCreateKeyEx(key, "Tree\\Leaf", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, leaf.Out(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyEx(key, "Tree\\Branch\\Twig", 0, nullptr, 0, KEY_READ, nullptr, deep.Out(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key, "Value", REG_DWORD, "\x01\0\0\0"s), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(leaf, "Inner", REG_DWORD, "\x02\0\0\0"s), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteValue(key, "VALUE"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValue(key, "Value"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValue(key, nullptr), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(key, "Tree"), ERROR_ACCESS_DENIED) << "a key with subkeys stays";
    EXPECT_EQ(RegDeleteKey(key, "Tree\\Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(key, "Tree\\LEAF"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED) << "the root stays";

    // The open handle of a deleted key reports it.
    DWORD type;
    std::string data;
    EXPECT_EQ(QueryBytes(leaf, "Inner", type, data), ERROR_KEY_DELETED);
    EXPECT_EQ(SetBytes(leaf, "Inner", REG_DWORD, "\x03\0\0\0"s), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(leaf), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteTree(key, "Tree"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTree(key, "Tree"), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(SubkeyNames(key).empty());
    CScopedKey gone;
    EXPECT_EQ(RegOpenKeyEx(key, "Tree\\Branch\\Twig", 0, KEY_READ, gone.Out()), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyEx(deep, nullptr, 0, KEY_READ, gone.Out()), ERROR_KEY_DELETED);

    // With no subkey the tree of the key itself is emptied; the key stays.
    ASSERT_EQ(SetBytes(key, "A", REG_BINARY, "a"s), ERROR_SUCCESS);
    CScopedKey sub;
    ASSERT_EQ(RegCreateKeyEx(key, "Sub", 0, nullptr, 0, KEY_READ, nullptr, sub.Out(), nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTree(key, nullptr), ERROR_SUCCESS);
    DWORD subKeys = 9, values = 9;
    ASSERT_EQ(RegQueryInfoKey(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                              nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subKeys + values, 0u);
}

TEST_F(Registry, HandlesWithoutARightRefuseThatOperation)
{
    CScopedKey setup;
    CreateKey(setup);
    ASSERT_EQ(SetBytes(setup, "V", REG_BINARY, "\x01"s), ERROR_SUCCESS);
    CScopedKey sub;
    ASSERT_EQ(RegCreateKeyEx(setup, "Sub", 0, nullptr, 0, KEY_READ, nullptr, sub.Out(), nullptr), ERROR_SUCCESS);

    using Operation = std::function<LONG(HKEY)>;
    const std::pair<const char*, Operation> writes[] = {
        {"set", [](HKEY k) { return SetBytes(k, "V", REG_BINARY, "\x02"s); }},
        {"delete value", [](HKEY k) { return RegDeleteValue(k, "V"); }},
        {"create", [](HKEY k) {
             CScopedKey made;
             return RegCreateKeyEx(k, "New", 0, nullptr, 0, KEY_READ, nullptr, made.Out(), nullptr);
         }},
        {"delete key", [](HKEY k) { return RegDeleteKey(k, "Sub"); }},
        {"delete tree", [](HKEY k) { return RegDeleteTree(k, "New"); }},
    };
    const std::pair<const char*, Operation> reads[] = {
        {"query", [](HKEY k) { return RegQueryValueEx(k, "V", nullptr, nullptr, nullptr, nullptr); }},
        {"enum values", [](HKEY k) {
             char name[8];
             DWORD size = sizeof name;
             return RegEnumValue(k, 0, name, &size, nullptr, nullptr, nullptr, nullptr);
         }},
        {"enum keys", [](HKEY k) {
             char name[8];
             DWORD size = sizeof name;
             return RegEnumKeyEx(k, 0, name, &size, nullptr, nullptr, nullptr, nullptr);
         }},
    };
    const std::string before = ReadFile(UserHivePath(m_home, "HKEY_CURRENT_USER"));
    for (REGSAM rights : {KEY_READ, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS}) {
        CScopedKey key;
        ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kWysc, 0, rights, key.Out()), ERROR_SUCCESS);
        for (const auto& [name, operation] : writes)
            EXPECT_EQ(operation(key), ERROR_ACCESS_DENIED) << name << " with rights " << rights;
        for (const auto& [name, operation] : reads)
            EXPECT_EQ(operation(key), ERROR_SUCCESS) << name << " with rights " << rights;
    }
    EXPECT_EQ(ReadFile(UserHivePath(m_home, "HKEY_CURRENT_USER")), before);

    CScopedKey writeOnly;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kWysc, 0, KEY_WRITE, writeOnly.Out()), ERROR_SUCCESS);
    for (const auto& [name, operation] : reads)
        EXPECT_EQ(operation(writeOnly), ERROR_ACCESS_DENIED) << name << " on a write-only key";
    for (const auto& [name, operation] : writes)
        EXPECT_EQ(operation(writeOnly), ERROR_SUCCESS) << name << " on a write-only key";
}

TEST_F(Registry, BadHandlesAndArgumentsGetClearResults)
{
    CScopedKey open;
    CreateKey(open);
    HKEY closed = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, kWysc, 0, KEY_ALL_ACCESS, &closed), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(closed), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS) << "predefined keys stay usable";

    for (HKEY bad : {HKEY{nullptr}, closed, reinterpret_cast<HKEY>(std::uintptr_t{0x80000003u})}) {
        CScopedKey out;
        char name[8];
        DWORD size = sizeof name;
        EXPECT_EQ(RegOpenKeyEx(bad, "x", 0, KEY_READ, out.Out()), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegCreateKeyEx(bad, "x", 0, nullptr, 0, KEY_READ, nullptr, out.Out(), nullptr),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegQueryValueEx(bad, "x", nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);
        EXPECT_EQ(SetBytes(bad, "x", REG_BINARY, "1"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegDeleteValue(bad, "x"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegDeleteKey(bad, "x"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegDeleteTree(bad, "x"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegEnumKeyEx(bad, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegEnumValue(bad, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegCloseKey(bad), ERROR_INVALID_HANDLE);
    }

    const std::string tooLong(256, 'k');
    for (const std::string& path : {"a\\\\b"s, "\\a"s, "a\x01"s, "a\\" + tooLong, "\\"s}) {
        CScopedKey out;
        EXPECT_EQ(RegCreateKeyEx(open, path.c_str(), 0, nullptr, 0, KEY_READ, nullptr, out.Out(), nullptr),
                  ERROR_INVALID_PARAMETER)
            << testing::PrintToString(path);
        EXPECT_EQ(RegOpenKeyEx(open, path.c_str(), 0, KEY_READ, out.Out()), ERROR_INVALID_PARAMETER)
            << testing::PrintToString(path);
    }
    CScopedKey out;
    EXPECT_EQ(RegCreateKeyEx(open, std::string(255, 'k').c_str(), 0, nullptr, 0, KEY_READ, nullptr,
                             out.Out(), nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCreateKeyEx(open, "v", 0, nullptr, REG_OPTION_VOLATILE, KEY_READ, nullptr, out.Out(), nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyEx(open, nullptr, 0, nullptr, 0, KEY_READ, nullptr, out.Out(), nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyEx(open, "Missing", 0, KEY_READ, out.Out()), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(static_cast<HKEY>(out), nullptr);
    EXPECT_EQ(RegSetValueEx(open, "x", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueEx(open, "empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(SetBytes(open, std::string(16384, 'n').c_str(), REG_BINARY, "1"), ERROR_INVALID_PARAMETER);
}

TEST_F(Registry, HivesAreReadableFilesThatFollowTheEnvironment)
{
    CScopedKey key;
    CreateKey(key, "Software\\Quillonix\\WYSCUrlBase");
    ASSERT_EQ(SetBytes(key, "BasePath", REG_SZ, "/home/u/Documents/Collected IE History\0"s), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key, "CollectHistory", REG_BINARY, "\x01"s), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key, "HistoryRange", REG_QWORD, "\x00\x2f\x0d\0\0\0\0\0"s), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key, "N", REG_DWORD, "\x2a\0\0\0"s), ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(key, "", REG_SZ, "default\0"s), ERROR_SUCCESS);
    const std::string text = ReadFile(UserHivePath(m_home, "HKEY_CURRENT_USER"));
    EXPECT_NE(text.find("\n[Software\\Quillonix\\WYSCUrlBase]\n"
                        "\"BasePath\"=sz:\"/home/u/Documents/Collected IE History\"\n"
                        "\"CollectHistory\"=binary:01\n"
                        "\"HistoryRange\"=qword:00000000000d2f00\n"
                        "\"N\"=dword:0000002a\n"
                        "@=sz:\"default\"\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.rfind("; Wayscribe registry hive HKEY_CURRENT_USER\n", 0), 0u) << text;

    // The user's classes are a hive of their own.
    CScopedKey classes;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, "CLSID\\{9F1366DD-E157-4962-84F5-57066BB8506A}", 0, nullptr, 0,
                             KEY_ALL_ACCESS, nullptr, classes.Out(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(SetBytes(classes, nullptr, REG_SZ, "CWYSCURLBase Object\0"s), ERROR_SUCCESS);
    EXPECT_NE(ReadFile(UserHivePath(m_home, "HKEY_CLASSES_ROOT")).find("@=sz:\"CWYSCURLBase Object\""),
              std::string::npos);
    EXPECT_EQ(ReadFile(UserHivePath(m_home, "HKEY_CURRENT_USER")), text);

    // A predefined key follows the environment at each call; an opened key
    // stays in the file it was opened in.
    const std::string elsewhere = m_home.Path() + "/elsewhere";
    ::setenv("XDG_CONFIG_HOME", elsewhere.c_str(), 1);
    CScopedKey moved;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software", 0, KEY_READ, moved.Out()), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(SetBytes(HKEY_CURRENT_USER, "AtRoot", REG_BINARY, "\x07"s), ERROR_SUCCESS);
    EXPECT_NE(ReadFile(elsewhere + "/wayscribe/registry/HKEY_CURRENT_USER.reg").find("[]\n\"AtRoot\"=binary:07"),
              std::string::npos);
    ASSERT_EQ(SetBytes(key, "StillHere", REG_BINARY, "\x08"s), ERROR_SUCCESS);
    EXPECT_NE(ReadFile(UserHivePath(m_home, "HKEY_CURRENT_USER")).find("StillHere"), std::string::npos);

    // Without XDG_CONFIG_HOME the folder is ~/.config.
    ::unsetenv("XDG_CONFIG_HOME");
    DWORD type;
    std::string data;
    CScopedKey fromHome;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Quillonix\\WYSCUrlBase", 0, KEY_READ, fromHome.Out()),
              ERROR_SUCCESS);
    EXPECT_EQ(QueryBytes(fromHome, "StillHere", type, data), ERROR_SUCCESS);
}
