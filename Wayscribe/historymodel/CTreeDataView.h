// Files visit records into a calendar tree (month, day, page, time of visit)
// under a root it is given, and takes them out again. The history tab and the
// search results each have one.
#pragma once

#include <vector>

#include "Wayscribe/AdvancedTree/CTreeItem.h"
#include "Wayscribe/historymodel/CDataView.h"
#include "platform/base/WinError.h"

class CDayTreeItem;
class CMonthTreeItem;
class CQXServiceProvider;
class CUrlTreeItem;
struct IWYSCURLBase;

// The view owns neither the root nor the nodes: the nodes it creates delete
// themselves as their visits are removed, and the root belongs to whoever
// made it. The view listens to the root and to each month it created, and
// leaves them when it is destroyed. Used on one thread only.
class CTreeDataView : public CDataView, public AdvancedTree::CTreeItemEvents {
public:
    CTreeDataView() = default;
    ~CTreeDataView() override;
    CTreeDataView(const CTreeDataView&) = delete;
    CTreeDataView& operator=(const CTreeDataView&) = delete;

    // Files the visit under its month, day and page; a second visit of a
    // page on a day gives the page one time node per visit. A record already
    // filed changes nothing. Does nothing while no root is set.
    void AddItem(const CDataItem& data) override;
    // Takes the visit with the record's Time and Url out; a page left with
    // one visit loses its time nodes, and day and month go with their last
    // page. A record that matches no visit changes nothing.
    void RemoveItem(const CDataItem& data) override;

    // Leaves the old root after removing all its children (the months delete
    // themselves), then listens to `root`, which may be null.
    virtual void SetRoot(AdvancedTree::CTreeItem* root);
    AdvancedTree::CTreeItem* GetRoot() const { return m_root; }
    // The months created here and still alive, in order of creation.
    const std::vector<CMonthTreeItem*>& GetMonths() const { return m_months; }

    // Files every record of the URL base that can be read (one failing read
    // skips that record), then opens the tree on the latest visit (see
    // ExpandLatestVisit). Returns the result of reading DataCount.
    //
    // The records are read a window of a few thousand pipelined calls at a
    // time, in list order. Another client may add or remove visits
    // meanwhile; the events of those changes must reach AddItem and
    // RemoveItem while the fill runs (the band's sink delivers them whenever
    // the fill waits for the server). An addition is filed by its event. A
    // removal shifts the indices of the records after it, so a window during
    // which a removal was announced may have read some records in the old
    // places and some in the new: that window is dropped. The fill then
    // waits until the announced record has really left the list (Find no
    // longer finds it, or its event brought it back), finds the place of the
    // last record it filed (Find again) and reads on from there. A window
    // during which no removal was announced saw an unchanged list, and a
    // removal announced after it takes its record out of the tree. If the
    // connection is lost, what was read stays filed.
    HRESULT InitialFill(IWYSCURLBase* base, CQXServiceProvider* provider);
    // Opens the tree on the visit with the greatest Time: expands the root
    // and the month, day and page nodes that hold it. A month of several years is one node, so the latest
    // visit is not always under the last month's last day. Among visits of
    // equal Time, the one shown last in the tree.
    void ExpandLatestVisit();

    // The root's end clears the view; a month's end takes it off the list.
    void OnItemDestroyed(AdvancedTree::CTreeItem* item) override;

private:
    struct CFillState;
    struct CVisitKey;

    void File(const CDataItem& data);
    void FillFrom(IWYSCURLBase* base, CQXServiceProvider* provider, ULONG end);
    bool SettleRemoval(IWYSCURLBase* base);
    bool FindPlace(IWYSCURLBase* base, const std::vector<CVisitKey>& filed, ULONG* next, ULONG* end);

    CMonthTreeItem* FindMonth(int monthKey) const;
    static CDayTreeItem* FindDay(const AdvancedTree::CTreeItem& month, int dayKey);
    static void FileIntoMonth(CMonthTreeItem& month, const CDataItem& data, int dayKey);
    static void FileIntoDay(CDayTreeItem& day, const CDataItem& data);
    static void FileVisit(CUrlTreeItem& page, const CDataItem& data);
    static void RemoveVisit(CDayTreeItem& day, CUrlTreeItem& page, const CDataItem& data);

    AdvancedTree::CTreeItem* m_root = nullptr;
    std::vector<CMonthTreeItem*> m_months;
    CFillState* m_fill = nullptr;  // while InitialFill runs
};
