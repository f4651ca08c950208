#include <gtest/gtest.h>

#include <vector>

#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/com/DispatchStubs.h"
#include "platform/com/TypeInfo.h"

namespace {

struct IEvents : IDispatch {
    static constexpr GUID Iid = MakeGuid("{11111111-2222-3333-4444-555555555555}");
    using Base = IDispatch;
};

// A sink that records (name, dispid, first argument) and fails when told to.
class CRecordingSink final : public CComObjectRoot<CRecordingSink, CDispatchNoTypeInfo<IEvents>> {
public:
    CRecordingSink(std::vector<std::string>* log, std::string name, HRESULT result = S_OK)
        : m_log(log), m_name(std::move(name)), m_result(result)
    {
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override
    {
        std::string entry = m_name + ":" + std::to_string(id);
        if (p->cArgs)
            entry += ":" + std::to_string(DispArg(p, 0)->lVal);
        m_log->push_back(entry);
        return m_result;
    }

private:
    std::vector<std::string>* m_log;
    std::string m_name;
    HRESULT m_result;
};

class CPlainObject final : public CComObjectRoot<CPlainObject, IUnknown> {};

class CContainer final : public CComObjectRoot<CContainer, IConnectionPointContainer> {
public:
    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override
    {
        if (!point)
            return E_POINTER;
        *point = nullptr;
        if (iid != IEvents::Iid)
            return CONNECT_E_NOCONNECTION;
        *point = &m_point;
        m_point.AddRef();
        return S_OK;
    }
    CConnectionPoint m_point{this, IEvents::Iid};
};

}  // namespace

TEST(ConnectionPoint, FreedSlotsAreReusedAndCookiesChecked)
{
    std::vector<std::string> log;
    ComPtr<CContainer> container = CreateComObject<CContainer>();
    container->Release();  // ComPtr took its own reference
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(IEvents::Iid, point.ReleaseAndGetAddressOf()), S_OK);

    ComPtr<CRecordingSink> a = CreateComObject<CRecordingSink>(&log, "a");
    a->Release();
    ComPtr<CRecordingSink> b = CreateComObject<CRecordingSink>(&log, "b");
    b->Release();
    ComPtr<CRecordingSink> c = CreateComObject<CRecordingSink>(&log, "c");
    c->Release();
    DWORD ca, cb, cc;
    ASSERT_EQ(point->Advise(a.Get(), &ca), S_OK);
    ASSERT_EQ(point->Advise(b.Get(), &cb), S_OK);
    EXPECT_EQ(ca, 1u);
    EXPECT_EQ(cb, 2u);
    ASSERT_EQ(point->Unadvise(ca), S_OK);
    EXPECT_EQ(point->Unadvise(ca), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(0), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(99), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(point->Advise(c.Get(), &cc), S_OK);
    EXPECT_EQ(cc, 1u) << "the freed first slot is taken again";

    // Slot order decides delivery order: c (slot 1) before b (slot 2).
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_I4;
    arg.lVal = 5;
    EXPECT_EQ(FireDispatchEvent(container->m_point.Sinks(), 1, {arg}), S_OK);
    EXPECT_EQ(log, (std::vector<std::string>{"c:1:5", "b:1:5"}));

    ComPtr<CPlainObject> plain = CreateComObject<CPlainObject>();
    plain->Release();
    DWORD cookie = 7;
    EXPECT_EQ(point->Advise(plain.Get(), &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);

    ComPtr<IConnectionPointContainer> back;
    ASSERT_EQ(point->GetConnectionPointContainer(back.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_TRUE(IsSameObject(back.Get(), container.Get()));
}

TEST(ConnectionPoint, DeliveryStopsAtFirstFailingSink)
{
    std::vector<std::string> log;
    CSinkList sinks;
    ComPtr<CRecordingSink> ok1 = CreateComObject<CRecordingSink>(&log, "ok1");
    ok1->Release();
    ComPtr<CRecordingSink> bad = CreateComObject<CRecordingSink>(&log, "bad", E_FAIL);
    bad->Release();
    ComPtr<CRecordingSink> ok2 = CreateComObject<CRecordingSink>(&log, "ok2");
    ok2->Release();
    sinks.Add(static_cast<IEvents*>(ok1.Get()));
    sinks.Add(static_cast<IEvents*>(bad.Get()));
    sinks.Add(static_cast<IEvents*>(ok2.Get()));
    EXPECT_EQ(FireDispatchEvent(sinks, 3), E_FAIL);
    EXPECT_EQ(log, (std::vector<std::string>{"ok1:3", "bad:3"}));
    EXPECT_EQ(sinks.Count(), 3u) << "a failing sink stays advised";
}

TEST(ComObject, QueryInterfaceWalksBaseChainsAndKeepsIdentity)
{
    std::vector<std::string> log;
    ComPtr<CRecordingSink> sink = CreateComObject<CRecordingSink>(&log, "s");
    sink->Release();
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(sink.As(&dispatch), S_OK);
    ComPtr<IEvents> events;
    ASSERT_EQ(sink.As(&events), S_OK);
    ComPtr<IConnectionPoint> none;
    EXPECT_EQ(sink.As(&none), E_NOINTERFACE);
    EXPECT_FALSE(none);
    EXPECT_TRUE(IsSameObject(dispatch.Get(), events.Get()));
    EXPECT_EQ(sink->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

    ComPtr<ITypeInfo> info;
    ASSERT_EQ(CreateGuidTypeInfo(IEvents::Iid, info.ReleaseAndGetAddressOf()), S_OK);
    GUID g;
    ASSERT_EQ(info->GetGuid(&g), S_OK);
    EXPECT_EQ(g, IEvents::Iid);
}
