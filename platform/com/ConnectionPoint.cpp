#include "platform/com/ConnectionPoint.h"

#include <algorithm>
#include <utility>

DWORD CSinkList::Add(IUnknown* sink)
{
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        if (!m_slots[i]) {
            m_slots[i] = sink;
            return static_cast<DWORD>(i + 1);
        }
    }
    m_slots.emplace_back(sink);
    return static_cast<DWORD>(m_slots.size());
}

HRESULT CSinkList::Remove(DWORD cookie)
{
    if (cookie == 0 || cookie > m_slots.size() || !m_slots[cookie - 1])
        return CONNECT_E_NOCONNECTION;
    // Move the reference out before releasing it: the release may re-enter.
    ComPtr<IUnknown> gone = std::move(m_slots[cookie - 1]);
    m_slots[cookie - 1] = nullptr;
    return S_OK;
}

std::vector<ComPtr<IUnknown>> CSinkList::Snapshot() const
{
    std::vector<ComPtr<IUnknown>> sinks;
    sinks.reserve(m_slots.size());
    for (const auto& slot : m_slots) {
        if (slot)
            sinks.push_back(slot);
    }
    return sinks;
}

std::size_t CSinkList::Count() const
{
    std::size_t n = 0;
    for (const auto& slot : m_slots)
        n += slot ? 1 : 0;
    return n;
}

bool CSinkList::Contains(IUnknown* sink) const
{
    return std::any_of(m_slots.begin(), m_slots.end(),
                       [&](const ComPtr<IUnknown>& slot) { return slot.Get() == sink; });
}

HRESULT CConnectionPoint::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IConnectionPoint::Iid) {
        *object = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT CConnectionPoint::GetConnectionInterface(IID* iid)
{
    if (!iid)
        return E_POINTER;
    *iid = m_iid;
    return S_OK;
}

HRESULT CConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container)
{
    if (!container)
        return E_POINTER;
    *container = m_container;
    m_container->AddRef();
    return S_OK;
}

HRESULT CConnectionPoint::Advise(IUnknown* sink, DWORD* cookie)
{
    if (!sink || !cookie)
        return E_POINTER;
    *cookie = 0;
    ComPtr<IUnknown> typed;
    if (FAILED(sink->QueryInterface(m_iid, typed.PutVoid())) || !typed)
        return CONNECT_E_CANNOTCONNECT;
    *cookie = m_sinks.Add(typed.Get());
    return S_OK;
}

HRESULT CConnectionPoint::Unadvise(DWORD cookie)
{
    return m_sinks.Remove(cookie);
}

HRESULT InvokeEventSink(IUnknown* sink, DISPID dispid, const std::vector<VARIANT>& args)
{
    std::vector<VARIANT> call(args.rbegin(),
                              args.rend());  // Invoke takes them last first, and may change them
    DISPPARAMS params{call.empty() ? nullptr : call.data(), nullptr, static_cast<UINT>(call.size()), 0};
    // Sinks were stored as the outgoing dispinterface, which derives from IDispatch.
    auto* dispatch = static_cast<IDispatch*>(sink);
    return dispatch->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                            nullptr);
}

bool IsSinkGone(HRESULT hr)
{
    return hr == RPC_E_DISCONNECTED || hr == RPC_E_SERVER_DIED || hr == CO_E_OBJNOTCONNECTED;
}

HRESULT FireDispatchEvent(const CSinkList& sinks, DISPID dispid, std::initializer_list<VARIANT> args)
{
    const std::vector<VARIANT> arguments(args);
    for (const ComPtr<IUnknown>& sink : sinks.Snapshot()) {
        // The calls before this one may have let other calls in, among them
        // this sink's Unadvise: its client may be gone by now.
        if (!sinks.Contains(sink.Get()))
            continue;
        HRESULT hr = InvokeEventSink(sink.Get(), dispid, arguments);
        if (FAILED(hr) && !IsSinkGone(hr))
            return hr;  // a gone sink's connection takes its advice along
    }
    return S_OK;
}

HRESULT FindConnectionPointOf(IUnknown* source, REFIID events, IConnectionPoint** point)
{
    if (!point)
        return E_POINTER;
    *point = nullptr;
    ComPtr<IConnectionPointContainer> container;
    HRESULT hr = source->QueryInterface(IConnectionPointContainer::Iid, container.PutVoid());
    if (FAILED(hr))
        return hr;
    return container->FindConnectionPoint(events, point);
}

HRESULT CAdvisedConnection::Advise(IUnknown* source, REFIID events, IUnknown* sink)
{
    Unadvise();
    ComPtr<IConnectionPoint> point;
    const HRESULT hr = FindConnectionPointOf(source, events, point.GetAddressOf());
    return FAILED(hr) ? hr : AdviseOn(std::move(point), sink);
}

HRESULT CAdvisedConnection::Advise(IConnectionPointContainer* container, REFIID events, IUnknown* sink)
{
    Unadvise();
    ComPtr<IConnectionPoint> point;
    const HRESULT hr = container->FindConnectionPoint(events, point.GetAddressOf());
    return FAILED(hr) ? hr : AdviseOn(std::move(point), sink);
}

HRESULT CAdvisedConnection::AdviseOn(ComPtr<IConnectionPoint> point, IUnknown* sink)
{
    DWORD cookie = 0;
    const HRESULT hr = point->Advise(sink, &cookie);
    if (SUCCEEDED(hr)) {
        m_point = std::move(point);
        m_cookie = cookie;
    }
    return hr;
}

void CAdvisedConnection::Unadvise()
{
    if (const DWORD cookie = std::exchange(m_cookie, 0))
        m_point->Unadvise(cookie);
    m_point = nullptr;
}
