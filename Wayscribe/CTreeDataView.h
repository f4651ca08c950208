// Files visit records into a calendar tree (month, day, page, time of visit)
// under a root it is given, and takes them out again. The history tab and the
// search results each have one.
#pragma once

#include <vector>

#include "Wayscribe/AdvancedTree/CTreeItem.h"
#include "Wayscribe/CDataView.h"
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
    // skips that record), then opens the tree on the latest visit: the root,
    // its last child, that one's last child and so on down to a leaf are
    // expanded. Returns the result of reading DataCount.
    HRESULT InitialFill(IWYSCURLBase* base, CQXServiceProvider* provider);
    // The expansion that ends InitialFill.
    void ExpandLastBranch();

    // The root's end clears the view; a month's end takes it off the list.
    void OnItemDestroyed(AdvancedTree::CTreeItem* item) override;

private:
    CMonthTreeItem* FindMonth(int monthKey) const;
    static CDayTreeItem* FindDay(const AdvancedTree::CTreeItem& month, int dayKey);
    static void FileIntoMonth(CMonthTreeItem& month, const CDataItem& data, int dayKey);
    static void FileIntoDay(CDayTreeItem& day, const CDataItem& data);
    static void FileVisit(CUrlTreeItem& page, const CDataItem& data);
    static void RemoveVisit(CDayTreeItem& day, CUrlTreeItem& page, const CDataItem& data);

    AdvancedTree::CTreeItem* m_root = nullptr;
    std::vector<CMonthTreeItem*> m_months;
};
