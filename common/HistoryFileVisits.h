// How many visits a history export (or index) file holds, as its reader
// would load them: for clients that report what an import did with a file
// they only know by its path.
#pragma once

#include <optional>
#include <string>

namespace wys {

// The number of complete records in the file at `path`: records up to the
// first one cut short count, one cut short does not (the file's own count
// field is not trusted). None when the file cannot be opened or is of a
// later version than any this system writes (its reader loads nothing).
std::optional<unsigned long> CountHistoryFileVisits(const std::string& path);

}  // namespace wys
