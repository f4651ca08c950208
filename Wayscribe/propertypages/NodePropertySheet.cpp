#include "Wayscribe/propertypages/NodePropertySheet.h"

#include <QApplication>

#include <string>

#include "Wayscribe/AdvancedTree/NodeCast.h"
#include "Wayscribe/historymodel/CDayTreeItem.h"
#include "Wayscribe/historymodel/CHMSTreeItem.h"
#include "Wayscribe/historymodel/CMonthTreeItem.h"
#include "Wayscribe/historymodel/CQXServiceProvider.h"
#include "Wayscribe/historymodel/CUrlTreeItem.h"
#include "Wayscribe/propertypages/CDayPP.h"
#include "Wayscribe/propertypages/CMonthPP.h"
#include "Wayscribe/propertypages/CTimePP.h"
#include "Wayscribe/propertypages/CUrlPP.h"
#include "Wayscribe/tools/widgets/CPropertySheet.h"
#include "common/LocalTime.h"

using AdvancedTree::CTreeItem;
using AdvancedTree::NodeCast;

namespace {

std::string FullPath(CQXServiceProvider* provider, const std::string& path)
{
    std::string full = provider ? provider->GetBaseDirectory() : std::string();
    full.push_back('/');
    full.append(path);
    return full;
}

// The visit a page node stands for as a whole: its first of the day while
// that one is still there (a removed visit's saved copy is gone).
CDataItem PresentVisit(const CUrlTreeItem& page)
{
    if (!page.HasVisits())
        return page.GetSingleVisit();
    if (page.FindVisit(page.GetData().Time))
        return page.GetData();
    return page.GetVisits().front()->GetData();
}

int VisitCount(const CUrlTreeItem& page)
{
    const std::size_t visits = page.GetVisits().size();
    return visits == 0 ? 1 : static_cast<int>(visits);
}

int DayVisitCount(const CDayTreeItem& day)
{
    int total = 0;
    for (CTreeItem* child : day.GetChildren()) {
        if (const auto* page = NodeCast<CUrlTreeItem>(child))
            total += VisitCount(*page);
    }
    return total;
}

const CUrlTreeItem* LastPage(const CDayTreeItem& day)
{
    return NodeCast<CUrlTreeItem>(day.GetLastChild());
}

template <class Page>
void FillLastVisit(Page& page, const CUrlTreeItem* last)
{
    if (!last)
        return;
    page.LastUrl = last->GetData().Url;
    page.LastTime = wys::FormatLocalTime("%X", PresentVisit(*last).Time);
}

}  // namespace

void FillTimePP(CTimePP& page, const CHMSTreeItem& node)
{
    page.VisitedDate = wys::FormatLocalTime("%#c", node.GetTime());
    page.Title = node.GetTitle();
    page.Url = node.GetUrl();
    page.Path = FullPath(node.GetProvider(), node.GetPath());
}

void FillUrlPP(CUrlPP& page, const CUrlTreeItem& node)
{
    const CDataItem visit = PresentVisit(node);
    page.Url = node.GetData().Url;
    page.Title = visit.Title;
    page.Path = FullPath(node.GetProvider(), visit.Path);
    const std::vector<CHMSTreeItem*> visits = node.GetVisits();
    const bool several = visits.size() >= 2;
    page.LastVisited = wys::FormatLocalTime("%#c", several ? visits.back()->GetTime() : visit.Time);
    page.TimesVisited = std::to_string(several ? visits.size() : 1);
}

void FillDayPP(CDayPP& page, const CDayTreeItem& node)
{
    page.Date = wys::FormatLocalTime("%A, %B %d, %Y", node.GetTime());
    page.TotalVisits = std::to_string(DayVisitCount(node));
    FillLastVisit(page, LastPage(node));
}

void FillMonthPP(CMonthPP& page, const CMonthTreeItem& node)
{
    page.Month = wys::FormatLocalTime("%B, %Y", node.GetTime());
    int total = 0;
    const CDayTreeItem* lastDay = nullptr;
    for (CTreeItem* child : node.GetChildren()) {
        if (const auto* day = NodeCast<CDayTreeItem>(child)) {
            total += DayVisitCount(*day);
            lastDay = day;
        }
    }
    page.TotalVisits = std::to_string(total);
    if (lastDay)
        FillLastVisit(page, LastPage(*lastDay));
}

std::unique_ptr<CPropertySheet> CreateNodePropertySheet(const CTreeItem* node, QWidget* owner)
{
    std::unique_ptr<CPropertySheet> sheet;
    auto make = [&](auto* page, auto fill, const auto& item) {
        fill(*page, item);
        sheet = std::make_unique<CPropertySheet>(QString::fromUtf8(page->kSheetTitle), owner);
        sheet->AddPage(page);
    };
    if (const auto* time = NodeCast<CHMSTreeItem>(node))
        make(new CTimePP, FillTimePP, *time);
    else if (const auto* url = NodeCast<CUrlTreeItem>(node))
        make(new CUrlPP, FillUrlPP, *url);
    else if (const auto* day = NodeCast<CDayTreeItem>(node))
        make(new CDayPP, FillDayPP, *day);
    else if (const auto* month = NodeCast<CMonthTreeItem>(node))
        make(new CMonthPP, FillMonthPP, *month);
    return sheet;
}

int ShowNodeProperties(const CTreeItem* node)
{
    std::unique_ptr<CPropertySheet> sheet = CreateNodePropertySheet(node, QApplication::activeWindow());
    return sheet ? sheet->exec() : -1;
}
