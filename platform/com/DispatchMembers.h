// Declaring the members of a dispatch interface once. An interface's member
// list is a macro that calls X once per automation member, in slot order,
// passing its own extra arguments first:
//
//   #define IFOO_MEMBERS(X, ...)  (each line but the last ending in a backslash)
//       X(__VA_ARGS__, Method, Open, 1, (In, BSTR, path), (Out, ULONG*, handle))
//       X(__VA_ARGS__, PropGet, Count, 2, ULONG, count)
//       X(__VA_ARGS__, Prop, Name, 3, BSTR, name)
//
//   Method   one slot, Open(BSTR path, ULONG* handle); each parameter is
//            (direction, C++ type, name), the direction In or Out
//   PropGet  one slot, get_Count(ULONG* count)
//   Prop     two slots, get_Name(BSTR* name) then put_Name(BSTR name)
//
// The automation name is the member's name; the number its DISPID. From the
// list come the pure virtual slots (WYS_COM_DECLARE_MEMBERS), the DISPID
// enumerators DISPID_<name> (WYS_COM_DISPIDS), overrides that all answer one
// result (WYS_COM_DEFAULT_MEMBERS), the table of the late-bound path
// (WYS_COM_DISPATCH_MEMBERS, for LookUpMemberNames and InvokeMember below)
// and, in platform/rpc, the remoting list (WYS_RPC_MEMBER_METHODS). Comments
// inside a list are /* */ ones: a // comment would swallow the rest.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "platform/com/ComError.h"
#include "platform/com/Dispatch.h"

#define WYS_COM_CAT(a, b) WYS_COM_CAT_I(a, b)
#define WYS_COM_CAT_I(a, b) a##b
#define WYS_COM_COUNT(...) WYS_COM_COUNT_I(__VA_ARGS__ __VA_OPT__(, ) 8, 7, 6, 5, 4, 3, 2, 1, 0)
#define WYS_COM_COUNT_I(_1, _2, _3, _4, _5, _6, _7, _8, N, ...) N

// F applied to each parenthesised parameter, the results separated by commas.
#define WYS_COM_MAP(F, ...) WYS_COM_CAT(WYS_COM_MAP_, WYS_COM_COUNT(__VA_ARGS__))(F, __VA_ARGS__)
#define WYS_COM_MAP_0(F, ...)
#define WYS_COM_MAP_1(F, p) F p
#define WYS_COM_MAP_2(F, p, ...) F p, WYS_COM_MAP_1(F, __VA_ARGS__)
#define WYS_COM_MAP_3(F, p, ...) F p, WYS_COM_MAP_2(F, __VA_ARGS__)
#define WYS_COM_MAP_4(F, p, ...) F p, WYS_COM_MAP_3(F, __VA_ARGS__)
#define WYS_COM_MAP_5(F, p, ...) F p, WYS_COM_MAP_4(F, __VA_ARGS__)
#define WYS_COM_MAP_6(F, p, ...) F p, WYS_COM_MAP_5(F, __VA_ARGS__)
#define WYS_COM_MAP_7(F, p, ...) F p, WYS_COM_MAP_6(F, __VA_ARGS__)
#define WYS_COM_MAP_8(F, p, ...) F p, WYS_COM_MAP_7(F, __VA_ARGS__)

#define WYS_COM_PARAM_DECL(dir, type, name) type name
#define WYS_COM_PARAM_TYPE(dir, type, name) type
#define WYS_COM_PARAM_DIR(dir, type, name) dir
#define WYS_COM_PARAM_DISPATCH_DIR(dir, type, name) ::wys::dispatch::dir

// The slots, as pure virtual functions.
#define WYS_COM_DECLARE_MEMBERS(LIST) LIST(WYS_COM_PURE_MEMBER)
#define WYS_COM_PURE_MEMBER(unused, kind, name, id, ...) WYS_COM_PURE_##kind(name, __VA_ARGS__)
#define WYS_COM_PURE_Method(name, ...) virtual HRESULT name(WYS_COM_MAP(WYS_COM_PARAM_DECL, __VA_ARGS__)) = 0;
#define WYS_COM_PURE_PropGet(name, type, param) virtual HRESULT get_##name(type* param) = 0;
#define WYS_COM_PURE_Prop(name, type, param) \
    WYS_COM_PURE_PropGet(name, type, param) virtual HRESULT put_##name(type param) = 0;

