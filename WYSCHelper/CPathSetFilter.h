// Selects the records whose saved-copy Path is one of a set of paths.
#pragma once

#include <functional>
#include <set>
#include <string>
#include <string_view>

#include "WYSCHelper/CRecordFilter.h"

// The set is ordered by UTF-16 code units, an order consistent with the
// filter equality (exact code units; a null string is the empty string), so
// membership means that record.Path equals one member. The filter owns
// copies of its members.
class CPathSetFilter final : public CRecordFilter {
public:
    CPathSetFilter() = default;
    // Adds one path; adding an equal path again changes nothing. Throws
    // std::bad_alloc when memory runs out.
    void Add(BSTR path);
    bool Matches(const CUrlRecord& record) const override;

    std::size_t Size() const { return m_paths.size(); }

private:
    std::set<std::u16string, std::less<>> m_paths;
};
