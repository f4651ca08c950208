// Makes a browser window's objects callable from other threads and
// processes: the web browser object, the site interfaces of helper objects
// and bands, the DocumentComplete events, and the document object model that
// the browser hands out (documents, collections, elements, style sheets,
// frames and windows). A call through a proxy of any of these runs on the
// apartment thread of the window that handed the object out, so a capture
// thread that unmarshals the browser sees the same document the window
// shows, one call at a time.
//
// Including WebBrowser.h (or this header) registers them before main runs.
#pragma once

namespace wys {

// Registers the interfaces above with the component runtime. Idempotent and
// thread-safe; returns true.
bool RegisterBrowserRemoting();

inline const bool kBrowserRemotable = RegisterBrowserRemoting();

}  // namespace wys
