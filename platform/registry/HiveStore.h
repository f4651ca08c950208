// Reading and changing hive files safely across threads and processes.
// Private to the registry.
//
// Each hive file has a lock file beside it ("<hive>.lock", flock). Readers
// hold it shared; a change holds it exclusively, re-reads the file, applies
// the edit, writes "<hive>.tmp", flushes it to disk and renames it over the
// hive. So concurrent changes from any number of processes all survive, and a
// crash leaves either the old or the new file.
//
// A hive file with unsound lines (see HiveText.h) still gives everything that
// reads. Before such a file is first replaced, its bytes are kept beside it
// as "<hive>.bad" (or ".bad.2", ".bad.3", ... when that exists), so no line a
// person wrote is lost; if that copy cannot be made the change fails with
// ERROR_CANTWRITE and the file stays as it was.
//
// Parsed hives are cached per process while the file's identity (device,
// inode, size, modification and change times) is unchanged; a file changed
// less than a second before it was read is never taken from the cache, since
// a later file could then have the same identity.
#pragma once

#include <functional>
#include <memory>

#include "platform/base/WinTypes.h"
#include "platform/registry/HiveKey.h"
#include "platform/registry/HiveLocation.h"

namespace wys::registry {

using HiveSnapshot = std::shared_ptr<const CHiveKey>;

// The hive as it is now; a missing file or folder is an empty hive. Fails
// with ERROR_ACCESS_DENIED when the file may not be read, ERROR_BADDB when it
// is not a regular file, ERROR_CANTREAD for other read errors.
LONG ReadHive(const HiveLocation& location, HiveSnapshot& hive);

// Applies `edit` to the current hive, under the exclusive lock. The file is
// rewritten only when the edit returns ERROR_SUCCESS and changed something.
// Returns the edit's failure, or the failure to create folders, lock, read or
// write (ERROR_ACCESS_DENIED where this user may not write, ERROR_DISK_FULL...).
using HiveEdit = std::function<LONG(CHiveKey& root)>;
LONG UpdateHive(const HiveLocation& location, const HiveEdit& edit);

}  // namespace wys::registry
