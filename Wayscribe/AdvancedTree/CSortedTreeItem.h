// A node that keeps its children in ascending order of their comparers.
#pragma once

#include "Wayscribe/AdvancedTree/CTreeItem.h"

namespace AdvancedTree {

class CTreeItemComparer;

// Children must derive from CTreeItemComparer as well as CTreeItem; others
// are refused. A new child goes before the first sibling it is less than, so
// children equal to each other keep the order they were added in. Siblings
// whose comparison throws CTreeItemComparerException (another class) are
// skipped when placing; any other exception leaves the child unplaced and
// propagates.
class CSortedTreeItem : public CTreeItem {
public:
    explicit CSortedTreeItem(AutoDeleteMode mode = AutoDeleteMode::Never) : CTreeItem(mode) {}

protected:
    bool InsertSorted(CTreeItem* child) override;
    void ChildUnlinked(CTreeItem* child) override;

private:
    // The first sibling, at or before `end`, that the child is less than;
    // `end` when there is none.
    std::size_t FindPlaceByWalk(const CTreeItemComparer& comparer, std::size_t end) const;
    // The same place by bisection; only valid while m_uniform holds.
    std::size_t FindPlaceByBisection(const CTreeItemComparer& comparer, std::size_t end) const;

    // All children are of one class and in ascending order, so that the
    // place of a new child of that class can be found by bisection. Cleared
    // for good (until the children are gone) by a child of another class.
    bool m_uniform = true;
};

}  // namespace AdvancedTree
