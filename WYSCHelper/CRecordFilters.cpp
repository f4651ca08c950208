#include <cstdint>

#include "WYSCHelper/BstrCompare.h"
#include "WYSCHelper/CExactFilter.h"
#include "WYSCHelper/CPathSetFilter.h"
#include "WYSCHelper/CRangeFilter.h"

CExactFilter::CExactFilter(std::int64_t time, BSTR url) : m_time(time), m_url(wys::FilterView(url)) {}

bool CExactFilter::Matches(const CUrlRecord& record) const
{
    return record.Time == m_time && wys::FilterView(record.Url) == m_url;
}

CRangeFilter::CRangeFilter(std::int64_t time, std::int64_t span, BSTR url)
    : m_start(time), m_span(span), m_anyUrl(url == nullptr), m_url(wys::FilterView(url))
{
}

bool CRangeFilter::Matches(const CUrlRecord& record) const
{
    // Time - start < span, in unsigned arithmetic where the difference of
    // two times always fits: start + span itself may not.
    if (m_span <= 0 || record.Time < m_start ||
        static_cast<std::uint64_t>(record.Time) - static_cast<std::uint64_t>(m_start) >=
            static_cast<std::uint64_t>(m_span))
        return false;
    return m_anyUrl || wys::FilterView(record.Url) == m_url;
}

void CPathSetFilter::Add(BSTR path)
{
    std::u16string_view view = wys::FilterView(path);
    if (m_paths.find(view) == m_paths.end())
        m_paths.emplace(view);
}

bool CPathSetFilter::Matches(const CUrlRecord& record) const
{
    return m_paths.find(wys::FilterView(record.Path)) != m_paths.end();
}
