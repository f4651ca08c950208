// Declaring an interface once so that it can be called across apartments
// and processes. The declaration lists the interface's methods in slot
// order (after IUnknown's three) with one direction per parameter:
//
//   In          read by the callee
//   Out         written by the callee; travels back when the call succeeds
//   OutAlways   written by the callee; travels back whatever the result
//   InOut       read and written back (DISPPARAMS of Invoke)
//   Unsupported the method is not carried: its proxy answers E_NOTIMPL
//
//   #define WYS_RPC_IFOO_METHODS(X) WYS_RPC_IDISPATCH_METHODS(X) X(GetName, In, Out) X(Reset)
//   WYS_RPC_REMOTE_INTERFACE(IFoo, WYS_RPC_IFOO_METHODS)
//   ... RegisterRemoteInterface(kIFooRemote);
//
// The parameter types come from the interface struct itself and pick their
// codecs (ParamCodec.h); the proxy class and the stub table are derived from
// the list. Every method is a synchronous call with a reply; the only
// one-way message is the release of references. Interface pointers in
// parameters travel as object references and arrive as proxies (or as the
// receiver's own object when it goes back where it came from).
#pragma once

#include <cstdint>

#include "platform/rpc/MethodCodec.h"

namespace wys::rpc {

class CProxyManager;

// Reads the method at `method` of an object's interface from the request,
// calls it and writes the reply (HRESULT and out values).
using StubFunction = void (*)(void* object, CWireReader& request, CWireWriter& reply,
                              CMarshalContext& context);

struct RemoteInterface {
    IID iid;
    const char* name;
    CInterfaceProxy* (*createProxy)(CProxyManager& manager, REFIID iid);
    const StubFunction* stubs;
    std::uint16_t methodCount;
};

// Makes an interface callable across apartments and processes, in this
// process. Call it before the first use, in every process that uses the
// interface; a static initialiser beside the interface is the usual place.
// A later registration of the same identifier replaces an earlier one.
// Thread-safe; returns true so that it can initialise a constant.
bool RegisterRemoteInterface(const RemoteInterface& remote);
// An outgoing dispinterface: IDispatch's proxy and stub under `diid`.
bool RegisterDispInterface(REFIID diid, const char* name);
// Null when the interface cannot be carried.
const RemoteInterface* FindRemoteInterface(REFIID iid);

}  // namespace wys::rpc

#define WYS_RPC_CAT(a, b) WYS_RPC_CAT_I(a, b)
#define WYS_RPC_CAT_I(a, b) a##b
#define WYS_RPC_COUNT(...) WYS_RPC_COUNT_I(__VA_ARGS__ __VA_OPT__(, ) 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0)
#define WYS_RPC_COUNT_I(_1, _2, _3, _4, _5, _6, _7, _8, _9, _10, N, ...) N

#define WYS_RPC_P(m, n) ::wys::rpc::ParamAt<&Remoted::m, n> a##n
#define WYS_RPC_PARAMS_0(m)
#define WYS_RPC_PARAMS_1(m) WYS_RPC_P(m, 0)
#define WYS_RPC_PARAMS_2(m) WYS_RPC_PARAMS_1(m), WYS_RPC_P(m, 1)
#define WYS_RPC_PARAMS_3(m) WYS_RPC_PARAMS_2(m), WYS_RPC_P(m, 2)
#define WYS_RPC_PARAMS_4(m) WYS_RPC_PARAMS_3(m), WYS_RPC_P(m, 3)
#define WYS_RPC_PARAMS_5(m) WYS_RPC_PARAMS_4(m), WYS_RPC_P(m, 4)
#define WYS_RPC_PARAMS_6(m) WYS_RPC_PARAMS_5(m), WYS_RPC_P(m, 5)
#define WYS_RPC_PARAMS_7(m) WYS_RPC_PARAMS_6(m), WYS_RPC_P(m, 6)
#define WYS_RPC_PARAMS_8(m) WYS_RPC_PARAMS_7(m), WYS_RPC_P(m, 7)
#define WYS_RPC_PARAMS_9(m) WYS_RPC_PARAMS_8(m), WYS_RPC_P(m, 8)
#define WYS_RPC_PARAMS_10(m) WYS_RPC_PARAMS_9(m), WYS_RPC_P(m, 9)
#define WYS_RPC_ARGS_0
#define WYS_RPC_ARGS_1 , a0
#define WYS_RPC_ARGS_2 WYS_RPC_ARGS_1, a1
#define WYS_RPC_ARGS_3 WYS_RPC_ARGS_2, a2
#define WYS_RPC_ARGS_4 WYS_RPC_ARGS_3, a3
#define WYS_RPC_ARGS_5 WYS_RPC_ARGS_4, a4
#define WYS_RPC_ARGS_6 WYS_RPC_ARGS_5, a5
#define WYS_RPC_ARGS_7 WYS_RPC_ARGS_6, a6
#define WYS_RPC_ARGS_8 WYS_RPC_ARGS_7, a7
#define WYS_RPC_ARGS_9 WYS_RPC_ARGS_8, a8
#define WYS_RPC_ARGS_10 WYS_RPC_ARGS_9, a9

