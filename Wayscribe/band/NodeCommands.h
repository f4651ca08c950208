// The commands of the history nodes' context menus: opening a saved copy or
// the visited URL here or in a new browser window, copying the URL, removal
// from the URL base, export and properties.
//
// Every command runs on the band's window thread, inside the call that
// tracked the menu; none of them throws, and their failures are silent.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/WinTypes.h"

class CDIInitableItem;

namespace NodeCommands {

inline constexpr const char* kConfirmRemoveText = "Remove selected item ?";
inline constexpr const char* kConfirmRemoveCaption = "Confirm";
// What a new browser window is started with: this prefix, then the target.
inline constexpr const char* kNewWindowCommand = "iexplore.exe ";

// Makes ShowContextMenu of every history node show the menus below.
void InstallContextMenuHandler();

// Shows the node's popup (page and time nodes: "Open" ... "Properties";
// day and month nodes: "Remove", "Export", "Properties") at the screen
// position, owned by `ownerWindow` (a QWidget*, may be null), and runs the
// chosen command.
void ShowContextMenu(CDIInitableItem& node, HWND ownerWindow, int screenX, int screenY);
// Runs one command of the node's menu; a command the menu lacks does
// nothing. Page and time nodes read their history folder first; when that
// fails nothing is done.
void RunCommand(CDIInitableItem& node, int command);

// The ranges Remove takes away for the node, so that exactly the visits it
// shows go: a time node's second filtered by its Url; for a page node the
// day of each of its visits, filtered by its Url; for a day or month node
// that day or month of every year one of its visits has, of every Url (a
// node gathers the same month, or month and day, of several years). A day
// runs from local midnight to the next, 23 or 25 hours when daylight saving
// begins or ends. A visit whose time cannot be broken down is its own
// second, filtered by its Url. Empty when the node is none of these.
struct RemovalRange {
    std::int64_t start = 0;
    std::int64_t span = 0;
    std::optional<std::string> url;  // none: every Url

    bool operator==(const RemovalRange&) const = default;
};
std::vector<RemovalRange> RemovalRangesOf(const CDIInitableItem& node);

// Asks "Remove selected item ?" (Yes, No, Cancel; Cancel the default) and
// answers whether the user chose Yes.
bool ConfirmRemove();
// Removes the ranges through one connection made for this call alone (the
// events of the removal reach the band through its own). Failures are
// ignored.
void RemoveRanges(const std::vector<RemovalRange>& ranges);

// Starts a browser window on `target`: the command line is "iexplore.exe "
// followed by the target as it stands (no quotes added). Does not wait;
// a failure to start is ignored.
void OpenInNewWindow(const std::string& target);
// The default starter runs the GUI host, wayscribe-browser (beside the
// running program, else on the PATH), with everything after the prefix as
// its one argument. Tests put a recorder in its place; null restores the
// default. Returns the previous starter.
using ProcessStarter = std::function<bool(const std::string& commandLine)>;
ProcessStarter SetProcessStarter(ProcessStarter starter);

// Puts `text` on the clipboard as plain text; false, and nothing changed,
// when there is no clipboard (no application with a display).
bool CopyToClipboard(const std::string& text);

}  // namespace NodeCommands
