// The base of every generated interface proxy (see RemoteInterface.h).
#pragma once

#include <cstdint>
#include <functional>

#include "platform/rpc/FunctionRef.h"
#include "platform/rpc/MarshalContext.h"

namespace wys::rpc {

class CProxyManager;

using RequestWriter = FunctionRef<void(CWireWriter&, CMarshalContext&)>;
using ReplyReader = FunctionRef<void(CWireReader&, CMarshalContext&, HRESULT)>;

// What becomes of a pipelined call's reply (CallPipeline.h): `read` writes
// the out values when it arrives, `fail` clears them when the call failed.
// Both keep copies of the call's arguments, since the call has returned.
struct PipelinedReply {
    std::function<void(CWireReader&, CMarshalContext&, HRESULT)> read;
    std::function<void()> fail;
};

// Base of every generated interface proxy. A proxy is one interface of a
// remote object; its identity, reference count and connection belong to
// the object's proxy manager.
class CInterfaceProxy {
public:
    CInterfaceProxy(CProxyManager& manager, REFIID iid) : m_manager(manager), m_iid(iid) {}
    virtual ~CInterfaceProxy() = default;
    CInterfaceProxy(const CInterfaceProxy&) = delete;
    CInterfaceProxy& operator=(const CInterfaceProxy&) = delete;

    // This proxy as the interface it stands for.
    virtual IUnknown* Pointer() = 0;
    REFIID Iid() const { return m_iid; }
    CProxyManager& Manager() { return m_manager; }

    // Sends one call of method `method` and waits for its reply, dispatching
    // incoming calls meanwhile. `reply` runs only when a reply came; the
    // result is the callee's HRESULT or the transport's failure.
    HRESULT Invoke(std::uint16_t method, RequestWriter request, ReplyReader reply);
    // Whether a call now would be pipelined: a pipeline's Begin is running on
    // this thread, nothing in it has called yet, and this thread owns the
    // proxy's connection.
    bool CanPipeline();
    // Sends the call as the opening pipelined call and returns without
    // waiting; the pipeline's Finish delivers the result.
    HRESULT InvokePipelined(std::uint16_t method, RequestWriter request, PipelinedReply reply);

protected:
    HRESULT OuterQueryInterface(REFIID iid, void** object);
    ULONG OuterAddRef();
    ULONG OuterRelease();

private:
    CProxyManager& m_manager;
    IID m_iid;
};

}  // namespace wys::rpc
