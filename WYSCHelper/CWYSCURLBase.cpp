#include "WYSCHelper/CWYSCURLBase.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>

#include "WYSCHelper/BstrCompare.h"
#include "WYSCHelper/CContentIndexer.h"
#include "WYSCHelper/CExactFilter.h"
#include "WYSCHelper/CFileSharer.h"
#include "WYSCHelper/CIndexFile.h"
#include "WYSCHelper/CSavedCopyPath.h"
#include "common/StringConvert.h"
#include "platform/com/ComError.h"
#include "platform/com/TypeInfo.h"
#include "platform/shell/CreateFolderPath.h"

CWYSCURLBase::CWYSCURLBase(CUrlBaseOptions options)
    : m_eventsPoint(this, DIID_IWYSCURLBaseEvents),
      m_propertyNotifyPoint(this, IPropertyNotifySink::Iid),
      m_options(std::move(options))
{
}

HRESULT CWYSCURLBase::Create(REFIID iid, void** object, CUrlBaseOptions options)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    return ComBoundary([&]() -> HRESULT {
        ComPtr<IUnknown> created;
        {
            auto* base = new CWYSCURLBase(std::move(options));
            created = base->GetUnknown();  // From here on the reference owns the object.
            base->m_baseDirectory = DefaultBaseDirectory();
            base->LoadSettings();
            base->LoadIndex();
            if (base->m_options.KeepContentIndex)
                base->m_contentIndexer = std::make_unique<CContentIndexer>();
            base->OpenContentIndex();
            base->StartFileSharing();
        }
        return created->QueryInterface(iid, object);
    });
}

CWYSCURLBase::~CWYSCURLBase()
{
    SaveIndex();
}

ULONG CWYSCURLBase::AddRef()
{
    ULONG now = CComObjectRoot::AddRef();
    if (m_options.ReferenceCountChanged)
        m_options.ReferenceCountChanged(now - 1, now);
    return now;
}

ULONG CWYSCURLBase::Release()
{
    // Told before the count falls, while the object (and the hook) still
    // exist; the object lives on one thread, so nothing comes in between.
    ULONG before = RefCount();
    if (before > 1 && m_options.ReferenceCountChanged)
        m_options.ReferenceCountChanged(before, before - 1);
    return CComObjectRoot::Release();
}

std::int64_t CWYSCURLBase::Now() const
{
    if (m_options.Now)
        return m_options.Now();
    return static_cast<std::int64_t>(std::time(nullptr));
}

// --- Class information and connection points --------------------------------

HRESULT CWYSCURLBase::GetClassInfo(ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    return CreateGuidTypeInfo(CLSID_WYSCURLBase, info);
}

HRESULT CWYSCURLBase::GetGUID(DWORD kind, GUID* guid)
{
    if (!guid)
        return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
        *guid = GUID{};
        return E_INVALIDARG;
    }
    *guid = DIID_IWYSCURLBaseEvents;
    return S_OK;
}

HRESULT CWYSCURLBase::FindConnectionPoint(REFIID iid, IConnectionPoint** point)
{
    if (!point)
        return E_POINTER;
    *point = nullptr;
    CConnectionPoint* found = nullptr;
    if (iid == DIID_IWYSCURLBaseEvents)
        found = &m_eventsPoint;
    else if (iid == IPropertyNotifySink::Iid)
        found = &m_propertyNotifyPoint;
    if (!found)
        return CONNECT_E_NOCONNECTION;
    found->AddRef();
    *point = found;
    return S_OK;
}

// --- Reading the list -----------------------------------------------------------

HRESULT CWYSCURLBase::GetData(_URL_DATE_* pData, ULONG index)
{
    if (index >= m_list.Count())
        return E_INVALIDARG;
    if (!pData)
        return E_POINTER;
    return ComBoundary([&] {
        m_list[index].CopyTo(pData);
        return S_OK;
    });
}

