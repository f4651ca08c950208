#include "WYSCHelper/CWYSCURLBase.h"

#include <sys/stat.h>

#include <ctime>

#include "WYSCHelper/BstrCompare.h"
#include "WYSCHelper/CContentIndexer.h"
#include "WYSCHelper/CExactFilter.h"
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

// --- Events -------------------------------------------------------------------

void CWYSCURLBase::OnDataAdded(ULONG index)
{
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_I4;
    argument.lVal = static_cast<LONG>(index);
    // A failing sink ends this event's delivery; the operation goes on.
    (void)FireDispatchEvent(m_eventsPoint.Sinks(), DISPID_OnDataAdded, {argument});
}

void CWYSCURLBase::OnDataBeforeRemove(ULONG index)
{
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_I4;
    argument.lVal = static_cast<LONG>(index);
    (void)FireDispatchEvent(m_eventsPoint.Sinks(), DISPID_OnDataBeforeRemove, {argument});
}

void CWYSCURLBase::OnSettingsChanged()
{
    (void)FireDispatchEvent(m_eventsPoint.Sinks(), DISPID_OnSettingsChanged);
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
    ChangeScope change(*this);
    if (change.AppendRefused())
        return WYSC_E_CHANGE_IN_PROGRESS;
    return ComBoundary([&]() -> HRESULT {
        CUrlRecord record = CUrlRecord::FromUrlDate(data);
        if (m_list.FindFirst(CExactFilter(record.Time, record.Url)) != CUrlRecordList::kNoIndex)
            return E_INVALIDARG;
        // Only a record whose saved copy lies inside the history folder is
        // accepted, so that its removal later can only ever touch that copy.
        auto savedCopy = CSavedCopyPath::Under(m_baseDirectory, record.Path);
        struct stat info;
        if (!savedCopy || ::stat(savedCopy->c_str(), &info) != 0)
            return E_INVALIDARG;
        const std::int64_t time = record.Time;
        CComBSTR url = CComBSTR::CopyOf(record.Url);
        m_list.Append(std::move(record));
        try {
            ContentAdded(m_list[m_list.Count() - 1].Path);
            OnModified();
            // The expiry pass of OnModified may have taken the new record
            // away again; while it is there it stays last. No other record
            // has its Time and Url, or it would have been refused above.
            ULONG count = m_list.Count();
            if (count > 0 && m_list[count - 1].Time == time && wys::BstrEquals(m_list[count - 1].Url, url))
                OnDataAdded(count - 1);
        } catch (const std::exception&) {
            // The record is in the list: the call has done what it was asked.
        }
        return S_OK;
    });
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
    CIndexFile::Read(CIndexFile::PathIn(m_baseDirectory), &m_list);
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

void CWYSCURLBase::SaveIndex() const
{
    // A failed save leaves the previous file whole; the list stays in
    // memory and the next save tries again.
    (void)CIndexFile::Write(CIndexFile::PathIn(m_baseDirectory), m_list);
}
