// Finding out what class a node is, often: the calendar asks it of every
// sibling it passes.
#pragma once

#include <typeinfo>

#include "Wayscribe/AdvancedTree/CTreeItem.h"

namespace AdvancedTree {

// The node as a T, or null when it is none (or null). A node of exactly
// class T is recognised by its type alone; subclasses of T take the slower
// dynamic_cast. T must derive from CTreeItem without virtual inheritance.
template <class T>
T* NodeCast(CTreeItem* node)
{
    if (node && typeid(*node) == typeid(T))
        return static_cast<T*>(node);
    return dynamic_cast<T*>(node);
}

template <class T>
const T* NodeCast(const CTreeItem* node)
{
    if (node && typeid(*node) == typeid(T))
        return static_cast<const T*>(node);
    return dynamic_cast<const T*>(node);
}

}  // namespace AdvancedTree
