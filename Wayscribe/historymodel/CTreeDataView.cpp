#include "Wayscribe/historymodel/CTreeDataView.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <utility>

#include "Wayscribe/AdvancedTree/NodeCast.h"
#include "Wayscribe/historymodel/CDayTreeItem.h"
#include "Wayscribe/historymodel/CHMSTreeItem.h"
#include "Wayscribe/historymodel/CMonthTreeItem.h"
#include "Wayscribe/historymodel/CUrlTreeItem.h"
#include "Wayscribe/historymodel/CalendarKeys.h"
#include "Wayscribe/historymodel/HistoryWindow.h"
#include "common/IWYSCURLBase.h"
#include "common/StringConvert.h"
#include "platform/rpc/Apartment.h"

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

// How long the fill waits for an announced removal to happen before it
// reads on regardless (a record of the same Time and Url may stay).
constexpr auto kRemovalPatience = std::chrono::seconds(2);
// Records of the last window whose places are asked for when the fill has
// lost its place; if all are gone it starts again from the first record.
constexpr std::size_t kPlaceCandidates = 16;
constexpr ULONG kSmallestWindow = 32;

}  // namespace

// A visit as Find looks for it.
struct CTreeDataView::CVisitKey {
    std::int64_t time = 0;
    std::string url;
};

// What the events tell a running fill.
struct CTreeDataView::CFillState {
    std::uint64_t removals = 0;  // removals announced so far
    // The last removal announced, until the record is seen gone or back.
    bool pending = false;
    CVisitKey announced;
};

CTreeDataView::~CTreeDataView()
{
    if (m_root)
        m_root->RemoveListener(this);
    for (CMonthTreeItem* month : m_months)
        month->RemoveListener(this);
}

void CTreeDataView::AddItem(const CDataItem& data)
{
    if (m_fill && m_fill->pending && m_fill->announced.time == data.Time && m_fill->announced.url == data.Url)
        m_fill->pending = false;  // back already: its removal is over
    File(data);
}

void CTreeDataView::File(const CDataItem& data)
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
    if (m_fill) {
        ++m_fill->removals;
        m_fill->pending = true;
        m_fill->announced = CVisitKey{data.Time, data.Url};
    }
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
        CFillState fill;
        CFillState* outer = std::exchange(m_fill, &fill);
        FillFrom(base, provider, count);
        m_fill = outer;
    }
    ExpandLatestVisit();
    return hr;
}

void CTreeDataView::FillFrom(IWYSCURLBase* base, CQXServiceProvider* provider, ULONG end)
{
    ULONG next = 0;
    // Smaller windows while removals keep coming, so that some get through.
    ULONG windowSize = wys::kHistoryWindow;
    bool lostPlace = false;
    std::vector<CVisitKey> filed;  // the end of the last window filed
    std::vector<wys::CWindowVisit> window;
    for (;;) {
        if (m_fill->pending || lostPlace) {
            if (!SettleRemoval(base) || !FindPlace(base, filed, &next, &end))
                return;
            lostPlace = false;
            continue;  // removals announced meanwhile are settled first
        }
        if (next >= end)
            return;
        const std::uint64_t removals = m_fill->removals;
        const ULONG size = std::min(windowSize, end - next);
        const HRESULT hr =
            wys::ReadHistoryWindow(base, next, size, wys::WindowOrder::Ascending, provider, &window);
        const bool lost = wys::IsConnectionLost(hr);
        if (m_fill->removals != removals && !lost) {
            lostPlace = true;  // the window straddles a removal: read it again
            windowSize = std::max<ULONG>(windowSize / 4, kSmallestWindow);
            continue;
        }
        windowSize = std::min(windowSize * 2, wys::kHistoryWindow);
        std::vector<CVisitKey> last;
        for (const wys::CWindowVisit& visit : window) {
            if (FAILED(visit.result))
                continue;
            File(visit.item);
            last.push_back(CVisitKey{visit.item.Time, visit.item.Url});
        }
        if (lost)
            return;  // what was read is shown
        if (!last.empty()) {
            const std::size_t keep = std::min(last.size(), kPlaceCandidates);
            filed.assign(last.end() - static_cast<std::ptrdiff_t>(keep), last.end());
        }
        next += size;
    }
}

bool CTreeDataView::SettleRemoval(IWYSCURLBase* base)
{
    using Clock = std::chrono::steady_clock;
    std::uint64_t seen = m_fill->removals;
    auto deadline = Clock::now() + kRemovalPatience;
    while (m_fill->pending) {
        const CVisitKey key = m_fill->announced;
        CComBSTR url(key.url);
        ULONG index = kNoRecord;
        const HRESULT hr = base->Find(key.time, url, &index);
        if (wys::IsConnectionLost(hr))
            return false;
        if (m_fill->removals != seen) {
            // Another removal was announced while Find was under way.
            seen = m_fill->removals;
            deadline = Clock::now() + kRemovalPatience;
            continue;
        }
        if (FAILED(hr) || index == kNoRecord || Clock::now() > deadline) {
            m_fill->pending = false;
            break;
        }
        // Still there: the remover is telling the other clients. Serve our
        // events while it does.
        DWORD signalled = 0;
        CoWaitForMultipleHandles(0, 1, 0, nullptr, &signalled);
    }
    return true;
}

bool CTreeDataView::FindPlace(IWYSCURLBase* base, const std::vector<CVisitKey>& filed, ULONG* next,
                              ULONG* end)
{
    *next = 0;
    for (auto key = filed.rbegin(); key != filed.rend(); ++key) {
        CComBSTR url(key->url);
        ULONG index = kNoRecord;
        const HRESULT hr = base->Find(key->time, url, &index);
        if (wys::IsConnectionLost(hr))
            return false;
        if (SUCCEEDED(hr) && index != kNoRecord) {
            *next = index + 1;
            break;
        }
    }
    const HRESULT hr = base->get_DataCount(end);
    if (wys::IsConnectionLost(hr))
        return false;
    if (FAILED(hr))
        *end = *next;  // without a count there is nothing more to read
    return true;
}

void CTreeDataView::ExpandLatestVisit()
{
    if (!m_root)
        return;
    m_root->Expand();
    AdvancedTree::CTreeItem* latestMonth = nullptr;
    AdvancedTree::CTreeItem* latestDay = nullptr;
    CUrlTreeItem* latestPage = nullptr;
    std::int64_t latest = 0;
    for (AdvancedTree::CTreeItem* month : m_root->GetChildren()) {
        if (!AdvancedTree::NodeCast<CMonthTreeItem>(month))
            continue;
        for (AdvancedTree::CTreeItem* day : month->GetChildren()) {
            if (!AdvancedTree::NodeCast<CDayTreeItem>(day))
                continue;
            for (AdvancedTree::CTreeItem* child : day->GetChildren()) {
                auto* page = AdvancedTree::NodeCast<CUrlTreeItem>(child);
                if (!page)
                    continue;
                const std::vector<CHMSTreeItem*> visits = page->GetVisits();
                const std::int64_t time =
                    visits.empty() ? page->GetSingleVisit().Time : visits.back()->GetTime();
                if (!latestPage || time >= latest) {
                    latest = time;
                    latestMonth = month;
                    latestDay = day;
                    latestPage = page;
                }
            }
        }
    }
    if (!latestPage)
        return;
    latestMonth->Expand();
    latestDay->Expand();
    latestPage->Expand();
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
