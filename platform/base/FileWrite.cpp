#include "platform/base/FileWrite.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/base/CFileDescriptor.h"

namespace wys::base {

int WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return errno;
        if (written == 0)
            return EIO;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

int SyncFolder(const std::string& folder)
{
    CFileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.IsValid())
        return errno;
    if (::fsync(fd.Get()) != 0)
        return errno;
    return fd.Close();
}

}  // namespace wys::base
