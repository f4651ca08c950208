#include "hosts/extension/BrowserLink.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "hosts/extension/ExtensionMessage.h"

namespace wys::extension {
namespace {

// Made when missing; refused when it is not this user's own private folder,
// since a socket in someone else's folder could be theirs.
bool EnsurePrivateFolder(const std::string& path, std::string* why)
{
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        *why = "cannot make " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() ||
        (info.st_mode & 077) != 0) {
        *why = path + " is not a private folder of this user";
        return false;
    }
    return true;
}

bool MakeAddress(const std::string& path, sockaddr_un* address)
{
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (path.size() >= sizeof address->sun_path)
        return false;
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool PeerIsThisUser(int fd)
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
           credentials.uid == ::geteuid();
}

}  // namespace

std::string BrowserLinkFolder(std::string* why)
{
    std::string root;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
        root = runtime;
    } else {
        root = "/tmp/wayscribe-" + std::to_string(::geteuid());
        if (!EnsurePrivateFolder(root, why))
            return {};
    }
    for (const char* part : {"/wayscribe", "/wayscribe/browsers"}) {
        if (!EnsurePrivateFolder(root + part, why))
            return {};
    }
    return root + "/wayscribe/browsers";
}

std::vector<std::string> BrowserLinkSockets()
{
    std::string why;
    std::string folder = BrowserLinkFolder(&why);
    std::vector<std::pair<timespec, std::string>> found;
    if (DIR* dir = folder.empty() ? nullptr : ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (!name.ends_with(".sock"))
                continue;
            std::string path = folder + "/" + name;
            struct stat info;
            if (::lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) && info.st_uid == ::geteuid())
                found.emplace_back(info.st_mtim, path);
        }
        ::closedir(dir);
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        if (a.first.tv_sec != b.first.tv_sec)
            return a.first.tv_sec > b.first.tv_sec;
        return a.first.tv_nsec > b.first.tv_nsec;
    });
    std::vector<std::string> paths;
    for (auto& [time, path] : found)
        paths.push_back(std::move(path));
    return paths;
}

std::optional<BandRequest> ParseBandRequest(std::string_view json, std::string* why)
{
    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(
        QByteArray::fromRawData(json.data(), static_cast<qsizetype>(json.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        *why = "not a JSON object";
        return std::nullopt;
    }
    QJsonObject object = document.object();
    if (object.value("type").toString() != "navigate") {
        *why = "not a navigate request";
        return std::nullopt;
    }
    QJsonValue url = object.value("url");
    QJsonValue savedCopy = object.value("savedCopy");
    if (!url.isString() || !(savedCopy.isUndefined() || savedCopy.isBool())) {
        *why = "\"url\" is not a text or \"savedCopy\" not true or false";
        return std::nullopt;
    }
    BandRequest request{url.toString().toStdString(), savedCopy.toBool()};
    if (!IsNavigableUrl(request.url)) {
        *why = "not an http, https, ftp or file URL";
        return std::nullopt;
    }
    return request;
}

std::string BandRequestMessage(const BandRequest& request)
{
    QJsonObject object{
        {"type", "navigate"}, {"url", QString::fromStdString(request.url)}, {"savedCopy", request.savedCopy}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::string BandReplyMessage(const std::string& error)
{
    QJsonObject object{{"type", "navigated"}, {"ok", error.empty()}};
    if (!error.empty())
        object.insert("error", QString::fromStdString(error));
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::optional<bool> ParseBandReply(std::string_view json, std::string* error)
{
    QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromRawData(json.data(), static_cast<qsizetype>(json.size())));
    QJsonObject object = document.object();
    if (object.value("type").toString() != "navigated" || !object.value("ok").isBool())
        return std::nullopt;
    *error = object.value("error").toString().toStdString();
    return object.value("ok").toBool();
}

CBrowserLinkListener::~CBrowserLinkListener()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_path.c_str());
    }
}

bool CBrowserLinkListener::Listen(std::string* why)
{
    std::string folder = BrowserLinkFolder(why);
    if (folder.empty())
        return false;
    m_path = folder + "/" + std::to_string(::getpid()) + ".sock";
    sockaddr_un address;
    if (!MakeAddress(m_path, &address)) {
        *why = "the socket path " + m_path + " is too long";
        return false;
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *why = std::string("no socket: ") + std::strerror(errno);
        return false;
    }
    // A socket left by a host that died with this process number.
    ::unlink(m_path.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0) {
        *why = "cannot listen on " + m_path + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

int CBrowserLinkListener::Accept()
{
    for (;;) {
        int peer = ::accept4(m_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (peer < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return -1;
        }
        if (PeerIsThisUser(peer))
            return peer;
        ::close(peer);  // another user may not steer this user's browser
    }
}

void CBrowserLinkListener::Touch()
{
    if (!m_path.empty())
        ::utimensat(AT_FDCWD, m_path.c_str(), nullptr, 0);
}

}  // namespace wys::extension
