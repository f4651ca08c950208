// Feeds arbitrary bytes to the index reader. Beyond not crashing or leaking,
// whatever it reads must write back to bytes that read back the same, and
// reading appends without touching the records already in the list.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "WYSCHelper/CIndexFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CUrlRecordList list;
    CUrlRecord first;
    first.Time = 7;
    list.Append(first);
    CIndexFile::ReadBytes(data, size, &list);
    if (list.Count() == 0 || list[0].Time != 7)
        std::abort();

    // Every record costs at least 16 bytes of input.
    if ((list.Count() - 1) * 16ull > size)
        std::abort();

    std::string bytes = CIndexFile::Serialize(list);
    CUrlRecordList again;
    CIndexFile::ReadBytes(bytes.data(), bytes.size(), &again);
    if (CIndexFile::Serialize(again) != bytes)
        std::abort();
    return 0;
}