#define WYS_RPC_SLOT(m, ...) m,
#define WYS_RPC_STUB_ENTRY(m, ...) \
    &::wys::rpc::MethodCodec<&Remoted::m, ::wys::rpc::DirList<__VA_ARGS__>>::template Stub<Remoted>,
#define WYS_RPC_PROXY_METHOD(m, ...)                                                                      \
    HRESULT m(WYS_RPC_CAT(WYS_RPC_PARAMS_, WYS_RPC_COUNT(__VA_ARGS__))(m)) override                       \
    {                                                                                                     \
        return ::wys::rpc::MethodCodec<&Remoted::m, ::wys::rpc::DirList<__VA_ARGS__>>::Proxy(             \
            *this,                                                                                        \
            static_cast<std::uint16_t>(Slots::m) WYS_RPC_CAT(WYS_RPC_ARGS_, WYS_RPC_COUNT(__VA_ARGS__))); \
    }

// Defines the proxy class and stub table of `Interface` from its method list
// and a constant k<Interface>Remote to register. Use at namespace scope.
#define WYS_RPC_REMOTE_INTERFACE(Interface, METHODS)                                                    \
    namespace wys_rpc_remote_##Interface                                                                \
    {                                                                                                   \
        using namespace ::wys::rpc::directions;                                                         \
        using Remoted = Interface;                                                                      \
        enum class Slots : std::uint16_t { METHODS(WYS_RPC_SLOT) kCount };                              \
        class Proxy final : public Remoted, public ::wys::rpc::CInterfaceProxy {                        \
        public:                                                                                         \
            Proxy(::wys::rpc::CProxyManager& manager, REFIID iid) : CInterfaceProxy(manager, iid) {}    \
            IUnknown* Pointer() override { return static_cast<Remoted*>(this); }                        \
            HRESULT QueryInterface(REFIID iid, void** object) override                                  \
            {                                                                                           \
                return OuterQueryInterface(iid, object);                                                \
            }                                                                                           \
            ULONG AddRef() override { return OuterAddRef(); }                                           \
            ULONG Release() override { return OuterRelease(); }                                         \
            METHODS(WYS_RPC_PROXY_METHOD)                                                               \
        };                                                                                              \
        inline constexpr ::wys::rpc::StubFunction kStubs[] = {METHODS(WYS_RPC_STUB_ENTRY)};             \
        inline ::wys::rpc::CInterfaceProxy* CreateProxy(::wys::rpc::CProxyManager& manager, REFIID iid) \
        {                                                                                               \
            return new Proxy(manager, iid);                                                             \
        }                                                                                               \
    }                                                                                                   \
    inline const ::wys::rpc::RemoteInterface k##Interface##Remote{                                      \
        Interface::Iid, #Interface, &wys_rpc_remote_##Interface::CreateProxy,                           \
        wys_rpc_remote_##Interface::kStubs,                                                             \
        static_cast<std::uint16_t>(wys_rpc_remote_##Interface::Slots::kCount)};
