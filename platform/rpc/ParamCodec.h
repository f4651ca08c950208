// How each parameter type of a remoted method travels. An interface's
// declaration (RemoteInterface.h) names each parameter's direction; the
// parameter's C++ type picks its codec here:
//
//   InCodec<T>    an [in] parameter of type T
//   OutCodec<T>   an [out] parameter of type T* (T is what it points at)
//   InOutCodec<T> an [in, out] parameter of type T*
//
// A codec has a Slot (the callee side's storage, which owns what was read
// and frees it after the call) and the functions the proxy and the stub call.
// Modules add codecs for their own types by specialising these templates
// (the history record has one beside its interface). Interface pointers and
// the arguments of Invoke have theirs in ObjectCodec.h.
#pragma once

#include <concepts>
#include <type_traits>

#include "platform/com/Dispatch.h"
#include "platform/rpc/ValueCodec.h"

namespace wys::rpc {

// State shared by the codecs of one call, in parameter order: the last
// interface identifier seen, which an untyped interface out (void**) uses.
struct CallState {
    const IID* lastIid = nullptr;
};

template <class T>
struct InCodec;
template <class T>
struct OutCodec;
template <class T>
struct InOutCodec;

template <class T>
concept WireScalar = (std::is_integral_v<T> || std::is_floating_point_v<T>)&&!std::is_same_v<T, bool>;

template <class T>
concept ComInterface = std::is_base_of_v<IUnknown, T>;

template <WireScalar T>
struct InCodec<T> {
    using Slot = T;
    static void Write(CWireWriter& w, CMarshalContext&, CallState&, T v) { w.Bytes(&v, sizeof v); }
    static void Read(CWireReader& r, CMarshalContext&, CallState&, Slot& s)
    {
        std::memcpy(&s, r.Bytes(sizeof s), sizeof s);
    }
    static T Arg(Slot& s) { return s; }
};

template <WireScalar T>
struct OutCodec<T> {
    struct Slot {
        T value{};
    };
    static T* Arg(Slot& s) { return &s.value; }
    static void Write(CWireWriter& w, CMarshalContext&, CallState&, Slot& s)
    {
        w.Bytes(&s.value, sizeof s.value);
    }
    static void Read(CWireReader& r, CMarshalContext&, CallState&, T* target)
    {
        std::memcpy(target, r.Bytes(sizeof *target), sizeof *target);
    }
    static void Fail(T*) {}
};

template <>
struct InCodec<const GUID&> {
    using Slot = GUID;
    static void Write(CWireWriter& w, CMarshalContext&, CallState& st, const GUID& v)
    {
        w.Guid(v);
        st.lastIid = &v;
    }
    static void Read(CWireReader& r, CMarshalContext&, CallState& st, Slot& s)
    {
        s = r.Guid();
        st.lastIid = &s;
    }
    static const GUID& Arg(Slot& s) { return s; }
};

template <>
struct OutCodec<GUID> {
    struct Slot {
        GUID value{};
    };
    static GUID* Arg(Slot& s) { return &s.value; }
    static void Write(CWireWriter& w, CMarshalContext&, CallState&, Slot& s) { w.Guid(s.value); }
    static void Read(CWireReader& r, CMarshalContext&, CallState&, GUID* target) { *target = r.Guid(); }
    static void Fail(GUID*) {}
};

template <>
struct InCodec<BSTR> {
    struct Slot {
        BSTR value = nullptr;
        ~Slot() { SysFreeString(value); }
    };
    static void Write(CWireWriter& w, CMarshalContext&, CallState&, BSTR v) { WriteBstr(w, v); }
    static void Read(CWireReader& r, CMarshalContext&, CallState&, Slot& s) { s.value = ReadBstr(r); }
    static BSTR Arg(Slot& s) { return s.value; }
};

template <>
struct OutCodec<BSTR> {
    struct Slot {
        BSTR value = nullptr;
        ~Slot() { SysFreeString(value); }
    };
    static BSTR* Arg(Slot& s) { return &s.value; }
    static void Write(CWireWriter& w, CMarshalContext&, CallState&, Slot& s) { WriteBstr(w, s.value); }
    static void Read(CWireReader& r, CMarshalContext&, CallState&, BSTR* target) { *target = ReadBstr(r); }
    static void Fail(BSTR*) {}
};

template <>
struct InCodec<VARIANT> {
    struct Slot {
        Slot() { VariantInit(&value); }
        ~Slot() { VariantClear(&value); }
        VARIANT value;
        CByrefStore store;
    };
    static void Write(CWireWriter& w, CMarshalContext& c, CallState&, const VARIANT& v)
    {
        WriteVariant(w, c, v);
    }
    static void Read(CWireReader& r, CMarshalContext& c, CallState&, Slot& s)
    {
        ReadVariant(r, c, &s.value, s.store);
    }
    static VARIANT Arg(Slot& s) { return s.value; }
};

template <>
struct OutCodec<VARIANT> {
    struct Slot {
        Slot() { VariantInit(&value); }
        ~Slot() { VariantClear(&value); }
        VARIANT value;
    };
    static VARIANT* Arg(Slot& s) { return &s.value; }
    static void Write(CWireWriter& w, CMarshalContext& c, CallState&, Slot& s)
    {
        WriteVariant(w, c, s.value);
    }
    static void Read(CWireReader& r, CMarshalContext& c, CallState&, VARIANT* target)
    {
        VARIANT value;
        VariantInit(&value);
        CByrefStore none;  // a result never refers to the callee's storage
        ReadVariant(r, c, &value, none);
        if (value.vt & VT_BYREF)
            throw CWireError("by-reference result");
        *target = value;
    }
    static void Fail(VARIANT*) {}
};

template <>
struct OutCodec<EXCEPINFO> {
    struct Slot {
        EXCEPINFO value{};
        ~Slot() { FreeExcepInfo(&value); }
    };
    static EXCEPINFO* Arg(Slot& s) { return &s.value; }
    static void Write(CWireWriter& w, CMarshalContext&, CallState&, Slot& s) { WriteExcepInfo(w, s.value); }
    static void Read(CWireReader& r, CMarshalContext&, CallState&, EXCEPINFO* target)
    {
        ReadExcepInfo(r, target);
    }
    static void Fail(EXCEPINFO*) {}
};

}  // namespace wys::rpc
