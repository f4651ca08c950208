// A connection point with a reusable list of sinks, and the client's side:
// a sink advised on another object's connection point.
#pragma once

#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"

// Slots of advised sinks. Cookie n names slot n - 1; a freed slot is taken by
// the next Add, so cookies are reused.
class CSinkList {
public:
    // The cookie of the slot the sink was put into.
    DWORD Add(IUnknown* sink);
    // CONNECT_E_NOCONNECTION when the cookie names no advised sink.
    HRESULT Remove(DWORD cookie);
    // The advised sinks in slot order, each with its own reference, so that
    // delivery can go on while sinks advise or unadvise.
    std::vector<ComPtr<IUnknown>> Snapshot() const;
    std::size_t Count() const;
    // Whether `sink` (as stored by Add) is advised now.
    bool Contains(IUnknown* sink) const;
    void Clear() { m_slots.clear(); }

private:
    std::vector<ComPtr<IUnknown>> m_slots;
};

// IConnectionPoint for one outgoing interface of a container object. The
// connection point is a part of its container: its references count on the
// container, which must outlive every use of it.
class CConnectionPoint final : public IConnectionPoint {
public:
    CConnectionPoint(IConnectionPointContainer* container, REFIID iid) : m_container(container), m_iid(iid) {}

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override { return m_container->AddRef(); }
    ULONG Release() override { return m_container->Release(); }

    HRESULT GetConnectionInterface(IID* iid) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override;
    // The sink is asked for the outgoing interface; CONNECT_E_CANNOTCONNECT
    // when it does not offer it.
    HRESULT Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT Unadvise(DWORD cookie) override;

    REFIID Interface() const { return m_iid; }
    const CSinkList& Sinks() const { return m_sinks; }
    void DisconnectAll() { m_sinks.Clear(); }

private:
    IConnectionPointContainer* m_container;  // Owner; outlives this object.
    IID m_iid;
    CSinkList m_sinks;
};

// Calls Invoke with `dispid` and the given arguments (first argument first)
// on each sink in slot order. Delivery stops at the first sink whose Invoke
// fails; that sink's result is returned, S_OK when all succeeded. A sink
// that is gone is no sink that fails: one unadvised while the sinks before
// it were called is passed over, and so is one whose call fails because its
// connection was lost (IsSinkGone), so that a client leaving never keeps the
// event from the living ones after it.
HRESULT FireDispatchEvent(const CSinkList& sinks, DISPID dispid, std::initializer_list<VARIANT> args = {});

// Calls Invoke with `dispid` and `args` (first argument first) on one sink
// as stored in a CSinkList (its outgoing dispinterface).
HRESULT InvokeEventSink(IUnknown* sink, DISPID dispid, const std::vector<VARIANT>& args);

// Whether a sink's result says that the sink is not there any more (its
// connection was lost) rather than that it failed.
bool IsSinkGone(HRESULT hr);

// The source's connection point for the outgoing interface `events`: the
// result of the QueryInterface for IConnectionPointContainer when that fails,
// else FindConnectionPoint's.
HRESULT FindConnectionPointOf(IUnknown* source, REFIID events, IConnectionPoint** point);

// A sink advised on a source's connection point, unadvised by Unadvise or at
// the latest when the holder goes. The connection point is kept while the
// sink is advised, so that unadvising asks the source nothing more.
class CAdvisedConnection {
public:
    CAdvisedConnection() = default;
    ~CAdvisedConnection() { Unadvise(); }
    CAdvisedConnection(const CAdvisedConnection&) = delete;
    CAdvisedConnection& operator=(const CAdvisedConnection&) = delete;

    // Unadvises what is held, then advises `sink` on the connection point of
    // `source` (or of `container`) for `events`. The result is that of the
    // first step that failed, S_OK when advised; on failure nothing is held.
    HRESULT Advise(IUnknown* source, REFIID events, IUnknown* sink);
    HRESULT Advise(IConnectionPointContainer* container, REFIID events, IUnknown* sink);
    // Unadvise's own result is not looked at: a source that has gone (its
    // process ended) has dropped the sink already.
    void Unadvise();
    bool IsAdvised() const { return m_cookie != 0; }

private:
    HRESULT AdviseOn(ComPtr<IConnectionPoint> point, IUnknown* sink);

    ComPtr<IConnectionPoint> m_point;
    DWORD m_cookie = 0;
};
