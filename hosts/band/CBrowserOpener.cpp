#include "hosts/band/CBrowserOpener.h"

#include <unistd.h>

#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QTimer>
#include <QUrl>
#include <memory>
#include <vector>

#include "hosts/extension/BrowserLink.h"
#include "hosts/extension/NativeMessageReader.h"

namespace wys::band_host {

using extension::BandRequest;

namespace {

// A little more than a host waits for its browser, so that the host's own
// answer comes first.
constexpr int kAnswerWaitMs = 12000;

}  // namespace

// One page on its way: each host's socket is tried in turn until one takes
// the request; then the desktop. Deletes itself when done.
class CLinkAttempt final : public QObject {
public:
    CLinkAttempt(CBrowserOpener* opener, QString url, bool savedCopy)
        : QObject(opener),
          m_opener(opener),
          m_url(std::move(url)),
          m_savedCopy(savedCopy),
          m_sockets(extension::BrowserLinkSockets())
    {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, [this] { Fail("the browser did not answer"); });
    }

    void Start() { TryNext(); }

private:
    void TryNext()
    {
        if (m_next >= m_sockets.size()) {
            Finish(OpenedBy::Desktop,
                   m_why.isEmpty() ? QString("no browser with the Wayscribe extension is running") : m_why);
            return;
        }
        m_path = m_sockets[m_next++];
        m_reader = std::make_unique<extension::CNativeMessageReader>(extension::kMaxBandRequest);
        m_socket = std::make_unique<QLocalSocket>();
        connect(m_socket.get(), &QLocalSocket::connected, this, [this] {
            std::string request = extension::FrameMessage(
                extension::BandRequestMessage(BandRequest{m_url.toStdString(), m_savedCopy}));
            m_socket->write(request.data(), static_cast<qint64>(request.size()));
            m_timer.start(kAnswerWaitMs);
        });
        connect(m_socket.get(), &QLocalSocket::readyRead, this, [this] { Read(); });
        connect(m_socket.get(), &QLocalSocket::errorOccurred, this,
                [this](QLocalSocket::LocalSocketError error) {
                    if (error == QLocalSocket::ConnectionRefusedError)
                        ::unlink(m_path.c_str());  // left by a host that died
                    if (m_timer.isActive())
                        Fail("the browser's host went away");
                    else
                        QTimer::singleShot(0, this, [this] { TryNext(); });
                });
        m_socket->connectToServer(QString::fromStdString(m_path));
    }

    void Read()
    {
        QByteArray bytes = m_socket->readAll();
        m_reader->Feed(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        std::optional<std::string> reply = m_reader->Next();
        if (!reply)
            return;
        std::string error;
        std::optional<bool> ok = extension::ParseBandReply(*reply, &error);
        m_timer.stop();
        if (ok && *ok)
            Finish(OpenedBy::Browser, {});
        else
            Fail(ok ? QString::fromStdString(error) : QString("the browser's host answered nonsense"));
    }

    // This browser did not take the page: the desktop may.
    void Fail(const QString& why)
    {
        m_timer.stop();
        m_why = why;
        m_next = m_sockets.size();
        QTimer::singleShot(0, this, [this] { TryNext(); });
        if (m_socket)
            m_socket->disconnect(this);
    }

    void Finish(OpenedBy how, const QString& detail)
    {
        if (m_done)
            return;
        m_done = true;
        if (m_socket) {
            m_socket->disconnect(this);
            m_socket->abort();
        }
        if (how == OpenedBy::Browser)
            emit m_opener->opened(m_url, how, detail);
        else
            m_opener->OpenWithDesktop(m_url, detail);
        deleteLater();
    }

    CBrowserOpener* m_opener;
    QString m_url;
    bool m_savedCopy;
    std::vector<std::string> m_sockets;
    std::size_t m_next = 0;
    std::string m_path;
    std::unique_ptr<QLocalSocket> m_socket;
    std::unique_ptr<extension::CNativeMessageReader> m_reader;
    QTimer m_timer;
    QString m_why;
    bool m_done = false;
};

bool MayOpenWithDesktop(const QString& url)
{
    QUrl parsed(url, QUrl::StrictMode);
    QString scheme = parsed.scheme().toLower();
    if (scheme == "http" || scheme == "https" || scheme == "ftp")
        return parsed.isValid() && !parsed.host().isEmpty();
    if (scheme != "file" || !parsed.isLocalFile())
        return false;
    QFileInfo file(parsed.toLocalFile());
    QString suffix = file.suffix().toLower();
    return file.isFile() && (suffix == "htm" || suffix == "html" || suffix == "mht" || suffix == "mhtml");
}

CBrowserOpener::CBrowserOpener(DesktopOpener desktop, QObject* parent)
    : QObject(parent), m_desktop(std::move(desktop))
{
    if (!m_desktop)
        m_desktop = [](const QString& url) { return QProcess::startDetached("xdg-open", {url}); };
}

void CBrowserOpener::Open(const QString& url, bool savedCopy)
{
    (new CLinkAttempt(this, url, savedCopy))->Start();
}

void CBrowserOpener::OpenWithDesktop(const QString& url, const QString& why)
{
    if (!MayOpenWithDesktop(url)) {
        emit opened(url, OpenedBy::Nothing, why + "; the desktop is not handed " + url);
        return;
    }
    if (m_desktop(url))
        emit opened(url, OpenedBy::Desktop, why);
    else
        emit opened(url, OpenedBy::Nothing, why + "; xdg-open could not be started");
}

}  // namespace wys::band_host
