// How one declared method travels: each parameter's direction applied to
// its codec, for the proxy (write the call, read the reply) and for the stub
// (read the call, invoke, write the reply). Used by RemoteInterface.h.
#pragma once

#include <memory>
#include <tuple>
#include <type_traits>
#include <utility>

#include "platform/com/ComError.h"
#include "platform/rpc/InterfaceProxy.h"
#include "platform/rpc/ObjectCodec.h"

namespace wys::rpc {

namespace directions {
struct In {};
struct Out {};
struct OutAlways {};
struct InOut {};
struct Unsupported {};
}  // namespace directions
using namespace directions;

template <class... D>
struct DirList {
};

template <auto Member>
struct MemberParams;
template <class C, class... P, HRESULT (C::*Member)(P...)>
struct MemberParams<Member> {
    using Tuple = std::tuple<P...>;
};
template <auto Member, std::size_t N>
using ParamAt = std::tuple_element_t<N, typename MemberParams<Member>::Tuple>;

// One direction applied to one parameter type: what the proxy writes and
// reads back, and what the stub reads, passes and answers.
template <class Dir, class P>
struct ParamOps;

template <class P>
struct ParamOps<In, P> {
    using Codec = InCodec<P>;
    using Slot = typename Codec::Slot;
    static constexpr bool kIsIid = std::is_same_v<P, const GUID&>;
    static void Request(CWireWriter& w, CMarshalContext& c, CallState& st, P a) { Codec::Write(w, c, st, a); }
    static void Reply(CWireReader&, CMarshalContext&, CallState& st, P a, bool)
    {
        if constexpr (kIsIid)
            st.lastIid = &a;
    }
    static void Fail(P) {}
    static void Receive(CWireReader& r, CMarshalContext& c, CallState& st, Slot& s)
    {
        Codec::Read(r, c, st, s);
    }
    static P Arg(Slot& s) { return Codec::Arg(s); }
    static void Answer(CWireWriter&, CMarshalContext&, CallState& st, Slot& s, bool)
    {
        if constexpr (kIsIid)
            st.lastIid = &s;
    }
};

template <class T, bool Always>
struct OutOps {
    using Codec = OutCodec<T>;
    struct Slot {
        bool present = false;
        typename Codec::Slot inner;
    };
    static void Request(CWireWriter& w, CMarshalContext&, CallState&, T* a) { w.U8(a ? 1 : 0); }
    static void Reply(CWireReader& r, CMarshalContext& c, CallState& st, T* a, bool ok)
    {
        if (a && (ok || Always))
            Codec::Read(r, c, st, a);
    }
    static void Fail(T* a)
    {
        if constexpr (!Always) {
            if (a)
                Codec::Fail(a);
        }
    }
    static void Receive(CWireReader& r, CMarshalContext&, CallState&, Slot& s)
    {
        std::uint8_t present = r.U8();
        if (present > 1)
            throw CWireError("bad out-parameter marker");
        s.present = present == 1;
    }
    static T* Arg(Slot& s) { return s.present ? Codec::Arg(s.inner) : nullptr; }
    static void Answer(CWireWriter& w, CMarshalContext& c, CallState& st, Slot& s, bool ok)
    {
        if (s.present && (ok || Always))
            Codec::Write(w, c, st, s.inner);
    }
};

template <class T>
struct ParamOps<Out, T*> : OutOps<T, false> {
};
template <class T>
struct ParamOps<OutAlways, T*> : OutOps<T, true> {
};

template <class T>
struct ParamOps<InOut, T*> {
    using Codec = InOutCodec<T>;
    using Slot = typename Codec::Slot;
    static void Request(CWireWriter& w, CMarshalContext& c, CallState& st, T* a)
    {
        Codec::Write(w, c, st, a);
    }
    static void Reply(CWireReader& r, CMarshalContext& c, CallState& st, T* a, bool)
    {
        Codec::ReadBack(r, c, st, a);
    }
    static void Fail(T*) {}
    static void Receive(CWireReader& r, CMarshalContext& c, CallState& st, Slot& s)
    {
        Codec::Read(r, c, st, s);
    }
    static T* Arg(Slot& s) { return Codec::Arg(s); }
    static void Answer(CWireWriter& w, CMarshalContext& c, CallState& st, Slot& s, bool)
    {
        Codec::WriteBack(w, c, st, s);
    }
};

template <auto Member, class Dirs>
struct MethodCodec;

template <class C, class... P, HRESULT (C::*Member)(P...), class... D>
struct MethodCodec<Member, DirList<D...>> {
    static_assert(sizeof...(P) == sizeof...(D), "one direction per parameter");
    static constexpr bool kUnsupported = (std::is_same_v<D, Unsupported> || ...);

