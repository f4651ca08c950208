#include "Wayscribe/band/NodeCommands.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QProcess>
#include <QStandardPaths>
#include <QWidget>

#include <algorithm>
#include <ctime>
#include <mutex>

#include "Wayscribe/AdvancedTree/NodeCast.h"
#include "Wayscribe/band/BandMenus.h"
#include "Wayscribe/historymodel/CDayTreeItem.h"
#include "Wayscribe/historymodel/CHMSTreeItem.h"
#include "Wayscribe/historymodel/CMonthTreeItem.h"
#include "Wayscribe/historymodel/CQXServiceProvider.h"
#include "Wayscribe/historymodel/CUrlTreeItem.h"
#include "Wayscribe/historymodel/CalendarKeys.h"
#include "Wayscribe/propertypages/NodePropertySheet.h"
#include "common/LocalTime.h"
#include "common/UrlBaseConnection.h"
#include "platform/com/Bstr.h"
#include "platform/ui/MessageBox.h"

namespace NodeCommands {
namespace {

using AdvancedTree::NodeCast;

// What a page or time node's commands act on.
struct Visit {
    std::int64_t time = 0;
    std::string url;
    std::string path;
};

std::optional<Visit> VisitOf(const CDIInitableItem& node)
{
    if (auto* time = NodeCast<CHMSTreeItem>(&node))
        return Visit{time->GetTime(), time->GetUrl(), time->GetPath()};
    if (auto* page = NodeCast<CUrlTreeItem>(&node)) {
        const CDataItem& stored = page->GetData();
        return Visit{stored.Time, stored.Url, stored.Path};
    }
    return std::nullopt;
}

// Every visit the node shows: a time node's own, a page's time nodes (or
// the one visit it stands for), and those of a day's or month's pages.
std::vector<Visit> VisitsUnder(const AdvancedTree::CTreeItem& node)
{
    std::vector<Visit> visits;
    if (auto* time = NodeCast<CHMSTreeItem>(&node)) {
        visits.push_back(Visit{time->GetTime(), time->GetUrl(), time->GetPath()});
    } else if (auto* page = NodeCast<CUrlTreeItem>(&node)) {
        if (!page->HasVisits()) {
            const CDataItem& single = page->GetSingleVisit();
            visits.push_back(Visit{single.Time, single.Url, single.Path});
        }
        for (CHMSTreeItem* child : page->GetVisits())
            visits.push_back(Visit{child->GetTime(), child->GetUrl(), child->GetPath()});
    } else {
        for (std::size_t i = 0; i < node.GetChildCount(); ++i) {
            std::vector<Visit> below = VisitsUnder(*node.GetChild(i));
            visits.insert(visits.end(), below.begin(), below.end());
        }
    }
    return visits;
}

std::string HostProgram()
{
    const QString name = QStringLiteral("wayscribe-browser");
    if (QCoreApplication::instance()) {
        const QFileInfo beside(QDir(QCoreApplication::applicationDirPath()).filePath(name));
        if (beside.isFile() && beside.isExecutable())
            return beside.absoluteFilePath().toStdString();
    }
    return QStandardPaths::findExecutable(name).toStdString();
}

bool StartHostProcess(const std::string& commandLine)
{
    const std::string prefix = kNewWindowCommand;
    if (commandLine.compare(0, prefix.size(), prefix) != 0)
        return false;
    const std::string program = HostProgram();
    if (program.empty())
        return false;
    // The target is one argument as it stands, blanks and all.
    return QProcess::startDetached(QString::fromStdString(program),
                                   {QString::fromStdString(commandLine.substr(prefix.size()))});
}

std::mutex g_starterLock;
ProcessStarter g_starter;

// Runs a command of the page and time nodes' own; false for the others.
bool RunVisitCommand(CDIInitableItem& node, const Visit& visit, const std::string& fullPath, int command)
{
    CQXServiceProvider* provider = node.GetProvider();
    switch (command) {
        case BandMenus::kOpen:
            if (provider)
                provider->Navigate(fullPath);
            return true;
        case BandMenus::kOpenInNewWindow:
            OpenInNewWindow(fullPath);
            return true;
        case BandMenus::kOpenUrl:
            if (provider)
                provider->Navigate(visit.url);
            return true;
        case BandMenus::kOpenUrlInNewWindow:
            OpenInNewWindow(visit.url);
            return true;
        case BandMenus::kCopyUrl:
            CopyToClipboard(visit.url);
            return true;
        default:
            return false;
    }
}

}  // namespace

void InstallContextMenuHandler()
{
    CDIInitableItem::SetContextMenuHandler(&ShowContextMenu);
}

void ShowContextMenu(CDIInitableItem& node, HWND ownerWindow, int screenX, int screenY)
{
    const bool visitNode = VisitOf(node).has_value();
    std::unique_ptr<QMenu> menu =
        BandMenus::LoadPopup(visitNode ? BandMenus::Popup::Url : BandMenus::Popup::Calendar);
    const int command =
        BandMenus::TrackPopupMenu(*menu, QPoint(screenX, screenY), static_cast<QWidget*>(ownerWindow));
    menu.reset();
    if (command)
        RunCommand(node, command);
}

void RunCommand(CDIInitableItem& node, int command)
{
    // The menu's caller is a Qt event handler: nothing may escape into it.
    try {
        if (std::optional<Visit> visit = VisitOf(node)) {
            // Read before any command; a band that has lost its history
            // cannot name the folder, and then the command does nothing.
            CQXServiceProvider* provider = node.GetProvider();
            const std::string folder = provider ? provider->GetBaseDirectory() : std::string();
            if (RunVisitCommand(node, *visit, wys::SavedCopyPath(folder, visit->path), command))
                return;
        }
        switch (command) {
            case BandMenus::kRemove:
                if (const std::vector<RemovalRange> ranges = RemovalRangesOf(node);
                    !ranges.empty() && ConfirmRemove())
                    RemoveRanges(ranges);
                break;
            case BandMenus::kExport:
                node.Export();
                break;
            case BandMenus::kProperties:
                ShowNodeProperties(&node);
                break;
            default:
                break;
        }
    } catch (...) {
        // As above: the command is dropped, the band goes on.
    }
}

std::vector<RemovalRange> RemovalRangesOf(const CDIInitableItem& node)
{
    if (auto* time = NodeCast<CHMSTreeItem>(&node))
        return {RemovalRange{time->GetTime(), 1, time->GetUrl()}};
    enum class Unit { Day, Month };
    Unit unit = Unit::Day;
    bool everyUrl = true;
    if (NodeCast<CUrlTreeItem>(&node))
        everyUrl = false;
    else if (NodeCast<CMonthTreeItem>(&node))
        unit = Unit::Month;
    else if (!NodeCast<CDayTreeItem>(&node))
        return {};
    // One range per calendar day (or month) of a year that a visit shown
    // under the node has; ranges are kept in order and each once.
    std::vector<RemovalRange> ranges;
    for (const Visit& visit : VisitsUnder(node)) {
        std::tm tm{};
        std::int64_t start = -1;
        std::int64_t next = -1;
        if (wys::BreakDownLocalTime(visit.time, &tm)) {
            const int year = tm.tm_year + 1900;
            const int month = tm.tm_mon + 1;
            start = unit == Unit::Month ? wys::ComposeLocalTime(year, month, 1)
                                        : wys::ComposeLocalTime(year, month, tm.tm_mday);
            next = unit == Unit::Month ? wys::ComposeLocalTime(year, month + 1, 1)
                                       : wys::ComposeLocalTime(year, month, tm.tm_mday + 1);
        }
        RemovalRange range =
            start != -1 && next > start
                ? RemovalRange{start, next - start, everyUrl ? std::nullopt : std::optional(visit.url)}
                : RemovalRange{visit.time, 1, visit.url};
        if (std::find(ranges.begin(), ranges.end(), range) == ranges.end())
            ranges.push_back(std::move(range));
    }
    return ranges;
}

bool ConfirmRemove()
{
    return MessageBoxA(nullptr, kConfirmRemoveText, kConfirmRemoveCaption,
                       MB_YESNOCANCEL | MB_DEFBUTTON3 | MB_ICONQUESTION) == IDYES;
}

void RemoveRanges(const std::vector<RemovalRange>& ranges)
{
    ComPtr<IWYSCURLBase> base;
    if (FAILED(wys::ConnectUrlBase(&base)) || !base)
        return;
    for (const RemovalRange& range : ranges) {
        CComBSTR url;
        if (range.url)
            url = CComBSTR(*range.url);
        // What the URL base removed reaches the tree through its events.
        base->RemoveRange(range.start, range.span, range.url ? static_cast<BSTR>(url) : nullptr);
    }
}

void OpenInNewWindow(const std::string& target)
{
    ProcessStarter starter;
    {
        std::lock_guard<std::mutex> lock(g_starterLock);
        starter = g_starter;
    }
    const std::string commandLine = kNewWindowCommand + target;
    if (starter)
        starter(commandLine);
    else
        StartHostProcess(commandLine);  // a window that does not open is not reported
}

ProcessStarter SetProcessStarter(ProcessStarter starter)
{
    std::lock_guard<std::mutex> lock(g_starterLock);
    ProcessStarter previous = std::move(g_starter);
    g_starter = std::move(starter);
    return previous;
}

bool CopyToClipboard(const std::string& text)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    clipboard->setText(QString::fromStdString(text));
    return true;
}

}  // namespace NodeCommands
