#include "platform/shell/FileCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <vector>

#include "platform/base/CAtomicFileWriter.h"
#include "platform/base/CFileDescriptor.h"
#include "platform/shell/PathText.h"

namespace wys::shell {

namespace {

constexpr std::size_t kChunkSize = 256 * 1024;

// A short hidden name: one made from the target's could pass the length a
// name may have, and a listing of the folder does not show it.
std::string TemporaryPrefix(const std::string& target)
{
    const std::string folder = ParentFolder(target);
    return (folder == "/" ? "" : folder) + "/.wys-copy-";
}

}  // namespace

CopyResult CopyRegularFile(const std::string& source, const std::string& target,
                           const std::function<bool(std::uint64_t)>& onChunk, int& error)
{
    wys::base::CFileDescriptor in(::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info;
    if (!in.IsValid() || ::fstat(in.Get(), &info) != 0) {
        error = errno;
        return CopyResult::Failed;
    }
    // Every way out before the commit removes the temporary file.
    wys::base::CAtomicFileWriter out;
    if ((error = out.Open(target, 0600, TemporaryPrefix(target))))
        return CopyResult::Failed;
    std::vector<char> buffer(kChunkSize);
    for (;;) {
        const ssize_t got = ::read(in.Get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = errno;
            return CopyResult::Failed;
        }
        if (got == 0)
            break;
        if ((error = out.Write(std::string_view(buffer.data(), static_cast<std::size_t>(got)))))
            return CopyResult::Failed;
        if (!onChunk(static_cast<std::uint64_t>(got)))
            return CopyResult::Cancelled;
    }
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    if (::fchmod(out.Fd(), info.st_mode & 07777) != 0 || ::futimens(out.Fd(), times) != 0) {
        error = errno;
        return CopyResult::Failed;
    }
    error = out.Commit();
    return error ? CopyResult::Failed : CopyResult::Copied;
}

int CopySymbolicLink(const std::string& source, const std::string& target)
{
    std::vector<char> content(256);
    for (;;) {
        const ssize_t length = ::readlink(source.c_str(), content.data(), content.size());
        if (length < 0)
            return errno;
        if (static_cast<std::size_t>(length) < content.size()) {
            content.resize(static_cast<std::size_t>(length));
            break;
        }
        content.resize(content.size() * 2);
    }
    content.push_back('\0');
    if (::unlink(target.c_str()) != 0 && errno != ENOENT)
        return errno;
    return ::symlink(content.data(), target.c_str()) == 0 ? 0 : errno;
}

}  // namespace wys::shell
