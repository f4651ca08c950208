// Codecs of the parameters that carry objects: interface pointers (typed,
// and void** typed by the REFIID before it) and the arguments of
// IDispatch::Invoke. See ParamCodec.h.
#pragma once

#include <utility>
#include <vector>

#include "platform/rpc/ParamCodec.h"

namespace wys::rpc {

// An interface pointer passed in: the callee gets a proxy (or its own
// object back) for the length of the call and AddRefs it to keep it.
template <ComInterface I>
struct InCodec<I*> {
    struct Slot {
        I* value = nullptr;
        ~Slot()
        {
            if (value)
                value->Release();
        }
    };
    static void Write(CWireWriter& w, CMarshalContext& c, CallState&, I* v)
    {
        c.WriteInterface(w, v, I::Iid);
    }
    static void Read(CWireReader& r, CMarshalContext& c, CallState&, Slot& s)
    {
        s.value = static_cast<I*>(c.ReadInterface(r, I::Iid));
    }
    static I* Arg(Slot& s) { return s.value; }
};

// An interface pointer returned; null after any failure.
template <ComInterface I>
struct OutCodec<I*> {
    struct Slot {
        I* value = nullptr;
        ~Slot()
        {
            if (value)
                value->Release();
        }
    };
    static I** Arg(Slot& s) { return &s.value; }
    static void Write(CWireWriter& w, CMarshalContext& c, CallState&, Slot& s)
    {
        c.WriteInterface(w, s.value, I::Iid);
    }
    static void Read(CWireReader& r, CMarshalContext& c, CallState&, I** target)
    {
        *target = static_cast<I*>(c.ReadInterface(r, I::Iid));
    }
    static void Fail(I** target) { *target = nullptr; }
};

// void**: an interface pointer of the type named by the nearest REFIID
// parameter before it, as in QueryInterface and CreateInstance.
template <>
struct OutCodec<void*> {
    struct Slot {
        void* value = nullptr;
        ~Slot()
        {
            if (value)
                static_cast<IUnknown*>(value)->Release();
        }
    };
    static void** Arg(Slot& s) { return &s.value; }
    static void Write(CWireWriter& w, CMarshalContext& c, CallState& st, Slot& s)
    {
        c.WriteInterface(w, static_cast<IUnknown*>(s.value), *st.lastIid);
    }
    static void Read(CWireReader& r, CMarshalContext& c, CallState& st, void** target)
    {
        *target = c.ReadInterface(r, *st.lastIid);
    }
    static void Fail(void** target) { *target = nullptr; }
};

// The arguments of IDispatch::Invoke. By-reference arguments are written
// back to the caller's storage after the call.
template <>
struct InOutCodec<DISPPARAMS> {
    struct Slot {
        Slot() = default;
        Slot(const Slot&) = delete;
        ~Slot();
        bool present = false;
        DISPPARAMS params{};
        std::vector<VARIANT> args;
        std::vector<DISPID> named;
        std::vector<std::pair<UINT, VARIANT>> references;  // index, original by-reference value
        CByrefStore store;
    };
    static void Write(CWireWriter& w, CMarshalContext& c, CallState&, DISPPARAMS* p);
    static void Read(CWireReader& r, CMarshalContext& c, CallState&, Slot& s);
    static DISPPARAMS* Arg(Slot& s) { return s.present ? &s.params : nullptr; }
    static void WriteBack(CWireWriter& w, CMarshalContext& c, CallState&, Slot& s);
    static void ReadBack(CWireReader& r, CMarshalContext& c, CallState&, DISPPARAMS* p);
};

}  // namespace wys::rpc
