#include "Wayscribe/CDIInitableItem.h"

#include "Wayscribe/AdvancedTree/NodeCast.h"
#include "Wayscribe/CQXServiceProvider.h"
#include "Wayscribe/CalendarKeys.h"

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
