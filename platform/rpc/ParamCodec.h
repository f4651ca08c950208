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
// (the history record has one beside its interface).
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
concept WireScalar = (std::is_integral_v<T> || std::is_floating_point_v<T>) && !std::is_same_v<T, bool>;

template <class T>
concept ComInterface = std::is_base_of_v<IUnknown, T>;

template <WireScalar T>
struct InCodec<T> {
    using Slot = T;
    static void Write(CWireWriter& w, CMarshalContext&, CallState&, T v) { w.Bytes(&v, sizeof v); }
    static void Read(CWireReader& r, CMarshalContext&, CallState&, Slot& s) { std::memcpy(&s, r.Bytes(sizeof s), sizeof s); }
    static T Arg(Slot& s) { return s; }
};

template <WireScalar T>
struct OutCodec<T> {
    struct Slot {
        T value{};
    };
    static T* Arg(Slot& s) { return &s.value; }
    static void Write(CWireWriter& w, CMarshalContext&, CallState&, Slot& s) { w.Bytes(&s.value, sizeof s.value); }
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
    static void Write(CWireWriter& w, CMarshalContext& c, CallState&, const VARIANT& v) { WriteVariant(w, c, v); }
    static void Read(CWireReader& r, CMarshalContext& c, CallState&, Slot& s) { ReadVariant(r, c, &s.value, s.store); }
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
    static void Write(CWireWriter& w, CMarshalContext& c, CallState&, Slot& s) { WriteVariant(w, c, s.value); }
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
    static void Read(CWireReader& r, CMarshalContext&, CallState&, EXCEPINFO* target) { ReadExcepInfo(r, target); }
    static void Fail(EXCEPINFO*) {}
};

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
    static void Write(CWireWriter& w, CMarshalContext& c, CallState&, I* v) { c.WriteInterface(w, v, I::Iid); }
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
    static void Write(CWireWriter& w, CMarshalContext& c, CallState&, Slot& s) { c.WriteInterface(w, s.value, I::Iid); }
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