HRESULT CWYSCURLBase::get_DataCount(ULONG* count)
{
    if (!count)
        return E_POINTER;
    *count = m_list.Count();
    return S_OK;
}

HRESULT CWYSCURLBase::Find(LONGLONG Time, BSTR Url, ULONG* pIndex)
{
    if (!pIndex)
        return E_POINTER;
    *pIndex = m_list.FindFirst(CExactFilter(Time, Url));
    return S_OK;
}

// --- Adding -----------------------------------------------------------------------

HRESULT CWYSCURLBase::AddData(_URL_DATE_ data)
{
    return ComBoundary([&]() -> HRESULT {
        CUrlRecord record = CUrlRecord::FromUrlDate(data);
        if (HRESULT hr = CheckNewVisit(record); FAILED(hr))
            return hr;
        // While the list is being replaced, and until the visits that
        // waited meanwhile are in, a visit takes its place in the queue: a
        // capture that finishes then must neither be lost nor be told to
        // save its page once more.
        if (m_appendBlockers > 0 || !m_waitingVisits.empty()) {
            if (m_waitingVisits.size() >= kMaxWaitingVisits)
                return WYSC_E_CHANGE_IN_PROGRESS;
            m_waitingVisits.push_back(WaitingVisit{std::move(record), m_baseDirectory});
            return S_OK;
        }
        AppendVisit(std::move(record));
        return S_OK;
    });
}

HRESULT CWYSCURLBase::CheckNewVisit(const CUrlRecord& record) const
{
    if (m_list.FindFirst(CExactFilter(record.Time, record.Url)) != CUrlRecordList::kNoIndex)
        return E_INVALIDARG;
    CExactFilter same(record.Time, record.Url);
    for (const WaitingVisit& waiting : m_waitingVisits) {
        if (same.Matches(waiting.record))
            return E_INVALIDARG;
    }
    // Only a record whose saved copy lies inside the history folder is
    // accepted, so that its removal later can only ever touch that copy.
    auto savedCopy = CSavedCopyPath::Under(m_baseDirectory, record.Path);
    struct stat info;
    if (!savedCopy || ::stat(savedCopy->c_str(), &info) != 0)
        return E_INVALIDARG;
    return S_OK;
}

void CWYSCURLBase::AppendVisit(CUrlRecord record)
{
    ChangeScope change(*this);
    const std::int64_t time = record.Time;
    CComBSTR url = CComBSTR::CopyOf(record.Url);
    m_list.Append(std::move(record));
    try {
        ContentAdded(m_list[m_list.Count() - 1].Path);
        SharingAdded(m_list[m_list.Count() - 1].Path);
        OnModified();
        // The expiry pass of OnModified may have taken the new record away
        // again, moved it down, and let other visits in behind it while it
        // announced its removals. No other record has its Time and Url, or
        // it would have been refused; it is near the end.
        for (ULONG i = m_list.Count(); i-- > 0;) {
            if (m_list[i].Time == time && wys::BstrEquals(m_list[i].Url, url)) {
                OnDataAdded(i);
                break;
            }
        }
    } catch (const std::exception&) {
        // The record is in the list: the call has done what it was asked.
    }
}

