// The "Properties" command of the history nodes: the values of a node's
// property page, and the sheet that shows it.
#pragma once

#include <memory>

class CDayPP;
class CDayTreeItem;
class CHMSTreeItem;
class CMonthPP;
class CMonthTreeItem;
class CPropertySheet;
class CTimePP;
class CUrlPP;
class CUrlTreeItem;
class QWidget;

namespace AdvancedTree {
class CTreeItem;
}

// Times are shown in local time: a visit's as the long date and time, a
// day's as "Tuesday, March 14, 1995", a month's as "March, 1995", a last
// visit on a day as the time of day; a time that cannot be broken down
// shows as "". A full path is the node's history folder (from its
// provider; "" without one), "/", and the visit's Path.
//
// A page node stands for the visits it holds: with two or more visits
// listed under it, the latest of them is its last visit and their number
// its count; otherwise the one visit it stands for, counted once. Its title
// and path are those of its first visit of the day, or of the earliest one
// left once that visit has been removed.
void FillTimePP(CTimePP& page, const CHMSTreeItem& node);
void FillUrlPP(CUrlPP& page, const CUrlTreeItem& node);
// Total visits: every visit of every page of the day. The last visited URL
// and its time are those of the day's last page in tree order (the page
// first visited latest).
void FillDayPP(CDayPP& page, const CDayTreeItem& node);
// As for a day, over all the month's days, the last page being that of the
// month's last day (empty texts when that day has no page).
void FillMonthPP(CMonthPP& page, const CMonthTreeItem& node);

// A sheet without Apply, titled for the node's kind, holding its one page
// filled with the node's values; null for a node that is no history node.
std::unique_ptr<CPropertySheet> CreateNodePropertySheet(const AdvancedTree::CTreeItem* node, QWidget* owner);

// Runs that sheet modally, owned by the active window. Returns the dialog's
// result, or -1 when the node has no properties.
int ShowNodeProperties(const AdvancedTree::CTreeItem* node);
