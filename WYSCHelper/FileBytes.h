// The bytes of open files, read from their starts: their hash, and
// whether two files hold the same. Both move the files' offsets.
#pragma once

#include <optional>

#include "WYSCHelper/CSharedFileStore.h"

namespace FileBytes {

// The SHA-256 of what `fd` holds; nullopt on a read error.
std::optional<CSharedFileStore::Digest> Sha256(int fd);

// Whether the two descriptors hold the same bytes; false on a read error.
bool Same(int a, int b);

}  // namespace FileBytes