// Overrides of every slot that all answer `result`.
#define WYS_COM_DEFAULT_MEMBERS(LIST, result) LIST(WYS_COM_DEFAULT_MEMBER, result)
#define WYS_COM_DEFAULT_MEMBER(result, kind, name, id, ...) WYS_COM_DEFAULT_##kind(result, name, __VA_ARGS__)
#define WYS_COM_DEFAULT_Method(result, name, ...)                       \
    HRESULT name(WYS_COM_MAP(WYS_COM_PARAM_TYPE, __VA_ARGS__)) override \
    {                                                                   \
        return result;                                                  \
    }
#define WYS_COM_DEFAULT_PropGet(result, name, type, param) \
    HRESULT get_##name(type*) override                     \
    {                                                      \
        return result;                                     \
    }
#define WYS_COM_DEFAULT_Prop(result, name, type, param)                                  \
    WYS_COM_DEFAULT_PropGet(result, name, type, param) HRESULT put_##name(type) override \
    {                                                                                    \
        return result;                                                                   \
    }

// The enumerators DISPID_<name> = id, each followed by a comma.
#define WYS_COM_DISPIDS(LIST) LIST(WYS_COM_DISPID)
#define WYS_COM_DISPID(unused, kind, name, id, ...) DISPID_##name = id,

// The initialisers of a `const wys::dispatch::Member<Interface> table[]`.
#define WYS_COM_DISPATCH_MEMBERS(Interface, LIST) LIST(WYS_COM_DISPATCH_MEMBER, Interface)
#define WYS_COM_DISPATCH_MEMBER(I, kind, name, id, ...) WYS_COM_DISPATCH_##kind(I, name, id, __VA_ARGS__)
#define WYS_COM_DISPATCH_Method(I, name, id, ...)                                                        \
    ::wys::dispatch::MethodMember<                                                                       \
        I, &I::name, ::wys::dispatch::Dirs<WYS_COM_MAP(WYS_COM_PARAM_DISPATCH_DIR, __VA_ARGS__)>>(#name, \
                                                                                                  id),
#define WYS_COM_DISPATCH_PropGet(I, name, id, type, param) \
    ::wys::dispatch::PropertyMember<I, &I::get_##name, nullptr>(#name, id),
#define WYS_COM_DISPATCH_Prop(I, name, id, type, param) \
    ::wys::dispatch::PropertyMember<I, &I::get_##name, &I::put_##name>(#name, id),

namespace wys::dispatch {

// Parameter directions.
struct In;
struct Out;
template <class... D>
struct Dirs {
};

// The arguments of one late-bound call, converted one by one. A conversion
// that fails names the argument in *argError and ends the call with
// DISP_E_TYPEMISMATCH.
class Arguments {
public:
    Arguments(DISPPARAMS* params, UINT* argError) : m_params(params), m_argError(argError) {}

