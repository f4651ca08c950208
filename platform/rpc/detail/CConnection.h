// One end of a connection between two apartments, in two processes (a Unix
// stream socket to a local server) or in this one (a socket pair between
// two apartments). Private to the runtime.
//
// A connection carries calls in both directions. It keeps the objects this
// side exported to the peer (with the references the peer holds on each),
// the proxies this side holds on the peer's objects, the calls waiting for
// their replies, and what the peer set up that must be undone if it goes
// away (advised sinks, server locks). Everything runs on the owning
// apartment's thread. Closing it fails the waiting calls with
// RPC_E_DISCONNECTED, unadvises the peer's sinks, gives back its server
// locks and releases every object the peer held. (A peer that holds none of
// this side's objects any more is no longer tracked for its sinks.)
//
// Pipelined calls (CallPipeline.h) travel as ordered calls: this side sends
// them without waiting, the peer starts each only when no call of this
// connection is running there, and keeps those that must wait (with the
// releases behind them) in arrival order. A call made while ordered calls are
// in flight, other than from inside one of the peer's calls, is ordered too.
// A side that waits for no reply from its peer stops taking its calls while
// more than kMaxUnsentReplyBytes of replies wait to be sent.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/rpc/RemoteInterface.h"
#include "platform/rpc/detail/CApartment.h"
#include "platform/rpc/detail/ExportTable.h"
#include "platform/rpc/detail/Frame.h"
#include "platform/rpc/detail/PendingCall.h"

namespace wys::rpc {

class CProxyManager;

class CConnection final : public CEventSource,
                          public CMarshalContext,
                          public std::enable_shared_from_this<CConnection> {
public:
    // Dialed connections close themselves once nothing travels on them.
    enum class Origin { Dialed, Accepted };
    // Raw pointers to free-threaded objects may cross only inside a process.
    enum class Scope { OtherProcess, ThisProcess };

    CConnection(std::shared_ptr<CApartment> apartment, CFd fd, Origin origin, Scope scope, std::string key);
    ~CConnection() override;

    const std::string& Key() const { return m_key; }
    bool IsOpen() const { return !m_closed; }
    CApartment& Apartment() { return *m_apartment; }
    Scope GetScope() const { return m_scope; }

    int Fd() const override { return m_fd.Get(); }
    void OnEvents(std::uint32_t events) override;

    // Calls method `method` of interface `iid` on the peer's object and waits
    // for the reply, dispatching incoming calls meanwhile.
    HRESULT Call(std::uint64_t objectId, REFIID iid, std::uint16_t method, RequestWriter request,
                 ReplyReader reply);
    // Sends a pipelined call and returns without waiting. `pending` belongs
    // to the caller and must stay until it is done: the reply or the loss of
    // the connection marks it. Waits, dispatching, while the connection
    // carries its bound of ordered calls. The result tells whether the call
    // went out.
    HRESULT CallPipelined(std::uint64_t objectId, REFIID iid, std::uint16_t method, RequestWriter request,
                          PendingCall* pending);
    // The root calls of the peer's apartment.
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object)
    {
        return CallRoot(RootMethod::GetClassObject, clsid, 0, iid, object);
    }
    HRESULT TakeStreamObject(std::uint64_t token, REFIID iid, void** object)
    {
        return CallRoot(RootMethod::TakeStreamObject, GUID_NULL, token, iid, object);
    }

    // A proxy manager is gone; `references` of the peer's object go back.
    void ForgetImport(std::uint64_t objectId, CProxyManager* manager, std::uint32_t references);
    void Close();

    void WriteInterface(CWireWriter& writer, IUnknown* object, REFIID iid) override;
    void* ReadInterface(CWireReader& reader, REFIID iid) override;
    void ReplyReady(CWireWriter& reply) override;
    void PeerAdvised(IConnectionPoint* point, DWORD cookie) override;
    void PeerUnadvised(IConnectionPoint* point, DWORD cookie) override;
    void PeerLockedServer(IClassFactory* factory, BOOL lock) override;

private:
    HRESULT SendCall(std::uint64_t objectId, REFIID iid, std::uint16_t method, RequestWriter request,
                     PendingCall* pending, bool pipelined);
    HRESULT CallRoot(RootMethod method, const GUID& clsid, std::uint64_t token, REFIID iid, void** object);
    void Send(CWireWriter& frame);
    void Flush();
    void ReadAvailable();
    void HandleFrame(CFrame&& frame);
    void HandleCall(const CFrame& frame);
    void HandleRelease(const CFrame& frame);
    void Postpone(CFrame&& frame);
    void RunPostponed();
    void Answered(PendingCall* pending);
    bool Throttled() const;
    void PauseReading();
    void ResumeReading();
    void DispatchRoot(std::uint16_t method, CWireReader& request, CWireWriter& reply);
    void DispatchObject(const CFrame& frame, CWireReader& request, CWireWriter& reply);
    void CloseIfIdle();

    std::shared_ptr<CApartment> m_apartment;
    CFd m_fd;
    Origin m_origin;
    Scope m_scope;
    std::string m_key;
    bool m_closed = false;

    CFrameSplitter m_splitter;
    std::vector<std::uint8_t> m_readBuffer;
    std::vector<std::uint8_t> m_outgoing;
    std::size_t m_outgoingSent = 0;
    bool m_wantWrite = false;  // watching for room to send the rest

    bool m_readingPaused = false;

    std::uint32_t m_nextCallId = 1;
    std::unordered_map<std::uint32_t, PendingCall*> m_pending;
    // Ordered calls this side has in flight, and their request bytes.
    std::size_t m_orderedInFlight = 0;
    std::size_t m_orderedBytes = 0;
    // Calls of the peer's that this side is carrying out (nested ones too).
    int m_callsRunning = 0;
    // The peer's ordered calls and releases that wait for those to end.
    std::deque<CFrame> m_postponed;
    std::size_t m_postponedCalls = 0;
    std::size_t m_postponedBytes = 0;
    bool m_runningPostponed = false;

    CExportTable m_exports;
    std::unordered_map<std::uint64_t, CProxyManager*> m_imports;

    std::vector<std::pair<ComPtr<IConnectionPoint>, DWORD>> m_peerSinks;
    std::vector<ComPtr<IClassFactory>> m_peerLocks;
};

}  // namespace wys::rpc
