// A browser window without a display: it loads pages with their frames
// (http, https, ftp and file URLs; no scripts run), shows each as a document
// of the document object model, and offers what hosted helper objects and
// bands use: IWebBrowser2 with its DocumentComplete events
// (IConnectionPointContainer), and, as their site, IServiceProvider
// (SID_SWebBrowserApp), IOleWindow, IInputObjectSite and IOleCommandTarget.
//
// The object lives in the single-threaded apartment of the thread that
// created it and is called only there; other threads reach it through a
// marshalled pointer. Loads run on a worker thread of their own; their
// results and every event are delivered on the window's thread while it
// dispatches messages (a message loop, CoWaitForMultipleHandles, or an
// outgoing call). Releasing the last reference abandons a load under way.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "platform/browser/WebBrowser.h"

// How one Navigate ended, as the host learns it.
struct NavigationOutcome {
    std::string requestedUrl;
    std::string finalUrl;  // after redirects; the requested URL when it failed early
    // A document is shown. A page that answers with an error status (404)
    // still loads, as browsers show it; `status` tells.
    bool loaded = false;
    long status = 0;      // HTTP or FTP status of the top document; 0 for files
    bool isHtml = false;  // the document answers IHTMLDocument2
    std::string failure;  // why nothing could be shown; empty when loaded
};

struct HeadlessBrowserOptions {
    // The time a page and all its frames may take to load.
    std::chrono::milliseconds loadTimeout{30000};
    // Called on the window's thread when a Navigate has ended, after its
    // DocumentComplete events; not called for a load that a later Navigate,
    // Stop or the browser's release abandoned. May be empty.
    std::function<void(const NavigationOutcome&)> onNavigationEnded;
    // What IOleWindow::GetWindow answers; null: no window (E_FAIL).
    HWND window = nullptr;
    // Called on the window's thread with the text a helper object puts on
    // the status line (put_StatusText: what became of a page's capture).
    // May be empty.
    std::function<void(const std::string& text)> onStatusText;
};

// Creates a browser window object on the calling thread, which must be in a
// single-threaded apartment (CO_E_NOTINITIALIZED otherwise). *browser gets
// the caller's reference. E_POINTER for a null out.
HRESULT CreateHeadlessBrowser(const HeadlessBrowserOptions& options, IWebBrowser2** browser);
