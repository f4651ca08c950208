#include "common/IWYSCDiskUsage.h"
#include "common/IWYSCURLBase.h"

#include "platform/rpc/StandardInterfaces.h"

namespace wys::rpc {

// A record travels as its Time (8 bytes) and its three strings, each kept
// byte for byte (null and empty differ).
template <>
struct InCodec<_URL_DATE_> {
    struct Slot {
        _URL_DATE_ value{0, nullptr, nullptr, nullptr};
        ~Slot() { FreeUrlDate(&value); }
    };
    static void Write(CWireWriter& w, CMarshalContext&, CallState&, const _URL_DATE_& v)
    {
        w.I64(v.Time);
        WriteBstr(w, v.Url);
        WriteBstr(w, v.Path);
        WriteBstr(w, v.Title);
    }
    static void Read(CWireReader& r, CMarshalContext&, CallState&, Slot& s)
    {
        s.value.Time = r.I64();
        s.value.Url = ReadBstr(r);
        s.value.Path = ReadBstr(r);
        s.value.Title = ReadBstr(r);
    }
    static _URL_DATE_ Arg(Slot& s) { return s.value; }
};

template <>
struct OutCodec<_URL_DATE_> {
    using Slot = InCodec<_URL_DATE_>::Slot;
    static _URL_DATE_* Arg(Slot& s) { return &s.value; }
    static void Write(CWireWriter& w, CMarshalContext& c, CallState& st, Slot& s)
    {
        InCodec<_URL_DATE_>::Write(w, c, st, s.value);
    }
    static void Read(CWireReader& r, CMarshalContext& c, CallState& st, _URL_DATE_* target)
    {
        Slot read;
        InCodec<_URL_DATE_>::Read(r, c, st, read);
        *target = read.value;
        read.value = _URL_DATE_{0, nullptr, nullptr, nullptr};  // now the caller's
    }
    static void Fail(_URL_DATE_*) {}
};

}  // namespace wys::rpc

#define WYS_RPC_IWYSCURLBASE_METHODS(X) WYS_RPC_MEMBER_METHODS(WYS_IWYSCURLBASE_MEMBERS, X)
#define WYS_RPC_IWYSCDISKUSAGE_METHODS(X) X(GetDiskUsage, Out, Out)

namespace {
WYS_RPC_REMOTE_INTERFACE(IWYSCURLBase, WYS_RPC_IWYSCURLBASE_METHODS)
WYS_RPC_REMOTE_INTERFACE(IWYSCDiskUsage, WYS_RPC_IWYSCDISKUSAGE_METHODS)
}  // namespace

bool wys::RegisterIWYSCURLBaseRemoting()
{
    static const bool registered =
        wys::rpc::RegisterRemoteInterface(kIWYSCURLBaseRemote) &&
        wys::rpc::RegisterRemoteInterface(kIWYSCDiskUsageRemote) &&
        wys::rpc::RegisterDispInterface(DIID_IWYSCURLBaseEvents, "IWYSCURLBaseEvents");
    return registered;
}
