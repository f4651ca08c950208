// Firefox driven through Marionette, its own remote protocol (messages
// "<length>:<JSON>" over TCP on the loopback), for the extension tests:
// tabs and private windows opened, navigated and closed.
//
// Not thread-safe; every call waits for its answer (failing the calling
// test after its time-out).
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <string>

namespace wys::test {

class CMarionette {
public:
    CMarionette() = default;
    ~CMarionette();
    CMarionette(const CMarionette&) = delete;
    CMarionette& operator=(const CMarionette&) = delete;

    // Connects to the Marionette port of a starting Firefox (waiting up to
    // `timeoutMs` for it to listen) and opens a session.
    bool Connect(int port, int timeoutMs);
    // Sends a command; its result, or an undefined value after an error.
    QJsonValue Call(const std::string& command, const QJsonObject& params = {}, int timeoutMs = 30000);

    // Opens a tab in the window of the current tab (or a private window)
    // and makes it the current one; its handle.
    std::string OpenTab(bool privateWindow = false);
    // The current tab, and making a tab current.
    std::string CurrentTab();
    void SwitchTo(const std::string& handle);
    // Loads `url` in the current tab; returns once it has loaded.
    bool Navigate(const std::string& url);
    // Closes the current tab.
    void CloseTab();

private:
    bool ReadMessage(QJsonValue* message, int timeoutMs);

    int m_fd = -1;
    std::string m_buffer;
    int m_lastId = 0;
};

// A loopback port nobody listens on now.
int FreeLoopbackPort();

}  // namespace wys::test
