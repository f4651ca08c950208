// Where each hive's file lives, and whether this user may change it. Private
// to the registry.
#pragma once

#include <optional>
#include <string>

namespace wys::registry {

enum class PredefinedHive { ClassesRoot, CurrentUser, LocalMachine };

// Who a hive belongs to decides the modes of the files and folders made for it.
enum class HiveSharing { PerUser, MachineWide };

struct HiveLocation {
    std::string name;  // "HKEY_CURRENT_USER"
    std::string path;  // the hive file
    HiveSharing sharing = HiveSharing::PerUser;
};

// Reads the environment now: the per-user hives lie under $XDG_CONFIG_HOME
// (else $HOME/.config, else the password database's home folder), the machine
// hive under the first absolute folder of $XDG_CONFIG_DIRS (else /etc/xdg).
// Nullopt only when no home folder can be found for a per-user hive.
std::optional<HiveLocation> LocateHive(PredefinedHive hive);

// Whether this process may replace the hive file: it may write the file (when
// present) and the nearest existing folder on the way to it.
bool MayWriteHive(const HiveLocation& location);

}  // namespace wys::registry
