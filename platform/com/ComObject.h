// Reference counting and QueryInterface for objects that implement a list of
// interfaces. IUnknown is answered through the first interface, and each
// interface answers for its own identifier and those of its bases, in the
// order the list gives.
#pragma once

#include <atomic>

#include "platform/com/Unknown.h"

template <class Derived, class... Interfaces>
class CComObjectRoot : public Interfaces... {
    static_assert(sizeof...(Interfaces) > 0, "an object implements at least one interface");

public:
    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown) {
            *object = static_cast<IUnknown*>(static_cast<First*>(this));
        } else {
            (TryInterface<Interfaces>(iid, object) || ...);
            if (!*object)
                return QueryInterfaceMore(iid, object);
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        ULONG left = --m_refs;
        if (left == 0)
            delete static_cast<Derived*>(this);
        return left;
    }

    // The object's identity.
    IUnknown* GetUnknown() { return static_cast<IUnknown*>(static_cast<First*>(this)); }
    ULONG RefCount() const { return m_refs; }

protected:
    CComObjectRoot() = default;
    virtual ~CComObjectRoot() = default;

    // Interfaces answered beyond the list; on success it must AddRef itself
    // (typically through another object's QueryInterface) and return S_OK.
    virtual HRESULT QueryInterfaceMore(REFIID, void**) { return E_NOINTERFACE; }

private:
    template <class First, class...>
    struct FirstOf {
        using Type = First;
    };
    using First = typename FirstOf<Interfaces...>::Type;

    template <class I>
    bool TryInterface(REFIID iid, void** object)
    {
        if (!InterfaceChainHas<I>(iid))
            return false;
        *object = static_cast<I*>(this);
        return true;
    }

    std::atomic<ULONG> m_refs{0};
};

// Creates an object with one reference held by the returned pointer.
template <class T, class... Args>
T* CreateComObject(Args&&... args)
{
    T* object = new T(std::forward<Args>(args)...);
    object->AddRef();
    return object;
}
