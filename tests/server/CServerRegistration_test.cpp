#include "WYSCHelper/server/CServerRegistration.h"

#include <gtest/gtest.h>

#include <optional>

#include "common/Identifiers.h"
#include "platform/registry/Registry.h"
#include "tests/support/TempHome.h"

using namespace wys::server;
using namespace wys::test;

namespace {

// A string value of HKEY_CLASSES_ROOT; nullopt when the key or value is missing.
std::optional<std::string> ClassesValue(const std::string& key, const char* name = nullptr)
{
    HKEY handle = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return std::nullopt;
    char buffer[1024];
    DWORD size = sizeof buffer;
    DWORD type = 0;
    LONG result = RegQueryValueEx(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(handle);
    if (result != ERROR_SUCCESS || type != REG_SZ || size == 0)
        return std::nullopt;
    return std::string(buffer, size - 1);
}

bool KeyExists(const std::string& key)
{
    HKEY handle = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

const std::string kClass = "CLSID\\" + GuidToString(CLSID_WYSCURLBase);
const std::string kAppId = "AppID\\" + GuidToString(APPID_WYSCHelper);
const std::string kLibId = GuidToString(LIBID_WYSCHelper);

class ServerRegistration : public TempHomeTest {};

}  // namespace

TEST_F(ServerRegistration, RegisterWritesTheIdentityClassAndTypeLibrary)
{
    ASSERT_EQ(CServerRegistration("/opt/wayscribe/bin/WYSCHelper").Register(), S_OK);
    struct Expected {
        std::string key;
        const char* name;
        std::string value;
    };
    const Expected expected[] = {
        {kAppId, nullptr, "WYSCHelper"},
        {"AppID\\WYSCHelper.EXE", "AppID", GuidToString(APPID_WYSCHelper)},
        {kClass, nullptr, "CWYSCURLBase Object"},
        {kClass, "AppID", GuidToString(APPID_WYSCHelper)},
        {kClass + "\\LocalServer32", nullptr, "/opt/wayscribe/bin/WYSCHelper"},
        {kClass + "\\LocalServer32", "ThreadingModel", "apartment"},
        {kClass + "\\ProgID", nullptr, "WYSCHelper.WYSCURLBase.1"},
        {kClass + "\\VersionIndependentProgID", nullptr, "WYSCHelper.WYSCURLBase"},
        {kClass + "\\TypeLib", nullptr, kLibId},
        {"WYSCHelper.WYSCURLBase.1", nullptr, "CWYSCURLBase Object"},
        {"WYSCHelper.WYSCURLBase.1\\CLSID", nullptr, GuidToString(CLSID_WYSCURLBase)},
        {"WYSCHelper.WYSCURLBase", nullptr, "CWYSCURLBase Object"},
        {"WYSCHelper.WYSCURLBase\\CLSID", nullptr, GuidToString(CLSID_WYSCURLBase)},
        {"WYSCHelper.WYSCURLBase\\CurVer", nullptr, "WYSCHelper.WYSCURLBase.1"},
        {"TypeLib\\" + kLibId + "\\1.0", nullptr, "WYSCHelper 1.0 Type Library"},
        {"TypeLib\\" + kLibId + "\\1.0\\0\\linux64", nullptr, "/opt/wayscribe/bin/WYSCHelper"},
        {"Interface\\" + GuidToString(IID_IWYSCURLBase) + "\\TypeLib", nullptr, kLibId},
        {"Interface\\" + GuidToString(DIID_IWYSCURLBaseEvents), nullptr, "IWYSCURLBaseEvents"},
    };
    for (const Expected& e : expected)
        EXPECT_EQ(ClassesValue(e.key, e.name), e.value) << e.key << " " << (e.name ? e.name : "(default)");
    EXPECT_TRUE(KeyExists(kClass + "\\Programmable"));
    EXPECT_FALSE(ClassesValue(kClass + "\\Programmable")) << "an empty key";
}

TEST_F(ServerRegistration, UnregisterRemovesOnlyItsOwnEntries)
{
    // Another class's registration shares the parent keys.
    HKEY other = nullptr;
    ASSERT_EQ(
        RegCreateKeyEx(HKEY_CLASSES_ROOT, "CLSID\\{00000000-1111-2222-3333-444444444444}\\LocalServer32", 0,
                       nullptr, 0, KEY_WRITE, nullptr, &other, nullptr),
        ERROR_SUCCESS);
    RegCloseKey(other);
    CServerRegistration registration("/opt/wayscribe/bin/WYSCHelper");
    ASSERT_EQ(registration.Register(), S_OK);
    ASSERT_EQ(registration.Unregister(), S_OK);
    for (const std::string& key :
         {kClass, kAppId, std::string("AppID\\WYSCHelper.EXE"), std::string("WYSCHelper.WYSCURLBase"),
          std::string("WYSCHelper.WYSCURLBase.1"), "TypeLib\\" + kLibId,
          "Interface\\" + GuidToString(IID_IWYSCURLBase),
          "Interface\\" + GuidToString(DIID_IWYSCURLBaseEvents)})
        EXPECT_FALSE(KeyExists(key)) << key;
    EXPECT_TRUE(KeyExists("CLSID\\{00000000-1111-2222-3333-444444444444}\\LocalServer32"));
    EXPECT_EQ(registration.Unregister(), S_OK) << "nothing left to remove is no failure";
}
