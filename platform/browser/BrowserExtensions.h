// The lists, kept in the registry by installation, of what a browser host
// loads into its windows:
//
// - Helper objects, created for every browser window and given the window as
//   their site: one key per class under
//     HKEY_CURRENT_USER  "Software\Wayscribe\Browser Helper Objects\{CLSID}"
//   and, for every user of the machine, the same path under
//   HKEY_LOCAL_MACHINE. The key's default value may name the object.
// - Explorer bars, offered as side panes: the classes that implement the
//   vertical explorer bar category (CATID_InfoBand), registered under
//     HKEY_CLASSES_ROOT  "CLSID\{CLSID}\Implemented Categories\{CATID_InfoBand}"
//   with the category itself under "Component Categories\{CATID_InfoBand}".
//   The class key's default value is the bar's name.
//
// Each class must also be registered as a server (InprocServer32) to be
// created. All functions may be called from any thread; results are the
// registry's ERROR_* values.
#pragma once

#include <string>
#include <vector>

#include "platform/base/WinError.h"
#include "platform/com/Guid.h"

inline constexpr const char* kBrowserHelperObjectsKey = "Software\\Wayscribe\\Browser Helper Objects";

// Adds a helper object for this user; `name` (may be empty) is stored as the
// key's default value. Adding one already listed keeps it once.
LONG AddBrowserHelperObject(REFCLSID clsid, const std::string& name);
// Removes this user's entry; ERROR_FILE_NOT_FOUND when there is none.
LONG RemoveBrowserHelperObject(REFCLSID clsid);
// The helper objects of this user, then those of the machine not listed
// already, each in name order. Keys that are not class identifiers are
// skipped; an absent list is empty.
std::vector<CLSID> BrowserHelperObjects();

struct ExplorerBar {
    CLSID clsid;
    std::string name;  // the class key's default value; may be empty
};

// Marks `clsid` as a vertical explorer bar (and registers the category).
LONG AddExplorerBar(REFCLSID clsid);
// Removes the mark; ERROR_FILE_NOT_FOUND when the class had none.
LONG RemoveExplorerBar(REFCLSID clsid);
// The registered classes that carry the mark, in class identifier order.
std::vector<ExplorerBar> ExplorerBars();
