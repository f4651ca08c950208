// The registry lists of helper objects and explorer bars that hosts load.
#include <gtest/gtest.h>

#include "platform/browser/BrowserExtensions.h"
#include "platform/registry/Registry.h"
#include "tests/support/TempHome.h"

namespace wys::test {
namespace {

constexpr CLSID kFirst = MakeGuid("{11111111-1111-1111-1111-111111111111}");
constexpr CLSID kSecond = MakeGuid("{22222222-2222-2222-2222-222222222222}");
constexpr CLSID kMachine = MakeGuid("{33333333-3333-3333-3333-333333333333}");

void CreateKey(HKEY root, const std::string& path, const std::string& defaultValue = {})
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyEx(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << path;
    if (!defaultValue.empty())
        RegSetValueEx(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(defaultValue.c_str()),
                      static_cast<DWORD>(defaultValue.size() + 1));
    RegCloseKey(key);
}

class BrowserExtensionsTest : public TempHomeTest {};

TEST_F(BrowserExtensionsTest, HelperObjectsOfUserThenMachineOnceEach)
{
    EXPECT_TRUE(BrowserHelperObjects().empty());
    EXPECT_EQ(AddBrowserHelperObject(kSecond, "Second"), ERROR_SUCCESS);
    EXPECT_EQ(AddBrowserHelperObject(kFirst, ""), ERROR_SUCCESS);
    EXPECT_EQ(AddBrowserHelperObject(kFirst, "again"), ERROR_SUCCESS);
    CreateKey(HKEY_LOCAL_MACHINE, std::string(kBrowserHelperObjectsKey) + "\\" + GuidToString(kMachine));
    CreateKey(HKEY_LOCAL_MACHINE, std::string(kBrowserHelperObjectsKey) + "\\" + GuidToString(kSecond));
    CreateKey(HKEY_CURRENT_USER, std::string(kBrowserHelperObjectsKey) + "\\not a class");
    EXPECT_EQ(BrowserHelperObjects(), (std::vector<CLSID>{kFirst, kSecond, kMachine}));

    EXPECT_EQ(RemoveBrowserHelperObject(kFirst), ERROR_SUCCESS);
    EXPECT_EQ(RemoveBrowserHelperObject(kFirst), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(BrowserHelperObjects(), (std::vector<CLSID>{kSecond, kMachine}));
}

TEST_F(BrowserExtensionsTest, ExplorerBarsAreClassesMarkedWithTheCategory)
{
    CreateKey(HKEY_CLASSES_ROOT, "CLSID\\" + GuidToString(kFirst), "First Bar");
    CreateKey(HKEY_CLASSES_ROOT, "CLSID\\" + GuidToString(kSecond), "Not a bar");
    EXPECT_TRUE(ExplorerBars().empty());
    EXPECT_EQ(AddExplorerBar(kMachine), ERROR_SUCCESS);
    EXPECT_EQ(AddExplorerBar(kFirst), ERROR_SUCCESS);
    auto bars = ExplorerBars();
    ASSERT_EQ(bars.size(), 2u);
    EXPECT_EQ(bars[0].clsid, kFirst);
    EXPECT_EQ(bars[0].name, "First Bar");
    EXPECT_EQ(bars[1].clsid, kMachine);
    EXPECT_EQ(bars[1].name, "");
    HKEY category = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "Component Categories\\{00021493-0000-0000-C000-000000000046}",
                           0, KEY_READ, &category),
              ERROR_SUCCESS);
    RegCloseKey(category);

    EXPECT_EQ(RemoveExplorerBar(kFirst), ERROR_SUCCESS);
    EXPECT_EQ(RemoveExplorerBar(kSecond), ERROR_FILE_NOT_FOUND);
    bars = ExplorerBars();
    ASSERT_EQ(bars.size(), 1u);
    EXPECT_EQ(bars[0].clsid, kMachine);
}

}  // namespace
}  // namespace wys::test
