// A listener that holds the rows a lazy tree window would hold for a model:
// a row for each child of an expanded node that itself has a row, built and
// torn down only from the notifications the nodes raise. Comparing its rows
// with ExpectedRows after each change checks that the model told everything.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Wayscribe/AdvancedTree/CTreeItem.h"

namespace wys::test {

class CTreeMirror : public AdvancedTree::CTreeItemEvents {
public:
    CTreeMirror() = default;
    ~CTreeMirror() override;
    CTreeMirror(const CTreeMirror&) = delete;
    CTreeMirror& operator=(const CTreeMirror&) = delete;

    // Binds `root` to the invisible top row; its children are top-level rows.
    void SetRoot(AdvancedTree::CTreeItem* root);
    AdvancedTree::CTreeItem* GetRoot() const { return m_root; }

    // One line per row in display order: two blanks per level, then the text.
    std::string Rows() const;
    std::size_t RowCount() const { return m_rows.size(); }
    bool HasRow(const AdvancedTree::CTreeItem* node) const;

    // The rows that a window showing `root` must hold, read from the model.
    static std::string ExpectedRows(AdvancedTree::CTreeItem* root);

    void OnChildAdded(AdvancedTree::CTreeItem* parent, AdvancedTree::CTreeItem* child) override;
    void OnChildRemoved(AdvancedTree::CTreeItem* parent, AdvancedTree::CTreeItem* child) override;
    void OnItemDestroyed(AdvancedTree::CTreeItem* item) override;
    void OnItemExpanded(AdvancedTree::CTreeItem* item) override;
    void OnItemCollapsed(AdvancedTree::CTreeItem* item) override;
    void OnItemMoved(AdvancedTree::CTreeItem* item, AdvancedTree::CTreeItem* other) override;

private:
    struct Row {
        AdvancedTree::CTreeItem* node = nullptr;
        Row* parent = nullptr;
        std::vector<Row*> children;
    };

    Row* Find(const AdvancedTree::CTreeItem* node) const;
    // Inserts a row for `node` under `parent` at `position` (clamped to the
    // end), and rows for its children when it is expanded.
    void InsertRow(AdvancedTree::CTreeItem* node, Row* parent, std::size_t position);
    // Places `child` after the row of its previous sibling, as the window does.
    void InsertInPlace(AdvancedTree::CTreeItem* parent, AdvancedTree::CTreeItem* child);
    // Deletes a row with every row below it, leaving their nodes' lists.
    void DeleteRow(Row* row);
    void DeleteChildRows(Row* row);
    void Dump(const Row& row, int depth, std::string* out) const;

    AdvancedTree::CTreeItem* m_root = nullptr;
    Row m_top;
    std::map<const AdvancedTree::CTreeItem*, std::unique_ptr<Row>> m_rows;
};

}  // namespace wys::test
