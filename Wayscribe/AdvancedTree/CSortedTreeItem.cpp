#include "Wayscribe/AdvancedTree/CSortedTreeItem.h"

#include <typeinfo>

#include "Wayscribe/AdvancedTree/CTreeItemComparer.h"

namespace AdvancedTree {

bool CSortedTreeItem::InsertSorted(CTreeItem* child)
{
    const auto* comparer = dynamic_cast<const CTreeItemComparer*>(child);
    if (!comparer || child->GetParent() == this)
        return false;
    const std::size_t last = GetChildCount();
    const CTreeItem* first = last == 0 ? nullptr : GetChild(0);
    const bool sameClass = !first || typeid(*child) == typeid(*first);
    AppendChildLink(child);
    try {
        std::size_t place = last;
        if (m_uniform && sameClass) {
            try {
                place = FindPlaceByBisection(*comparer, last);
            } catch (const CTreeItemComparerException&) {
                // A class that cannot compare with itself: order it as the walk would.
                m_uniform = false;
                place = FindPlaceByWalk(*comparer, last);
            }
        } else {
            m_uniform = false;
            place = FindPlaceByWalk(*comparer, last);
        }
        MoveChild(last, place);
    } catch (...) {
        UnlinkChild(child);
        throw;
    }
    return true;
}

void CSortedTreeItem::ChildUnlinked(CTreeItem*)
{
    if (!HasChildren())
        m_uniform = true;
}

std::size_t CSortedTreeItem::FindPlaceByWalk(const CTreeItemComparer& comparer, std::size_t end) const
{
    for (std::size_t i = 0; i < end; ++i) {
        try {
            if (comparer.IsLess(GetChild(i)))
                return i;
        } catch (const CTreeItemComparerException&) {
            // A sibling of another class has no place relative to this one.
        }
    }
    return end;
}

std::size_t CSortedTreeItem::FindPlaceByBisection(const CTreeItemComparer& comparer, std::size_t end) const
{
    // The children are ascending, so "the child is less than it" is false up
    // to some place and true after: the first true is the walk's answer.
    std::size_t low = 0;
    std::size_t high = end;
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (comparer.IsLess(GetChild(middle)))
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

}  // namespace AdvancedTree
