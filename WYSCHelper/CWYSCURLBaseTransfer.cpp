// Export of visits with copies of their pages, and import of such exports
// into a new folder of the history.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <unordered_set>

#include "WYSCHelper/BstrCompare.h"
#include "WYSCHelper/CIndexFile.h"
#include "WYSCHelper/CPathSetFilter.h"
#include "WYSCHelper/CRangeFilter.h"
#include "WYSCHelper/CSavedCopyPath.h"
#include "WYSCHelper/CWYSCURLBase.h"
#include "common/LocalTime.h"
#include "common/StringConvert.h"
#include "platform/com/ComError.h"
#include "platform/com/Utf.h"
#include "platform/shell/FileOperation.h"
#include "platform/shell/SplitPath.h"
#include "platform/ui/MessageBox.h"

namespace {

// Selects every record.
class CAllRecordsFilter final : public CRecordFilter {
public:
    bool Matches(const CUrlRecord&) const override { return true; }
};

// The folder beside an export file that holds its pages: the file's name
// without extension followed by "_files".
std::optional<std::string> CompanionFolder(const std::string& file)
{
    auto parts = SplitPath(file);
    // A path without a file name names no export file, and its pages would
    // land in a folder called "_files".
    if (!parts || parts->fname.empty())
        return std::nullopt;
    return parts->drive + parts->dir + parts->fname + "_files";
}

// "Imported/Nov 27 [14h 5m 9s] 2003" for the local time `now`.
std::string ImportFolderName(std::int64_t now)
{
    std::tm local{};
    if (!wys::BreakDownLocalTime(now, &local))
        throw ComError(E_FAIL);
    std::string month = wys::FormatTm("%b", local);
    char name[300];
    std::snprintf(name, sizeof name, "Imported/%s %d [%dh %dm %ds] %d", month.c_str(), local.tm_mday,
                  local.tm_hour, local.tm_min, local.tm_sec, local.tm_year + 1900);
    return name;
}

// One shell copy: the n-th source to the n-th target, target folders made
// and existing targets replaced without asking, with a simple progress
// window under `title`. True when everything was copied. Copying nothing
// succeeds.
bool CopyFileList(const std::vector<std::string>& sources, const std::vector<std::string>& targets,
                  const char* title)
{
    if (sources.empty())
        return true;
    // NUL-separated lists closed by a second NUL. Unlike any printable
    // separator, NUL cannot occur inside a path here.
    std::string from;
    std::string to;
    for (const std::string& source : sources)
        from.append(source).push_back('\0');
    for (const std::string& target : targets)
        to.append(target).push_back('\0');
    from.push_back('\0');
    to.push_back('\0');
    SHFILEOPSTRUCTA operation;
    operation.wFunc = FO_COPY;
    operation.pFrom = from.data();
    operation.pTo = to.data();
    operation.fFlags = FOF_MULTIDESTFILES | FOF_NOCONFIRMATION | FOF_SIMPLEPROGRESS | FOF_NOCONFIRMMKDIR;
    operation.lpszProgressTitle = title;
    // A link in a page's resource folder would lead the copy, or whoever
    // opens the copy later, outside the folders it belongs to.
    operation.fSkipLinks = TRUE;
    int result = SHFileOperation(&operation);
    return result == 0 && !operation.fAnyOperationsAborted;
}

// The identity of a visit, as AddData compares it: the Time and the Url's
// code units (a null Url is an empty one).
std::u16string VisitKey(const CUrlRecord& record)
{
    std::u16string key(4, u'\0');
    std::memcpy(key.data(), &record.Time, sizeof record.Time);
    key.append(wys::FilterView(record.Url));
    return key;
}

// A Path with `prefix` + "/" in front, keeping the old Path's code units.
BSTR PrefixedPath(const std::string& prefix, BSTR path)
{
    std::u16string text = Utf8ToUtf16(prefix + "/");
    text.append(BstrView(path));
    BSTR made = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!made)
        throw std::bad_alloc();
    return made;
}

}  // namespace

HRESULT CWYSCURLBase::Export(BSTR Path)
{
    return ComBoundary([&] {
        ExportSelected(Path, CAllRecordsFilter());
        return S_OK;
    });
}

HRESULT CWYSCURLBase::ExportRange(BSTR Path, LONGLONG Time, LONGLONG timeSpan, BSTR Url)
{
    return ComBoundary([&] {
        ExportSelected(Path, CRangeFilter(Time, timeSpan, Url));
        return S_OK;
    });
}

HRESULT CWYSCURLBase::ExportRange2(BSTR Path, VARIANT v)
{
    if (v.vt != (VT_ARRAY | VT_BSTR) || !v.parray)
        return E_INVALIDARG;
    // The element type is checked too: elements of another type read as
    // strings would be read out of bounds.
    VARTYPE elementType = VT_EMPTY;
    if (SafeArrayGetDim(v.parray) != 1 || FAILED(SafeArrayGetVartype(v.parray, &elementType)) ||
        elementType != VT_BSTR)
        return E_INVALIDARG;
    return ComBoundary([&] {
        LONG lower = 0;
        LONG upper = -1;
        ThrowIfFailed(SafeArrayGetLBound(v.parray, 1, &lower));
        ThrowIfFailed(SafeArrayGetUBound(v.parray, 1, &upper));
        CPathSetFilter filter;
        for (std::int64_t i = lower; i <= upper; ++i) {
            LONG index = static_cast<LONG>(i);
            CComBSTR path;
            ThrowIfFailed(SafeArrayGetElement(v.parray, &index, &path));
            filter.Add(path);
        }
        ExportSelected(Path, filter);
        return S_OK;
    });
}

