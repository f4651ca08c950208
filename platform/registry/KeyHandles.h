// The table of open key handles. Private to the registry.
//
// A handle names a key by its hive file and path, with the rights it was
// opened with; it holds no data of the key, which is read afresh at each use.
// Handle values are never reused, so a closed handle stays invalid.
#pragma once

#include <string>
#include <vector>

#include "platform/registry/HiveLocation.h"
#include "platform/registry/Registry.h"

namespace wys::registry {

struct KeyReference {
    HiveLocation hive;
    std::vector<std::string> path;  // from the hive's root; empty for the root
    REGSAM access = 0;
};

// What `key` refers to now. A predefined key locates its hive from the
// environment at this call and has every right. ERROR_INVALID_HANDLE for a
// null, closed or unknown handle; ERROR_PATH_NOT_FOUND when no home folder
// can be found for a per-user hive.
LONG ResolveKey(HKEY key, KeyReference& reference);

// A new handle for `reference`; the caller closes it with CloseKeyHandle.
HKEY AddKeyHandle(KeyReference reference);

// ERROR_SUCCESS for open handles and predefined keys (which stay usable),
// ERROR_INVALID_HANDLE otherwise.
LONG CloseKeyHandle(HKEY key);

}  // namespace wys::registry