    UINT Count() const { return m_params ? m_params->cArgs : 0; }
    void Need(UINT count) const
    {
        if (Count() != count)
            throw ComError(DISP_E_BADPARAMCOUNT);
    }
    // The n-th argument as written in the call, converted to `type`.
    CComVariant As(UINT n, VARTYPE type) const
    {
        CComVariant value;
        HRESULT hr = VariantCopyInd(&value, &Raw(n));
        if (SUCCEEDED(hr) && value.vt != type)
            hr = VariantChangeType(&value, &value, 0, type);
        if (FAILED(hr)) {
            if (m_argError)
                *m_argError = m_params->cArgs - 1 - n;
            throw ComError(DISP_E_TYPEMISMATCH);
        }
        return value;
    }
    // A string; an empty, null or missing (VT_ERROR) argument is the null string.
    CComBSTR String(UINT n) const
    {
        VARTYPE type = Raw(n).vt & ~VT_BYREF;
        if (type == VT_EMPTY || type == VT_NULL || type == VT_ERROR)
            return CComBSTR();
        CComVariant value = As(n, VT_BSTR);
        CComBSTR text;
        text.Attach(value.bstrVal);
        value.vt = VT_EMPTY;
        return text;
    }
    const VARIANT& Raw(UINT n) const { return *DispArg(m_params, n); }

private:
    DISPPARAMS* m_params;
    UINT* m_argError;
};

// The VARIANT form of a parameter type: its VARTYPE and its field. A type
// without one (kForm false) makes its member uncallable late-bound.
template <class T>
struct Form {
    static constexpr bool kForm = false;
};
#define WYS_COM_DISPATCH_FORM(T, type, field)        \
    template <>                                      \
    struct Form<T> {                                 \
        static constexpr bool kForm = true;          \
        static constexpr VARTYPE kType = type;       \
        static T& Of(VARIANT& v) { return v.field; } \
    };
WYS_COM_DISPATCH_FORM(LONGLONG, VT_I8, llVal)
WYS_COM_DISPATCH_FORM(ULONG, VT_UI4, ulVal)
WYS_COM_DISPATCH_FORM(LONG, VT_I4, lVal)
WYS_COM_DISPATCH_FORM(VARIANT_BOOL, VT_BOOL, boolVal)
WYS_COM_DISPATCH_FORM(BSTR, VT_BSTR, bstrVal)
#undef WYS_COM_DISPATCH_FORM
template <>
struct Form<VARIANT> {
    static constexpr bool kForm = true;
};

// A parameter's value for the length of the call: taken from its argument
// (In), or given as the call's result (Out), whatever the call returned.
template <class D, class T>
struct Slot {
    static constexpr bool kForm = Form<T>::kForm;
    T value{};
    void Fill(const Arguments& args, UINT n)
    {
        CComVariant converted = args.As(n, Form<T>::kType);
        value = Form<T>::Of(converted);
    }
    T Pass() const { return value; }
    void Give(VARIANT*) {}
};
template <>
struct Slot<In, BSTR> {
    static constexpr bool kForm = true;
    CComBSTR value;
    void Fill(const Arguments& args, UINT n) { value = args.String(n); }
    BSTR Pass() const { return value; }
    void Give(VARIANT*) {}
};
// Passed as given: the callee reads it and copies what it keeps.
template <>
struct Slot<In, VARIANT> {
    static constexpr bool kForm = true;
    const VARIANT* value = nullptr;
    void Fill(const Arguments& args, UINT n) { value = &args.Raw(n); }
    VARIANT Pass() const { return *value; }
    void Give(VARIANT*) {}
};
template <class T>
struct Slot<Out, T*> {
    static constexpr bool kForm = Form<T>::kForm;
    CComVariant value;
    Slot()
    {
        if constexpr (!std::is_same_v<T, VARIANT>)
            value.vt = Form<T>::kType;
    }
    void Fill(const Arguments&, UINT) {}
    T* Pass()
    {
        if constexpr (std::is_same_v<T, VARIANT>)
            return &value;
        else
            return &Form<T>::Of(value);
    }
    void Give(VARIANT* result)
    {
        if (result)
            value.Detach(result);
    }
};

template <auto M>
struct MemberOf;
template <class C, class... A, HRESULT (C::*M)(A...)>
struct MemberOf<M> {
    template <class D>
    struct With;
    template <class... D>
    struct With<Dirs<D...>> {
        static_assert(sizeof...(D) == sizeof...(A), "one direction per parameter");
        static_assert((0 + ... + int(!std::is_same_v<D, In>)) <= 1, "at most one out parameter: the result");
        static constexpr bool kForm = (true && ... && Slot<D, A>::kForm);
        static constexpr UINT kInCount = (0u + ... + UINT(std::is_same_v<D, In>));

        // Where the parameter at `k` comes in the call's arguments.
        static constexpr UINT ArgumentAt(std::size_t k)
        {
            constexpr bool in[] = {std::is_same_v<D, In>..., false};
            UINT position = 0;
            for (std::size_t i = 0; i < k; ++i)
                position += in[i] ? 1 : 0;
            return position;
        }

