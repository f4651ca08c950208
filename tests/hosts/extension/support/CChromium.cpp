#include "tests/hosts/extension/support/CChromium.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <chrono>
#include <filesystem>
#include <thread>

extern char** environ;

namespace wys::test {
namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

CChromium::CChromium(ChromiumOptions options) : m_options(std::move(options))
{
    std::filesystem::create_directories(m_options.userDataDir);
    int toBrowser[2];
    int fromBrowser[2];
    if (::pipe2(toBrowser, O_CLOEXEC) != 0 || ::pipe2(fromBrowser, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "no pipes for Chromium";
        return;
    }
    std::vector<std::string> args{"/usr/bin/chromium",
                                  "--headless=new",
                                  "--no-sandbox",
                                  "--disable-gpu",
                                  "--no-first-run",
                                  "--disable-background-networking",
                                  "--disable-component-update",
                                  "--disable-sync",
                                  "--disable-dev-shm-usage",
                                  "--hide-scrollbars",
                                  "--user-data-dir=" + m_options.userDataDir,
                                  "--remote-debugging-pipe"};
    if (!m_options.extensionDir.empty())
        args.push_back("--load-extension=" + m_options.extensionDir);
    if (m_options.incognito)
        args.push_back("--incognito");
    args.push_back("about:blank");
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::string log = m_options.userDataDir + "/chromium.log";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, toBrowser[0], 3);
    posix_spawn_file_actions_adddup2(&actions, fromBrowser[1], 4);
    int result = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toBrowser[0]);
    ::close(fromBrowser[1]);
    m_toBrowser = toBrowser[1];
    m_fromBrowser = fromBrowser[0];
    if (result != 0) {
        m_pid = -1;
        ADD_FAILURE() << "Chromium could not be started";
        return;
    }
    // The browser is ready once it answers.
    if (Call("Browser.getVersion", {}, {}, 30000).isEmpty())
        ADD_FAILURE() << "Chromium does not answer; see " << log;
}

CChromium::~CChromium()
{
    Close();
}

void CChromium::Close()
{
    if (m_pid <= 0)
        return;
    Call("Browser.close", {}, {}, 5000);
    auto deadline = Clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    m_pid = -1;
    ::close(m_toBrowser);
    ::close(m_fromBrowser);
}

bool CChromium::Read(int timeoutMs)
{
    pollfd fd{m_fromBrowser, POLLIN, 0};
    if (::poll(&fd, 1, timeoutMs) <= 0)
        return false;
    char chunk[65536];
    ssize_t n = ::read(m_fromBrowser, chunk, sizeof chunk);
    if (n <= 0)
        return false;
    m_buffer.append(chunk, static_cast<std::size_t>(n));
    for (std::size_t end = m_buffer.find('\0'); end != std::string::npos; end = m_buffer.find('\0')) {
        QJsonDocument message =
            QJsonDocument::fromJson(QByteArray(m_buffer.data(), static_cast<qsizetype>(end)));
        m_buffer.erase(0, end + 1);
        if (message.isObject())
            m_messages.push_back(message.object());
    }
    return true;
}

QJsonObject CChromium::Call(const std::string& method, const QJsonObject& params, const std::string& session,
                            int timeoutMs)
{
    std::string error;
    std::optional<QJsonObject> result = TryCall(method, params, session, timeoutMs, &error);
    if (!result) {
        ADD_FAILURE() << method << ": " << error;
        return {};
    }
    return *result;
}

std::optional<QJsonObject> CChromium::TryCall(const std::string& method, const QJsonObject& params,
                                              const std::string& session, int timeoutMs, std::string* error)
{
    std::string ignored;
    if (!error)
        error = &ignored;
    if (m_pid <= 0) {
        *error = "the browser is not running";
        return std::nullopt;
    }
    int id = ++m_lastId;
    QJsonObject command{{"id", id}, {"method", QString::fromStdString(method)}, {"params", params}};
    if (!session.empty())
        command.insert("sessionId", QString::fromStdString(session));
    QByteArray text = QJsonDocument(command).toJson(QJsonDocument::Compact);
    text.append('\0');
    if (::write(m_toBrowser, text.constData(), static_cast<std::size_t>(text.size())) != text.size()) {
        *error = "the browser's pipe is closed";
        return std::nullopt;
    }
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        for (auto it = m_messages.begin(); it != m_messages.end(); ++it) {
            if (it->value("id").toInt() != id)
                continue;
            QJsonObject reply = *it;
            m_messages.erase(it);
            if (reply.contains("error")) {
                *error = QJsonDocument(reply.value("error").toObject()).toJson().toStdString();
                return std::nullopt;
            }
            QJsonObject result = reply.value("result").toObject();
            // An empty result is a success too; it is told apart by one key.
            if (result.isEmpty())
                result.insert("ok", true);
            return result;
        }
        // Events are not waited for by id: keep only the last few hundred.
        if (m_messages.size() > 500)
            m_messages.erase(m_messages.begin(), m_messages.begin() + 250);
        if (!Read(MillisecondsLeft(deadline)) && Clock::now() >= deadline) {
            *error = "no answer within " + std::to_string(timeoutMs) + " ms";
            return std::nullopt;
        }
    }
}

