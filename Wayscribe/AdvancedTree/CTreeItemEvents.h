// The listener interface of tree nodes: every structural change of a node is
// told to the listeners registered with it.
#pragma once

namespace AdvancedTree {

class CTreeItem;

// Every method has an empty body, so a listener overrides only what it needs.
//
// Listeners are held as plain pointers: a listener must leave every node it
// listens to (CTreeItem::RemoveListener) before it is destroyed. Nodes call
// listeners on the thread that changes the tree, synchronously, in the order
// they were registered. A listener may add or remove listeners, and change
// other parts of the tree, while it is being called; it must not delete the
// node that is notifying it (removing that node from its parent is fine: a
// node that must delete itself waits until its own call has finished).
class CTreeItemEvents {
public:
    virtual ~CTreeItemEvents() = default;

    // Kept so that the slots below stay in place for listeners built against
    // the whole interface; nothing raises it.
    virtual void OnReserved(CTreeItem* /*first*/, CTreeItem* /*second*/) {}
    // `child` has been placed among the children of `parent`, at its final
    // position.
    virtual void OnChildAdded(CTreeItem* /*parent*/, CTreeItem* /*child*/) {}
    // `child` has left the children of `parent`; it may be deleted right
    // after this call (its own OnItemDestroyed follows then).
    virtual void OnChildRemoved(CTreeItem* /*parent*/, CTreeItem* /*child*/) {}
    // `item` is about to be deleted. The listener has already been taken off
    // its list; the pointer must not be used after this call.
    virtual void OnItemDestroyed(CTreeItem* /*item*/) {}
    virtual void OnItemExpanded(CTreeItem* /*item*/) {}
    virtual void OnItemCollapsed(CTreeItem* /*item*/) {}
    // `item` must be shown again at its current place among its siblings.
    virtual void OnItemMoved(CTreeItem* /*item*/, CTreeItem* /*other*/) {}

protected:
    CTreeItemEvents() = default;
    CTreeItemEvents(const CTreeItemEvents&) = default;
    CTreeItemEvents& operator=(const CTreeItemEvents&) = default;
};

}  // namespace AdvancedTree
