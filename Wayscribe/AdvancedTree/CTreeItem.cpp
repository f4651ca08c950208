#include "Wayscribe/AdvancedTree/CTreeItem.h"

#include <algorithm>

namespace AdvancedTree {

// Holds a node's deletion back while one of its own calls runs: a listener
// may detach the node from inside a notification, and the node must outlive
// the loop that is notifying. The check asked for meanwhile runs when the
// outermost call ends, on the state the tree has then.
class CTreeItem::CBusyScope {
public:
    explicit CBusyScope(CTreeItem& item) : m_item(item) { ++m_item.m_busy; }
    ~CBusyScope()
    {
        if (--m_item.m_busy == 0 && m_item.m_checkPending) {
            m_item.m_checkPending = false;
            m_item.RunAutoDeleteCheck();  // may delete m_item: nothing follows
        }
    }
    CBusyScope(const CBusyScope&) = delete;
    CBusyScope& operator=(const CBusyScope&) = delete;

private:
    CTreeItem& m_item;
};

CTreeItem::CTreeItem(AutoDeleteMode mode) : m_autoDeleteMode(mode) {}

CTreeItem::~CTreeItem()
{
    // Empty already when the node deleted itself; a direct delete notifies
    // here, when only this base part is left.
    NotifyDestroyed();
}

std::string CTreeItem::GetText()
{
    return "Base tree item node";
}

std::string CTreeItem::GetToolTipText()
{
    return GetText();
}

int CTreeItem::GetImage()
{
    return 0;
}

void CTreeItem::Open() {}

void CTreeItem::ShowContextMenu(HWND, int, int) {}

template <class Call>
void CTreeItem::Raise(Call&& call)
{
    CBusyScope busy(*this);
    struct Walk {
        CTreeItem& item;
        explicit Walk(CTreeItem& i) : item(i) { ++item.m_raising; }
        ~Walk()
        {
            if (--item.m_raising == 0)
                item.CompactListeners();
        }
    } walk(*this);
    // Listeners added meanwhile hear from the next change on; removed ones
    // are nulls and are skipped.
    const std::size_t count = m_listeners.size();
    for (std::size_t i = 0; i < count && i < m_listeners.size(); ++i) {
        if (CTreeItemEvents* listener = m_listeners[i])
            call(listener);
    }
}

bool CTreeItem::AddChild(CTreeItem* child)
{
    if (!child || child == this || child->m_parent == this || m_destroying || child->m_destroying ||
        child->IsAncestorOf(this))
        return false;
    CBusyScope busy(*this);
    CBusyScope keepChild(*child);
    CTreeItem* previous = child->m_parent;
    if (!InsertSorted(child))
        return false;
    ChildLinked(child);
    child->m_parent = this;
    if (previous) {
        // Moving never deletes the previous parent, even when it is left empty.
        previous->UnlinkChild(child);
        previous->Raise([&](CTreeItemEvents* l) { l->OnChildRemoved(previous, child); });
    }
    Raise([&](CTreeItemEvents* l) { l->OnChildAdded(this, child); });
    return true;
}

bool CTreeItem::RemoveChild(CTreeItem* child)
{
    if (!child || child->m_parent != this)
        return false;
    CBusyScope busy(*this);
    {
        CBusyScope keepChild(*child);
        UnlinkChild(child);
        // Detached before listeners hear of it, so that they see a consistent tree.
        child->m_parent = nullptr;
        Raise([&](CTreeItemEvents* l) { l->OnChildRemoved(this, child); });
        child->RunAutoDeleteCheck();  // runs when keepChild ends
    }
    RunAutoDeleteCheck();  // runs when busy ends
    return true;
}

void CTreeItem::RemoveAllChildren()
{
    CBusyScope busy(*this);
    while (!m_children.empty())
        RemoveChild(m_children.front());
}

void CTreeItem::Expand()
{
    if (m_expanded)
        return;
    m_expanded = true;
    Raise([&](CTreeItemEvents* l) { l->OnItemExpanded(this); });
}

void CTreeItem::Collapse()
{
    if (!m_expanded)
        return;
    m_expanded = false;
    Raise([&](CTreeItemEvents* l) { l->OnItemCollapsed(this); });
}

void CTreeItem::AddListener(CTreeItemEvents* listener)
{
    if (listener && !HasListener(listener))
        m_listeners.push_back(listener);
}

void CTreeItem::RemoveListener(CTreeItemEvents* listener)
{
    EraseListener(listener);
}

bool CTreeItem::HasListener(const CTreeItemEvents* listener) const
{
    return listener && std::find(m_listeners.begin(), m_listeners.end(), listener) != m_listeners.end();
}

CTreeItem* CTreeItem::GetChild(std::size_t index) const
{
    return index < m_children.size() ? m_children[index] : nullptr;
}

CTreeItem* CTreeItem::GetLastChild() const
{
    return m_children.empty() ? nullptr : m_children.back();
}

std::size_t CTreeItem::GetChildIndex(const CTreeItem* child) const
{
    return static_cast<std::size_t>(std::find(m_children.begin(), m_children.end(), child) -
                                    m_children.begin());
}

bool CTreeItem::IsAncestorOf(const CTreeItem* node) const
{
    for (const CTreeItem* p = node ? node->m_parent : nullptr; p; p = p->m_parent) {
        if (p == this)
            return true;
    }
    return false;
}

void CTreeItem::OnItemDestroyed(CTreeItem* item)
{
    if (!item || item == this)
        return;
    if (item == m_parent) {
        // Detached by the loss of the parent: without the check, a subtree of
        // self-deleting nodes would outlive its root.
        m_parent = nullptr;
        item->UnlinkChild(this);
        RunAutoDeleteCheck();
    } else if (item->m_parent == this) {
        UnlinkChild(item);
        item->m_parent = nullptr;
        RunAutoDeleteCheck();
    }
}

bool CTreeItem::InsertSorted(CTreeItem* child)
{
    if (!child || child->m_parent == this)
        return false;
    AppendChildLink(child);
    return true;
}

void CTreeItem::AppendChildLink(CTreeItem* child)
{
    m_children.push_back(child);
}

void CTreeItem::MoveChild(std::size_t from, std::size_t to)
{
    if (from >= m_children.size() || to >= m_children.size() || from == to)
        return;
    auto first = m_children.begin();
    if (from > to)
        std::rotate(first + to, first + from, first + from + 1);
    else
        std::rotate(first + from, first + from + 1, first + to + 1);
}

void CTreeItem::UnlinkChild(CTreeItem* child)
{
    auto it = std::find(m_children.begin(), m_children.end(), child);
    if (it == m_children.end())
        return;
    m_children.erase(it);
    ChildUnlinked(child);
}

bool CTreeItem::ShouldDeleteItself() const
{
    const bool detached = m_parent == nullptr;
    const bool empty = m_children.empty();
    switch (m_autoDeleteMode) {
        case AutoDeleteMode::Never:
            return false;
        case AutoDeleteMode::WhenDetached:
            return detached;
        case AutoDeleteMode::WhenEmpty:
            return empty;
        case AutoDeleteMode::WhenDetachedAndEmpty:
            return detached && empty;
        case AutoDeleteMode::WhenDetachedOrEmpty:
            return detached || empty;
    }
    return false;
}

void CTreeItem::EraseListener(CTreeItemEvents* listener)
{
    auto it = std::find(m_listeners.begin(), m_listeners.end(), listener);
    if (!listener || it == m_listeners.end())
        return;
    if (m_raising > 0) {
        *it = nullptr;
        m_listenerGaps = true;
    } else {
        m_listeners.erase(it);
    }
}

void CTreeItem::CompactListeners()
{
    if (!m_listenerGaps)
        return;
    std::erase(m_listeners, nullptr);
    m_listenerGaps = false;
}

void CTreeItem::RunAutoDeleteCheck()
{
    if (m_destroying || !ShouldDeleteItself())
        return;
    if (m_busy > 0) {
        m_checkPending = true;
        return;
    }
    NotifyDestroyed();
    delete this;
}

void CTreeItem::NotifyDestroyed()
{
    m_destroying = true;
    // The linked nodes first: they keep the structure sound (the parent
    // forgets this node, each child is detached) before listeners look at it.
    if (CTreeItem* parent = m_parent)
        parent->OnItemDestroyed(this);
    for (std::size_t i = 0; i < m_children.size();) {
        CTreeItem* child = m_children[i];
        child->OnItemDestroyed(this);
        if (i < m_children.size() && m_children[i] == child)
            ++i;  // an override that keeps the link: dropped below
    }
    CompactListeners();
    // Always the first one: a listener may take others off the list.
    while (!m_listeners.empty()) {
        CTreeItemEvents* listener = m_listeners.front();
        m_listeners.erase(m_listeners.begin());
        if (listener)
            listener->OnItemDestroyed(this);
    }
    DropRemainingLinks();
}

void CTreeItem::DropRemainingLinks()
{
    // Links that an override of OnItemDestroyed left in place are dropped
    // here, so that no node keeps a dangling pointer.
    if (CTreeItem* parent = m_parent) {
        m_parent = nullptr;
        parent->UnlinkChild(this);
        parent->RunAutoDeleteCheck();
    }
    while (!m_children.empty()) {
        CTreeItem* child = m_children.back();
        UnlinkChild(child);
        child->m_parent = nullptr;
        child->RunAutoDeleteCheck();
    }
}

}  // namespace AdvancedTree
