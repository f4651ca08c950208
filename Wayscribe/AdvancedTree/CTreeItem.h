// A node of a tree that tells listeners about every structural change. The
// tree window shows nodes lazily and asks them for text, image and child
// count on demand; nothing here depends on a window existing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Wayscribe/AdvancedTree/CTreeItemEvents.h"
#include "platform/base/WinTypes.h"

namespace AdvancedTree {

// When a node deletes itself. The check runs on a node after it has been
// detached from its parent and after it has lost a child.
enum class AutoDeleteMode : std::int32_t {
    Never = 0,
    WhenDetached = 1,          // it has no parent
    WhenEmpty = 2,             // it has no children
    WhenDetachedAndEmpty = 3,  // it has no parent and no children
    WhenDetachedOrEmpty = 4,   // it has no parent, or it has no children
};

// Ownership: nodes own nothing through their links. A node in any mode but
// Never must be allocated with new: it deletes itself when its mode says so.
// Deleting a node (directly or by itself) first tells its parent and then
// each child OnItemDestroyed: the parent forgets it and runs its own check,
// each child is detached and runs its check, so a whole subtree of
// self-deleting nodes goes with its root. Then each listener hears it, one at
// a time. A node whose mode is Never belongs to whoever made it.
//
// Parent and child hear of each other's destruction while they are linked;
// the other notifications go to the registered listeners only, since no node
// acts on them (a day of a thousand pages would otherwise call a thousand
// empty handlers on every change). All calls are made on one thread.
class CTreeItem : public CTreeItemEvents {
public:
    explicit CTreeItem(AutoDeleteMode mode = AutoDeleteMode::Never);
    ~CTreeItem() override;
    CTreeItem(const CTreeItem&) = delete;
    CTreeItem& operator=(const CTreeItem&) = delete;

    virtual std::string GetText();
    // The tip shown over the node: its text unless the node has more to say.
    virtual std::string GetToolTipText();
    // An index into the image list of the window that shows the node.
    virtual int GetImage();
    // The node's default action, when it is selected.
    virtual void Open();
    virtual void ShowContextMenu(HWND ownerWindow, int screenX, int screenY);

    // Places `child` among the children, detaching it from its previous
    // parent (which is told OnChildRemoved but runs no check), and tells the
    // listeners OnChildAdded. False, with nothing raised, when the child is
    // null, already a child here, this node or one of its ancestors, being
    // destroyed, or refused by InsertSorted.
    bool AddChild(CTreeItem* child);
    // Takes `child` out, tells the listeners OnChildRemoved, then runs the
    // check on the child and on this node (either may delete itself; this
    // node does so only after the call). False when it is not a child.
    bool RemoveChild(CTreeItem* child);
    // RemoveChild for every child, first to last.
    void RemoveAllChildren();
    // Raise OnItemExpanded / OnItemCollapsed when the state changes.
    void Expand();
    void Collapse();
    bool IsExpanded() const { return m_expanded; }

    // AddListener ignores a listener already registered.
    void AddListener(CTreeItemEvents* listener);
    void RemoveListener(CTreeItemEvents* listener);
    bool HasListener(const CTreeItemEvents* listener) const;

    CTreeItem* GetParent() const { return m_parent; }
    // A copy, safe to walk while the tree changes.
    std::vector<CTreeItem*> GetChildren() const { return m_children; }
    std::size_t GetChildCount() const { return m_children.size(); }
    bool HasChildren() const { return !m_children.empty(); }
    // Null when index is out of range.
    CTreeItem* GetChild(std::size_t index) const;
    CTreeItem* GetLastChild() const;
    // GetChildCount() when `child` is not a child.
    std::size_t GetChildIndex(const CTreeItem* child) const;
    bool IsAncestorOf(const CTreeItem* node) const;

    AutoDeleteMode GetAutoDeleteMode() const { return m_autoDeleteMode; }
    // Takes effect at the next check; does not run one.
    void SetAutoDeleteMode(AutoDeleteMode mode) { m_autoDeleteMode = mode; }

    // Also called by a linked node that is being destroyed. A node keeps its
    // links sound: a destroyed parent detaches this node, a destroyed child
    // leaves the children; then the check runs. Overrides must call this.
    void OnItemDestroyed(CTreeItem* item) override;

protected:
    // Puts `child` among the children unless it already is one; true when
    // placed. The base appends. Called only by AddChild, which sets the
    // parent afterwards.
    virtual bool InsertSorted(CTreeItem* child);

    // Called whenever a node enters or leaves the children, so that derived
    // classes can keep indexes of them. No notification is in progress for
    // the change itself; they must not change the tree.
    virtual void ChildLinked(CTreeItem* /*child*/) {}
    virtual void ChildUnlinked(CTreeItem* /*child*/) {}

    // For InsertSorted: link `child` at the end, or move a linked child.
    void AppendChildLink(CTreeItem* child);
    void MoveChild(std::size_t from, std::size_t to);
    void UnlinkChild(CTreeItem* child);

    // Whether the mode asks for deletion in the current state.
    bool ShouldDeleteItself() const;

private:
    class CBusyScope;
    template <class Call>
    void Raise(Call&& call);

    void EraseListener(CTreeItemEvents* listener);
    void CompactListeners();
    // Deletes the node when its mode says so, now or, while one of its own
    // calls is running, when that call ends.
    void RunAutoDeleteCheck();
    // Tells every listener OnItemDestroyed, first to last.
    void NotifyDestroyed();
    void DropRemainingLinks();

    CTreeItem* m_parent = nullptr;
    std::vector<CTreeItem*> m_children;
    // A removed listener leaves a null while the list is being walked.
    std::vector<CTreeItemEvents*> m_listeners;
    bool m_expanded = false;
    AutoDeleteMode m_autoDeleteMode;

    int m_busy = 0;     // calls of this node in progress
    int m_raising = 0;  // walks of m_listeners in progress
    bool m_listenerGaps = false;
    bool m_checkPending = false;
    bool m_destroying = false;
};

}  // namespace AdvancedTree
