#include "platform/mime/CStream.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <random>

#include "platform/com/Utf.h"

namespace {

// Removes a temporary file on every way out unless it was given its name.
class CTemporaryFile {
public:
    explicit CTemporaryFile(const std::string& target)
    {
        std::random_device seed;
        for (int attempt = 0; attempt < 16 && m_fd < 0; ++attempt) {
            m_path = target + ".tmp-" + std::to_string(seed());
            m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd < 0 && errno != EEXIST)
                break;
        }
    }
    ~CTemporaryFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_path.empty())
            ::unlink(m_path.c_str());  // Nothing to do when it is already gone.
    }
    CTemporaryFile(const CTemporaryFile&) = delete;
    CTemporaryFile& operator=(const CTemporaryFile&) = delete;

    bool Write(const std::string& bytes)
    {
        if (m_fd < 0)
            return false;
        std::size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += static_cast<std::size_t>(n);
        }
        // The file is complete on disk before it takes the target's name.
        bool synced = ::fsync(m_fd) == 0;
        bool closed = ::close(m_fd) == 0;
        m_fd = -1;
        return synced && closed;
    }

    // Gives the file the target's name, replacing what is there or not.
    bool Publish(const std::string& target, bool replace)
    {
        if (!replace) {
            if (::link(m_path.c_str(), target.c_str()) == 0)
                return true;
            // Without hard links the name is checked and taken in two steps.
            if (errno == EEXIST || ::access(target.c_str(), F_OK) == 0)
                return false;
        }
        if (::rename(m_path.c_str(), target.c_str()) != 0)
            return false;
        m_path.clear();
        return true;
    }

private:
    std::string m_path;
    int m_fd = -1;
};

}  // namespace

HRESULT CStream::get_Size(ADO_LONGPTR* size)
{
    if (!size)
        return E_POINTER;
    *size = static_cast<ADO_LONGPTR>(m_bytes.size());
    return S_OK;
}

HRESULT CStream::SaveToFile(BSTR fileName, SaveOptionsEnum options)
{
    if (options != adSaveCreateNotExist && options != adSaveCreateOverWrite)
        return E_INVALIDARG;
    std::string path = Utf16ToUtf8(BstrView(fileName));
    if (path.empty())
        return E_INVALIDARG;
    bool replace = options == adSaveCreateOverWrite;
    // An existing file is refused before anything is written next to it.
    if (!replace && ::access(path.c_str(), F_OK) == 0)
        return adErrWriteFile;
    CTemporaryFile temporary(path);
    if (!temporary.Write(m_bytes) || !temporary.Publish(path, replace))
        return adErrWriteFile;
    return S_OK;
}
