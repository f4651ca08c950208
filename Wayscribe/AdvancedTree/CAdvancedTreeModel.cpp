#include "Wayscribe/AdvancedTree/CAdvancedTreeModel.h"

#include <algorithm>

namespace AdvancedTree {

CAdvancedTreeModel::CAdvancedTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

CAdvancedTreeModel::~CAdvancedTreeModel()
{
    // Nodes outlive the window: they must not call a listener that is gone.
    for (auto& [node, row] : m_rowOfNode)
        row->node->RemoveListener(this);
    if (m_root)
        m_root->RemoveListener(this);
}

void CAdvancedTreeModel::SetRoot(CTreeItem* root)
{
    if (root == m_root)
        return;
    beginResetModel();
    while (!m_top.children.empty())
        DropRows(m_top.children.back());
    if (m_root)
        m_root->RemoveListener(this);
    m_root = root;
    m_top.node = root;
    if (root) {
        root->AddListener(this);
        if (root->IsExpanded()) {
            for (CTreeItem* child : root->GetChildren())
                BuildRow(child, &m_top, m_top.children.size());
        }
    }
    endResetModel();
    for (const Row* row : m_top.children)
        RequestExpansion(row);
}

void CAdvancedTreeModel::SetImageList(QList<QIcon> images)
{
    // Icons are asked at each paint like the rest, so a repaint shows them.
    m_images = std::move(images);
}

CAdvancedTreeModel::Row* CAdvancedTreeModel::RowOfHandle(quintptr handle) const
{
    if (handle == 0)
        return nullptr;
    auto it = m_rows.find(handle);
    return it == m_rows.end() ? nullptr : it->second.get();
}

CAdvancedTreeModel::Row* CAdvancedTreeModel::RowOfNode(const CTreeItem* node) const
{
    if (!node)
        return nullptr;
    if (node == m_root)
        return const_cast<Row*>(&m_top);
    auto it = m_rowOfNode.find(node);
    return it == m_rowOfNode.end() ? nullptr : it->second;
}

CTreeItem* CAdvancedTreeModel::NodeOf(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    const Row* row = RowOfHandle(index.internalId());
    return row ? row->node : nullptr;
}

QModelIndex CAdvancedTreeModel::IndexOf(const CTreeItem* node) const
{
    auto it = m_rowOfNode.find(node);
    return it == m_rowOfNode.end() ? QModelIndex() : IndexOfRow(it->second);
}

int CAdvancedTreeModel::PositionOf(const Row* row) const
{
    const auto& siblings = row->parent->children;
    return static_cast<int>(std::find(siblings.begin(), siblings.end(), row) - siblings.begin());
}

QModelIndex CAdvancedTreeModel::IndexOfRow(const Row* row) const
{
    if (!row || row == &m_top)
        return QModelIndex();
    return createIndex(PositionOf(row), 0, row->handle);
}

QModelIndex CAdvancedTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    const Row* parentRow = parent.isValid() ? RowOfHandle(parent.internalId()) : &m_top;
    if (!parentRow || column != 0 || row < 0 || static_cast<std::size_t>(row) >= parentRow->children.size())
        return QModelIndex();
    return createIndex(row, 0, parentRow->children[static_cast<std::size_t>(row)]->handle);
}

QModelIndex CAdvancedTreeModel::parent(const QModelIndex& child) const
{
    const Row* row = child.isValid() ? RowOfHandle(child.internalId()) : nullptr;
    return row ? IndexOfRow(row->parent) : QModelIndex();
}

int CAdvancedTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    const Row* row = parent.isValid() ? RowOfHandle(parent.internalId()) : &m_top;
    return row ? static_cast<int>(row->children.size()) : 0;
}

int CAdvancedTreeModel::columnCount(const QModelIndex& parent) const
{
    return parent.column() > 0 ? 0 : 1;
}

bool CAdvancedTreeModel::hasChildren(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return !m_top.children.empty();
    const Row* row = parent.column() == 0 ? RowOfHandle(parent.internalId()) : nullptr;
    return row && (!row->children.empty() || row->node->HasChildren());
}

QVariant CAdvancedTreeModel::data(const QModelIndex& index, int role) const
{
    CTreeItem* node = NodeOf(index);
    if (!node)
        return QVariant();
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(node->GetText());
        case Qt::ToolTipRole:
            return QString::fromStdString(node->GetToolTipText());
        case Qt::DecorationRole: {
            const int image = node->GetImage();
            if (image >= 0 && image < m_images.size())
                return m_images[image];
            return QVariant();
        }
        default:
            return QVariant();
    }
}

