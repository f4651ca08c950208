// The tree window: shows a node model in a tree view whose rows are made
// lazily and whose texts, images and child counts come from the nodes.
#pragma once

#include <QIcon>
#include <QList>
#include <QWidget>

#include "Wayscribe/AdvancedTree/CTreeItem.h"

class QContextMenuEvent;
class QItemSelection;
class QModelIndex;
class QPoint;
class QTreeView;

namespace AdvancedTree {

class CAdvancedTreeModel;

// A plain window whose only child is the tree view (object name "1",
// filling it). Behaviour:
// - The root is never shown; its children are the top-level rows. Rows exist
//   only for children of expanded nodes (see CAdvancedTreeModel).
// - Expanding a row in the view expands its node (which makes the child
//   rows); collapsing collapses the node (which deletes them).
// - Single expand: when the selection moves to a node, by mouse or keyboard,
//   the branch of the previously selected node is collapsed up to the first
//   ancestor it shares with the new one (unless Ctrl is held), the new node
//   is expanded, and then the new node is opened (CTreeItem::Open; an
//   exception it throws is dropped, leaving the selection made). A click
//   on the selected node while it is collapsed expands it.
// - The context-menu request goes to the node under the cursor
//   (CTreeItem::ShowContextMenu with this widget as the owner window, HWND
//   being the QWidget*, and the cursor's screen position); the selection does
//   not change, and a right-button press selects nothing.
// - Long texts are cut with an ellipsis; there is no horizontal scrolling,
//   and the tooltip of a row is its whole text.
//
// The root and nodes are not owned; destroying the window leaves them as
// they are. GUI thread only.
class CAdvancedTree : public QWidget {
    Q_OBJECT

public:
    // The tree view's control identifier, which is also its object name.
    static constexpr int kTreeViewId = 1;

    explicit CAdvancedTree(QWidget* parent = nullptr);
    ~CAdvancedTree() override;

    // Nothing when `root` is already the root; otherwise drops the old root's
    // rows and shows the children of `root` when it is expanded.
    void SetRoot(CTreeItem* root);
    CTreeItem* GetRoot() const;

    // The icons shown for image indexes 0, 1, ...
    void SetImageList(QList<QIcon> images);

    // Repaints every row: nodes are asked their texts and images anew (a
    // change of view mode needs only this).
    void Invalidate();

    // The node of the selected row; null when none is selected.
    CTreeItem* GetSelectedNode() const;
    // Selects the row of `node` as a user's click would (single expand, then
    // Open), whatever keys are held; false when the node has no row.
    bool SelectNode(CTreeItem* node);

    QTreeView* GetTreeView() const { return m_view; }
    CAdvancedTreeModel* GetModel() const { return m_model; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void OnSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void OnViewExpanded(const QModelIndex& index);
    void OnViewCollapsed(const QModelIndex& index);
    void OnClicked(const QModelIndex& index);
    // Collapses `previous` and its ancestors up to the first one that is
    // also an ancestor of `next` (or `next` itself).
    void CollapseOldBranch(CTreeItem* previous, CTreeItem* next);
    void ShowContextMenuAt(const QPoint& globalPos);

    CAdvancedTreeModel* m_model = nullptr;
    QTreeView* m_view = nullptr;
    QWidget* m_viewport = nullptr;  // the view's, which it owns
    bool m_selectingByCode = false;
};

}  // namespace AdvancedTree
