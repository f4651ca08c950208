#include "Wayscribe/historymodel/CDayTreeItem.h"

#include "Wayscribe/AdvancedTree/NodeCast.h"
#include "Wayscribe/historymodel/CUrlTreeItem.h"
#include "Wayscribe/historymodel/CalendarKeys.h"
#include "common/LocalTime.h"

namespace {

const CDayTreeItem& DayOf(const AdvancedTree::CTreeItem* other)
{
    const auto* day = AdvancedTree::NodeCast<CDayTreeItem>(other);
    if (!day)
        throw AdvancedTree::CTreeItemComparerException();
    return *day;
}

}  // namespace

CDayTreeItem::CDayTreeItem() : CDIInitableItem(AdvancedTree::AutoDeleteMode::WhenDetachedOrEmpty) {}

void CDayTreeItem::InitFromData(const CDataItem& data)
{
    CDIInitableItem::InitFromData(data);
    m_time = data.Time;
    m_dayKey = wys::CalendarKeysOf(m_time).day;
}

void CDayTreeItem::Export()
{
    const std::int64_t start = wys::LocalDayStart(m_time);
    if (start != -1)
        ExportRange(start, 86400, std::string());
}

std::string CDayTreeItem::GetText()
{
    return wys::FormatLocalTime("%#d", m_time);
}

bool CDayTreeItem::IsLess(const AdvancedTree::CTreeItem* other) const
{
    return m_dayKey < DayOf(other).m_dayKey;
}

bool CDayTreeItem::IsEqual(const AdvancedTree::CTreeItem* other) const
{
    return m_dayKey == DayOf(other).m_dayKey;
}

CUrlTreeItem* CDayTreeItem::FindPage(const std::string& url) const
{
    auto [first, last] = m_pages.equal_range(url);
    if (first == last)
        return nullptr;
    if (std::next(first) == last)
        return first->second;
    // Only nodes added from outside the calendar share a Url; the first in
    // child order wins, as a walk would find it.
    for (std::size_t i = 0; i < GetChildCount(); ++i) {
        auto* page = AdvancedTree::NodeCast<CUrlTreeItem>(GetChild(i));
        if (page && page->GetData().Url == url)
            return page;
    }
    return nullptr;
}

void CDayTreeItem::ForgetPage(const CUrlTreeItem* page)
{
    auto [first, last] = m_pages.equal_range(page->GetData().Url);
    for (auto it = first; it != last; ++it) {
        if (it->second == page) {
            m_pages.erase(it);
            return;
        }
    }
}

void CDayTreeItem::ChildLinked(AdvancedTree::CTreeItem* child)
{
    CDIInitableItem::ChildLinked(child);
    if (auto* page = AdvancedTree::NodeCast<CUrlTreeItem>(child))
        m_pages.emplace(page->GetData().Url, page);
}

void CDayTreeItem::ChildUnlinked(AdvancedTree::CTreeItem* child)
{
    CDIInitableItem::ChildUnlinked(child);
    if (auto* page = AdvancedTree::NodeCast<CUrlTreeItem>(child))
        ForgetPage(page);
}
