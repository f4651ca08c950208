// What a URL base object takes from its surroundings rather than deciding
// itself: the clock, who wants to know how many hold it, and whether it
// keeps a content index and the store of shared files.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/base/WinTypes.h"

struct CUrlBaseOptions {
    // The current time in seconds since 1970-01-01 00:00:00 UTC; the system
    // clock when empty. Expiry takes its cutoff from it and Import its
    // folder name (in local time). Called on the object's thread only; it may
    // throw, which fails the operation that asked.
    std::function<std::int64_t()> Now;

    // Told every change of the object's reference count, from `previous` to
    // `now`, on the thread that made it; a release to zero is not told (the
    // object is gone by then). A hosting server counts its clients with it.
    // It must not throw, and must not release the object.
    std::function<void(ULONG previous, ULONG now)> ReferenceCountChanged;

    // Whether the object keeps the content index of its history folder
    // (CContentIndexer). Tests of other matters may leave it off.
    bool KeepContentIndex = true;

    // Whether the object keeps the store of shared files of its history
    // folder and counts what the saved copies take (CFileSharer). Tests of
    // other matters may leave it off.
    bool KeepSharedFiles = true;
};
