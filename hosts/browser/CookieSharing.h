// The cookies of a WebEngine profile, handed to the internet library's
// cookie store as the profile gains and loses them, so that the downloads of
// a capture (resources of the HTML route, the parts of an archive) carry the
// session the window has: a page behind a sign-in is saved with its style
// and pictures, not with the sign-in page's. The store keeps them in memory
// only; no saved file ever holds one.
#pragma once

#include <QNetworkCookie>
#include <string>

class QObject;
class QWebEngineProfile;

namespace wys::browser_host {

// Follows the cookies of `profile` from now on (every cookie it holds
// already included) for as long as `context` lives. GUI thread.
void ShareProfileCookies(QWebEngineProfile* profile, QObject* context);

// The URL and Set-Cookie text under which the internet library keeps
// `cookie` (with `removed`, an expired one that removes it); empty when it
// names no http host.
struct SharedCookie {
    std::string url;
    std::string data;
};
SharedCookie SharedCookieOf(const QNetworkCookie& cookie, bool removed);

}  // namespace wys::browser_host
