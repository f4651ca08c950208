// The history: one contiguous list of visit records in the order they were
// appended. Every selection is a linear scan from index 0; only finding
// records by Path has an index of its own (FindPaths), made when first
// needed, kept up as records are appended and made anew after a removal.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
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
    // Records are never changed in place (the index by Path reads their
    // strings), only appended and removed.
    const CUrlRecord& operator[](ULONG index) const { return m_records[index]; }

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
    void Clear();
    // Moves every record out, leaving the list empty.
    std::vector<CUrlRecord> TakeAll();

    // The indices of the records whose Path is `path`, appended to
    // *indices. A Path is compared as it reads after a round trip through
    // UTF-8, which is how the content index names it (a lone surrogate
    // becomes a replacement character). Throws std::bad_alloc.
    void FindPath(std::u16string_view path, std::vector<ULONG>* indices) const;

    std::vector<CUrlRecord>::const_iterator begin() const { return m_records.begin(); }
    std::vector<CUrlRecord>::const_iterator end() const { return m_records.end(); }

private:
    // A cache: copies and moved lists start without one.
    struct CPathIndex {
        CPathIndex() = default;
        CPathIndex(const CPathIndex&) {}
        CPathIndex& operator=(const CPathIndex&)
        {
            Clear();
            return *this;
        }
        void Clear()
        {
            byPath.clear();
            converted.clear();
            covered = 0;
        }
        struct TailHash {
            std::size_t operator()(std::u16string_view path) const;
        };
        std::unordered_multimap<std::u16string_view, ULONG, TailHash> byPath;
        std::deque<std::u16string> converted;  // keys of Paths that do not read back the same
        std::size_t covered = 0;               // records [0, covered) are in byPath
    };

    std::vector<CUrlRecord> m_records;
    mutable CPathIndex m_pathIndex;
};