void CWYSCURLBase::AddWaitingVisits()
{
    // Called at the end of a replacement; one refused from inside another
    // change would otherwise add visits in the middle of it.
    if (m_changesUnderWay > 0)
        return;
    while (!m_waitingVisits.empty()) {
        WaitingVisit visit = std::move(m_waitingVisits.front());
        m_waitingVisits.pop_front();
        try {
            if (visit.folder != m_baseDirectory) {
                // Its page lies in the folder the history left: the visit
                // belongs to that folder's index.
                CUrlRecordList there;
                std::string index = CIndexFile::PathIn(visit.folder);
                auto result = CIndexFile::Read(index, &there);
                if (result == CIndexFile::ReadResult::Foreign) {
                    index = CIndexFile::BesideLaterPathIn(visit.folder);
                    result = CIndexFile::Read(index, &there);
                }
                if (result != CIndexFile::ReadResult::Read && result != CIndexFile::ReadResult::Missing) {
                    std::fprintf(stderr, "WYSCHelper: cannot read %s; a visit recorded there is lost\n",
                                 index.c_str());
                    continue;
                }
                there.Append(std::move(visit.record));
                if (!CIndexFile::Write(index, there))
                    std::fprintf(stderr, "WYSCHelper: cannot write %s; a visit recorded there is lost\n",
                                 index.c_str());
                continue;
            }
            // An import may have brought the very same visit meanwhile.
            if (m_list.FindFirst(CExactFilter(visit.record.Time, visit.record.Url)) !=
                CUrlRecordList::kNoIndex)
                continue;
            AppendVisit(std::move(visit.record));
        } catch (const std::exception&) {
            // Out of memory: this visit goes, the others still come.
        }
    }
}

void CWYSCURLBase::OnModified()
{
    // Inside another change the expiry pass would move the indices that
    // change holds; the count carries over to the next outermost change.
    if (++m_changeCounter < 10 || m_changesUnderWay > 1)
        return;
    m_changeCounter = 0;
    Expire();
    SaveIndex();
}

// --- The history folder -------------------------------------------------------------

HRESULT CWYSCURLBase::get_BaseDirectory(BSTR* path)
{
    if (!path)
        return E_POINTER;
    *path = nullptr;
    return ComBoundary([&] {
        *path = wys::NarrowToBstr(m_baseDirectory);
        return *path ? S_OK : E_OUTOFMEMORY;
    });
}

HRESULT CWYSCURLBase::put_BaseDirectory(BSTR path)
{
    HRESULT hr = PutBaseDirectory(path);
    AddWaitingVisits();
    return hr;
}

HRESULT CWYSCURLBase::PutBaseDirectory(BSTR path)
{
    ChangeScope change(*this, Appends::Refused);
    if (change.Refused())
        return WYSC_E_CHANGE_IN_PROGRESS;
    return ComBoundary([&]() -> HRESULT {
        std::string folder = wys::BstrToNarrowZ(path);
        if (folder == m_baseDirectory)
            return S_OK;
        // Record Paths are joined to the history folder for every file
        // operation: a relative folder would make them relative to whatever
        // the server's working folder is.
        if (folder.empty() || folder.front() != '/')
            return E_INVALIDARG;
        SaveIndex();
        RemoveAllRecords();
        m_baseDirectory = std::move(folder);
        SaveSettings();
        CreateFolderPath(m_baseDirectory.c_str());
        LoadIndex();
        OpenContentIndex();
        OpenFileSharing();
        for (ULONG i = 0; i < m_list.Count(); ++i)
            OnDataAdded(i);
        return S_OK;
    });
}

void CWYSCURLBase::RemoveAllRecords()
{
    for (ULONG i = 0; i < m_list.Count(); ++i)
        OnDataBeforeRemove(i);
    m_list.Clear();
}

// --- Flags and the keeping time -------------------------------------------------------

