// The interfaces of a band that a browser shows in its side pane (an
// explorer bar), as the host calls them.
//
// How a host loads a band (every call on the host window's thread, which is
// in a single-threaded apartment whose queue the host's event loop serves):
// 1. CoCreateInstance(clsid, null, CLSCTX_INPROC_SERVER, IID_IObjectWithSite).
// 2. SetSite(site). The site answers IOleWindow (GetWindow: the widget, a
//    QWidget* as HWND, that the band makes its window in), IInputObjectSite,
//    and IServiceProvider, whose QueryService(SID_SWebBrowserApp,
//    IID_IWebBrowser2) gives the window's web browser (optional: a band
//    without one does not navigate). It may answer IOleCommandTarget too.
// 3. IDeskBand::GetBandInfo for the sizes and the title, IOleWindow::GetWindow
//    for the band's window (a child of the site's window), then ShowDW(TRUE).
// 4. To close the pane: ShowDW(FALSE) or CloseDW(0), SetSite(null), Release.
#pragma once

#include "platform/browser/BandSite.h"
#include "platform/rpc/MessageLoop.h"

struct POINTL {
    LONG x;
    LONG y;
};

using COLORREF = DWORD;

// Which members of DESKBANDINFO a band is asked to fill.
inline constexpr DWORD DBIM_MINSIZE = 0x0001;
inline constexpr DWORD DBIM_MAXSIZE = 0x0002;
inline constexpr DWORD DBIM_INTEGRAL = 0x0004;
inline constexpr DWORD DBIM_ACTUAL = 0x0008;
inline constexpr DWORD DBIM_TITLE = 0x0010;
inline constexpr DWORD DBIM_MODEFLAGS = 0x0020;
inline constexpr DWORD DBIM_BKCOLOR = 0x0040;

// Mode flags.
inline constexpr DWORD DBIMF_NORMAL = 0x0000;
inline constexpr DWORD DBIMF_FIXED = 0x0001;
inline constexpr DWORD DBIMF_FIXEDBMP = 0x0004;
inline constexpr DWORD DBIMF_VARIABLEHEIGHT = 0x0008;
inline constexpr DWORD DBIMF_UNDELETEABLE = 0x0010;
inline constexpr DWORD DBIMF_DEBOSSED = 0x0020;
inline constexpr DWORD DBIMF_BKCOLOR = 0x0040;

// View modes passed to GetBandInfo.
inline constexpr DWORD DBIF_VIEWMODE_NORMAL = 0x0000;
inline constexpr DWORD DBIF_VIEWMODE_VERTICAL = 0x0001;
inline constexpr DWORD DBIF_VIEWMODE_FLOATING = 0x0002;
inline constexpr DWORD DBIF_VIEWMODE_TRANSPARENT = 0x0004;

struct DESKBANDINFO {
    DWORD dwMask;
    POINTL ptMinSize;
    POINTL ptMaxSize;
    POINTL ptIntegral;
    POINTL ptActual;
    OLECHAR wszTitle[256];
    DWORD dwModeFlags;
    COLORREF crBkgnd;
};

struct IDockingWindow : IOleWindow {
    static constexpr GUID Iid = MakeGuid("{012DD920-7B26-11D0-8CA9-00A0C92DBFE8}");
    using Base = IOleWindow;

    // Shows (TRUE) or hides (FALSE) the band's window.
    virtual HRESULT ShowDW(BOOL show) = 0;
    // The pane is closing: the band hides its window; it is released later.
    virtual HRESULT CloseDW(DWORD reserved) = 0;
    // The border space changed; `border` and `site` may be null.
    virtual HRESULT ResizeBorderDW(const void* border, IUnknown* site, BOOL reserved) = 0;

protected:
    ~IDockingWindow() = default;
};

struct IDeskBand : IDockingWindow {
    static constexpr GUID Iid = MakeGuid("{EB0FE172-1A3A-11D0-89B3-00A0C90A90AC}");
    using Base = IDockingWindow;

    // Fills the members of *info that info->dwMask asks for; the band may
    // clear bits of the mask for members it leaves to the host.
    virtual HRESULT GetBandInfo(DWORD bandId, DWORD viewMode, DESKBANDINFO* info) = 0;

protected:
    ~IDeskBand() = default;
};

struct IInputObject : IUnknown {
    static constexpr GUID Iid = MakeGuid("{68284FAA-6A48-11D0-8C78-00C04FD918B4}");
    using Base = IUnknown;

    virtual HRESULT UIActivateIO(BOOL activate, MSG* message) = 0;
    // S_OK when the band has the keyboard focus, S_FALSE otherwise.
    virtual HRESULT HasFocusIO() = 0;
    virtual HRESULT TranslateAcceleratorIO(MSG* message) = 0;

protected:
    ~IInputObject() = default;
};

inline constexpr const IID& IID_IDockingWindow = IDockingWindow::Iid;
inline constexpr const IID& IID_IDeskBand = IDeskBand::Iid;
inline constexpr const IID& IID_IInputObject = IInputObject::Iid;
