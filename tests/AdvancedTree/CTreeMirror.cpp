#include "tests/AdvancedTree/CTreeMirror.h"

#include <algorithm>
#include <stdexcept>

using AdvancedTree::CTreeItem;

namespace wys::test {

CTreeMirror::~CTreeMirror()
{
    SetRoot(nullptr);
}

void CTreeMirror::SetRoot(CTreeItem* root)
{
    if (root == m_root)
        return;
    DeleteChildRows(&m_top);
    if (m_root)
        m_root->RemoveListener(this);
    m_root = root;
    m_top.node = root;
    if (!root)
        return;
    root->AddListener(this);
    if (root->IsExpanded()) {
        for (CTreeItem* child : root->GetChildren())
            InsertRow(child, &m_top, m_top.children.size());
    }
}

bool CTreeMirror::HasRow(const CTreeItem* node) const
{
    return m_rows.count(node) != 0;
}

CTreeMirror::Row* CTreeMirror::Find(const CTreeItem* node) const
{
    if (node && node == m_root)
        return const_cast<Row*>(&m_top);
    auto it = m_rows.find(node);
    return it == m_rows.end() ? nullptr : it->second.get();
}

void CTreeMirror::InsertRow(CTreeItem* node, Row* parent, std::size_t position)
{
    if (HasRow(node) || node == m_root)
        throw std::logic_error("a node got a second row");
    auto row = std::make_unique<Row>();
    row->node = node;
    row->parent = parent;
    Row* raw = row.get();
    m_rows.emplace(node, std::move(row));
    position = std::min(position, parent->children.size());
    parent->children.insert(parent->children.begin() + static_cast<std::ptrdiff_t>(position), raw);
    node->AddListener(this);
    if (node->IsExpanded()) {
        for (CTreeItem* child : node->GetChildren())
            InsertRow(child, raw, raw->children.size());
    }
}

void CTreeMirror::InsertInPlace(CTreeItem* parent, CTreeItem* child)
{
    Row* parentRow = Find(parent);
    if (HasRow(child) || !parentRow || !parent->IsExpanded())
        return;
    const std::size_t index = parent->GetChildIndex(child);
    if (index >= parent->GetChildCount())
        return;
    std::size_t position = parentRow->children.size();
    if (index == 0) {
        position = 0;
    } else if (Row* previous = Find(parent->GetChild(index - 1))) {
        auto it = std::find(parentRow->children.begin(), parentRow->children.end(), previous);
        if (it != parentRow->children.end())
            position = static_cast<std::size_t>(it - parentRow->children.begin()) + 1;
    }
    InsertRow(child, parentRow, position);
}

void CTreeMirror::DeleteChildRows(Row* row)
{
    while (!row->children.empty())
        DeleteRow(row->children.back());
}

void CTreeMirror::DeleteRow(Row* row)
{
    DeleteChildRows(row);
    Row* parent = row->parent;
    std::erase(parent->children, row);
    CTreeItem* node = row->node;
    // As the window does when the control reports a deleted row.
    node->RemoveListener(this);
    m_rows.erase(node);
}

void CTreeMirror::OnChildAdded(CTreeItem* parent, CTreeItem* child)
{
    InsertInPlace(parent, child);
}

void CTreeMirror::OnChildRemoved(CTreeItem*, CTreeItem* child)
{
    if (Row* row = Find(child); row && row != &m_top)
        DeleteRow(row);
}

void CTreeMirror::OnItemDestroyed(CTreeItem* item)
{
    if (item == m_root) {
        DeleteChildRows(&m_top);
        m_root = nullptr;
        m_top.node = nullptr;
        return;
    }
    if (Row* row = Find(item))
        DeleteRow(row);
}

void CTreeMirror::OnItemExpanded(CTreeItem* item)
{
    Row* row = Find(item);
    if (!row)
        return;
    for (CTreeItem* child : item->GetChildren()) {
        if (!HasRow(child))
            InsertRow(child, row, row->children.size());
    }
}

void CTreeMirror::OnItemCollapsed(CTreeItem* item)
{
    if (Row* row = Find(item))
        DeleteChildRows(row);
}

void CTreeMirror::OnItemMoved(CTreeItem* item, CTreeItem*)
{
    Row* row = Find(item);
    if (!row || row == &m_top)
        return;
    CTreeItem* parent = item->GetParent();
    DeleteRow(row);
    if (parent)
        InsertInPlace(parent, item);
}

void CTreeMirror::Dump(const Row& row, int depth, std::string* out) const
{
    for (const Row* child : row.children) {
        out->append(static_cast<std::size_t>(depth) * 2, ' ');
        out->append(child->node->GetText());
        out->push_back('\n');
        Dump(*child, depth + 1, out);
    }
}

std::string CTreeMirror::Rows() const
{
    std::string out;
    Dump(m_top, 0, &out);
    return out;
}

namespace {

void Expected(CTreeItem* node, int depth, std::string* out)
{
    if (!node->IsExpanded())
        return;
    for (CTreeItem* child : node->GetChildren()) {
        out->append(static_cast<std::size_t>(depth) * 2, ' ');
        out->append(child->GetText());
        out->push_back('\n');
        Expected(child, depth + 1, out);
    }
}

}  // namespace

std::string CTreeMirror::ExpectedRows(CTreeItem* root)
{
    std::string out;
    if (root)
        Expected(root, 0, &out);
    return out;
}

}  // namespace wys::test
