#include "WYSCHelper/CIndexFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "platform/base/CAtomicFileWriter.h"

namespace {

constexpr std::size_t kBufferSize = 1 << 16;
// A write is flushed once this much has gathered.
constexpr std::size_t kFlushSize = 1 << 20;
// The smallest record: Time and two null strings (Title absent or null too).
constexpr std::uint64_t kSmallestRecord = 8 + 4 + 4;
// How many copies of unreadable index files a folder may gather.
constexpr int kMaxKeptAside = 100;

// --- Writing ----------------------------------------------------------------

void PutU32(std::string& out, std::uint32_t value)
{
    char bytes[4];
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    out.append(bytes, 4);
}

void PutI64(std::string& out, std::int64_t value)
{
    auto bits = static_cast<std::uint64_t>(value);
    char bytes[8];
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    out.append(bytes, 8);
}

void PutString(std::string& out, BSTR text)
{
    if (!text) {
        PutU32(out, 0);
        return;
    }
    UINT bytes = SysStringByteLen(text);
    PutU32(out, bytes + 2);
    out.append(reinterpret_cast<const char*>(text), bytes);
    out.append(2, '\0');
}

void PutHeader(std::string& out, const CUrlRecordList& list)
{
    PutU32(out, CIndexFile::kVersion);
    PutU32(out, list.Count());
}

void PutRecord(std::string& out, const CUrlRecord& record)
{
    PutI64(out, record.Time);
    PutString(out, record.Url);
    PutString(out, record.Path);
    PutString(out, record.Title);
}

// The temporary files of a target are "<target>.tmp.<pid>.<n>": the pid
// tells whether their writer may still be at work.
constexpr std::string_view kTemporaryInfix = ".tmp.";

bool IsDecimal(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// Whether `text` is a decimal number that fits a pid; the number in *pid.
bool ParsePid(std::string_view text, pid_t* pid)
{
    if (!IsDecimal(text) || text.size() > 9)
        return false;
    pid_t value = 0;
    for (char c : text)
        value = value * 10 + (c - '0');
    *pid = value;
    return value > 0;
}

// The pid of a temporary file's writer, when `name` is "<base>.tmp.<pid>.<n>".
bool TemporaryWriter(std::string_view name, std::string_view base, pid_t* pid)
{
    if (name.size() <= base.size() + kTemporaryInfix.size() || name.substr(0, base.size()) != base ||
        name.substr(base.size(), kTemporaryInfix.size()) != kTemporaryInfix)
        return false;
    std::string_view rest = name.substr(base.size() + kTemporaryInfix.size());
    std::size_t dot = rest.find('.');
    return dot != std::string_view::npos && ParsePid(rest.substr(0, dot), pid) &&
           IsDecimal(rest.substr(dot + 1));
}

// --- Reading ----------------------------------------------------------------

// Where the reader's bytes come from. Remaining() bounds every allocation.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // False, with some of the bytes consumed, when fewer than `size` are left.
    virtual bool Read(void* out, std::size_t size) = 0;
    virtual std::uint64_t Remaining() const = 0;
};

class MemorySource final : public ByteSource {
public:
    MemorySource(const void* data, std::size_t size) : m_data(static_cast<const char*>(data)), m_left(size) {}
    bool Read(void* out, std::size_t size) override
    {
        if (size > m_left)
            return false;
        std::memcpy(out, m_data, size);
        m_data += size;
        m_left -= size;
        return true;
    }
    std::uint64_t Remaining() const override { return m_left; }

private:
    const char* m_data;
    std::size_t m_left;
};

class FileSource final : public ByteSource {
public:
    FileSource(int fd, std::uint64_t size) : m_fd(fd), m_left(size) {}
    bool Read(void* out, std::size_t size) override
    {
        auto* target = static_cast<char*>(out);
        while (size > 0) {
            if (m_begin == m_end && !Fill())
                return false;
            std::size_t take = std::min(size, m_end - m_begin);
            std::memcpy(target, m_buffer + m_begin, take);
            m_begin += take;
            target += take;
            size -= take;
            m_left -= std::min<std::uint64_t>(m_left, take);
        }
        return true;
    }
    std::uint64_t Remaining() const override { return m_left; }
    // A read failed (rather than the data ending).
    bool Failed() const { return m_failed; }

private:
    bool Fill()
    {
        for (;;) {
            ssize_t got = ::read(m_fd, m_buffer, sizeof m_buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                m_failed = true;
            if (got <= 0)
                return false;
            m_begin = 0;
            m_end = static_cast<std::size_t>(got);
            return true;
        }
    }

    int m_fd;
    std::uint64_t m_left;
    bool m_failed = false;
    char m_buffer[kBufferSize];
    std::size_t m_begin = 0;
    std::size_t m_end = 0;
};

bool GetU32(ByteSource& source, std::uint32_t* value)
{
    unsigned char bytes[4];
    if (!source.Read(bytes, 4))
        return false;
    *value = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
             static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    return true;
}

bool GetI64(ByteSource& source, std::int64_t* value)
{
    unsigned char bytes[8];
    if (!source.Read(bytes, 8))
        return false;
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = bits << 8 | bytes[i];
    *value = static_cast<std::int64_t>(bits);
    return true;
}

// False ends the reading. The string's terminator is always a real NUL,
// whatever the file holds in its place.
bool GetString(ByteSource& source, BSTR* text)
{
    std::uint32_t count;
    if (!GetU32(source, &count))
        return false;
    if (count == 0) {
        *text = nullptr;
        return true;
    }
    // A count of 1 cannot hold the terminator; more than the file holds
    // cannot be read in full. Either way the data is damaged here.
    if (count < 2 || count > source.Remaining())
        return false;
    BSTR made = SysAllocStringByteLen(nullptr, count - 2);
    if (!made)
        return false;
    char terminator[2];
    if (!source.Read(made, count - 2) || !source.Read(terminator, 2)) {
        SysFreeString(made);
        return false;
    }
    *text = made;
    return true;
}

// False for a file of a later version, which is not read.
bool ReadFrom(ByteSource& source, CUrlRecordList* list)
{
    std::uint32_t version;
    std::uint32_t count;
    if (!GetU32(source, &version))
        return true;
    if (version > CIndexFile::kVersion)
        return false;
    if (!GetU32(source, &count))
        return true;
    // The count is only a hint and may be hostile: never reserve more than
    // the remaining bytes could hold.
    std::uint64_t room = std::min<std::uint64_t>(count, source.Remaining() / kSmallestRecord);
    list->ReserveTotal(static_cast<std::size_t>(list->Count() + room));
    const bool hasTitle = version > 1;
    try {
        for (;;) {
            CUrlRecord record;
            if (!GetI64(source, &record.Time))
                return true;
            if (!GetString(source, &record.Url) || !GetString(source, &record.Path))
                return true;
            if (hasTitle && !GetString(source, &record.Title))
                return true;
            list->Append(std::move(record));
        }
    } catch (const std::bad_alloc&) {
        // Out of memory ends the reading like a damaged tail: what was read stays.
    }
    return true;
}

}  // namespace

std::string CIndexFile::PathIn(const std::string& folder)
{
    return folder + "/" + kFileName;
}

std::string CIndexFile::BesideLaterPathIn(const std::string& folder)
{
    return folder + "/" + kBesideLaterFileName;
}

std::string CIndexFile::Serialize(const CUrlRecordList& list)
{
    std::string out;
    PutHeader(out, list);
    for (const CUrlRecord& record : list)
        PutRecord(out, record);
    return out;
}

bool CIndexFile::Write(const std::string& path, const CUrlRecordList& list)
{
    try {
        wys::base::CAtomicFileWriter file;
        if (file.Open(path, 0666, path + std::string(kTemporaryInfix)) != 0)
            return false;
        struct stat existing;
        if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
            ::fchmod(file.Fd(), existing.st_mode & 07777);  // Best effort: the data matters more.
        std::string buffer;
        buffer.reserve(kFlushSize + 4096);
        PutHeader(buffer, list);
        for (const CUrlRecord& record : list) {
            PutRecord(buffer, record);
            if (buffer.size() >= kFlushSize) {
                if (file.Write(buffer) != 0)
                    return false;
                buffer.clear();
            }
        }
        return file.Write(buffer) == 0 && file.Commit() == 0;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

CIndexFile::ReadResult CIndexFile::Read(const std::string& path, CUrlRecordList* list)
{
    if (!list)
        return ReadResult::Read;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Unreadable;
    ReadResult result = ReadResult::Unreadable;
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        try {
            auto source = std::make_unique<FileSource>(fd, static_cast<std::uint64_t>(info.st_size));
            if (!ReadFrom(*source, list))
                result = ReadResult::Foreign;
            else if (!source->Failed())
                result = ReadResult::Read;
        } catch (const std::bad_alloc&) {
            // No buffer, no records: the list stays as it was, and the file
            // counts as unread.
        }
    }
    ::close(fd);
    return result;
}

void CIndexFile::ReadBytes(const void* data, std::size_t size, CUrlRecordList* list)
{
    if (!list)
        return;
    MemorySource source(data, size);
    ReadFrom(source, list);
}

void CIndexFile::RemoveStaleTemporaries(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    DIR* listing = ::opendir(folder.c_str());
    if (!listing)
        return;
    const int fd = ::dirfd(listing);
    while (const dirent* entry = ::readdir(listing)) {
        pid_t writer = 0;
        if (!TemporaryWriter(entry->d_name, base, &writer))
            continue;
        // A pid that answers (even as another user's process) may be the
        // writer at work; only one that is gone leaves its file behind.
        if (::kill(writer, 0) == 0 || errno != ESRCH)
            continue;
        struct stat info;
        if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode))
            (void)::unlinkat(fd, entry->d_name, 0);  // Gone already, or not ours to remove: it stays.
    }
    ::closedir(listing);
}

std::optional<std::string> CIndexFile::KeepAside(const std::string& path)
{
    for (int n = 1; n <= kMaxKeptAside; ++n) {
        std::string target = path + ".bad" + (n == 1 ? std::string() : "." + std::to_string(n));
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
            return target;
        if (errno == ENOENT)
            return std::string();
        if (errno == EINVAL || errno == ENOSYS) {
            // A file system that cannot rename without replacing: a second
            // name, which link() never takes from an existing file, then
            // the first one goes.
            if (::link(path.c_str(), target.c_str()) == 0) {
                ::unlink(path.c_str());
                return target;
            }
            if (errno == ENOENT)
                return std::string();
        }
        if (errno != EEXIST)
            return std::nullopt;
    }
    errno = EEXIST;
    return std::nullopt;
}
