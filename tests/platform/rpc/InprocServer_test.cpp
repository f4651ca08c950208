#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include "platform/com/ComPtr.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/Apartment.h"
#include "tests/platform/rpc/support/ClassRegistry.h"
#include "tests/platform/rpc/support/TestObject.h"
#include "tests/support/TempHome.h"

namespace {

class InprocServer : public wys::test::TempHomeTest {
protected:
    void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK); }
    void TearDown() override { CoUninitialize(); }
};

bool Loaded(const char* path)
{
    void* handle = ::dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        ::dlclose(handle);
    return handle != nullptr;
}

}  // namespace

TEST_F(InprocServer, LibraryServesItsClassInTheCallersApartmentUntilUnused)
{
    ASSERT_TRUE(wys::test::RegisterClassServer(CLSID_TestObject, "InprocServer32", WYS_RPC_TEST_INPROC));
    ASSERT_TRUE(wys::test::RegisterClassServer(CLSID_TestObject, "LocalServer32", "/nonexistent/server"));
    ComPtr<ITestControl> object;
    ASSERT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_ALL, ITestControl::Iid, object.PutVoid()),
              S_OK)
        << "an in-process server is preferred when both are registered";
    DWORD process, thread;
    ULONG instance;
    ASSERT_EQ(object->GetIdentity(&process, &thread, &instance), S_OK);
    EXPECT_EQ(process, static_cast<DWORD>(::getpid()));
    EXPECT_EQ(thread, GetCurrentThreadId());
    EXPECT_TRUE(Loaded(WYS_RPC_TEST_INPROC));

    CoFreeUnusedLibraries();
    EXPECT_TRUE(Loaded(WYS_RPC_TEST_INPROC)) << "still in use";
    object = nullptr;
    CoFreeUnusedLibraries();
    EXPECT_FALSE(Loaded(WYS_RPC_TEST_INPROC));

    ASSERT_TRUE(
        wys::test::RegisterClassServer(CLSID_TestObject, "InprocServer32", m_home.Path() + "/missing.so"));
    EXPECT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_INPROC_SERVER, ITestControl::Iid,
                               object.PutVoid()),
              MakeHResult(0x800401F8u))
        << "CO_E_DLLNOTFOUND";
    ASSERT_TRUE(wys::test::RegisterClassServer(CLSID_TestObject, "InprocServer32", ""));
    EXPECT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_INPROC_SERVER, ITestControl::Iid,
                               object.PutVoid()),
              REGDB_E_CLASSNOTREG);
}
