#include "Wayscribe/band/BandMenus.h"

#include <QAction>
#include <QFont>
#include <QMenu>

#include <mutex>

namespace BandMenus {
namespace {

struct MenuItem {
    int command;  // 0 for a separator
    const char* text;
};

// "Copy URL " keeps its trailing blank: it is the resource's text.
constexpr MenuItem kUrlItems[] = {
    {kOpen, "Open"},
    {kOpenInNewWindow, "Open in New Window"},
    {0, nullptr},
    {kOpenUrl, "Open URL"},
    {kOpenUrlInNewWindow, "Open URL in New Window"},
    {0, nullptr},
    {kCopyUrl, "Copy URL "},
    {0, nullptr},
    {kRemove, "Remove"},
    {0, nullptr},
    {kExport, "Export"},
    {kProperties, "Properties"},
};
constexpr MenuItem kCalendarItems[] = {{kRemove, "Remove"},
                                       {0, nullptr},
                                       {kExport, "Export"},
                                       {kProperties, "Properties"}};
constexpr MenuItem kViewItems[] = {{kViewUrl, "URL"}, {kViewTitle, "Title"}};
constexpr MenuItem kHelpItems[] = {{kHelpIndex, "Index"}, {0, nullptr}, {kAbout, "About"}};

template <std::size_t N>
void AddItems(QMenu& menu, const MenuItem (&items)[N])
{
    for (const MenuItem& item : items) {
        if (!item.command) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(QString::fromUtf8(item.text));
        action->setData(item.command);
        action->setObjectName(QString::number(item.command));
    }
}

int RunMenu(QMenu& menu, const QPoint& screenPos, QWidget* /*owner*/)
{
    QAction* chosen = menu.exec(screenPos);
    return chosen ? chosen->data().toInt() : 0;
}

std::mutex g_trackerLock;
MenuTracker g_tracker;

}  // namespace

std::unique_ptr<QMenu> LoadPopup(Popup popup)
{
    auto menu = std::make_unique<QMenu>();
    menu->setObjectName(QString::number(kMenuResource));
    switch (popup) {
        case Popup::Url: {
            AddItems(*menu, kUrlItems);
            QAction* open = menu->actions().value(0);
            QFont bold = open->font();
            bold.setBold(true);
            open->setFont(bold);
            menu->setDefaultAction(open);
            break;
        }
        case Popup::Calendar:
            AddItems(*menu, kCalendarItems);
            break;
        case Popup::ViewType:
            AddItems(*menu, kViewItems);
            break;
        case Popup::Help:
            AddItems(*menu, kHelpItems);
            break;
    }
    return menu;
}

int TrackPopupMenu(QMenu& menu, const QPoint& screenPos, QWidget* owner)
{
    MenuTracker tracker;
    {
        std::lock_guard<std::mutex> lock(g_trackerLock);
        tracker = g_tracker;
    }
    return tracker ? tracker(menu, screenPos, owner) : RunMenu(menu, screenPos, owner);
}

MenuTracker SetMenuTracker(MenuTracker tracker)
{
    std::lock_guard<std::mutex> lock(g_trackerLock);
    MenuTracker previous = std::move(g_tracker);
    g_tracker = std::move(tracker);
    return previous;
}

}  // namespace BandMenus
