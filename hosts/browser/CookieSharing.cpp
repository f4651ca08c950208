#include "hosts/browser/CookieSharing.h"

#include <QDateTime>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

#include "platform/inet/Cookies.h"

namespace wys::browser_host {

SharedCookie SharedCookieOf(const QNetworkCookie& cookie, bool removed)
{
    QString domain = cookie.domain();
    // A leading dot marks a cookie for the domain and its subdomains; without
    // one it goes back to its own host only.
    const bool forSubdomains = domain.startsWith('.');
    while (domain.startsWith('.'))
        domain.remove(0, 1);
    if (domain.isEmpty())
        return {};
    const QString path = cookie.path().isEmpty() ? QString("/") : cookie.path();
    SharedCookie shared;
    shared.url = ((cookie.isSecure() ? "https://" : "http://") + domain + path).toStdString();
    std::string data = cookie.name().toStdString() + "=" + cookie.value().toStdString();
    if (forSubdomains)
        data += "; Domain=" + domain.toStdString();
    data += "; Path=" + path.toStdString();
    if (cookie.isSecure())
        data += "; Secure";
    if (cookie.isHttpOnly())
        data += "; HttpOnly";
    if (removed) {
        data += "; Max-Age=0";
    } else if (!cookie.isSessionCookie()) {
        const qint64 left = QDateTime::currentDateTimeUtc().secsTo(cookie.expirationDate().toUTC());
        data += "; Max-Age=" + std::to_string(left > 0 ? left : 0);
    }
    shared.data = std::move(data);
    return shared;
}

void ShareProfileCookies(QWebEngineProfile* profile, QObject* context)
{
    QWebEngineCookieStore* store = profile->cookieStore();
    auto share = [](const QNetworkCookie& cookie, bool removed) {
        SharedCookie shared = SharedCookieOf(cookie, removed);
        // A cookie the store refuses (control characters, a foreign domain)
        // is one the window would not send elsewhere either.
        if (!shared.url.empty())
            (void)InternetSetCookie(shared.url.c_str(), nullptr, shared.data.c_str());
    };
    QObject::connect(store, &QWebEngineCookieStore::cookieAdded, context,
                     [share](const QNetworkCookie& cookie) { share(cookie, false); });
    QObject::connect(store, &QWebEngineCookieStore::cookieRemoved, context,
                     [share](const QNetworkCookie& cookie) { share(cookie, true); });
    store->loadAllCookies();
}

}  // namespace wys::browser_host
