// Opens pages for wayscribe-band in the person's browser: through the
// Wayscribe extension of the browser used last, when one is running
// (BrowserLink.h: each running native host in turn, newest first), else
// with the desktop's default handler (xdg-open).
//
// The desktop is only handed what it may safely open: http, https and ftp
// URLs, and file URLs of saved copies (an existing regular file named
// .htm, .html, .mht or .mhtml), never a program or a folder.
//
// Lives on the GUI thread; each Open returns at once and reports its end
// through `opened`.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

namespace wys::band_host {

enum class OpenedBy { Browser, Desktop, Nothing };

class CBrowserOpener final : public QObject {
    Q_OBJECT

public:
    // Hands a URL to the desktop; true when that began. Tests give their own.
    using DesktopOpener = std::function<bool(const QString& url)>;
    explicit CBrowserOpener(DesktopOpener desktop = {}, QObject* parent = nullptr);

    // Opens `url` (fully encoded); `savedCopy`: it is a page of the history,
    // which the browser shows without keeping it again.
    void Open(const QString& url, bool savedCopy);

signals:
    // How `url` was opened; `detail` says why the browser did not take it,
    // or why nothing opened it.
    void opened(const QString& url, wys::band_host::OpenedBy how, const QString& detail);

private:
    friend class CLinkAttempt;
    void OpenWithDesktop(const QString& url, const QString& why);

    DesktopOpener m_desktop;
};

// Whether the desktop may be handed `url` (see above).
bool MayOpenWithDesktop(const QString& url);

}  // namespace wys::band_host
