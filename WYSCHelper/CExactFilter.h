// Selects the records of one moment and one URL: the identity of a visit.
#pragma once

#include <cstdint>
#include <string_view>

#include "WYSCHelper/CRecordFilter.h"

// Matches when record.Time equals `time` and record.Url equals `url`
// (code units exactly; null equals empty). The filter does not copy `url`:
// the string must outlive the filter.
class CExactFilter final : public CRecordFilter {
public:
    CExactFilter(std::int64_t time, BSTR url);
    bool Matches(const CUrlRecord& record) const override;

private:
    std::int64_t m_time;
    std::u16string_view m_url;
};
