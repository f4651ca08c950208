// The base of the history's calendar nodes: a sorted node with an ordering,
// initialised from a visit record, that knows the band it belongs to.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "Wayscribe/AdvancedTree/CSortedTreeItem.h"
#include "Wayscribe/AdvancedTree/CTreeItemComparer.h"
#include "Wayscribe/historymodel/CDataItem.h"

class CQXServiceProvider;

class CDIInitableItem : public AdvancedTree::CSortedTreeItem, public AdvancedTree::CTreeItemComparer {
public:
    // Takes the record's Provider; subclasses take what they keep of it.
    virtual void InitFromData(const CDataItem& data);
    // Offers the visits under the node for export through the Provider;
    // nothing happens without a Provider.
    virtual void Export() = 0;
    // Adds the saved paths of every visit under the node. The base asks each
    // child that is a calendar node.
    virtual void CollectPaths(std::set<std::string>& paths);

    // Shows the node's command menu through the handler the band installs;
    // without a handler (no user interface in the process) nothing happens.
    void ShowContextMenu(HWND ownerWindow, int screenX, int screenY) override;
    using ContextMenuHandler = void (*)(CDIInitableItem& node, HWND ownerWindow, int screenX, int screenY);
    // Process-wide; returns the previous handler. GUI thread only.
    static ContextMenuHandler SetContextMenuHandler(ContextMenuHandler handler);

    // Null until initialised, or when the record had none.
    CQXServiceProvider* GetProvider() const { return m_provider; }

protected:
    explicit CDIInitableItem(AdvancedTree::AutoDeleteMode mode) : CSortedTreeItem(mode) {}

    // Export's common part: the paths under the node and the range that
    // selects its visits, handed to the Provider.
    void ExportRange(std::int64_t start, std::int64_t span, const std::string& urlFilter);
    // Navigate to a saved copy, through the Provider.
    void OpenSavedCopy(const std::string& path);

private:
    CQXServiceProvider* m_provider = nullptr;
};
