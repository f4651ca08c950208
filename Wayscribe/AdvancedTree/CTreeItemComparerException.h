// What a node comparer throws when asked to compare with a node it cannot
// order against (a node of another class, or none).
#pragma once

#include <exception>

namespace AdvancedTree {

// Thrown and caught by value, so that no catcher has anything to free.
class CTreeItemComparerException : public std::exception {
public:
    const char* what() const noexcept override { return "tree items of different kinds"; }
};

}  // namespace AdvancedTree
