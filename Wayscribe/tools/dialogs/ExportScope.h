// What an export writes: every visit, the visits under the selected tree
// node, or a time range with an optional URL filter.
#pragma once

enum class ExportScope : int {
    All = 0,
    SelectedItem = 1,
    Range = 2,
};
