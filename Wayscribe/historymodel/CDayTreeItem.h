// A day of the history calendar, under its month: one page node per URL
// visited that day.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "Wayscribe/historymodel/CDIInitableItem.h"

class CUrlTreeItem;

// Deletes itself once it has no page left, or when detached.
class CDayTreeItem : public CDIInitableItem {
public:
    static constexpr int kImage = 1;

    CDayTreeItem();

    // Keeps the record's Time; the day key comes from it.
    void InitFromData(const CDataItem& data) override;
    // The whole day of Time (86400 seconds from local midnight), all URLs;
    // nothing when Time cannot be broken down.
    void Export() override;

    // Day of month without leading zero; "" when Time cannot be broken down.
    std::string GetText() override;
    int GetImage() override { return kImage; }

    // By day key; another class throws CTreeItemComparerException.
    bool IsLess(const AdvancedTree::CTreeItem* other) const override;
    bool IsEqual(const AdvancedTree::CTreeItem* other) const override;

    std::int64_t GetTime() const { return m_time; }
    // 1 to 31; 0 when Time cannot be broken down.
    int GetDayKey() const { return m_dayKey; }

    // The first page child (in child order) whose Url equals `url` byte for
    // byte; null when there is none.
    CUrlTreeItem* FindPage(const std::string& url) const;
    // Called by a page child that is deleted while still linked here, before
    // its Url is gone.
    void ForgetPage(const CUrlTreeItem* page);

protected:
    void ChildLinked(AdvancedTree::CTreeItem* child) override;
    void ChildUnlinked(AdvancedTree::CTreeItem* child) override;

private:
    std::int64_t m_time = 0;
    int m_dayKey = 0;
    // Page children by Url; the keys view each page's own stored Url, which
    // lives as long as the page is linked here.
    std::unordered_multimap<std::string_view, CUrlTreeItem*> m_pages;
};
