#include "Wayscribe/historymodel/CMonthTreeItem.h"

#include <ctime>

#include "Wayscribe/AdvancedTree/NodeCast.h"
#include "Wayscribe/historymodel/CalendarKeys.h"
#include "common/LocalTime.h"

namespace {

const CMonthTreeItem& MonthOf(const AdvancedTree::CTreeItem* other)
{
    const auto* month = AdvancedTree::NodeCast<CMonthTreeItem>(other);
    if (!month)
        throw AdvancedTree::CTreeItemComparerException();
    return *month;
}

}  // namespace

CMonthTreeItem::CMonthTreeItem() : CDIInitableItem(AdvancedTree::AutoDeleteMode::WhenDetachedOrEmpty) {}

void CMonthTreeItem::InitFromData(const CDataItem& data)
{
    CDIInitableItem::InitFromData(data);
    m_time = data.Time;
    m_monthKey = wys::CalendarKeysOf(m_time).month;
}

void CMonthTreeItem::Export()
{
    std::tm tm{};
    if (!wys::BreakDownLocalTime(m_time, &tm))
        return;
    const std::int64_t start = wys::ComposeLocalTime(tm.tm_year + 1900, tm.tm_mon + 1, 1);
    const std::int64_t next = wys::ComposeLocalTime(tm.tm_year + 1900, tm.tm_mon + 2, 1);
    if (start == -1 || next == -1)
        return;
    ExportRange(start, next - start, std::string());
}

std::string CMonthTreeItem::GetText()
{
    return wys::FormatLocalTime("%B", m_time);
}

bool CMonthTreeItem::IsLess(const AdvancedTree::CTreeItem* other) const
{
    return m_monthKey < MonthOf(other).m_monthKey;
}

bool CMonthTreeItem::IsEqual(const AdvancedTree::CTreeItem* other) const
{
    return m_monthKey == MonthOf(other).m_monthKey;
}
