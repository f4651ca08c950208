// The history: one contiguous list of visit records in the order they were
// appended. There is no other index over it; every selection is a linear
// scan from index 0.
#pragma once

#include <vector>

#include "WYSCHelper/CRecordFilter.h"
#include "WYSCHelper/CUrlRecord.h"
#include "platform/base/WinTypes.h"

// Indices are zero-based positions at the moment of use; removing a record
// moves every later one down by one. kNoRecord (0xFFFFFFFF) is never a valid
// index, so the list holds at most 0xFFFFFFFF records.
//
// Not thread-safe: the owner serialises access.
class CUrlRecordList {
public:
    static constexpr ULONG kNoIndex = 0xFFFFFFFFu;

    ULONG Count() const { return static_cast<ULONG>(m_records.size()); }
    bool Empty() const { return m_records.empty(); }
    // REQUIRES: index < Count().
    const CUrlRecord& operator[](ULONG index) const { return m_records[index]; }
    CUrlRecord& operator[](ULONG index) { return m_records[index]; }

    // Appends at the end. Throws std::bad_alloc when memory runs out or the
    // list is full; the list is unchanged then.
    void Append(CUrlRecord record);
    // Makes room for `total` records in all, as far as memory allows; a
    // failure is ignored, since appending will try again.
    void ReserveTotal(std::size_t total) noexcept;

    // The index of the first selected record, or kNoIndex.
    ULONG FindFirst(const CRecordFilter& filter) const;
    // The indices of all selected records, ascending.
    std::vector<ULONG> Select(const CRecordFilter& filter) const;
    // Copies of the selected records in list order.
    std::vector<CUrlRecord> CopySelected(const CRecordFilter& filter) const;

    // REQUIRES: index < Count().
    void RemoveAt(ULONG index);
    // Removes the records at `indices` (ascending, each < Count()) in one
    // pass, keeping the order of the others.
    void RemoveIndices(const std::vector<ULONG>& indices);
    void Clear() { m_records.clear(); }

    std::vector<CUrlRecord>::const_iterator begin() const { return m_records.begin(); }
    std::vector<CUrlRecord>::const_iterator end() const { return m_records.end(); }

private:
    std::vector<CUrlRecord> m_records;
};