std::string CChromium::OpenTab(const std::string& url)
{
    return Call("Target.createTarget", {{"url", QString::fromStdString(url)}})
        .value("targetId")
        .toString()
        .toStdString();
}

void CChromium::CloseTab(const std::string& targetId)
{
    Call("Target.closeTarget", {{"targetId", QString::fromStdString(targetId)}});
}

std::vector<ChromiumTarget> CChromium::Targets()
{
    std::vector<ChromiumTarget> targets;
    for (const QJsonValue& info : Call("Target.getTargets").value("targetInfos").toArray()) {
        QJsonObject object = info.toObject();
        targets.push_back({object.value("targetId").toString().toStdString(),
                           object.value("type").toString().toStdString(),
                           object.value("url").toString().toStdString()});
    }
    return targets;
}

std::string CChromium::Attach(const std::string& targetId)
{
    return Call("Target.attachToTarget", {{"targetId", QString::fromStdString(targetId)}, {"flatten", true}})
        .value("sessionId")
        .toString()
        .toStdString();
}

std::string CChromium::Evaluate(const std::string& session, const std::string& expression, int timeoutMs)
{
    std::optional<QJsonObject> result = TryCall(
        "Runtime.evaluate",
        {{"expression", QString::fromStdString(expression)}, {"awaitPromise", true}, {"returnByValue", true}},
        session, timeoutMs);
    if (!result || result->contains("exceptionDetails"))
        return {};
    QJsonValue value = result->value("result").toObject().value("value");
    return QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).toStdString();
}

std::string CChromium::AttachToExtension(const std::string& extensionId)
{
    const std::string url = "chrome-extension://" + extensionId + "/background.js";
    auto deadline = Clock::now() + std::chrono::seconds(15);
    while (Clock::now() < deadline) {
        for (const ChromiumTarget& target : Targets()) {
            if (target.type != "service_worker" || target.url != url)
                continue;
            // A worker that is still starting (or being replaced) does not answer yet.
            std::optional<QJsonObject> attached =
                TryCall("Target.attachToTarget",
                        {{"targetId", QString::fromStdString(target.id)}, {"flatten", true}}, {}, 3000);
            if (!attached)
                continue;
            std::string session = attached->value("sessionId").toString().toStdString();
            if (Evaluate(session, "typeof chrome.runtime.id", 3000) == "[\"string\"]")
                return session;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return {};
}

bool CChromium::Render(const std::string& url, int width, int height, const std::string& pngPath)
{
    if (m_renderSession.empty()) {
        std::string target = OpenTab("about:blank");
        m_renderSession = Attach(target);
        Call("Page.enable", {}, m_renderSession);
        Call("Network.enable", {}, m_renderSession);
        Call("Network.setCacheDisabled", {{"cacheDisabled", true}}, m_renderSession);
        Call("Emulation.setDeviceMetricsOverride",
             {{"width", width}, {"height", height}, {"deviceScaleFactor", 1}, {"mobile", false}},
             m_renderSession);
    }
    std::erase_if(m_messages,
                  [](const QJsonObject& m) { return m.value("method") == "Page.loadEventFired"; });
    if (Call("Page.navigate", {{"url", QString::fromStdString(url)}}, m_renderSession).isEmpty())
        return false;
    auto deadline = Clock::now() + std::chrono::seconds(20);
    bool loaded = false;
    while (!loaded && Clock::now() < deadline) {
        for (const QJsonObject& m : m_messages)
            loaded = loaded || (m.value("method") == "Page.loadEventFired" &&
                                m.value("sessionId").toString().toStdString() == m_renderSession);
        if (!loaded)
            Read(MillisecondsLeft(deadline));
    }
    if (!loaded) {
        ADD_FAILURE() << url << " did not load";
        return false;
    }
    // Scripts that run after the load event, and the last paint.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    QByteArray png =
        QByteArray::fromBase64(Call("Page.captureScreenshot", {{"format", "png"}}, m_renderSession)
                                   .value("data")
                                   .toString()
                                   .toLatin1());
    QImage image = QImage::fromData(png, "PNG");
    return !image.isNull() && image.save(QString::fromStdString(pngPath));
}

double DifferingPixelShare(const std::string& a, const std::string& b)
{
    QImage left(QString::fromStdString(a));
    QImage right(QString::fromStdString(b));
    if (left.isNull() || left.size() != right.size())
        return 1.0;
    std::string command = "compare -metric AE -fuzz 2% '" + a + "' '" + b + "' null: 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return 1.0;
    char text[256] = {};
    std::size_t n = std::fread(text, 1, sizeof text - 1, pipe);
    int status = ::pclose(pipe);
    text[n] = '\0';
    // 0: alike, 1: different; anything else is compare's own failure.
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1)
        return 1.0;
    return std::strtod(text, nullptr) / (static_cast<double>(left.width()) * left.height());
}

}  // namespace wys::test
