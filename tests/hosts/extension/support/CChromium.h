// Debian's headless Chromium for the extension tests, driven through the
// DevTools protocol on a pipe (--remote-debugging-pipe): a browser of its
// own (a fresh user data folder, optionally the Wayscribe extension loaded
// and its native host registered there), tabs opened and closed, pages
// rendered to PNG.
//
// Not thread-safe; every call waits for its answer (failing the calling
// test, and answering empty, after its time-out).
#pragma once

#include <sys/types.h>

#include <QJsonObject>
#include <optional>
#include <string>
#include <vector>

namespace wys::test {

struct ChromiumOptions {
    std::string userDataDir;   // made when missing
    std::string extensionDir;  // empty: no extension
    bool incognito = false;    // every window private
};

struct ChromiumTarget {
    std::string id;
    std::string type;  // "page", "service_worker", ...
    std::string url;
};

class CChromium {
public:
    explicit CChromium(ChromiumOptions options);
    ~CChromium();
    CChromium(const CChromium&) = delete;
    CChromium& operator=(const CChromium&) = delete;

    bool Running() const { return m_pid > 0; }
    // Sends a command (to a target's session when `session` is given) and
    // returns its "result"; an empty object after an error or time-out.
    QJsonObject Call(const std::string& method, const QJsonObject& params = {},
                     const std::string& session = {}, int timeoutMs = 20000);
    // The same without failing the test: null after an error or time-out.
    std::optional<QJsonObject> TryCall(const std::string& method, const QJsonObject& params,
                                       const std::string& session, int timeoutMs,
                                       std::string* error = nullptr);

    // Opens a tab of a normal window on `url`; its target id.
    std::string OpenTab(const std::string& url);
    void CloseTab(const std::string& targetId);
    std::vector<ChromiumTarget> Targets();
    // Attaches to a target; the session id.
    std::string Attach(const std::string& targetId);
    // Evaluates `expression` (awaiting a promise) in a session; its value
    // as JSON text in brackets ("[true]"), "" when it failed.
    std::string Evaluate(const std::string& session, const std::string& expression, int timeoutMs = 20000);
    // A session in the background of the extension `extensionId`, once it
    // runs and answers; empty when it does not within 15 s.
    std::string AttachToExtension(const std::string& extensionId);
    // Loads `url` in a tab of `width` x `height` without cache and saves a
    // screenshot of it as `pngPath`, once the page's load event has passed.
    bool Render(const std::string& url, int width, int height, const std::string& pngPath);
    // Closes the browser (and with it the extension's native host).
    void Close();

private:
    bool Read(int timeoutMs);

    ChromiumOptions m_options;
    pid_t m_pid = -1;
    int m_toBrowser = -1;
    int m_fromBrowser = -1;
    std::string m_buffer;
    std::vector<QJsonObject> m_messages;  // read and not yet taken
    int m_lastId = 0;
    std::string m_renderSession;
};

// The share (0..1) of pixels in which two PNG files differ, by ImageMagick
// (compare -metric AE -fuzz 2%); 1 when they cannot be compared.
double DifferingPixelShare(const std::string& a, const std::string& b);

}  // namespace wys::test
