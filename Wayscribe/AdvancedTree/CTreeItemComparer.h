// The ordering of a sortable node class: a second base, beside CTreeItem, of
// every node that can live among the children of a CSortedTreeItem.
#pragma once

#include "Wayscribe/AdvancedTree/CTreeItemComparerException.h"

namespace AdvancedTree {

class CTreeItem;

// IsLess must be a strict weak ordering over the nodes of one class, and
// IsEqual its equivalence. Given a node it cannot compare with (another
// class, or null), both throw CTreeItemComparerException.
class CTreeItemComparer {
public:
    virtual ~CTreeItemComparer() = default;

    virtual bool IsLess(const CTreeItem* other) const = 0;
    virtual bool IsEqual(const CTreeItem* other) const = 0;
    bool IsGreater(const CTreeItem* other) const { return !IsLess(other) && !IsEqual(other); }

protected:
    CTreeItemComparer() = default;
    CTreeItemComparer(const CTreeItemComparer&) = default;
    CTreeItemComparer& operator=(const CTreeItemComparer&) = default;
};

}  // namespace AdvancedTree
