#include "WYSCHelper/CUrlRecordList.h"

#include <new>

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

void CUrlRecordList::RemoveAt(ULONG index)
{
    m_records.erase(m_records.begin() + index);
}

void CUrlRecordList::RemoveIndices(const std::vector<ULONG>& indices)
{
    if (indices.empty())
        return;
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
