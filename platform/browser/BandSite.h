// What a band's site offers besides its services: the parent window
// (IOleWindow), the input-object site through which a band reports focus
// changes (IInputObjectSite) and the command target of the host
// (IOleCommandTarget). The browser window's site answers all three; calls
// are made on the window's thread.
#pragma once

#include "platform/com/Dispatch.h"

struct IOleWindow : IUnknown {
    static constexpr GUID Iid = MakeGuid("{00000114-0000-0000-C000-000000000046}");
    using Base = IUnknown;

    // The window that children of this object are made in. E_POINTER for a
    // null out; E_FAIL (and a null *window) when the object has no window,
    // as a browser without a display has none.
    virtual HRESULT GetWindow(HWND* window) = 0;
    virtual HRESULT ContextSensitiveHelp(BOOL enterMode) = 0;

protected:
    ~IOleWindow() = default;
};

struct IInputObjectSite : IUnknown {
    static constexpr GUID Iid = MakeGuid("{F1DB8392-7331-11D0-8C99-00A0C92DBFE8}");
    using Base = IUnknown;

    // A band tells its site that it gained (TRUE) or lost (FALSE) the
    // keyboard focus; `object` is the band.
    virtual HRESULT OnFocusChangeIS(IUnknown* object, BOOL setFocus) = 0;

protected:
    ~IInputObjectSite() = default;
};

struct OLECMD {
    ULONG cmdID;
    DWORD cmdf;
};

struct OLECMDTEXT {
    DWORD cmdtextf;
    ULONG cwActual;
    ULONG cwBuf;
    OLECHAR rgwz[1];
};

inline constexpr HRESULT OLECMDERR_E_NOTSUPPORTED = MakeHResult(0x80040100u);
inline constexpr HRESULT OLECMDERR_E_UNKNOWNGROUP = MakeHResult(0x80040104u);

struct IOleCommandTarget : IUnknown {
    static constexpr GUID Iid = MakeGuid("{B722BCCB-4E68-101B-A2BC-00AA00404770}");
    using Base = IUnknown;

    // Fills the state flags of each command asked for (0: not supported).
    virtual HRESULT QueryStatus(const GUID* group, ULONG count, OLECMD* commands, OLECMDTEXT* text) = 0;
    // Runs a command. OLECMDERR_E_UNKNOWNGROUP / OLECMDERR_E_NOTSUPPORTED
    // for commands the target does not know.
    virtual HRESULT Exec(const GUID* group, DWORD commandId, DWORD options, VARIANT* in, VARIANT* out) = 0;

protected:
    ~IOleCommandTarget() = default;
};

inline constexpr const IID& IID_IOleWindow = IOleWindow::Iid;
inline constexpr const IID& IID_IInputObjectSite = IInputObjectSite::Iid;
inline constexpr const IID& IID_IOleCommandTarget = IOleCommandTarget::Iid;
