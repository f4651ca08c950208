#include "platform/base/CAtomicFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/base/FileWrite.h"

namespace wys::base {

namespace {

constexpr int kNameAttempts = 100;

}  // namespace

CAtomicFileWriter::~CAtomicFileWriter()
{
    Abandon();
}

int CAtomicFileWriter::Open(const std::string& target, mode_t mode, const std::string& temporaryPrefix)
{
    static std::atomic<unsigned> counter{0};
    const std::string prefix = temporaryPrefix.empty() ? target + ".tmp." : temporaryPrefix;
    m_target = target;
    int error = EEXIST;
    for (int attempt = 0; attempt < kNameAttempts && error == EEXIST; ++attempt)
        error = Create(prefix + std::to_string(::getpid()) + "." + std::to_string(counter++), mode);
    return error;
}

int CAtomicFileWriter::OpenFixed(const std::string& target, const std::string& temporary, mode_t mode)
{
    m_target = target;
    (void)::unlink(temporary.c_str());  // Usually there is none; Create reports what stays in the way.
    return Create(temporary, mode);
}

int CAtomicFileWriter::Create(const std::string& temporary, mode_t mode)
{
    Abandon();
    m_fd = CFileDescriptor(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!m_fd.IsValid())
        return errno;
    m_temporary = temporary;
    return 0;
}

int CAtomicFileWriter::Write(std::string_view bytes)
{
    if (!m_fd.IsValid())
        return EBADF;
    return WriteAll(m_fd.Get(), bytes);
}

int CAtomicFileWriter::Commit(Replace replace, Flush flush)
{
    if (!m_fd.IsValid())
        return EBADF;
    auto holdsBytes = [this] {
        struct stat target;
        return ::stat(m_target.c_str(), &target) == 0 && target.st_size > 0;
    };
    const bool flushed = flush == Flush::Always || (replace == Replace::Yes && holdsBytes());
    int error = flushed && ::fsync(m_fd.Get()) != 0 ? errno : 0;
    if (const int closed = m_fd.Close(); !error)
        error = closed;
    if (!error)
        error = Publish(replace);
    if (error) {
        Abandon();
        return error;
    }
    // The new file is whole on disk; a folder that cannot be flushed only
    // leaves its name less certain to survive a crash.
    if (flushed)
        (void)SyncFolder(FolderOf(m_target));
    return 0;
}

int CAtomicFileWriter::Publish(Replace replace)
{
    if (replace == Replace::No) {
        // A second name, which link() never takes from an existing file;
        // the temporary one goes with Abandon().
        if (::link(m_temporary.c_str(), m_target.c_str()) == 0) {
            Abandon();
            return 0;
        }
        // Without hard links the name is checked and taken in two steps.
        if (errno == EEXIST || ::access(m_target.c_str(), F_OK) == 0)
            return EEXIST;
    }
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0)
        return errno;
    m_temporary.clear();
    return 0;
}

void CAtomicFileWriter::Abandon()
{
    (void)m_fd.Close();  // The bytes are being thrown away.
    if (!m_temporary.empty())
        (void)::unlink(m_temporary.c_str());  // Nothing to do when it is already gone.
    m_temporary.clear();
}

}  // namespace wys::base
