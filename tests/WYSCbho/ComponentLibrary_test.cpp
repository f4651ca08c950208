// libWYSCbho.so as a host loads it: its exports, the class object and
// self-registration in a temporary home's registry.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include "WYSCbho/IWYSCSaver.h"
#include "common/Identifiers.h"
#include "platform/browser/ObjectWithSite.h"
#include "platform/com/ComPtr.h"
#include "platform/registry/Registry.h"
#include "tests/support/TempHome.h"

namespace {

using GetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);
using NoArguments = HRESULT (*)();

// A text value of HKEY_CLASSES_ROOT, "<missing>" when it cannot be read.
std::string ClassesText(const std::string& key, const char* value = nullptr)
{
    HKEY handle = nullptr;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return "<missing>";
    char data[1024] = {};
    DWORD size = sizeof(data) - 1;
    DWORD type = 0;
    LONG result = RegQueryValueEx(handle, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(handle);
    if (result != ERROR_SUCCESS || type != REG_SZ)
        return "<missing>";
    return std::string(data);
}

class ComponentLibraryTest : public wys::test::TempHomeTest {
protected:
    void SetUp() override
    {
        m_library = ::dlopen(WYS_CAPTURE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_library, nullptr) << ::dlerror();
    }
    void TearDown() override
    {
        // Left open: a component library is never unloaded under its objects,
        // and the process ends soon.
    }
    template <class F>
    F Export(const char* name)
    {
        return reinterpret_cast<F>(::dlsym(m_library, name));
    }

    void* m_library = nullptr;
};

TEST_F(ComponentLibraryTest, RegistersItsClassProgIdsTypeLibraryAndAppId)
{
    ASSERT_EQ(Export<NoArguments>("DllRegisterServer")(), S_OK);
    const std::string clsid = "CLSID\\" + GuidToString(CLSID_WYSCSaver);
    EXPECT_EQ(ClassesText(clsid), "CWYSCSaver Object");
    EXPECT_EQ(ClassesText(clsid + "\\InprocServer32"), WYS_CAPTURE_LIBRARY);
    EXPECT_EQ(ClassesText(clsid + "\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(ClassesText(clsid + "\\ProgID"), "WYSCbho.WYSCSaver.1");
    EXPECT_EQ(ClassesText(clsid + "\\VersionIndependentProgID"), "WYSCbho.WYSCSaver");
    EXPECT_EQ(ClassesText(clsid + "\\TypeLib"), GuidToString(LIBID_WYSCbho));
    EXPECT_EQ(ClassesText("WYSCbho.WYSCSaver.1\\CLSID"), GuidToString(CLSID_WYSCSaver));
    EXPECT_EQ(ClassesText("WYSCbho.WYSCSaver\\CurVer"), "WYSCbho.WYSCSaver.1");
    EXPECT_EQ(ClassesText("TypeLib\\" + GuidToString(LIBID_WYSCbho) + "\\1.0"), "WYSCbho 1.0 Type Library");
    EXPECT_EQ(ClassesText("AppID\\" + GuidToString(LIBID_WYSCbho)), "WYSCbho");

    ASSERT_EQ(Export<NoArguments>("DllUnregisterServer")(), S_OK);
    EXPECT_EQ(ClassesText(clsid), "<missing>");
    EXPECT_EQ(ClassesText("WYSCbho.WYSCSaver.1\\CLSID"), "<missing>");
    EXPECT_EQ(Export<NoArguments>("DllUnregisterServer")(), S_OK);
}

TEST_F(ComponentLibraryTest, ClassObjectMakesHelperObjectsThatLockTheLibrary)
{
    auto getClassObject = Export<GetClassObject>("DllGetClassObject");
    auto canUnloadNow = Export<NoArguments>("DllCanUnloadNow");
    ASSERT_TRUE(getClassObject && canUnloadNow);

    ComPtr<IClassFactory> factory;
    EXPECT_EQ(getClassObject(CLSID_SurfBand, IID_IClassFactory, factory.PutVoid()),
              CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(getClassObject(CLSID_WYSCSaver, IID_IClassFactory, factory.PutVoid()), S_OK);
    EXPECT_EQ(canUnloadNow(), S_OK);

    ComPtr<IObjectWithSite> saver;
    EXPECT_EQ(factory->CreateInstance(factory.Get(), IID_IObjectWithSite, saver.PutVoid()),
              CLASS_E_NOAGGREGATION);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IObjectWithSite, saver.PutVoid()), S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    ComPtr<IWYSCSaver> dual;
    EXPECT_EQ(saver.As(&dual), S_OK);
    ComPtr<IUnknown> site;
    EXPECT_EQ(saver->GetSite(IID_IUnknown, site.PutVoid()), E_NOTIMPL);
    // A site without the browser service leaves the object detached.
    EXPECT_EQ(saver->SetSite(factory.Get()), S_OK);
    EXPECT_EQ(saver->SetSite(nullptr), S_OK);
    dual = nullptr;
    saver = nullptr;
    EXPECT_EQ(canUnloadNow(), S_OK);

    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(canUnloadNow(), S_OK);
}

}  // namespace
