// A page of the history calendar: one URL visited on one day. A page visited
// more than once that day has one time node per visit beneath it.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Wayscribe/historymodel/CDIInitableItem.h"

class CHMSTreeItem;

// Deletes itself when detached.
class CUrlTreeItem : public CDIInitableItem {
public:
    static constexpr int kImage = 2;

    CUrlTreeItem();
    ~CUrlTreeItem() override;

    // Keeps the whole record: the visit that created the node. Called once,
    // before the node is linked.
    void InitFromData(const CDataItem& data) override;
    // The day of the stored visit (86400 seconds from local midnight),
    // filtered by its Url.
    void Export() override;
    // The time children's paths, or the path of the one visit the node
    // stands for when it has none.
    void CollectPaths(std::set<std::string>& paths) override;

    // The stored title when there is one and the band shows titles; the Url
    // otherwise. Asked anew at each paint, so a change of view mode only
    // needs a repaint.
    std::string GetText() override;
    // The text, and below it the text around the content match for a visit
    // a search found by its saved page.
    std::string GetToolTipText() override;
    int GetImage() override { return kImage; }
    // Navigates to the saved copy of the stored visit, or of the earliest
    // visit still here once that one has been removed.
    void Open() override;

    // By stored Time, then Url (byte order); another class throws.
    bool IsLess(const AdvancedTree::CTreeItem* other) const override;
    bool IsEqual(const AdvancedTree::CTreeItem* other) const override;

    // The visit that created the node; its text, place and export range come
    // from it for the node's whole life.
    const CDataItem& GetData() const { return m_data; }
    // The one visit the node stands for while it has no time children. The
    // stored visit until that one is removed while others remain.
    const CDataItem& GetSingleVisit() const { return m_single ? *m_single : m_data; }
    void SetSingleVisit(const CDataItem& visit);

    // The time children, in ascending time.
    std::vector<CHMSTreeItem*> GetVisits() const;
    bool HasVisits() const;
    // The first time child with that Time; null when there is none.
    CHMSTreeItem* FindVisit(std::int64_t time) const;

private:
    // The stored visit if it is still here, else the earliest visit left.
    CDataItem PresentVisit() const;

    CDataItem m_data;
    // Null while the single visit is the stored one, which is nearly always.
    std::unique_ptr<CDataItem> m_single;
};
