// A month of the history calendar: the top level under the root. Visits of
// the same month in different years share one month node.
#pragma once

#include <cstdint>

#include "Wayscribe/historymodel/CDIInitableItem.h"

// Deletes itself once it has no day left, or when detached.
class CMonthTreeItem : public CDIInitableItem {
public:
    static constexpr int kImage = 0;

    CMonthTreeItem();

    // Keeps the record's Time; the month key comes from it.
    void InitFromData(const CDataItem& data) override;
    // The whole month of Time (local midnight of day 1 to that of the next
    // month), all URLs; nothing when Time cannot be broken down.
    void Export() override;

    // The locale's full month name; "" when Time cannot be broken down.
    std::string GetText() override;
    int GetImage() override { return kImage; }

    // By month key; another class throws CTreeItemComparerException.
    bool IsLess(const AdvancedTree::CTreeItem* other) const override;
    bool IsEqual(const AdvancedTree::CTreeItem* other) const override;

    std::int64_t GetTime() const { return m_time; }
    // 1 to 12; 0 when Time cannot be broken down.
    int GetMonthKey() const { return m_monthKey; }

private:
    std::int64_t m_time = 0;
    int m_monthKey = 0;
};
