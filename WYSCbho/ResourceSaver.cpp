#include "WYSCbho/ResourceSaver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "WYSCbho/LocalName.h"
#include "WYSCbho/ParseUrl.h"

namespace wys::capture {
namespace {

// Bytes gathered from reads before they are written to the target file.
constexpr std::size_t kWriteChunk = 64 * 1024;

class UniqueFd {
public:
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

class InternetHandleCloser {
public:
    explicit InternetHandleCloser(HINTERNET handle) : m_handle(handle) {}
    ~InternetHandleCloser()
    {
        if (m_handle)
            InternetCloseHandle(m_handle);
    }
    InternetHandleCloser(const InternetHandleCloser&) = delete;
    InternetHandleCloser& operator=(const InternetHandleCloser&) = delete;

private:
    HINTERNET m_handle;
};

void WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        // A failed write loses this chunk only; the download goes on, as
        // write errors are not a reason to give up the rest of the page.
        if (written <= 0)
            return;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

}  // namespace

ResourceSaver::ResourceSaver(std::string targetFolder, FileUrlCopy fileUrls, CaptureStopRef stop)
    : m_targetFolder(std::move(targetFolder)), m_fileUrls(fileUrls), m_stop(std::move(stop))
{
}

ResourceSaver::~ResourceSaver()
{
    if (m_session)
        InternetCloseHandle(m_session);
}

HINTERNET ResourceSaver::Session()
{
    if (m_session)
        return m_session;
    m_session = InternetOpen(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (m_session && m_stop) {
        CaptureStopRef stop = m_stop;
        InternetSetStopCheck(m_session, [stop] { return stop->IsStopRequested(); });
    }
    return m_session;
}

bool ResourceSaver::SaveUrl(const std::string& url, const std::string& target)
{
    std::optional<UrlParts> parts = ParseUrl(url);
    if (!parts || parts->Scheme == kSchemeUnknown)
        return false;
    if (parts->Scheme == kSchemeFile) {
        if (m_fileUrls != FileUrlCopy::Allowed)
            return false;
        return CopyLocalFile(parts->UrlPath, target);
    }
    return Download(url, target);
}

bool ResourceSaver::CopyLocalFile(const std::string& path, const std::string& target)
{
    // A file URL's path is an absolute path here; several leading separators
    // ("file:////x") stand for one.
    std::size_t first = path.find_first_not_of("/\\");
    if (first == std::string::npos)
        return false;
    std::string source = "/" + path.substr(first);
    std::error_code error;
    if (!std::filesystem::is_regular_file(source, error))
        return false;
    return std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing, error);
}

bool ResourceSaver::Download(const std::string& url, const std::string& target)
{
    HINTERNET session = Session();
    if (!session)
        return false;
    HINTERNET request = InternetOpenUrl(session, url.c_str(), nullptr, 0, INTERNET_FLAG_NEED_FILE, 1);
    if (!request)
        return false;
    InternetHandleCloser closeRequest(request);

    // Exclusive creation: an existing target (a file of another resource, or
    // of a capture running beside this one) is never replaced.
    UniqueFd file(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (file.Get() < 0)
        return false;

    // Reads stay at most kTransferBuffer bytes each; the file is written in
    // larger pieces, as one write per read costs more than the read itself.
    std::string pending;
    pending.reserve(kWriteChunk);
    char buffer[kTransferBuffer];
    bool attempted = false;
    while (!IsStopRequested(m_stop)) {
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request, &available, 0, 0) || available == 0)
            break;
        DWORD read = 0;
        attempted = true;
        if (!InternetReadFile(request, buffer, available < kTransferBuffer ? available : kTransferBuffer, &read))
            break;
        pending.append(buffer, read);
        if (pending.size() >= kWriteChunk) {
            WriteAll(file.Get(), pending.data(), pending.size());
            pending.clear();
        }
    }
    WriteAll(file.Get(), pending.data(), pending.size());
    return attempted;
}

void SaveResource(ResourceSaver& saver, const std::string& url)
{
    std::optional<std::string> name = LocalNameOf(url);
    if (!name)
        return;
    std::optional<std::string> target = FreeTargetPath(saver.TargetFolder(), *name);
    if (!target)
        return;
    if (saver.SaveUrl(url, *target))
        saver.SavedFiles().emplace(url, *target);
}

std::map<std::string, std::string> SaveAll(ResourceSaver& saver, const std::set<std::string>& urls)
{
    for (const std::string& url : urls) {
        if (IsStopRequested(saver.StopFlag()))
            break;
        SaveResource(saver, url);
    }
    return saver.SavedFiles();
}

}  // namespace wys::capture
