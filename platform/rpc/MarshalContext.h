// What the codecs of a call need from the connection that carries it: a way
// to pass interface pointers as object references.
#pragma once

#include "platform/com/Dispatch.h"
#include "platform/rpc/WireReader.h"
#include "platform/rpc/WireWriter.h"

namespace wys::rpc {

class CMarshalContext {
public:
    // Writes a reference through which the peer can call `object` as
    // interface `iid` (null allowed). Throws ComError (E_NOINTERFACE) when
    // the object does not offer iid or the interface cannot be carried.
    virtual void WriteInterface(CWireWriter& writer, IUnknown* object, REFIID iid) = 0;
    // Reads a reference written by the peer's WriteInterface for `iid`. The
    // result is a pointer to interface iid with a reference the caller owns
    // (null for a null reference). Throws CWireError for a malformed
    // reference or one to an object that does not exist.
    virtual void* ReadInterface(CWireReader& reader, REFIID iid) = 0;

    // The stub has written its reply (HRESULT and out values) and is about
    // to release what it received: the reply must leave first, so that the
    // peer sees references in it before the releases of the call's inputs.
    virtual void ReplyReady(CWireWriter&) {}

    // What a peer sets up through a call and must give back when it is lost:
    // an advised sink and a server lock. The stubs of Advise, Unadvise and
    // LockServer report them; a connection undoes the rest when it closes.
    virtual void PeerAdvised(IConnectionPoint*, DWORD) {}
    virtual void PeerUnadvised(IConnectionPoint*, DWORD) {}
    virtual void PeerLockedServer(IClassFactory*, BOOL) {}

protected:
    ~CMarshalContext() = default;
};

}  // namespace wys::rpc
