// How a host hands an object it loads (a helper object, a band) its site.
#pragma once

#include "platform/com/Unknown.h"

struct IObjectWithSite : IUnknown {
    static constexpr GUID Iid = MakeGuid("{FC4801A3-2BA9-11CF-A229-00AA003D7352}");
    using Base = IUnknown;

    // Gives the object its site (it keeps what it needs of it), or null when
    // the host lets go of the object: the object then releases what it took
    // from the site. Called on the host window's thread.
    virtual HRESULT SetSite(IUnknown* site) = 0;
    // The site last given, as `iid`; E_FAIL (or E_NOTIMPL) when none is kept.
    virtual HRESULT GetSite(REFIID iid, void** site) = 0;

protected:
    ~IObjectWithSite() = default;
};

inline constexpr const IID& IID_IObjectWithSite = IObjectWithSite::Iid;
