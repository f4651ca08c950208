#include "WYSCHelper/CUrlRecordList.h"

#include <cstdint>
#include <new>

#include "platform/com/Bstr.h"
#include "platform/com/Utf.h"

void CUrlRecordList::Append(CUrlRecord record)
{
    if (m_records.size() >= kNoIndex)
        throw std::bad_alloc();
    m_records.push_back(std::move(record));
}

void CUrlRecordList::ReserveTotal(std::size_t total) noexcept
{
    try {
        m_records.reserve(total);
    } catch (...) {
        // Only a hint: each append grows the list as needed.
    }
}

ULONG CUrlRecordList::FindFirst(const CRecordFilter& filter) const
{
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        if (filter.Matches(m_records[i]))
            return static_cast<ULONG>(i);
    }
    return kNoIndex;
}

std::vector<ULONG> CUrlRecordList::Select(const CRecordFilter& filter) const
{
    std::vector<ULONG> selected;
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        if (filter.Matches(m_records[i]))
            selected.push_back(static_cast<ULONG>(i));
    }
    return selected;
}

std::vector<CUrlRecord> CUrlRecordList::CopySelected(const CRecordFilter& filter) const
{
    std::vector<CUrlRecord> selected;
    for (const CUrlRecord& record : m_records) {
        if (filter.Matches(record))
            selected.push_back(record);
    }
    return selected;
}

void CUrlRecordList::Clear()
{
    m_pathIndex.Clear();
    m_records.clear();
}

std::vector<CUrlRecord> CUrlRecordList::TakeAll()
{
    m_pathIndex.Clear();
    std::vector<CUrlRecord> records = std::move(m_records);
    m_records.clear();
    return records;
}

std::size_t CUrlRecordList::CPathIndex::TailHash::operator()(std::u16string_view path) const
{
    // Only the end of a Path (where the Paths of a folder differ: the day
    // and the file name) and its length; equal hashes still compare whole.
    std::uint64_t hash = path.size() * 0x9E3779B97F4A7C15ull;
    const std::size_t from = path.size() > 24 ? path.size() - 24 : 0;
    for (std::size_t i = from; i < path.size(); ++i)
        hash = (hash ^ path[i]) * 0x100000001B3ull;
    return static_cast<std::size_t>(hash ^ (hash >> 29));
}

void CUrlRecordList::FindPath(std::u16string_view path, std::vector<ULONG>* indices) const
{
    CPathIndex& index = m_pathIndex;
    if (index.covered < m_records.size()) {
        index.byPath.reserve(m_records.size());
        for (; index.covered < m_records.size(); ++index.covered) {
            std::u16string_view key = BstrView(m_records[index.covered].Path);
            bool surrogate = false;
            for (char16_t c : key)
                surrogate = surrogate || (c >= 0xD800 && c <= 0xDFFF);
            if (surrogate) {
                std::u16string readBack = Utf8ToUtf16(Utf16ToUtf8(key));
                if (readBack != key)
                    key = index.converted.emplace_back(std::move(readBack));
            }
            index.byPath.emplace(key, static_cast<ULONG>(index.covered));
        }
    }
    const auto [first, last] = index.byPath.equal_range(path);
    for (auto it = first; it != last; ++it)
        indices->push_back(it->second);
}

void CUrlRecordList::RemoveAt(ULONG index)
{
    m_pathIndex.Clear();
    m_records.erase(m_records.begin() + index);
}

void CUrlRecordList::RemoveIndices(const std::vector<ULONG>& indices)
{
    if (indices.empty())
        return;
    m_pathIndex.Clear();
    std::size_t write = indices.front();
    std::size_t next = 0;
    for (std::size_t read = indices.front(); read < m_records.size(); ++read) {
        if (next < indices.size() && indices[next] == read) {
            ++next;
            continue;
        }
        m_records[write++] = std::move(m_records[read]);
    }
    m_records.erase(m_records.begin() + static_cast<std::ptrdiff_t>(write), m_records.end());
}