void CWYSCURLBase::ExportSelected(BSTR path, const CRecordFilter& selection)
{
    std::vector<CUrlRecord> selected = m_list.CopySelected(selection);
    if (selected.empty())
        return;
    const std::string file = wys::BstrToNarrowZ(path);
    auto companion = CompanionFolder(file);
    if (file.empty() || !companion)
        return;
    std::vector<std::string> sources;
    std::vector<std::string> targets;
    for (const CUrlRecord& record : selected) {
        // A Path that leaves its folder is exported, but its page is not
        // copied: the copy would land outside the companion folder. So is
        // one that leads through a link: its page lies outside the history.
        auto components = CSavedCopyPath::Components(record.Path);
        if (!components || !CSavedCopyPath::ReachedWithoutLinks(m_baseDirectory, *components) ||
            !CSavedCopyPath::LeadsThroughNoLink(*companion, *components))
            continue;
        std::string relative = CSavedCopyPath::Join(*components, components->size());
        std::string source = m_baseDirectory + "/" + relative;
        sources.push_back(std::move(source));
        targets.push_back(*companion + "/" + relative);
    }
    if (!CopyFileList(sources, targets, "Exporting History..."))
        return;
    CUrlRecordList exported;
    exported.ReserveTotal(selected.size());
    for (CUrlRecord& record : selected)
        exported.Append(std::move(record));
    (void)CIndexFile::Write(file, exported);  // A failed write leaves no export file; nothing to undo.
}

HRESULT CWYSCURLBase::Import(BSTR Path)
{
    HRESULT hr;
    {
        ChangeScope change(*this, Appends::Refused);
        if (change.Refused())
            return WYSC_E_CHANGE_IN_PROGRESS;
        try {
            hr = ImportFile(Path);
        } catch (...) {
            MessageBox(nullptr, "WYSCHelper Import Failed", "Error", MB_OK | MB_ICONERROR);
            hr = E_FAIL;
        }
    }
    // Captures that finished during the import come after its visits.
    AddWaitingVisits();
    return hr;
}

HRESULT CWYSCURLBase::ImportFile(BSTR path)
{
    const std::string file = wys::BstrToNarrowZ(path);
    CUrlRecordList read;
    if (!file.empty())
        CIndexFile::Read(file, &read);
    if (read.Empty())
        return S_OK;

    const std::int64_t now = Now();
    // What expiry would remove at once is not imported; as for expiry, a
    // range of zero or less keeps everything.
    std::vector<ULONG> expired;
    if (m_historyRange > 0) {
        std::int64_t cutoff;
        if (__builtin_sub_overflow(now, m_historyRange, &cutoff))
            cutoff = std::numeric_limits<std::int64_t>::min();
        for (ULONG i = 0; i < read.Count(); ++i) {
            if (read[i].Time < cutoff)
                expired.push_back(i);
        }
        read.RemoveIndices(expired);
    }
    if (read.Empty())
        return S_OK;

    const std::string folder = ImportFolderName(now);
    auto companion = CompanionFolder(file);
    if (!companion)
        return S_OK;
    const std::vector<std::string> importFolder = *CSavedCopyPath::Components(folder);
    // A visit the history holds already (or that the file holds twice) is
    // skipped, as AddData would refuse it: importing a file again adds
    // nothing and copies no page.
    std::unordered_set<std::u16string> present;
    present.reserve(m_list.Count() + read.Count());
    for (const CUrlRecord& record : m_list)
        present.insert(VisitKey(record));
    std::vector<std::string> sources;
    std::vector<std::string> targets;
    std::vector<CUrlRecord> kept;
    for (CUrlRecord& record : read.TakeAll()) {
        if (present.count(VisitKey(record)))
            continue;
        // Every target must lie inside the new import folder, and every
        // source inside the companion folder: a Path that climbs or leads
        // through a link is not imported.
        auto components = CSavedCopyPath::Components(record.Path);
        if (!components || !CSavedCopyPath::ReachedWithoutLinks(*companion, *components))
            continue;
        std::vector<std::string> target = importFolder;
        target.insert(target.end(), components->begin(), components->end());
        if (!CSavedCopyPath::LeadsThroughNoLink(m_baseDirectory, target))
            continue;
        std::string relative = CSavedCopyPath::Join(*components, components->size());
        std::string source = *companion + "/" + relative;
        sources.push_back(std::move(source));
        targets.push_back(m_baseDirectory + "/" + folder + "/" + relative);
        present.insert(VisitKey(record));
        record.AttachPath(PrefixedPath(folder, record.Path));
        kept.push_back(std::move(record));
    }
    if (kept.empty())
        return S_OK;
    if (!CopyFileList(sources, targets, "Importing History..."))
        return S_OK;
    for (CUrlRecord& record : kept) {
        m_list.Append(std::move(record));
        ContentAdded(m_list[m_list.Count() - 1].Path);
        SharingAdded(m_list[m_list.Count() - 1].Path);
        OnDataAdded(m_list.Count() - 1);
    }
    SaveIndex();
    return S_OK;
}
