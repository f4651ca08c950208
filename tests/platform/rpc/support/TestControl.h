// The test interface the runtime's tests call across apartments and
// processes, and the class that offers it.
#pragma once

#include "platform/com/Dispatch.h"

inline constexpr CLSID CLSID_TestObject = MakeGuid("{3C1E5F7A-9B2D-4E6F-8A1C-2B3D4E5F6A7B}");

struct ITestControl : IUnknown {
    static constexpr GUID Iid = MakeGuid("{6A0D1C44-0E7B-4B8E-9D2A-3F4B5C6D7E80}");
    using Base = IUnknown;

    // Where the call ran and which instance answered.
    virtual HRESULT GetIdentity(DWORD* processId, DWORD* threadId, ULONG* instance) = 0;
    // *result = value + 1.
    virtual HRESULT Ping(ULONG value, ULONG* result) = 0;
    virtual HRESULT EchoBstr(BSTR in, BSTR* out) = 0;
    virtual HRESULT EchoVariant(VARIANT in, VARIANT* out) = 0;
    virtual HRESULT EchoUnknown(IUnknown* in, IUnknown** out) = 0;
    // Calls peer->Bounce(this, depth - 1) while depth > 0; *calls counts
    // the calls made in the chain, this one included.
    virtual HRESULT Bounce(ITestControl* peer, ULONG depth, ULONG* calls) = 0;
    // Returns `result` and writes 7 into *out whatever the result.
    virtual HRESULT Fail(HRESULT result, ULONG* out) = 0;

protected:
    ~ITestControl() = default;
};
