// The rows of a CAdvancedTree as a Qt item model. It holds no copy of the
// data: a row is a handle bound to a node, made only for the children of
// expanded nodes, and text, image and child count are asked from the node
// each time a view wants them.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <QList>

#include <cstddef>
#include <map>
#include <memory>
#include <vector>

#include "Wayscribe/AdvancedTree/CTreeItem.h"

namespace AdvancedTree {

// Follows the nodes through their listener notifications: it is a listener of
// the root and of every node that has a row, and of no other. Rows are made
// when a node is added under an expanded parent that has a row or when such a
// parent expands; they are deleted (with every row below) when the node is
// removed, destroyed or its parent collapses. The root is never a row: its
// children are the top-level rows.
//
// Neither the root nor any node is owned. Destroying the model leaves every
// node it listens to. A model index whose row has been deleted is recognised
// as stale (its handle is no longer known) and yields nothing. Used on the
// GUI thread only.
class CAdvancedTreeModel : public QAbstractItemModel, public CTreeItemEvents {
    Q_OBJECT

public:
    explicit CAdvancedTreeModel(QObject* parent = nullptr);
    ~CAdvancedTreeModel() override;

    // Binds `root` (null for none) to the invisible top. The rows of the old
    // root go; when `root` is expanded its children become top-level rows.
    void SetRoot(CTreeItem* root);
    CTreeItem* GetRoot() const { return m_root; }

    // Icons by image index, as GetImage answers; an index outside the list
    // shows no icon. Views show the new icons when they next paint.
    void SetImageList(QList<QIcon> images);

    // Null for a stale or invalid index.
    CTreeItem* NodeOf(const QModelIndex& index) const;
    // Invalid when the node has no row.
    QModelIndex IndexOf(const CTreeItem* node) const;
    bool HasRow(const CTreeItem* node) const { return m_rowOfNode.count(node) != 0; }
    // All rows, at every level.
    std::size_t GetRowTotal() const { return m_rowOfNode.size(); }

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // From the node's own child count, so a collapsed node with children
    // shows an expand button although it has no child rows.
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void OnChildAdded(CTreeItem* parent, CTreeItem* child) override;
    void OnChildRemoved(CTreeItem* parent, CTreeItem* child) override;
    void OnItemDestroyed(CTreeItem* item) override;
    void OnItemExpanded(CTreeItem* item) override;
    void OnItemCollapsed(CTreeItem* item) override;
    void OnItemMoved(CTreeItem* item, CTreeItem* other) override;

signals:
    // The node of this row expanded or collapsed (or got a row while
    // expanded); a view shows the row in that state.
    void ExpandRequested(const QModelIndex& index);
    void CollapseRequested(const QModelIndex& index);

private:
    struct Row {
        quintptr handle = 0;
        CTreeItem* node = nullptr;
        Row* parent = nullptr;
        std::vector<Row*> children;
    };

    Row* RowOfHandle(quintptr handle) const;
    // The row of `node`, the top for the root; null when it has none.
    Row* RowOfNode(const CTreeItem* node) const;
    QModelIndex IndexOfRow(const Row* row) const;
    int PositionOf(const Row* row) const;

    // Inserts a row for `node` under `parent` at `position` (clamped to the
    // end), with rows for its children when it is expanded.
    void InsertRow(CTreeItem* node, Row* parent, std::size_t position);
    Row* BuildRow(CTreeItem* node, Row* parent, std::size_t position);
    // Places `child` after the row of its previous sibling.
    void InsertInPlace(CTreeItem* parent, CTreeItem* child);
    void InsertChildRows(Row* row);
    void DeleteRow(Row* row);
    void DeleteChildRows(Row* row);
    // Forgets a row and every row below it, leaving their nodes.
    void DropRows(Row* row);
    void RequestExpansion(const Row* row);

    CTreeItem* m_root = nullptr;
    Row m_top;
    quintptr m_nextHandle = 1;
    std::map<quintptr, std::unique_ptr<Row>> m_rows;
    std::map<const CTreeItem*, Row*> m_rowOfNode;
    QList<QIcon> m_images;
};

}  // namespace AdvancedTree
