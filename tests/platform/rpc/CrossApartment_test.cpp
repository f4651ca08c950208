#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "platform/com/ComPtr.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/AgileObject.h"
#include "platform/rpc/Apartment.h"
#include "platform/rpc/Marshal.h"
#include "tests/platform/rpc/support/EventSink.h"
#include "tests/platform/rpc/support/StaThread.h"
#include "tests/platform/rpc/support/TestObject.h"

using wys::test::CStaThread;
using wys::test::CTestObject;

namespace {

// The test body's thread is a single-threaded apartment.
class CrossApartment : public ::testing::Test {
protected:
    void SetUp() override
    {
        wys::test::RegisterTestInterfaces();
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    }
    void TearDown() override { CoUninitialize(); }

    // A new test object on `thread`, marshalled to this thread.
    ComPtr<ITestControl> ObjectOn(CStaThread& thread, ComPtr<CTestObject>* original = nullptr)
    {
        ComPtr<CTestObject> object;
        IStream* stream = thread.Run([&] {
            object.Attach(CreateComObject<CTestObject>());
            IStream* s = nullptr;
            EXPECT_EQ(CoMarshalInterThreadInterfaceInStream(ITestControl::Iid, object->GetUnknown(), &s),
                      S_OK);
            return s;
        });
        ComPtr<ITestControl> proxy;
        EXPECT_EQ(CoGetInterfaceAndReleaseStream(stream, ITestControl::Iid, proxy.PutVoid()), S_OK);
        if (original)
            *original = object;
        else
            thread.Run([&] { object = nullptr; });
        return proxy;
    }
};

template <class I>
ComPtr<I> As(const ComPtr<ITestControl>& object)
{
    ComPtr<I> result;
    EXPECT_EQ(object.As(&result), S_OK);
    return result;
}

class CAgileThing final : public CComObjectRoot<CAgileThing, ITestControl, IAgileObject> {
public:
    HRESULT GetIdentity(DWORD*, DWORD* thread, ULONG*) override
    {
        *thread = GetCurrentThreadId();
        return S_OK;
    }
    HRESULT Ping(ULONG value, ULONG* result) override
    {
        *result = value;
        return S_OK;
    }
    HRESULT EchoBstr(BSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT EchoVariant(VARIANT, VARIANT*) override { return E_NOTIMPL; }
    HRESULT EchoUnknown(IUnknown*, IUnknown**) override { return E_NOTIMPL; }
    HRESULT Bounce(ITestControl*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT Fail(HRESULT hr, ULONG*) override { return hr; }
};

}  // namespace

TEST_F(CrossApartment, CallsRunOnTheObjectsThreadAndNestBothWays)
{
    CStaThread other;
    ComPtr<CTestObject> remoteObject;
    ComPtr<ITestControl> remote = ObjectOn(other, &remoteObject);
    DWORD process = 0, thread = 0;
    ULONG instance = 0;
    ASSERT_EQ(remote->GetIdentity(&process, &thread, &instance), S_OK);
    EXPECT_EQ(thread, other.Id());

    // Each bounce crosses to the other thread, which calls back while this
    // thread waits for its reply.
    ComPtr<CTestObject> local;
    local.Attach(CreateComObject<CTestObject>());
    ULONG calls = 0;
    ASSERT_EQ(remote->Bounce(local.Get(), 6, &calls), S_OK);
    EXPECT_EQ(calls, 7u);
    EXPECT_EQ(local->Threads(), std::vector<DWORD>(3, GetCurrentThreadId()));
    other.Run([&] {
        EXPECT_EQ(remoteObject->Threads(), std::vector<DWORD>(5, other.Id()));
        remoteObject = nullptr;
    });
}

TEST_F(CrossApartment, ProxiesKeepIdentityAndGiveTheirReferencesBack)
{
    CStaThread other;
    ComPtr<CTestObject> object;
    ComPtr<ITestControl> first = ObjectOn(other, &object);
    IStream* stream = other.Run([&] {
        IStream* s = nullptr;
        CoMarshalInterThreadInterfaceInStream(ITestControl::Iid, object->GetUnknown(), &s);
        return s;
    });
    ComPtr<ITestControl> second;
    ASSERT_EQ(CoGetInterfaceAndReleaseStream(stream, ITestControl::Iid, second.PutVoid()), S_OK);
    EXPECT_TRUE(IsSameObject(first.Get(), second.Get()));
    ComPtr<IWYSCURLBase> history;
    ASSERT_EQ(first.As(&history), S_OK) << "QueryInterface crosses to the object";
    EXPECT_TRUE(IsSameObject(history.Get(), first.Get()));
    ComPtr<IClassFactory> notOffered;
    EXPECT_EQ(first.As(&notOffered), E_NOINTERFACE);

    // An object goes back to its own apartment as itself, not as a proxy.
    ComPtr<CTestObject> local;
    local.Attach(CreateComObject<CTestObject>());
    ComPtr<IUnknown> echoed;
    ASSERT_EQ(first->EchoUnknown(local->GetUnknown(), echoed.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(echoed.Get(), local->GetUnknown());
    ASSERT_EQ(first->EchoUnknown(first.Get(), echoed.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_TRUE(IsSameObject(echoed.Get(), first.Get()));
    echoed = nullptr;
    EXPECT_EQ(local->RefCount(), 1u) << "the other apartment gave its reference back";

    // The other apartment reaches back over the same link: a proxy it got
    // from a stream returns here as the object itself.
    IStream* outbound = nullptr;
    ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(ITestControl::Iid, local->GetUnknown(), &outbound), S_OK);
    IStream* inbound = other.Run([&] {
        ComPtr<ITestControl> proxy;
        EXPECT_EQ(CoGetInterfaceAndReleaseStream(outbound, ITestControl::Iid, proxy.PutVoid()), S_OK);
        IStream* s = nullptr;
        EXPECT_EQ(CoMarshalInterThreadInterfaceInStream(ITestControl::Iid, proxy.Get(), &s), S_OK);
        return s;
    });
    ComPtr<ITestControl> home;
    ASSERT_EQ(CoGetInterfaceAndReleaseStream(inbound, ITestControl::Iid, home.PutVoid()), S_OK);
    EXPECT_EQ(home.Get(), static_cast<ITestControl*>(local.Get()));
    home = nullptr;

    first = nullptr;
    second = nullptr;
    history = nullptr;
    other.Run([&] {
        DispatchApartmentMessages();  // the releases sent before this closure
        EXPECT_EQ(object->RefCount(), 1u) << "only the test's own reference is left";
        object = nullptr;
    });
}

TEST_F(CrossApartment, ValuesCrossExactlyAndFailuresKeepTheirOutValues)
{
    CStaThread other;
    ComPtr<ITestControl> remote = ObjectOn(other);

    const char odd[] = {'x', 'y', 'z'};
    CComBSTR oddText;
    oddText.Attach(SysAllocStringByteLen(odd, 3));
    for (BSTR text : {static_cast<BSTR>(nullptr), oddText.m_str}) {
        CComBSTR back;
        ASSERT_EQ(remote->EchoBstr(text, &back), S_OK);
        EXPECT_EQ(back.IsNull(), text == nullptr);
        EXPECT_EQ(back.ByteLength(), SysStringByteLen(text));
    }

    // Large values cross in many pieces; values beyond the frame limit fail.
    std::u16string large(1u << 19, u'x');
    large[12345] = 0;
    CComBSTR big(large);
    CComBSTR bigBack;
    ASSERT_EQ(remote->EchoBstr(big, &bigBack), S_OK);
    EXPECT_TRUE(bigBack.View() == big.View());
    CComBSTR huge(std::u16string(9u << 20, u'y'));
    EXPECT_EQ(remote->EchoBstr(huge, &bigBack), RPC_E_INVALID_DATA);
    ULONG pong = 0;
    EXPECT_EQ(remote->Ping(1, &pong), S_OK) << "the link stays";

    ComPtr<IWYSCURLBase> history;
    ASSERT_EQ(remote.As(&history), S_OK);
    _URL_DATE_ record{1700000000, SysAllocString(u"http://a/"), SysAllocString(u""), nullptr};
    ASSERT_EQ(history->AddData(record), S_OK);
    CUrlDateHolder read;
    ASSERT_EQ(history->GetData(read.Receive(), 0), S_OK);
    EXPECT_EQ(read.Time, 1700000000);
    EXPECT_EQ(BstrView(read.Url), u"http://a/");
    EXPECT_NE(read.Path, nullptr) << "empty stays empty";
    EXPECT_EQ(read.Title, nullptr) << "null stays null";
    FreeUrlDate(&record);
    read.Time = 99;
    EXPECT_EQ(history->GetData(&read, 5), E_INVALIDARG);
    EXPECT_EQ(read.Time, 99) << "a failed call leaves its out values alone";

    ULONG out = 0;
    EXPECT_EQ(remote->Fail(E_ABORT, &out), E_ABORT);
    EXPECT_EQ(out, 7u) << "declared to travel whatever the result";

    // By-reference arguments of Invoke come back changed.
    LONG number = 21;
    BSTR text = SysAllocString(u"hi");
    VARIANT args[2];
    VariantInit(&args[0]);
    args[0].vt = VT_BYREF | VT_I4;
    args[0].plVal = &number;
    VariantInit(&args[1]);
    args[1].vt = VT_BYREF | VT_BSTR;
    args[1].pbstrVal = &text;
    DISPPARAMS params{args, nullptr, 2, 0};
    CComVariant result;
    ASSERT_EQ(
        history->Invoke(kDispIdDoubleByRef, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(number, 42);
    EXPECT_EQ(BstrView(text), u"hi!");
    EXPECT_EQ(result.vt, VT_I4);
    SysFreeString(text);
    EXCEPINFO exception{};
    UINT argError = 0;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(history->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, &exception, &argError),
              DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(BstrView(exception.bstrDescription), u"no such member");
    EXPECT_EQ(argError, 3u);
    SysFreeString(exception.bstrDescription);
    DISPID id;
    LPOLESTR name = const_cast<LPOLESTR>(u"GetData");
    EXPECT_EQ(history->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), E_NOTIMPL);

    // A VARIANT with an array of strings, as ExportRange2 takes it.
    CComVariant paths;
    paths.vt = VT_ARRAY | VT_BSTR;
    paths.parray = SafeArrayCreateVector(VT_BSTR, 3, 4);
    EXPECT_EQ(history->ExportRange2(nullptr, paths), S_OK);
    LONGLONG count = 0;
    history->get_HistoricalRange(&count);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(history->ExportRange2(nullptr, CComVariant(LONG{3})), E_INVALIDARG);
}

TEST_F(CrossApartment, EventsReachSinksInAnotherApartment)
{
    CStaThread other;
    ComPtr<ITestControl> remote = ObjectOn(other);
    ComPtr<IWYSCURLBase> history;
    ASSERT_EQ(remote.As(&history), S_OK);
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(remote.As(&container), S_OK);
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(DIID_IWYSCURLBaseEvents, point.ReleaseAndGetAddressOf()), S_OK);
    ComPtr<wys::test::CEventSink> sink;
    sink.Attach(CreateComObject<wys::test::CEventSink>());
    std::vector<std::u16string> urlsSeenInside;
    sink->onEvent = [&](DISPID, LONG index) {
        CUrlDateHolder record;  // calls back into the object while it is delivering
        HRESULT hr = history->GetData(record.Receive(), static_cast<ULONG>(index));
        urlsSeenInside.emplace_back(BstrView(record.Url));
        return hr;
    };
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(sink->GetUnknown(), &cookie), S_OK);
    for (const char16_t* url : {u"http://one/", u"http://two/"}) {
        _URL_DATE_ record{1, SysAllocString(url), nullptr, nullptr};
        EXPECT_EQ(history->AddData(record), S_OK);
        FreeUrlDate(&record);
    }
    EXPECT_EQ(sink->events, (std::vector<std::string>{"1:0", "1:1"}));
    EXPECT_EQ(urlsSeenInside, (std::vector<std::u16string>{u"http://one/", u"http://two/"}));
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(sink->RefCount(), 1u) << "the other apartment released its proxy of the sink";
}

TEST_F(CrossApartment, ClassInformationCrossesToo)
{
    CStaThread other;
    ComPtr<ITestControl> remote = ObjectOn(other);
    ComPtr<IProvideClassInfo2> info;
    ASSERT_EQ(remote.As(&info), S_OK);
    ComPtr<ITypeInfo> type;
    ASSERT_EQ(info->GetClassInfo(type.ReleaseAndGetAddressOf()), S_OK);
    GUID guid{};
    ASSERT_EQ(type->GetGuid(&guid), S_OK) << "the type information is itself a proxy";
    EXPECT_EQ(guid, CLSID_TestObject);
    ASSERT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &guid), S_OK);
    EXPECT_EQ(guid, DIID_IWYSCURLBaseEvents);
    EXPECT_EQ(info->GetGUID(7, &guid), E_INVALIDARG);
    ComPtr<IProvideClassInfo> plain;
    ASSERT_EQ(info.As(&plain), S_OK);
    EXPECT_TRUE(IsSameObject(plain.Get(), remote.Get()));
    UINT count = 9;
    EXPECT_EQ(As<IDispatch>(remote)->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
}

TEST_F(CrossApartment, EndedApartmentDisconnectsItsProxies)
{
    auto other = std::make_unique<CStaThread>();
    ComPtr<ITestControl> remote = ObjectOn(*other);
    ULONG result = 0;
    ASSERT_EQ(remote->Ping(1, &result), S_OK);
    other->Quit();
    EXPECT_EQ(remote->Ping(1, &result), RPC_E_DISCONNECTED);
    ComPtr<IWYSCURLBase> history;
    EXPECT_EQ(remote.As(&history), RPC_E_DISCONNECTED);
}

TEST_F(CrossApartment, AgileObjectsAreHandedOverAsThemselves)
{
    ComPtr<CAgileThing> thing;
    IStream* stream = nullptr;
    std::thread([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        thing.Attach(CreateComObject<CAgileThing>());
        CoMarshalInterThreadInterfaceInStream(ITestControl::Iid, thing->GetUnknown(), &stream);
        CoUninitialize();
    }).join();
    ComPtr<ITestControl> received;
    ASSERT_EQ(CoGetInterfaceAndReleaseStream(stream, ITestControl::Iid, received.PutVoid()), S_OK);
    EXPECT_EQ(received.Get(), static_cast<ITestControl*>(thing.Get()));
    received = nullptr;
    EXPECT_EQ(thing->RefCount(), 1u);
}

TEST_F(CrossApartment, OtherThreadsUseProxiesOnlyThroughTheirApartment)
{
    CStaThread other;
    ComPtr<ITestControl> remote = ObjectOn(other);
    std::thread([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        ULONG result = 0;
        EXPECT_EQ(remote->Ping(1, &result), RPC_E_WRONG_THREAD)
            << "the proxy belongs to the test's apartment";
        CoUninitialize();
    }).join();

    // Threads of the multithreaded apartment share one proxy.
    ComPtr<CTestObject> object;
    ComPtr<ITestControl> shared;
    IStream* stream = other.Run([&] {
        object.Attach(CreateComObject<CTestObject>());
        IStream* s = nullptr;
        CoMarshalInterThreadInterfaceInStream(ITestControl::Iid, object->GetUnknown(), &s);
        return s;
    });
    std::promise<void> unmarshalled;
    std::promise<void> finished;
    std::thread owner([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        EXPECT_EQ(CoGetInterfaceAndReleaseStream(stream, ITestControl::Iid, shared.PutVoid()), S_OK);
        unmarshalled.set_value();
        finished.get_future().wait();
        shared = nullptr;
        CoUninitialize();
    });
    unmarshalled.get_future().wait();
    auto worker = [&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        for (ULONG i = 0; i < 20; ++i) {
            ULONG result = 0;
            EXPECT_EQ(shared->Ping(i, &result), S_OK);
            EXPECT_EQ(result, i + 1);
        }
        CoUninitialize();
    };
    std::thread first(worker);
    std::thread second(worker);
    first.join();
    second.join();
    finished.set_value();
    owner.join();
    other.Run([&] { object = nullptr; });
}

TEST_F(CrossApartment, ClassObjectsRegisteredInAnotherApartmentArriveAsProxies)
{
    CStaThread other;
    DWORD cookie = other.Run([] {
        ComPtr<wys::test::CTestFactory> factory;
        factory.Attach(CreateComObject<wys::test::CTestFactory>());
        DWORD c = 0;
        EXPECT_EQ(CoRegisterClassObject(CLSID_TestObject, factory.Get(), CLSCTX_INPROC_SERVER,
                                        REGCLS_MULTIPLEUSE, &c),
                  S_OK);
        DWORD again = 0;
        EXPECT_EQ(CoRegisterClassObject(CLSID_TestObject, factory.Get(), CLSCTX_INPROC_SERVER,
                                        REGCLS_MULTIPLEUSE, &again),
                  CO_E_OBJISREG);
        return c;
    });
    ComPtr<ITestControl> object;
    ASSERT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_ALL, ITestControl::Iid, object.PutVoid()),
              S_OK);
    EXPECT_EQ(OleRun(object.Get()), S_OK);
    DWORD process, thread;
    ULONG instance;
    ASSERT_EQ(object->GetIdentity(&process, &thread, &instance), S_OK);
    EXPECT_EQ(thread, other.Id());
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_LOCAL_SERVER, ITestControl::Iid, object.PutVoid()),
        REGDB_E_CLASSNOTREG)
        << "registered for in-process use only, and no server program is known";
    other.Run([&] { EXPECT_EQ(CoRevokeClassObject(cookie), S_OK); });
    EXPECT_EQ(CoRevokeClassObject(cookie), CO_E_OBJNOTREG);
    EXPECT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_ALL, ITestControl::Iid, object.PutVoid()),
              REGDB_E_CLASSNOTREG);
}

TEST(Activation, NeedsAnApartment)
{
    std::thread([] {
        ComPtr<IUnknown> object;
        EXPECT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_ALL, IID_IUnknown, object.PutVoid()),
                  CO_E_NOTINITIALIZED);
        IStream* stream = nullptr;
        EXPECT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IUnknown, nullptr, &stream), E_INVALIDARG);
    }).join();
}
