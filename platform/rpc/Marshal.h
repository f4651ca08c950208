// Handing an interface pointer to another thread of this process.
//
//   Thread A: CoMarshalInterThreadInterfaceInStream(IID_IFoo, foo, &stream);
//             ... pass `stream` to thread B ...
//   Thread B: CoGetInterfaceAndReleaseStream(stream, IID_IFoo, &proxy);
//
// B's calls through the proxy run on A's apartment thread, which must be
// dispatching (a message loop, or waiting in a call of its own). An object
// that offers IAgileObject is handed over as itself, without a proxy.
#pragma once

#include "platform/rpc/Stream.h"

// Marshals `object` as `iid` into a new stream that the caller owns. The
// calling thread must be in an apartment. Releasing the stream without
// unmarshalling it gives the reference back.
HRESULT CoMarshalInterThreadInterfaceInStream(REFIID iid, IUnknown* object, IStream** stream);
// Unmarshals on the calling thread (which must be in an apartment) and
// releases the stream, whatever the result. Each stream unmarshals once.
// RPC_E_DISCONNECTED when the object's apartment has ended.
HRESULT CoGetInterfaceAndReleaseStream(IStream* stream, REFIID iid, void** object);
