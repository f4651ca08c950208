#include "common/HistoryFileVisits.h"

#include <cstdint>
#include <cstdio>
#include <memory>

namespace wys {

namespace {

constexpr std::uint32_t kLatestVersion = 2;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

bool ReadU32(std::FILE* file, std::uint32_t* value)
{
    unsigned char bytes[4];
    if (std::fread(bytes, 1, 4, file) != 4)
        return false;
    *value = std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
             std::uint32_t{bytes[3]} << 24;
    return true;
}

// Steps over one string (a byte count, then that many bytes); false when
// the file ends first.
bool SkipString(std::FILE* file, long size)
{
    std::uint32_t bytes = 0;
    if (!ReadU32(file, &bytes))
        return false;
    const long at = std::ftell(file);
    if (at < 0 || bytes > static_cast<std::uint64_t>(size - at))
        return false;
    return std::fseek(file, static_cast<long>(bytes), SEEK_CUR) == 0;
}

}  // namespace

std::optional<unsigned long> CountHistoryFileVisits(const std::string& path)
{
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0)
        return std::nullopt;
    const long size = std::ftell(file.get());
    if (size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0)
        return std::nullopt;
    std::uint32_t version = 0;
    std::uint32_t count = 0;
    if (!ReadU32(file.get(), &version))
        return 0ul;  // an empty file: its reader loads nothing, and that is no error
    if (version > kLatestVersion)
        return std::nullopt;
    if (!ReadU32(file.get(), &count))
        return 0ul;
    unsigned long records = 0;
    for (;;) {
        unsigned char time[8];
        if (std::fread(time, 1, sizeof time, file.get()) != sizeof time)
            break;
        if (!SkipString(file.get(), size) || !SkipString(file.get(), size))
            break;
        if (version > 1 && !SkipString(file.get(), size))
            break;
        ++records;
    }
    return records;
}

}  // namespace wys
