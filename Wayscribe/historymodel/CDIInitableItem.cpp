#include "Wayscribe/historymodel/CDIInitableItem.h"

#include "Wayscribe/AdvancedTree/NodeCast.h"
#include "Wayscribe/historymodel/CQXServiceProvider.h"
#include "Wayscribe/historymodel/CalendarKeys.h"

namespace {

// The menus are Qt's, which the calendar model does not link; the band
// library puts its handler here.
CDIInitableItem::ContextMenuHandler g_contextMenuHandler = nullptr;

}  // namespace

void CDIInitableItem::ShowContextMenu(HWND ownerWindow, int screenX, int screenY)
{
    if (g_contextMenuHandler)
        g_contextMenuHandler(*this, ownerWindow, screenX, screenY);
}

CDIInitableItem::ContextMenuHandler CDIInitableItem::SetContextMenuHandler(ContextMenuHandler handler)
{
    ContextMenuHandler previous = g_contextMenuHandler;
    g_contextMenuHandler = handler;
    return previous;
}

void CDIInitableItem::InitFromData(const CDataItem& data)
{
    m_provider = data.Provider;
}

void CDIInitableItem::CollectPaths(std::set<std::string>& paths)
{
    for (std::size_t i = 0; i < GetChildCount(); ++i) {
        if (auto* child = AdvancedTree::NodeCast<CDIInitableItem>(GetChild(i)))
            child->CollectPaths(paths);
    }
}

void CDIInitableItem::ExportRange(std::int64_t start, std::int64_t span, const std::string& urlFilter)
{
    if (!m_provider)
        return;
    std::set<std::string> paths;
    CollectPaths(paths);
    m_provider->ExportSelection(start, span, urlFilter, paths);
}

void CDIInitableItem::OpenSavedCopy(const std::string& path)
{
    if (m_provider)
        m_provider->Navigate(wys::SavedCopyPath(m_provider->GetBaseDirectory(), path));
}
