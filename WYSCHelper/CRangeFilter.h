// Selects the records of a time range, optionally of one URL only.
#pragma once

#include <cstdint>
#include <string_view>

#include "WYSCHelper/CRecordFilter.h"

// Matches when start <= record.Time < start + span, with start = `time`,
// and, only when `url` is not null, record.Url equals `url` (code units
// exactly; null equals empty). A span of zero or less selects nothing. The
// end is taken as the true sum, which may lie beyond the largest time: no
// span wraps round, and a span reaching past the largest time selects
// every time from `time` on. The filter does not copy `url`: the string
// must outlive the filter.
class CRangeFilter final : public CRecordFilter {
public:
    CRangeFilter(std::int64_t time, std::int64_t span, BSTR url);
    bool Matches(const CUrlRecord& record) const override;

    std::int64_t Start() const { return m_start; }

private:
    std::int64_t m_start;
    std::int64_t m_span;
    bool m_anyUrl;
    std::u16string_view m_url;
};