Qt::ItemFlags CAdvancedTreeModel::flags(const QModelIndex& index) const
{
    return NodeOf(index) ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

CAdvancedTreeModel::Row* CAdvancedTreeModel::BuildRow(CTreeItem* node, Row* parent, std::size_t position)
{
    auto owned = std::make_unique<Row>();
    Row* row = owned.get();
    row->handle = m_nextHandle++;
    row->node = node;
    row->parent = parent;
    m_rows.emplace(row->handle, std::move(owned));
    m_rowOfNode.emplace(node, row);
    position = std::min(position, parent->children.size());
    parent->children.insert(parent->children.begin() + static_cast<std::ptrdiff_t>(position), row);
    node->AddListener(this);
    if (node->IsExpanded()) {
        for (CTreeItem* child : node->GetChildren()) {
            if (!RowOfNode(child))
                BuildRow(child, row, row->children.size());
        }
    }
    return row;
}

void CAdvancedTreeModel::InsertRow(CTreeItem* node, Row* parent, std::size_t position)
{
    if (!node || RowOfNode(node))
        return;
    position = std::min(position, parent->children.size());
    const int at = static_cast<int>(position);
    beginInsertRows(IndexOfRow(parent), at, at);
    Row* row = BuildRow(node, parent, position);
    endInsertRows();
    RequestExpansion(row);
}

void CAdvancedTreeModel::RequestExpansion(const Row* row)
{
    // A node that is already expanded when it gets its row shows open, as
    // does every open node below it.
    if (!row->node->IsExpanded() || row->children.empty())
        return;
    emit ExpandRequested(IndexOfRow(row));
    for (const Row* child : row->children)
        RequestExpansion(child);
}

void CAdvancedTreeModel::InsertInPlace(CTreeItem* parent, CTreeItem* child)
{
    Row* parentRow = RowOfNode(parent);
    if (!parentRow || RowOfNode(child) || !parent->IsExpanded())
        return;
    const std::size_t index = parent->GetChildIndex(child);
    if (index >= parent->GetChildCount())
        return;
    std::size_t position = parentRow->children.size();
    if (index == 0) {
        position = 0;
    } else if (Row* previous = RowOfNode(parent->GetChild(index - 1));
               previous && previous->parent == parentRow) {
        position = static_cast<std::size_t>(PositionOf(previous)) + 1;
    }
    InsertRow(child, parentRow, position);
}

void CAdvancedTreeModel::InsertChildRows(Row* row)
{
    for (CTreeItem* child : row->node->GetChildren()) {
        if (!RowOfNode(child))
            InsertRow(child, row, row->children.size());
    }
}

void CAdvancedTreeModel::DropRows(Row* row)
{
    while (!row->children.empty())
        DropRows(row->children.back());
    std::erase(row->parent->children, row);
    // As the control does for each deleted row: leave the node, forget both
    // directions of the binding.
    row->node->RemoveListener(this);
    m_rowOfNode.erase(row->node);
    m_rows.erase(row->handle);
}

void CAdvancedTreeModel::DeleteRow(Row* row)
{
    if (!row || row == &m_top)
        return;
    const int at = PositionOf(row);
    beginRemoveRows(IndexOfRow(row->parent), at, at);
    DropRows(row);
    endRemoveRows();
}

void CAdvancedTreeModel::DeleteChildRows(Row* row)
{
    if (row->children.empty())
        return;
    beginRemoveRows(IndexOfRow(row), 0, static_cast<int>(row->children.size()) - 1);
    while (!row->children.empty())
        DropRows(row->children.back());
    endRemoveRows();
}

void CAdvancedTreeModel::OnChildAdded(CTreeItem* parent, CTreeItem* child)
{
    InsertInPlace(parent, child);
}

void CAdvancedTreeModel::OnChildRemoved(CTreeItem*, CTreeItem* child)
{
    if (child != m_root)
        DeleteRow(RowOfNode(child));
}

void CAdvancedTreeModel::OnItemDestroyed(CTreeItem* item)
{
    if (item && item == m_root) {
        beginResetModel();
        while (!m_top.children.empty())
            DropRows(m_top.children.back());
        m_root = nullptr;
        m_top.node = nullptr;
        endResetModel();
        return;
    }
    DeleteRow(RowOfNode(item));
}

void CAdvancedTreeModel::OnItemExpanded(CTreeItem* item)
{
    Row* row = RowOfNode(item);
    if (!row)
        return;
    InsertChildRows(row);
    if (row != &m_top && !row->children.empty())
        emit ExpandRequested(IndexOfRow(row));
}

void CAdvancedTreeModel::OnItemCollapsed(CTreeItem* item)
{
    Row* row = RowOfNode(item);
    if (!row)
        return;
    if (row != &m_top)
        emit CollapseRequested(IndexOfRow(row));
    DeleteChildRows(row);
}

void CAdvancedTreeModel::OnItemMoved(CTreeItem* item, CTreeItem*)
{
    Row* row = RowOfNode(item);
    if (!row || row == &m_top)
        return;
    DeleteRow(row);
    if (CTreeItem* parent = item->GetParent())
        InsertInPlace(parent, item);
}

}  // namespace AdvancedTree
