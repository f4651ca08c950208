#include "WYSCHelper/server/CUrlBaseClassFactory.h"

#include <gtest/gtest.h>

#include "WYSCHelper/CWYSCURLBase.h"
#include "platform/registry/Registry.h"
#include "platform/rpc/Apartment.h"
#include "tests/server/ServerProcessTest.h"

using namespace wys::server;
using namespace wys::test;

namespace {

class UrlBaseClassFactory : public TempHomeTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, CWYSCURLBase::kSettingsKey, 0, nullptr, 0, KEY_WRITE,
                                 nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueEx(key, "BasePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(History().c_str()),
                      static_cast<DWORD>(History().size() + 1));
        RegCloseKey(key);
    }
    void TearDown() override
    {
        m_factory = nullptr;
        CoUninitialize();
    }
    std::string History() const { return m_home.Path() + "/history"; }
    void MakeFactory(CUrlBaseClassFactory::Creator creator = {})
    {
        m_factory.Attach(CreateComObject<CUrlBaseClassFactory>(m_module, std::move(creator)));
    }
    ComPtr<IWYSCURLBase> Create(HRESULT expected = S_OK)
    {
        ComPtr<IWYSCURLBase> history;
        EXPECT_EQ(m_factory->CreateInstance(nullptr, IWYSCURLBase::Iid, history.PutVoid()), expected);
        return history;
    }
    // Counts the objects really made.
    CUrlBaseClassFactory::Creator CountingCreator()
    {
        return [this](REFIID iid, void** object, CUrlBaseOptions options) {
            ++m_made;
            return CWYSCURLBase::Create(iid, object, std::move(options));
        };
    }

    CServerModule m_module;
    ComPtr<CUrlBaseClassFactory> m_factory;
    int m_made = 0;
};

ComPtr<IUnknown> Identity(IUnknown* object)
{
    ComPtr<IUnknown> identity;
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
    return identity;
}

}  // namespace

TEST_F(UrlBaseClassFactory, EveryRequestGetsTheOneObject)
{
    MakeFactory(CountingCreator());
    auto first = Create();
    ComPtr<IUnknown> second;
    ASSERT_EQ(m_factory->CreateInstance(nullptr, IID_IUnknown, second.PutVoid()), S_OK);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(Identity(first.Get()).Get(), Identity(second.Get()).Get());
    EXPECT_EQ(AddVisit(first.Get(), History(), Now(), "http://one/a"), S_OK);
    ComPtr<IWYSCURLBase> viaSecond;
    ASSERT_EQ(second.As(&viaSecond), S_OK);
    EXPECT_EQ(CountOf(viaSecond.Get()), 1u);
    EXPECT_EQ(m_made, 1);
}

TEST_F(UrlBaseClassFactory, RefusesAggregationAndNullResultsWithoutMakingAnything)
{
    MakeFactory(CountingCreator());
    ComPtr<IUnknown> outer(m_factory->GetUnknown());
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(m_factory->CreateInstance(outer.Get(), IWYSCURLBase::Iid, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(m_factory->CreateInstance(nullptr, IWYSCURLBase::Iid, nullptr), E_POINTER);
    EXPECT_EQ(m_made, 0);
    EXPECT_EQ(m_module.LockCount(), 0);

    // An interface the object lacks fails that request only.
    EXPECT_EQ(m_factory->CreateInstance(nullptr, IClassFactory::Iid, &object), E_NOINTERFACE);
    EXPECT_EQ(m_module.LockCount(), 0);
    EXPECT_TRUE(Create());
    EXPECT_EQ(m_made, 1);
}

TEST_F(UrlBaseClassFactory, FirstCreationFailureIsRemembered)
{
    MakeFactory([this](REFIID, void** object, CUrlBaseOptions) {
        ++m_made;
        *object = nullptr;
        return E_OUTOFMEMORY;
    });
    EXPECT_FALSE(Create(E_OUTOFMEMORY));
    EXPECT_FALSE(Create(E_OUTOFMEMORY));
    EXPECT_EQ(m_made, 1) << "no second try in this process";
    EXPECT_EQ(m_module.LockCount(), 0);
}

TEST_F(UrlBaseClassFactory, ClientsOfTheObjectHoldOneLockAndServerLocksOneEach)
{
    MakeFactory();
    auto first = Create();
    EXPECT_EQ(m_module.LockCount(), 1);
    auto second = Create();
    ComPtr<IConnectionPointContainer> more;
    ASSERT_EQ(first.As(&more), S_OK);
    EXPECT_EQ(m_module.LockCount(), 1) << "however many references the clients hold";
    first = nullptr;
    more = nullptr;
    EXPECT_EQ(m_module.LockCount(), 1);
    second = nullptr;
    EXPECT_EQ(m_module.LockCount(), 0) << "only the class object's own reference is left";

    EXPECT_EQ(m_factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(m_factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(m_module.LockCount(), 2);
    auto again = Create();
    EXPECT_EQ(m_module.LockCount(), 3);
    EXPECT_EQ(m_factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(m_factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(m_factory->LockServer(FALSE), E_UNEXPECTED) << "no lock left to give back";
    EXPECT_EQ(m_module.LockCount(), 1) << "the client of the object still counts";
    again = nullptr;
    EXPECT_EQ(m_module.LockCount(), 0);
}

TEST_F(UrlBaseClassFactory, ObjectOutlivingTheClassObjectNoLongerCounts)
{
    // At shutdown by a signal, clients may still hold the object when the
    // class object goes; their releases must not reach the freed class object.
    MakeFactory();
    auto history = Create();
    ComPtr<IConnectionPointContainer> more;
    ASSERT_EQ(history.As(&more), S_OK);
    m_factory = nullptr;
    EXPECT_EQ(CountOf(history.Get()), 0u);
    more = nullptr;
    history = nullptr;
    EXPECT_EQ(m_module.LockCount(), 1) << "the clients' lock is simply never given back";
}
