// A counted pointer to an interface: AddRef on copy, Release on destruction.
#pragma once

#include <utility>

#include "platform/com/Unknown.h"

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    ComPtr(T* p) : m_p(p)
    {
        if (m_p)
            m_p->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.m_p) {}
    template <class U>
    ComPtr(const ComPtr<U>& other) : ComPtr(static_cast<T*>(other.Get()))
    {
    }
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ~ComPtr() { Reset(); }

    ComPtr& operator=(const ComPtr& other)
    {
        ComPtr(other).Swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept
    {
        ComPtr(std::move(other)).Swap(*this);
        return *this;
    }
    ComPtr& operator=(T* p)
    {
        ComPtr(p).Swap(*this);
        return *this;
    }
    ComPtr& operator=(std::nullptr_t)
    {
        Reset();
        return *this;
    }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    T& operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    // For out parameters: releases what is held, then exposes the slot.
    T** ReleaseAndGetAddressOf()
    {
        Reset();
        return &m_p;
    }
    T** GetAddressOf() { return &m_p; }
    void** PutVoid() { return reinterpret_cast<void**>(ReleaseAndGetAddressOf()); }

    // Takes over a reference the caller owns.
    void Attach(T* p)
    {
        Reset();
        m_p = p;
    }
    // Hands the reference to the caller.
    T* Detach() { return std::exchange(m_p, nullptr); }
    void Reset()
    {
        if (T* p = std::exchange(m_p, nullptr))
            p->Release();
    }
    void Swap(ComPtr& other) noexcept { std::swap(m_p, other.m_p); }

    // QueryInterface for U, by U's own identifier.
    template <class U>
    HRESULT As(ComPtr<U>* out) const
    {
        if (!m_p)
            return E_POINTER;
        return m_p->QueryInterface(U::Iid, out->PutVoid());
    }
    HRESULT AsIid(REFIID iid, void** out) const
    {
        if (!m_p)
            return E_POINTER;
        return m_p->QueryInterface(iid, out);
    }
    // Copies the pointer (with a reference) into an out parameter.
    HRESULT CopyTo(T** out) const
    {
        if (!out)
            return E_POINTER;
        *out = m_p;
        if (m_p)
            m_p->AddRef();
        return S_OK;
    }

    friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.m_p == b.m_p; }
    friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.m_p == nullptr; }

private:
    T* m_p = nullptr;
};

// True when both pointers lead to the same object (compared through IUnknown).
bool IsSameObject(IUnknown* a, IUnknown* b);
