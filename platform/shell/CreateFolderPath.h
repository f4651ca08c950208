// Creating a folder together with the folders above it.
#pragma once

// Walks `path` component by component from its start (PathFindNextComponent)
// and creates each prefix that ends after a component when nothing of that
// name exists yet. The first creation that fails ends the walk; later
// components are not tried. A file standing in the way is left alone (the
// creation below it then fails). "\" counts as a separator. Returns whether a
// folder exists at `path` at the end; false for null or empty.
bool CreateFolderPath(const char* path);
