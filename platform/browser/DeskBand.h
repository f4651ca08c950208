// What an explorer bar (a band in the browser's side pane) offers its host:
// IDeskBand with its size and title, IDockingWindow to be shown and closed,
// and IInputObject for the keyboard focus. The host calls them on its
// window's thread; a band's window (IOleWindow::GetWindow) is a widget
// (HWND carries the QWidget*) made as a child of the parent window its site
// gave it.
#pragma once

#include "platform/browser/BandSite.h"

struct POINTL {
    LONG x;
    LONG y;
};

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
using LPCRECT = const RECT*;
using COLORREF = DWORD;

// A keyboard message; hosts here route no accelerators to bands, so it is opaque.
struct MSG;
using LPMSG = MSG*;

// Which members of DESKBANDINFO the host asks for (dwMask).
inline constexpr DWORD DBIM_MINSIZE = 0x0001;
inline constexpr DWORD DBIM_MAXSIZE = 0x0002;
inline constexpr DWORD DBIM_INTEGRAL = 0x0004;
inline constexpr DWORD DBIM_ACTUAL = 0x0008;
inline constexpr DWORD DBIM_TITLE = 0x0010;
inline constexpr DWORD DBIM_MODEFLAGS = 0x0020;
inline constexpr DWORD DBIM_BKCOLOR = 0x0040;

// dwModeFlags.
inline constexpr DWORD DBIMF_NORMAL = 0x0000;
inline constexpr DWORD DBIMF_FIXED = 0x0001;
inline constexpr DWORD DBIMF_VARIABLEHEIGHT = 0x0008;

// View modes passed to GetBandInfo.
inline constexpr DWORD DBIF_VIEWMODE_NORMAL = 0x0000;
inline constexpr DWORD DBIF_VIEWMODE_VERTICAL = 0x0001;

// A size of -1 means "no limit"; for a vertical bar x is the width.
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
    // The host is about to let go of the band: it hides its window.
    virtual HRESULT CloseDW(DWORD reserved) = 0;
    virtual HRESULT ResizeBorderDW(LPCRECT border, IUnknown* site, BOOL reserved) = 0;

protected:
    ~IDockingWindow() = default;
};

struct IDeskBand : IDockingWindow {
    static constexpr GUID Iid = MakeGuid("{EB0FE172-1A3A-11D0-89B3-00A0C90A90AC}");
    using Base = IDockingWindow;

    // Fills the members of *info that info->dwMask asks for; a band may
    // clear mask bits it leaves to the host (DBIM_BKCOLOR).
    virtual HRESULT GetBandInfo(DWORD bandId, DWORD viewMode, DESKBANDINFO* info) = 0;

protected:
    ~IDeskBand() = default;
};

struct IInputObject : IUnknown {
    static constexpr GUID Iid = MakeGuid("{68284FAA-6A48-11D0-8C78-00C04FD918B4}");
    using Base = IUnknown;

    virtual HRESULT UIActivateIO(BOOL activate, LPMSG message) = 0;
    // S_OK when the band has the focus, S_FALSE otherwise.
    virtual HRESULT HasFocusIO() = 0;
    virtual HRESULT TranslateAcceleratorIO(LPMSG message) = 0;

protected:
    ~IInputObject() = default;
};

inline constexpr const IID& IID_IDockingWindow = IDockingWindow::Iid;
inline constexpr const IID& IID_IDeskBand = IDeskBand::Iid;
inline constexpr const IID& IID_IInputObject = IInputObject::Iid;