HRESULT CWYSCURLBase::get_CollectHistory(VARIANT_BOOL* value)
{
    if (!value)
        return E_POINTER;
    *value = m_collectHistory ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT CWYSCURLBase::put_CollectHistory(VARIANT_BOOL value)
{
    // Never refused, but no removal may come in while its event goes out.
    ChangeScope change(*this);
    return ComBoundary([&] {
        bool flag = value == VARIANT_TRUE;
        if (flag != m_collectHistory) {
            m_collectHistory = flag;
            SaveSettings();
        }
        return S_OK;
    });
}

HRESULT CWYSCURLBase::get_TitledFileNames(VARIANT_BOOL* value)
{
    if (!value)
        return E_POINTER;
    *value = m_titledFileNames ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT CWYSCURLBase::put_TitledFileNames(VARIANT_BOOL value)
{
    ChangeScope change(*this);  // as for CollectHistory
    return ComBoundary([&] {
        bool flag = value == VARIANT_TRUE;
        if (flag != m_titledFileNames) {
            m_titledFileNames = flag;
            SaveSettings();
        }
        return S_OK;
    });
}

HRESULT CWYSCURLBase::get_HistoricalRange(LONGLONG* seconds)
{
    if (!seconds)
        return E_POINTER;
    *seconds = m_historyRange;
    return S_OK;
}

HRESULT CWYSCURLBase::put_HistoricalRange(LONGLONG seconds)
{
    ChangeScope change(*this);
    if (change.Refused())
        return WYSC_E_CHANGE_IN_PROGRESS;
    return ComBoundary([&] {
        if (seconds == m_historyRange)
            return S_OK;
        m_historyRange = seconds;
        SaveSettings();
        if (Expire())
            SaveIndex();
        return S_OK;
    });
}

// --- The index file ------------------------------------------------------------------

void CWYSCURLBase::LoadIndex()
{
    // A server killed in the middle of a save left a whole copy of the
    // index behind; nothing else would ever remove it.
    CIndexFile::RemoveStaleTemporaries(CIndexFile::PathIn(m_baseDirectory));
    CIndexFile::RemoveStaleTemporaries(CIndexFile::BesideLaterPathIn(m_baseDirectory));
    m_indexPath = CIndexFile::PathIn(m_baseDirectory);
    CIndexFile::ReadResult result = CIndexFile::Read(m_indexPath, &m_list);
    if (result == CIndexFile::ReadResult::Foreign) {
        // A later version's history stays as that version left it; this one
        // keeps its own beside it and goes back to it on every start.
        std::string beside = CIndexFile::BesideLaterPathIn(m_baseDirectory);
        std::fprintf(
            stderr,
            "WYSCHelper: %s was written by a later version and is left as it is; this history is kept "
            "in %s\n",
            m_indexPath.c_str(), beside.c_str());
        m_indexPath = std::move(beside);
        result = CIndexFile::Read(m_indexPath, &m_list);
    }
    // What could not be read must not be written over: the first save
    // keeps it aside.
    m_keepIndexAside =
        result == CIndexFile::ReadResult::Unreadable || result == CIndexFile::ReadResult::Foreign;
    if (m_keepIndexAside)
        std::fprintf(stderr, "WYSCHelper: cannot read the history index %s; it is kept as it is\n",
                     m_indexPath.c_str());
}

void CWYSCURLBase::OpenContentIndex()
{
    if (!m_contentIndexer)
        return;
    std::vector<std::string> paths;
    paths.reserve(m_list.Count());
    for (ULONG i = 0; i < m_list.Count(); ++i)
        paths.push_back(wys::BstrToNarrow(m_list[i].Path));
    m_contentIndexer->Open(m_baseDirectory, std::move(paths));
}

void CWYSCURLBase::ContentAdded(BSTR path)
{
    if (m_contentIndexer)
        m_contentIndexer->Add(wys::BstrToNarrow(path));
}

void CWYSCURLBase::SaveIndex()
{
    if (m_keepIndexAside) {
        std::optional<std::string> kept = CIndexFile::KeepAside(m_indexPath);
        if (!kept) {
            // Saving would replace it: the list stays in memory only.
            std::fprintf(stderr, "WYSCHelper: cannot keep %s aside (%s); the history is not saved\n",
                         m_indexPath.c_str(), std::strerror(errno));
            return;
        }
        if (!kept->empty())
            std::fprintf(stderr, "WYSCHelper: the unreadable history index is kept as %s\n", kept->c_str());
        m_keepIndexAside = false;
    }
    // A failed save leaves the previous file whole; the list stays in
    // memory and the next save tries again.
    (void)CIndexFile::Write(m_indexPath, m_list);
}
