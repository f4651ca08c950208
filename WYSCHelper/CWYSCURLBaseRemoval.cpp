// Visits leaving the history: by index, by range, and by growing too old.
// Each removal deletes the visit's saved copy and the folders it leaves
// empty, and tells every client before the record goes.
#include <sys/stat.h>
#include <unistd.h>

#include <limits>

#include "WYSCHelper/CContentIndexer.h"
#include "WYSCHelper/CRangeFilter.h"
#include "WYSCHelper/CSavedCopyPath.h"
#include "WYSCHelper/CWYSCURLBase.h"
#include "common/StringConvert.h"
#include "platform/com/ComError.h"
#include "platform/shell/FileOperation.h"

HRESULT CWYSCURLBase::RemoveData(ULONG index)
{
    ChangeScope change(*this);
    if (change.Refused())
        return WYSC_E_CHANGE_IN_PROGRESS;
    if (index >= m_list.Count())
        return E_INVALIDARG;
    return ComBoundary([&] {
        OnDataBeforeRemove(index);
        DeleteSavedCopy(m_list[index].Path);
        m_list.RemoveAt(index);
        OnModified();
        return S_OK;
    });
}

HRESULT CWYSCURLBase::RemoveRange(LONGLONG Time, LONGLONG timeSpan, BSTR Url)
{
    ChangeScope change(*this);
    if (change.Refused())
        return WYSC_E_CHANGE_IN_PROGRESS;
    return ComBoundary([&] {
        CRangeFilter filter(Time, timeSpan, Url);
        // Every announcement comes before any record leaves, so each index
        // is the record's place in the unchanged list.
        std::vector<ULONG> selected = m_list.Select(filter);
        for (ULONG index : selected)
            OnDataBeforeRemove(index);
        for (ULONG index : selected)
            DeleteSavedCopy(m_list[index].Path);
        m_list.RemoveIndices(selected);
        SaveIndex();
        return S_OK;
    });
}

HRESULT CWYSCURLBase::RemoveRange2(VARIANT)
{
    return S_OK;
}

bool CWYSCURLBase::Expire()
{
    // A range of zero keeps every visit. So does a negative one, which would
    // otherwise put the cutoff in the future and empty the whole history.
    if (m_historyRange <= 0)
        return false;
    bool removed = false;
    try {
        std::int64_t cutoff;
        if (__builtin_sub_overflow(Now(), m_historyRange, &cutoff))
            cutoff = std::numeric_limits<std::int64_t>::min();
        ULONG position = 0;
        while (position < m_list.Count()) {
            if (m_list[position].Time >= cutoff) {
                ++position;
                continue;
            }
            OnDataBeforeRemove(position);
            DeleteSavedCopy(m_list[position].Path);
            m_list.RemoveAt(position);
            removed = true;
        }
    } catch (const std::exception&) {
        // The pass ends; what it removed stays removed.
    }
    return removed;
}

void CWYSCURLBase::DeleteSavedCopy(BSTR path)
{
    // Every removal passes here: the content index lets the page go too.
    if (m_contentIndexer)
        m_contentIndexer->Remove(wys::BstrToNarrow(path));
    std::unique_lock<std::mutex> sharing = SharingRemoved(path);
    // Nothing but the page a record names (and the resource folder the
    // shell carries along with it) may go, and only inside the history
    // folder: a Path that is empty, absolute or climbs out is left alone.
    auto components = CSavedCopyPath::Components(path);
    if (!components)
        return;
    const std::string folderOfPage =
        components->size() > 1
            ? m_baseDirectory + "/" + CSavedCopyPath::Join(*components, components->size() - 1)
            : m_baseDirectory;
    const std::string page = m_baseDirectory + "/" + CSavedCopyPath::Join(*components, components->size());

    // A folder link on the way could lead outside: then nothing is touched.
    if (!CSavedCopyPath::ResolvesInside(m_baseDirectory, folderOfPage))
        return;
    // A Path naming a folder would take other visits' pages with it.
    struct stat info;
    if (::stat(page.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        std::string from = page;
        from.push_back('\0');  // The list ends with a second NUL.
        SHFILEOPSTRUCTA operation;
        operation.wFunc = FO_DELETE;
        operation.pFrom = from.c_str();
        operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
        (void)SHFileOperation(&operation);  // A page already gone is no error.
    }

    // Prune the folders that are now empty, deepest first; the history
    // folder itself is never among them.
    for (std::size_t depth = components->size() - 1; depth > 0; --depth) {
        std::string folder = m_baseDirectory + "/" + CSavedCopyPath::Join(*components, depth);
        if (::rmdir(folder.c_str()) != 0)
            break;
    }
}
