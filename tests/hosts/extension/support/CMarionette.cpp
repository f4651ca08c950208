#include "tests/hosts/extension/support/CMarionette.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <thread>

namespace wys::test {
namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

}  // namespace

int FreeLoopbackPort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t size = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

CMarionette::~CMarionette()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CMarionette::Connect(int port, int timeoutMs)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = Loopback(port);
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            break;
        ::close(m_fd);
        m_fd = -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    QJsonValue greeting;
    if (m_fd < 0 || !ReadMessage(&greeting, 10000)) {
        ADD_FAILURE() << "Firefox's Marionette does not answer on port " << port;
        return false;
    }
    return !Call("WebDriver:NewSession", {{"capabilities", QJsonObject{}}}).isUndefined();
}

bool CMarionette::ReadMessage(QJsonValue* message, int timeoutMs)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        std::size_t colon = m_buffer.find(':');
        if (colon != std::string::npos) {
            std::size_t length = std::stoul(m_buffer.substr(0, colon));
            if (m_buffer.size() >= colon + 1 + length) {
                QJsonDocument document = QJsonDocument::fromJson(
                    QByteArray(m_buffer.data() + colon + 1, static_cast<qsizetype>(length)));
                m_buffer.erase(0, colon + 1 + length);
                *message = document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
                return true;
            }
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd fd{m_fd, POLLIN, 0};
        if (left <= 0 || ::poll(&fd, 1, static_cast<int>(left)) <= 0)
            return false;
        char chunk[65536];
        ssize_t n = ::read(m_fd, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        m_buffer.append(chunk, static_cast<std::size_t>(n));
    }
}

QJsonValue CMarionette::Call(const std::string& command, const QJsonObject& params, int timeoutMs)
{
    int id = ++m_lastId;
    QByteArray text = QJsonDocument(QJsonArray{0, id, QString::fromStdString(command), params})
                          .toJson(QJsonDocument::Compact);
    std::string framed = std::to_string(text.size()) + ":" + text.toStdString();
    if (m_fd < 0 || ::write(m_fd, framed.data(), framed.size()) != static_cast<ssize_t>(framed.size())) {
        ADD_FAILURE() << command << ": Firefox is not connected";
        return QJsonValue(QJsonValue::Undefined);
    }
    QJsonValue reply;
    while (ReadMessage(&reply, timeoutMs)) {
        QJsonArray fields = reply.toArray();
        if (fields.size() != 4 || fields.at(1).toInt() != id)
            continue;
        if (!fields.at(2).isNull()) {
            ADD_FAILURE() << command << ": " << QJsonDocument(fields.at(2).toObject()).toJson().toStdString();
            return QJsonValue(QJsonValue::Undefined);
        }
        return fields.at(3);
    }
    ADD_FAILURE() << command << " got no answer within " << timeoutMs << " ms";
    return QJsonValue(QJsonValue::Undefined);
}

std::string CMarionette::OpenTab(bool privateWindow)
{
    QJsonObject params{{"type", privateWindow ? "window" : "tab"}};
    if (privateWindow)
        params.insert("private", true);
    std::string handle =
        Call("WebDriver:NewWindow", params).toObject().value("handle").toString().toStdString();
    if (!handle.empty())
        SwitchTo(handle);
    return handle;
}

std::string CMarionette::CurrentTab()
{
    QJsonValue result = Call("WebDriver:GetWindowHandle");
    return (result.isObject() ? result.toObject().value("value") : result).toString().toStdString();
}

void CMarionette::SwitchTo(const std::string& handle)
{
    Call("WebDriver:SwitchToWindow", {{"handle", QString::fromStdString(handle)}});
}

bool CMarionette::Navigate(const std::string& url)
{
    return !Call("WebDriver:Navigate", {{"url", QString::fromStdString(url)}}).isUndefined();
}

void CMarionette::CloseTab()
{
    Call("WebDriver:CloseWindow");
}

}  // namespace wys::test
