// Finding services through an object's site. A browser host's site answers
// SID_SWebBrowserApp with the window's web browser object (WebBrowser.h).
#pragma once

#include "platform/com/Unknown.h"

// The service of the browser window's web browser object.
inline constexpr GUID SID_SWebBrowserApp = MakeGuid("{0002DF05-0000-0000-C000-000000000046}");

struct IServiceProvider : IUnknown {
    static constexpr GUID Iid = MakeGuid("{6D5140C1-7436-11CE-8034-00AA006009FA}");
    using Base = IUnknown;

    // *object receives interface `iid` of the service `service` with one
    // reference for the caller. E_NOINTERFACE for a service the provider
    // does not offer or one that lacks `iid`; *object is null after any
    // failure.
    virtual HRESULT QueryService(REFGUID service, REFIID iid, void** object) = 0;

protected:
    ~IServiceProvider() = default;
};

inline constexpr const IID& IID_IServiceProvider = IServiceProvider::Iid;
