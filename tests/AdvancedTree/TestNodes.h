// Node classes for the model's tests: keyed sortable nodes of two unrelated
// classes, a node without comparer, and a listener that records what it hears.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "Wayscribe/AdvancedTree/CSortedTreeItem.h"
#include "Wayscribe/AdvancedTree/CTreeItemComparer.h"

namespace wys::test {

// Names of deleted nodes, in order of deletion; also counts live nodes.
struct CGraveyard {
    std::vector<std::string> names;
    int live = 0;
};

template <int Kind>
class CKeyedNode : public AdvancedTree::CSortedTreeItem, public AdvancedTree::CTreeItemComparer {
public:
    CKeyedNode(int key, std::string name, CGraveyard* graveyard,
               AdvancedTree::AutoDeleteMode mode = AdvancedTree::AutoDeleteMode::WhenDetached)
        : CSortedTreeItem(mode), m_key(key), m_name(std::move(name)), m_graveyard(graveyard)
    {
        if (m_graveyard)
            ++m_graveyard->live;
    }
    ~CKeyedNode() override
    {
        if (m_graveyard) {
            --m_graveyard->live;
            m_graveyard->names.push_back(m_name);
        }
    }
    std::string GetText() override { return m_name; }
    bool IsLess(const AdvancedTree::CTreeItem* other) const override { return m_key < Of(other).m_key; }
    bool IsEqual(const AdvancedTree::CTreeItem* other) const override { return m_key == Of(other).m_key; }

private:
    static const CKeyedNode& Of(const AdvancedTree::CTreeItem* other)
    {
        const auto* node = dynamic_cast<const CKeyedNode*>(other);
        if (!node)
            throw AdvancedTree::CTreeItemComparerException();
        return *node;
    }

    int m_key;
    std::string m_name;
    CGraveyard* m_graveyard;
};

using CKeyNode = CKeyedNode<0>;
using COtherNode = CKeyedNode<1>;

// Records notifications as text ("added P C", "removed P C", "destroyed X",
// "expanded X", "collapsed X"), naming nodes by the text they had when it
// started listening to them or saw them added.
class CRecorder : public AdvancedTree::CTreeItemEvents {
public:
    ~CRecorder() override
    {
        for (auto& [node, name] : m_names)
            if (m_listening.count(node))
                node->RemoveListener(this);
    }
    void Listen(AdvancedTree::CTreeItem* node)
    {
        m_names[node] = node->GetText();
        m_listening[node] = true;
        node->AddListener(this);
    }
    void Forget(AdvancedTree::CTreeItem* node)
    {
        node->RemoveListener(this);
        m_listening.erase(node);
    }
    std::string Name(AdvancedTree::CTreeItem* node)
    {
        auto it = m_names.find(node);
        return it == m_names.end() ? node->GetText() : it->second;
    }
    void OnChildAdded(AdvancedTree::CTreeItem* parent, AdvancedTree::CTreeItem* child) override
    {
        m_names.emplace(child, child->GetText());
        log.push_back("added " + Name(parent) + " " + Name(child));
    }
    void OnChildRemoved(AdvancedTree::CTreeItem* parent, AdvancedTree::CTreeItem* child) override
    {
        log.push_back("removed " + Name(parent) + " " + Name(child));
    }
    void OnItemDestroyed(AdvancedTree::CTreeItem* item) override
    {
        m_listening.erase(item);
        log.push_back("destroyed " + Name(item));
    }
    void OnItemExpanded(AdvancedTree::CTreeItem* item) override { log.push_back("expanded " + Name(item)); }
    void OnItemCollapsed(AdvancedTree::CTreeItem* item) override { log.push_back("collapsed " + Name(item)); }

    std::vector<std::string> log;

private:
    std::map<AdvancedTree::CTreeItem*, std::string> m_names;
    std::map<AdvancedTree::CTreeItem*, bool> m_listening;
};

}  // namespace wys::test
