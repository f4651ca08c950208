#include <limits>

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
    : m_start(time), m_anyUrl(url == nullptr), m_url(wys::FilterView(url))
{
    // Signed overflow would be undefined and, wrapped, would turn a long
    // range into an empty one.
    if (__builtin_add_overflow(time, span, &m_end))
        m_end =
            span > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

bool CRangeFilter::Matches(const CUrlRecord& record) const
{
    if (record.Time < m_start || record.Time >= m_end)
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