        template <std::size_t... K>
        static HRESULT Call(C& object, const Arguments& args, [[maybe_unused]] VARIANT* result,
                            std::index_sequence<K...>)
        {
            args.Need(kInCount);
            std::tuple<Slot<D, A>...> held;
            (std::get<K>(held).Fill(args, ArgumentAt(K)), ...);
            HRESULT hr = (object.*M)(std::get<K>(held).Pass()...);
            (std::get<K>(held).Give(result), ...);
            return hr;
        }
        static HRESULT Invoke(C& object, const Arguments& args, VARIANT* result)
        {
            return Call(object, args, result, std::index_sequence_for<A...>{});
        }
    };
};

template <class I>
using Invoker = HRESULT (*)(I& object, const Arguments& args, VARIANT* result);

// One member of the late-bound path: a method, or a property's get and put.
template <class I>
struct Member {
    std::string_view name;
    DISPID id;
    bool automatable;  // every parameter has a VARIANT form
    Invoker<I> method;
    Invoker<I> get;
    Invoker<I> put;
};

template <class I, auto M, class D>
constexpr Invoker<I> InvokerOf()
{
    using Call = typename MemberOf<M>::template With<D>;
    if constexpr (Call::kForm)
        return [](I& object, const Arguments& args, VARIANT* result) {
            return Call::Invoke(object, args, result);
        };
    else
        return nullptr;
}

template <class I, auto M, class D>
constexpr Member<I> MethodMember(std::string_view name, DISPID id)
{
    return {name, id, MemberOf<M>::template With<D>::kForm, InvokerOf<I, M, D>(), nullptr, nullptr};
}

template <class I, auto Get, auto Put>
constexpr Member<I> PropertyMember(std::string_view name, DISPID id)
{
    Invoker<I> put = nullptr;
    if constexpr (!std::is_null_pointer_v<decltype(Put)>)
        put = InvokerOf<I, Put, Dirs<In>>();
    return {name, id, true, nullptr, InvokerOf<I, Get, Dirs<Out>>(), put};
}

// GetIDsOfNames over a member table. Names compare without regard to ASCII
// case, as automation names do; arguments are positional only, so no
// parameter name is known.
template <class I>
HRESULT LookUpMemberNames(std::span<const Member<I>> members, LPOLESTR* names, UINT count, DISPID* ids)
{
    if (!names || !ids)
        return E_POINTER;
    if (count == 0)
        return S_OK;
    const std::u16string_view wanted = names[0] ? std::u16string_view(names[0]) : std::u16string_view();
    auto fold = [](char16_t c) {
        return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
    };
    ids[0] = DISPID_UNKNOWN;
    for (const Member<I>& member : members) {
        if (member.name.size() != wanted.size())
            continue;
        bool same = true;
        for (std::size_t i = 0; i < wanted.size() && same; ++i)
            same = fold(static_cast<char16_t>(member.name[i])) == fold(wanted[i]);
        if (same)
            ids[0] = member.id;
    }
    for (UINT i = 1; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    return ids[0] == DISPID_UNKNOWN || count > 1 ? DISP_E_UNKNOWNNAME : S_OK;
}

// Invoke over a member table, from the member's DISPID on: a method needs
// DISPATCH_METHOD, a property DISPATCH_PROPERTYPUT (when it can be put) or
// DISPATCH_PROPERTYGET, else DISP_E_MEMBERNOTFOUND. A member with a
// parameter that has no VARIANT form answers DISP_E_TYPEMISMATCH. The out
// parameter, if any, becomes *result.
template <class I>
HRESULT InvokeMember(std::span<const Member<I>> members, I& object, DISPID id, WORD flags, DISPPARAMS* params,
                     VARIANT* result, UINT* argError) noexcept
{
    return ComBoundary([&]() -> HRESULT {
        const Member<I>* member = nullptr;
        for (const Member<I>& candidate : members) {
            if (candidate.id == id)
                member = &candidate;
        }
        if (!member)
            return DISP_E_MEMBERNOTFOUND;
        if (!member->automatable)
            return DISP_E_TYPEMISMATCH;
        const Arguments args(params, argError);
        if (member->method)
            return flags & DISPATCH_METHOD ? member->method(object, args, result) : DISP_E_MEMBERNOTFOUND;
        if ((flags & DISPATCH_PROPERTYPUT) && member->put)
            return member->put(object, args, result);
        if (!(flags & DISPATCH_PROPERTYGET) || !member->get)
            return DISP_E_MEMBERNOTFOUND;
        return member->get(object, args, result);
    });
}

}  // namespace wys::dispatch
