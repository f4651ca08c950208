// Menu resource 223 of the band: the context menus of the history nodes and
// the View and Help drop-downs of the toolbar, and how a menu is tracked.
#pragma once

#include <QPoint>

#include <functional>
#include <memory>

class QMenu;
class QWidget;

namespace BandMenus {

inline constexpr int kMenuResource = 223;

// The four popups of the resource.
enum class Popup : int {
    Url = 0,       // page and time nodes
    Calendar = 1,  // day and month nodes
    ViewType = 2,  // the toolbar's View drop-down
    Help = 3,      // the toolbar's Help drop-down
};

// Command identifiers; each action carries its identifier as its data and
// its object name.
enum Command : int {
    kOpen = 32768,
    kOpenInNewWindow = 32769,
    kCopyUrl = 32773,
    kProperties = 32774,
    kOpenUrl = 32775,
    kOpenUrlInNewWindow = 32776,
    kRemove = 32777,
    kExport = 32778,
    kViewUrl = 32779,
    kViewTitle = 32780,
    kAbout = 32782,
    kHelpIndex = 32783,
};

// A new menu holding the popup's items and separators, in resource order.
// The Url popup's "Open" is its default item (shown bold).
std::unique_ptr<QMenu> LoadPopup(Popup popup);

// Shows `menu` at `screenPos` owned by `owner` (may be null) and returns the
// identifier of the chosen command; 0 when the menu was dismissed. Nothing is
// posted: the caller acts on the result.
int TrackPopupMenu(QMenu& menu, const QPoint& screenPos, QWidget* owner);

// Tracking can be replaced (tests choose an item from here); null restores
// the default, which runs the menu modally. Returns the previous tracker.
using MenuTracker = std::function<int(QMenu& menu, const QPoint& screenPos, QWidget* owner)>;
MenuTracker SetMenuTracker(MenuTracker tracker);

}  // namespace BandMenus
