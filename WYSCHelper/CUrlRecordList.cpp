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

std::uint64_t CUrlRecordList::CPathIndex::Hash(std::u16string_view path)
{
    // Only the end of a Path (where the Paths of a folder differ: the day
    // and the file name) and its length; equal hashes still compare whole.
    std::uint64_t hash = path.size() * 0x9E3779B97F4A7C15ull;
    const std::size_t from = path.size() > 24 ? path.size() - 24 : 0;
    for (std::size_t i = from; i < path.size(); ++i)
        hash = (hash ^ path[i]) * 0x100000001B3ull;
    return hash ^ (hash >> 29);
}

std::u16string_view CUrlRecordList::PathKey(ULONG index) const
{
    if (!m_pathIndex.converted.empty()) {
        const auto converted = m_pathIndex.converted.find(index);
        if (converted != m_pathIndex.converted.end())
            return converted->second;
    }
    return BstrView(m_records[index].Path);
}

void CUrlRecordList::AddToPathIndex(ULONG index, std::u16string_view key) const
{
    std::vector<std::uint64_t>& table = m_pathIndex.table;
    const std::uint64_t hash = CPathIndex::Hash(key);
    const std::size_t mask = table.size() - 1;
    std::size_t at = static_cast<std::size_t>(hash) & mask;
    while (table[at] != 0)
        at = (at + 1) & mask;
    table[at] = (hash & 0xFFFFFFFF00000000ull) | (std::uint64_t{index} + 1);
    ++m_pathIndex.used;
}

void CUrlRecordList::FindPath(std::u16string_view path, std::vector<ULONG>* indices) const
{
    CPathIndex& index = m_pathIndex;
    if (index.covered < m_records.size()) {
        // At most half full, so that a Path not held ends its search soon.
        std::size_t wanted = 16;
        while (wanted < 2 * m_records.size())
            wanted *= 2;
        std::size_t from = index.covered;
        if (index.table.size() < wanted) {
            index.table.assign(wanted, 0);
            index.used = 0;
            from = 0;
        }
        for (std::size_t k = from; k < m_records.size(); ++k) {
            const auto record = static_cast<ULONG>(k);
            std::u16string_view key = BstrView(m_records[k].Path);
            bool surrogate = false;
            for (char16_t c : key)
                surrogate = surrogate || (c >= 0xD800 && c <= 0xDFFF);
            if (surrogate && !index.converted.count(record)) {
                std::u16string readBack = Utf8ToUtf16(Utf16ToUtf8(key));
                if (readBack != key)
                    key = index.converted.emplace(record, std::move(readBack)).first->second;
            } else if (surrogate) {
                key = index.converted.find(record)->second;
            }
            AddToPathIndex(record, key);
        }
        index.covered = m_records.size();
    }
    const std::vector<std::uint64_t>& table = index.table;
    if (table.empty())
        return;
    const std::uint64_t hash = CPathIndex::Hash(path);
    const std::uint64_t tag = hash & 0xFFFFFFFF00000000ull;
    const std::size_t mask = table.size() - 1;
    for (std::size_t at = static_cast<std::size_t>(hash) & mask; table[at] != 0; at = (at + 1) & mask) {
        if ((table[at] & 0xFFFFFFFF00000000ull) != tag)
            continue;
        const auto record = static_cast<ULONG>((table[at] & 0xFFFFFFFFull) - 1);
        if (PathKey(record) == path)
            indices->push_back(record);
    }
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
