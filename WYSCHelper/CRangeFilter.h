// Selects the records of a time range, optionally of one URL only.
#pragma once

#include <cstdint>
#include <string_view>

#include "WYSCHelper/CRecordFilter.h"

// Matches when start <= record.Time < end, with start = `time` and end =
// `time` + `span`, and, only when `url` is not null, record.Url equals `url`
// (code units exactly; null equals empty). A span of zero or less selects
// nothing. An end beyond the largest time is taken as the largest time, so
// a huge span means "from `time` on" rather than wrapping round to nothing.
// The filter does not copy `url`: the string must outlive the filter.
class CRangeFilter final : public CRecordFilter {
public:
    CRangeFilter(std::int64_t time, std::int64_t span, BSTR url);
    bool Matches(const CUrlRecord& record) const override;

    std::int64_t Start() const { return m_start; }
    std::int64_t End() const { return m_end; }

private:
    std::int64_t m_start;
    std::int64_t m_end;
    bool m_anyUrl;
    std::u16string_view m_url;
};
