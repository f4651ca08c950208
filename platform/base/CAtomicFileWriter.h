// Replaces a file so that a crash, a full disk or a failed write leaves
// either the whole old file or the whole new one, never a mix.
//
// The bytes go to a temporary file in the target's folder. Commit() flushes
// it to disk, gives it the target's name and flushes the folder. Until then
// the target is untouched; a writer destroyed without a successful Commit()
// (a failure, a cancel, an exception) removes its temporary file.
//
// One writer is used by one thread at a time.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

#include "platform/base/CFileDescriptor.h"

namespace wys::base {

class CAtomicFileWriter {
public:
    enum class Replace { Yes, No };
    enum class Flush {
        Always,
        // Only when the target holds bytes: where it is missing or empty, a
        // crash after an unflushed commit leaves at worst what was there.
        WhenReplacingBytes,
    };

    CAtomicFileWriter() = default;
    ~CAtomicFileWriter();
    CAtomicFileWriter(const CAtomicFileWriter&) = delete;
    CAtomicFileWriter& operator=(const CAtomicFileWriter&) = delete;

    // Creates a new temporary file for `target`, named `temporaryPrefix`
    // followed by "<pid>.<n>" (the pid lets a later process tell a dead
    // writer's leftovers); the prefix is "<target>.tmp." when empty and
    // must name the target's folder. `mode` is the new file's permission
    // bits, less the umask. 0 or an errno value.
    int Open(const std::string& target, mode_t mode, const std::string& temporaryPrefix = {});
    // Like Open(), with the temporary file named `temporary` exactly; one
    // left there by a writer that died is replaced. Only for a caller whose
    // lock makes it the target's only writer.
    int OpenFixed(const std::string& target, const std::string& temporary, mode_t mode);

    // The temporary file, for what only a descriptor can do (permission
    // bits, times). -1 before Open() and after Commit().
    int Fd() const { return m_fd.Get(); }
    const std::string& TemporaryPath() const { return m_temporary; }

    // Appends `bytes` to the temporary file. 0 or an errno value.
    int Write(std::string_view bytes);

    // Flushes the temporary file and gives it the target's name: in place of
    // what is there (Replace::Yes), or only where nothing is (Replace::No,
    // which fails with EEXIST otherwise). 0 or an errno value; on failure the
    // temporary file is removed and the target is as it was. `flush` says
    // when the file and its folder are flushed to disk first.
    int Commit(Replace replace = Replace::Yes, Flush flush = Flush::Always);

private:
    int Create(const std::string& temporary, mode_t mode);
    int Publish(Replace replace);
    void Abandon();

    std::string m_target;
    std::string m_temporary;
    CFileDescriptor m_fd;
};

}  // namespace wys::base
