#include "Wayscribe/CTreeDataView.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "Wayscribe/AdvancedTree/NodeCast.h"
#include "Wayscribe/CDayTreeItem.h"
#include "Wayscribe/CHMSTreeItem.h"
#include "Wayscribe/CMonthTreeItem.h"
#include "Wayscribe/CUrlTreeItem.h"
#include "Wayscribe/CalendarKeys.h"
#include "common/IWYSCURLBase.h"

namespace {

// A new node is linked under `parent`, or deleted (with whatever was filed
// into it) if the parent refuses it.
template <class Node>
Node* Attach(AdvancedTree::CTreeItem& parent, std::unique_ptr<Node> node)
{
    if (!parent.AddChild(node.get()))
        return nullptr;
    return node.release();
}

template <class Node>
std::unique_ptr<Node> MakeNode(const CDataItem& data)
{
    auto node = std::make_unique<Node>();
    node->InitFromData(data);
    return node;
}

}  // namespace

CTreeDataView::~CTreeDataView()
{
    if (m_root)
        m_root->RemoveListener(this);
    for (CMonthTreeItem* month : m_months)
        month->RemoveListener(this);
}

void CTreeDataView::AddItem(const CDataItem& data)
{
    if (!m_root)
        return;
    const wys::CalendarKeys keys = wys::CalendarKeysOf(data.Time);
    if (CMonthTreeItem* month = FindMonth(keys.month)) {
        FileIntoMonth(*month, data, keys.day);
        return;
    }
    // A month is filled before it joins the root, so that it never shows empty.
    auto month = MakeNode<CMonthTreeItem>(data);
    FileIntoMonth(*month, data, keys.day);
    if (CMonthTreeItem* linked = Attach(*m_root, std::move(month))) {
        m_months.push_back(linked);
        linked->AddListener(this);
    }
}

void CTreeDataView::RemoveItem(const CDataItem& data)
{
    const wys::CalendarKeys keys = wys::CalendarKeysOf(data.Time);
    CMonthTreeItem* month = FindMonth(keys.month);
    if (!month)
        return;
    CDayTreeItem* day = FindDay(*month, keys.day);
    if (!day)
        return;
    if (CUrlTreeItem* page = day->FindPage(data.Url))
        RemoveVisit(*day, *page, data);
}

void CTreeDataView::SetRoot(AdvancedTree::CTreeItem* root)
{
    if (AdvancedTree::CTreeItem* old = std::exchange(m_root, nullptr)) {
        old->RemoveListener(this);
        old->RemoveAllChildren();
    }
    // Months that did not go with the old root's children are no longer ours.
    for (CMonthTreeItem* month : std::exchange(m_months, {}))
        month->RemoveListener(this);
    m_root = root;
    if (m_root)
        m_root->AddListener(this);
}

void CTreeDataView::OnItemDestroyed(AdvancedTree::CTreeItem* item)
{
    if (item && item == m_root)
        SetRoot(nullptr);
    else
        std::erase(m_months, item);
}

HRESULT CTreeDataView::InitialFill(IWYSCURLBase* base, CQXServiceProvider* provider)
{
    if (!base)
        return E_POINTER;
    ULONG count = 0;
    const HRESULT hr = base->get_DataCount(&count);
    if (SUCCEEDED(hr)) {
        for (ULONG index = 0; index < count; ++index) {
            CUrlDateHolder record;
            if (SUCCEEDED(base->GetData(record.Receive(), index)))
                AddItem(CDataItem::FromUrlDate(record, provider));
        }
    }
    ExpandLastBranch();
    return hr;
}

void CTreeDataView::ExpandLastBranch()
{
    AdvancedTree::CTreeItem* node = m_root;
    while (node) {
        node->Expand();
        node = node->GetLastChild();
    }
}

CMonthTreeItem* CTreeDataView::FindMonth(int monthKey) const
{
    for (CMonthTreeItem* month : m_months) {
        if (month->GetMonthKey() == monthKey)
            return month;
    }
    return nullptr;
}

CDayTreeItem* CTreeDataView::FindDay(const AdvancedTree::CTreeItem& month, int dayKey)
{
    for (std::size_t i = 0; i < month.GetChildCount(); ++i) {
        auto* day = AdvancedTree::NodeCast<CDayTreeItem>(month.GetChild(i));
        if (day && day->GetDayKey() == dayKey)
            return day;
    }
    return nullptr;
}

void CTreeDataView::FileIntoMonth(CMonthTreeItem& month, const CDataItem& data, int dayKey)
{
    CDayTreeItem* day = FindDay(month, dayKey);
    if (!day)
        day = Attach(month, MakeNode<CDayTreeItem>(data));
    if (day)
        FileIntoDay(*day, data);
}

void CTreeDataView::FileIntoDay(CDayTreeItem& day, const CDataItem& data)
{
    if (CUrlTreeItem* page = day.FindPage(data.Url))
        FileVisit(*page, data);
    else
        Attach(day, MakeNode<CUrlTreeItem>(data));
}

void CTreeDataView::FileVisit(CUrlTreeItem& page, const CDataItem& data)
{
    if (page.HasVisits()) {
        if (!page.FindVisit(data.Time))
            Attach(page, MakeNode<CHMSTreeItem>(data));
        return;
    }
    // The same record delivered again is no second visit.
    if (page.GetSingleVisit().Time == data.Time)
        return;
    Attach(page, MakeNode<CHMSTreeItem>(page.GetSingleVisit()));
    Attach(page, MakeNode<CHMSTreeItem>(data));
}

void CTreeDataView::RemoveVisit(CDayTreeItem& day, CUrlTreeItem& page, const CDataItem& data)
{
    if (page.HasVisits()) {
        CHMSTreeItem* visit = page.FindVisit(data.Time);
        if (!visit)
            return;
        page.RemoveChild(visit);
        std::vector<CHMSTreeItem*> left = page.GetVisits();
        if (left.size() == 1) {
            // The page stands for its one remaining visit again.
            page.SetSingleVisit(left.front()->GetData());
            page.RemoveChild(left.front());
        }
        return;
    }
    // A record of this page and day that is not the visit the page stands
    // for was never filed here.
    if (page.GetSingleVisit().Time != data.Time)
        return;
    day.RemoveChild(&page);  // day and month follow when left empty
}