    static HRESULT Proxy(CInterfaceProxy& proxy, std::uint16_t method, P... args)
    {
        if constexpr (kUnsupported) {
            return E_NOTIMPL;
        } else {
            auto request = [&](CWireWriter& w, CMarshalContext& c) {
                CallState st;
                (ParamOps<D, P>::Request(w, c, st, args), ...);
            };
            if (proxy.CanPipeline())
                return proxy.InvokePipelined(method, request,
                                             Pipelined(std::tuple<std::decay_t<P>...>(args...)));
            HRESULT hr = proxy.Invoke(
                method, request, [&](CWireReader& r, CMarshalContext& c, [[maybe_unused]] HRESULT result) {
                    CallState st;
                    (ParamOps<D, P>::Reply(r, c, st, args, SUCCEEDED(result)), ...);
                });
            if (FAILED(hr))
                (ParamOps<D, P>::Fail(args), ...);
            return hr;
        }
    }

    template <class I>
    static void Stub(void* object, CWireReader& r, CWireWriter& w, CMarshalContext& c)
    {
        if constexpr (kUnsupported)
            w.I32(E_NOTIMPL);
        else
            Dispatch<I>(static_cast<I*>(object), r, w, c, std::index_sequence_for<P...>{});
    }

private:
    // The reply of a pipelined call, read after the call has returned: from
    // copies of its arguments (pointers still point at the caller's storage;
    // an interface identifier passed by reference is copied).
    using Kept = std::tuple<std::decay_t<P>...>;
    static PipelinedReply Pipelined(Kept kept)
    {
        auto shared = std::make_shared<Kept>(std::move(kept));
        return PipelinedReply{[shared](CWireReader& r, CMarshalContext& c, HRESULT result) {
                                  ReadKept(r, c, SUCCEEDED(result), *shared, std::index_sequence_for<P...>{});
                              },
                              [shared] { FailKept(*shared, std::index_sequence_for<P...>{}); }};
    }
    template <std::size_t... N>
    static void ReadKept([[maybe_unused]] CWireReader& r, [[maybe_unused]] CMarshalContext& c,
                         [[maybe_unused]] bool ok, [[maybe_unused]] Kept& kept, std::index_sequence<N...>)
    {
        [[maybe_unused]] CallState st;
        (ParamOps<D, P>::Reply(r, c, st, std::get<N>(kept), ok), ...);
    }
    template <std::size_t... N>
    static void FailKept([[maybe_unused]] Kept& kept, std::index_sequence<N...>)
    {
        (ParamOps<D, P>::Fail(std::get<N>(kept)), ...);
    }

    template <class I, std::size_t... N>
    static void Dispatch(I* object, CWireReader& r, CWireWriter& w, CMarshalContext& c,
                         std::index_sequence<N...>)
    {
        std::tuple<typename ParamOps<D, P>::Slot...> slots;
        CallState received;
        (ParamOps<D, P>::Receive(r, c, received, std::get<N>(slots)), ...);
        r.ExpectEnd();
        C* target = object;
        HRESULT hr =
            ComBoundary([&] { return (target->*Member)(ParamOps<D, P>::Arg(std::get<N>(slots))...); });
        std::size_t mark = w.Size();
        w.I32(hr);
        try {
            CallState answered;
            (ParamOps<D, P>::Answer(w, c, answered, std::get<N>(slots), SUCCEEDED(hr)), ...);
        } catch (const ComError& e) {
            // An out value that cannot travel fails the call as a whole.
            w.Buffer().resize(mark);
            w.I32(e.Error());
        }
        c.ReplyReady(w);
    }
};

}  // namespace wys::rpc
