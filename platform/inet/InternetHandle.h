// Owns one HINTERNET and closes it when it goes.
#pragma once

#include <utility>

#include "platform/inet/WinInet.h"

class CInternetHandle {
public:
    CInternetHandle() = default;
    // Takes over `handle` (null allowed).
    explicit CInternetHandle(HINTERNET handle) : m_handle(handle) {}
    CInternetHandle(CInternetHandle&& other) noexcept : m_handle(other.Release()) {}
    CInternetHandle& operator=(CInternetHandle&& other) noexcept
    {
        Reset(other.Release());
        return *this;
    }
    CInternetHandle(const CInternetHandle&) = delete;
    CInternetHandle& operator=(const CInternetHandle&) = delete;
    ~CInternetHandle() { Reset(); }

    HINTERNET Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

    // Closes what is held and takes over `handle`.
    void Reset(HINTERNET handle = nullptr)
    {
        if (m_handle)
            InternetCloseHandle(m_handle);  // Closing an open handle cannot fail.
        m_handle = handle;
    }
    // Gives the handle to the caller, who closes it.
    HINTERNET Release() { return std::exchange(m_handle, nullptr); }

private:
    HINTERNET m_handle = nullptr;
};
