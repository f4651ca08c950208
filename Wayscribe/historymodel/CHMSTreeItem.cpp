#include "Wayscribe/historymodel/CHMSTreeItem.h"

#include "Wayscribe/AdvancedTree/NodeCast.h"
#include "common/LocalTime.h"

namespace {

const CHMSTreeItem& VisitOf(const AdvancedTree::CTreeItem* other)
{
    const auto* visit = AdvancedTree::NodeCast<CHMSTreeItem>(other);
    if (!visit)
        throw AdvancedTree::CTreeItemComparerException();
    return *visit;
}

}  // namespace

CHMSTreeItem::CHMSTreeItem() : CDIInitableItem(AdvancedTree::AutoDeleteMode::WhenDetached) {}

void CHMSTreeItem::InitFromData(const CDataItem& data)
{
    CDIInitableItem::InitFromData(data);
    m_path = data.Path;
    m_time = data.Time;
    m_url = data.Url;
    m_title = data.Title;
    m_excerpt = data.Excerpt;
}

std::string CHMSTreeItem::GetToolTipText()
{
    return m_excerpt.empty() ? GetText() : GetText() + "\n" + m_excerpt;
}

void CHMSTreeItem::Export()
{
    ExportRange(m_time, 1, m_url);
}

void CHMSTreeItem::CollectPaths(std::set<std::string>& paths)
{
    paths.insert(m_path);
}

std::string CHMSTreeItem::GetText()
{
    return wys::FormatLocalTime("%X", m_time);
}

void CHMSTreeItem::Open()
{
    OpenSavedCopy(m_path);
}

bool CHMSTreeItem::IsLess(const AdvancedTree::CTreeItem* other) const
{
    const CHMSTreeItem& theirs = VisitOf(other);
    if (m_time == theirs.m_time)
        return m_url < theirs.m_url;
    return m_time < theirs.m_time;
}

bool CHMSTreeItem::IsEqual(const AdvancedTree::CTreeItem* other) const
{
    const CHMSTreeItem& theirs = VisitOf(other);
    return m_url == theirs.m_url && m_time == theirs.m_time;
}

CDataItem CHMSTreeItem::GetData() const
{
    CDataItem data;
    data.Time = m_time;
    data.Url = m_url;
    data.Path = m_path;
    data.Provider = GetProvider();
    data.Title = m_title;
    return data;
}
