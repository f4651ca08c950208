// What a URL base object takes from its surroundings rather than deciding
// itself: for now, the clock.
#pragma once

#include <cstdint>
#include <functional>

struct CUrlBaseOptions {
    // The current time in seconds since 1970-01-01 00:00:00 UTC; the system
    // clock when empty. Expiry takes its cutoff from it and Import its
    // folder name (in local time). Called on the object's thread only; it may
    // throw, which fails the operation that asked.
    std::function<std::int64_t()> Now;
};
