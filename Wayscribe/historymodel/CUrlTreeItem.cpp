#include "Wayscribe/historymodel/CUrlTreeItem.h"

#include "Wayscribe/AdvancedTree/NodeCast.h"
#include "Wayscribe/historymodel/CDayTreeItem.h"
#include "Wayscribe/historymodel/CHMSTreeItem.h"
#include "Wayscribe/historymodel/CQXServiceProvider.h"
#include "common/LocalTime.h"

namespace {

const CUrlTreeItem& PageOf(const AdvancedTree::CTreeItem* other)
{
    const auto* page = AdvancedTree::NodeCast<CUrlTreeItem>(other);
    if (!page)
        throw AdvancedTree::CTreeItemComparerException();
    return *page;
}

}  // namespace

CUrlTreeItem::CUrlTreeItem() : CDIInitableItem(AdvancedTree::AutoDeleteMode::WhenDetached) {}

CUrlTreeItem::~CUrlTreeItem()
{
    // Deleted directly while still linked: the day's index views our Url,
    // which is gone once this destructor ends.
    if (auto* day = AdvancedTree::NodeCast<CDayTreeItem>(GetParent()))
        day->ForgetPage(this);
}

void CUrlTreeItem::InitFromData(const CDataItem& data)
{
    CDIInitableItem::InitFromData(data);
    m_data = data;
    m_single.reset();
}

void CUrlTreeItem::SetSingleVisit(const CDataItem& visit)
{
    if (visit.Time == m_data.Time && visit.Url == m_data.Url)
        m_single.reset();
    else
        m_single = std::make_unique<CDataItem>(visit);
}

void CUrlTreeItem::Export()
{
    const std::int64_t start = wys::LocalDayStart(m_data.Time);
    if (start != -1)
        ExportRange(start, 86400, m_data.Url);
}

void CUrlTreeItem::CollectPaths(std::set<std::string>& paths)
{
    if (HasVisits())
        CDIInitableItem::CollectPaths(paths);
    else
        paths.insert(GetSingleVisit().Path);
}

std::string CUrlTreeItem::GetText()
{
    CQXServiceProvider* provider = GetProvider();
    if (!m_data.Title.empty() && provider && provider->IsTitleView() != 0)
        return m_data.Title;
    return m_data.Url;
}

std::string CUrlTreeItem::GetToolTipText()
{
    return m_data.Excerpt.empty() ? GetText() : GetText() + "\n" + m_data.Excerpt;
}

void CUrlTreeItem::Open()
{
    OpenSavedCopy(PresentVisit().Path);
}

bool CUrlTreeItem::IsLess(const AdvancedTree::CTreeItem* other) const
{
    const CDataItem& theirs = PageOf(other).m_data;
    if (m_data.Time == theirs.Time)
        return m_data.Url < theirs.Url;
    return m_data.Time < theirs.Time;
}

bool CUrlTreeItem::IsEqual(const AdvancedTree::CTreeItem* other) const
{
    const CDataItem& theirs = PageOf(other).m_data;
    return m_data.Url == theirs.Url && m_data.Time == theirs.Time;
}

std::vector<CHMSTreeItem*> CUrlTreeItem::GetVisits() const
{
    std::vector<CHMSTreeItem*> visits;
    for (std::size_t i = 0; i < GetChildCount(); ++i) {
        if (auto* visit = AdvancedTree::NodeCast<CHMSTreeItem>(GetChild(i)))
            visits.push_back(visit);
    }
    return visits;
}

bool CUrlTreeItem::HasVisits() const
{
    for (std::size_t i = 0; i < GetChildCount(); ++i) {
        if (AdvancedTree::NodeCast<CHMSTreeItem>(GetChild(i)))
            return true;
    }
    return false;
}

CHMSTreeItem* CUrlTreeItem::FindVisit(std::int64_t time) const
{
    for (std::size_t i = 0; i < GetChildCount(); ++i) {
        auto* visit = AdvancedTree::NodeCast<CHMSTreeItem>(GetChild(i));
        if (visit && visit->GetTime() == time)
            return visit;
    }
    return nullptr;
}

CDataItem CUrlTreeItem::PresentVisit() const
{
    std::vector<CHMSTreeItem*> visits = GetVisits();
    if (visits.empty())
        return GetSingleVisit();
    // The saved copy of a removed visit is deleted with it.
    if (FindVisit(m_data.Time))
        return m_data;
    return visits.front()->GetData();
}
