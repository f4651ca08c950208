// The URL base object: the one component object through which every client
// reaches the history. It owns the record list, the settings and the index
// file, and raises the events of IWYSCURLBaseEvents to its advised sinks.
//
// A plain in-process object: whoever hosts it (the WYSCHelper server, or a
// test) creates it with Create, keeps it, and hands out references. Events go
// out through IDispatch::Invoke on each advised sink, so a sink living in
// another process behind a proxy works as one in this process does.
//
// Threading: single-threaded. Every call, including calls a sink makes back
// into the object while it handles an event, must come on the thread that
// created the object. The object has no lock.
//
// Re-entrancy: while an operation that changes the list is under way (and
// so while it delivers its events), another call that would remove records
// or replace the list (RemoveData, RemoveRange, Import and the puts of
// BaseDirectory and HistoricalRange) is refused with
// WYSC_E_CHANGE_IN_PROGRESS and does nothing. AddData is served during
// additions and removals, since an append moves no index that the outer
// operation holds (two windows finishing their captures at once must not
// lose a visit); its expiry pass waits for the next outermost change. While
// the list is being replaced (BaseDirectory, Import) a visit waits instead:
// AddData checks it as ever and answers S_OK, and the visit is added, in
// the order visits arrived, as soon as the replacement ends (a visit whose
// saved copy lies in the folder that BaseDirectory left goes into that
// folder's index). Only when kMaxWaitingVisits already wait is AddData
// refused with WYSC_E_CHANGE_IN_PROGRESS.
// Reading calls (GetData, Find, DataCount, the gets, the exports) are always
// served, so a sink may read the record named by an event.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "WYSCHelper/CUrlBaseDispatchParts.h"
#include "WYSCHelper/CUrlBaseOptions.h"
#include "WYSCHelper/CUrlRecordList.h"
#include "common/IWYSCDiskUsage.h"
#include "platform/com/ComObject.h"
#include "platform/com/ConnectionPoint.h"

// A change of the list was asked for while another one is being made.
inline constexpr HRESULT WYSC_E_CHANGE_IN_PROGRESS = MakeHResult(0x80010001u);  // RPC_E_CALL_REJECTED

class CFileSharer;
class CContentIndexer;

class CWYSCURLBase final
    : public CComObjectRoot<CWYSCURLBase, IProvideClassInfo2, CUrlBaseDispatchPart,
                            CUrlBaseEventsDispatchPart, IConnectionPointContainer, IWYSCDiskUsage> {
public:
    // Registry key of the settings under HKEY_CURRENT_USER.
    static constexpr const char* kSettingsKey = "Software\\Quillonix\\WYSCUrlBase";
    // A flag under that key, read when the object is made: whether
    // identical saved files are stored once (on when missing). Off, the
    // object still counts what the saved copies take.
    static constexpr const char* kShareIdenticalFilesValue = "ShareIdenticalFiles";
    static constexpr std::int64_t kDefaultHistoryRange = 1296000;  // 15 days
    // How many visits may wait for the end of a replacement of the list.
    static constexpr std::size_t kMaxWaitingVisits = 10000;

    // Makes a new object: defaults, then the settings from the registry, then
    // the index file of the history folder. Raises no event. On success
    // *object holds the interface `iid` with one reference for the caller.
    // E_POINTER for a null `object`, E_NOINTERFACE (no object kept) for an
    // interface it does not offer, E_OUTOFMEMORY.
    static HRESULT Create(REFIID iid, void** object, CUrlBaseOptions options = {});

    // The history folder a new object starts with when the registry names
    // none: the documents folder followed by "/Collected IE History".
    static std::string DefaultBaseDirectory();

    // IUnknown, telling CUrlBaseOptions::ReferenceCountChanged.
    ULONG AddRef() override;
    ULONG Release() override;

    // IProvideClassInfo / IProvideClassInfo2
    HRESULT GetClassInfo(ITypeInfo** info) override;
    HRESULT GetGUID(DWORD kind, GUID* guid) override;

    // IWYSCURLBase
    HRESULT GetData(_URL_DATE_* pData, ULONG index) override;
    HRESULT AddData(_URL_DATE_ data) override;
    HRESULT get_DataCount(ULONG* count) override;
    HRESULT get_BaseDirectory(BSTR* path) override;
    HRESULT put_BaseDirectory(BSTR path) override;
    HRESULT Find(LONGLONG Time, BSTR Url, ULONG* pIndex) override;
    HRESULT RemoveData(ULONG index) override;
    HRESULT get_CollectHistory(VARIANT_BOOL* value) override;
    HRESULT put_CollectHistory(VARIANT_BOOL value) override;
    HRESULT RemoveRange(LONGLONG Time, LONGLONG timeSpan, BSTR Url) override;
    HRESULT get_HistoricalRange(LONGLONG* seconds) override;
    HRESULT put_HistoricalRange(LONGLONG seconds) override;
    HRESULT Import(BSTR Path) override;
    HRESULT ExportRange(BSTR Path, LONGLONG Time, LONGLONG timeSpan, BSTR Url) override;
    HRESULT Export(BSTR Path) override;
    HRESULT get_TitledFileNames(VARIANT_BOOL* value) override;
    HRESULT put_TitledFileNames(VARIANT_BOOL value) override;
    HRESULT ExportRange2(BSTR Path, VARIANT v) override;
    HRESULT RemoveRange2(VARIANT v) override;
    HRESULT get_UnindexedPaths(VARIANT* paths) override;
    HRESULT FindPaths(VARIANT paths, VARIANT* visits) override;

    // IConnectionPointContainer: one point for IWYSCURLBaseEvents and one for
    // IPropertyNotifySink (on which nothing is ever sent).
    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    // IWYSCDiskUsage. E_NOTIMPL when the options leave the count off.
    HRESULT GetDiskUsage(ULONGLONG* bytesOnDisk, ULONGLONG* bytesWithoutSharing) override;

    // Counts one change made by AddData or RemoveData; every tenth runs the
    // expiry pass and saves the index file.
    virtual void OnModified();
    // Saves the index file.
    ~CWYSCURLBase() override;

    // The content index keeper; null when the options leave it off. For
    // tests and benchmarks, which wait for it to catch up.
    CContentIndexer* ContentIndexer() const { return m_contentIndexer.get(); }

    // The keeper of shared files; null when the options leave it off. For
    // tests and benchmarks, which wait for it to catch up.
    CFileSharer* FileSharer() const { return m_fileSharer.get(); }

private:
    // Marks a change of the list as under way for the scope's life, so that
    // a call arriving from a sink meanwhile cannot change the list under it.
    enum class Appends { Allowed, Refused };
    class ChangeScope {
    public:
        // `appends` says whether AddData may be served while this change is under way.
        explicit ChangeScope(CWYSCURLBase& owner, Appends appends = Appends::Allowed)
            : m_owner(owner), m_appends(appends), m_refused(owner.m_changesUnderWay > 0)
        {
            ++m_owner.m_changesUnderWay;
            if (m_appends == Appends::Refused)
                ++m_owner.m_appendBlockers;
        }
        ~ChangeScope()
        {
            --m_owner.m_changesUnderWay;
            if (m_appends == Appends::Refused)
                --m_owner.m_appendBlockers;
        }
        ChangeScope(const ChangeScope&) = delete;
        ChangeScope& operator=(const ChangeScope&) = delete;
        // Another change is under way: calls that remove or replace are refused.
        bool Refused() const { return m_refused; }

    private:
        CWYSCURLBase& m_owner;
        Appends m_appends;
        bool m_refused;
    };

    // A visit that arrived while the list was being replaced, with the
    // history folder its saved copy was found in.
    struct WaitingVisit {
        CUrlRecord record;
        std::string folder;
    };

    explicit CWYSCURLBase(CUrlBaseOptions options);

    // IDispatch of IWYSCURLBase.
    HRESULT UrlBaseGetTypeInfoCount(UINT* count) override;
    HRESULT UrlBaseGetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT UrlBaseGetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT UrlBaseInvoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* exception, UINT* argError) override;
    // IDispatch of IWYSCURLBaseEvents: a call raises the event to all sinks.
    HRESULT EventsGetTypeInfoCount(UINT* count) override;
    HRESULT EventsGetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT EventsGetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT EventsInvoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* exception, UINT* argError) override;

    // Events, delivered synchronously in sink order; the first sink that
    // fails ends that event's delivery, a sink that has gone does not.
    // Failures never reach the caller. While a sink is being called the
    // object serves calls that come in meanwhile, and the events those
    // raise go out at once; but no sink receives an event before it has
    // received every event raised earlier, so that every sink receives
    // every event, in the order they were raised. Only appends can change
    // the list while events go out: every operation that raises events
    // holds a ChangeScope while it does.
    void OnDataAdded(ULONG index);
    void OnDataBeforeRemove(ULONG index);
    void OnSettingsChanged();
    void RaiseEvent(DISPID id, std::vector<VARIANT> arguments);
    // Hands `sink` the events raised so far that it has not received yet,
    // for the pass of the event at `pass`: up to one whose own pass is
    // still on its way to this sink.
    void CatchUp(const ComPtr<IUnknown>& sink, std::size_t pass);

    std::int64_t Now() const;
    // E_INVALIDARG when `record` may not be added: a visit of its Time and
    // Url is in the list (or waiting), or its saved copy is not on disk
    // inside the history folder.
    HRESULT CheckNewVisit(const CUrlRecord& record) const;
    // Appends a checked visit, counts the change and announces it.
    void AppendVisit(CUrlRecord record);
    // Adds the visits that waited for a replacement of the list, in order.
    void AddWaitingVisits();
    HRESULT PutBaseDirectory(BSTR path);
    void LoadSettings();
    void SaveSettings();
    // Reads the index of the history folder into the list. An index of a
    // later version is left alone and the one kept beside it is read; an
    // index that cannot be read is kept aside by the next save.
    void LoadIndex();
    void SaveIndex();
    // Hands the history folder and every record's Path to the content index
    // keeper, which brings the index in step in the background.
    void OpenContentIndex();
    void ContentAdded(BSTR path);
    void RemoveAllRecords();
    bool Expire();
    void DeleteSavedCopy(BSTR path);
    // Starts the keeper of shared files when the options want one.
    void StartFileSharing();
    // Hands the history folder and every record's Path to the keeper.
    void OpenFileSharing();
    // A record with this Path joined the list.
    void SharingAdded(BSTR path);
    // A record with this Path leaves the list and its saved copy is about
    // to be deleted: the keeper is told, and the lock it returns (empty
    // when there is no keeper) keeps links out until the deletion is done.
    std::unique_lock<std::mutex> SharingRemoved(BSTR path);
    void ExportSelected(BSTR path, const CRecordFilter& selection);
    HRESULT ImportFile(BSTR path);

    CUrlRecordList m_list;
    std::string m_baseDirectory;
    // The index file the list is saved to, and whether the file there must
    // be moved aside first because it could not be read.
    std::string m_indexPath;
    bool m_keepIndexAside = false;
    std::int32_t m_changeCounter = 0;
    bool m_collectHistory = true;
    std::int64_t m_historyRange = kDefaultHistoryRange;
    bool m_titledFileNames = true;
    CConnectionPoint m_eventsPoint;
    CConnectionPoint m_propertyNotifyPoint;
    CUrlBaseOptions m_options;
    int m_changesUnderWay = 0;
    int m_appendBlockers = 0;
    std::deque<WaitingVisit> m_waitingVisits;
    // The events of the delivery under way (from the outermost raise to
    // its end), and per advised sink how many of them it was handed.
    struct RaisedEvent {
        DISPID id;
        std::vector<VARIANT> arguments;  // VT_I4 only: nothing to clear
        bool passing = true;             // its pass over the sinks is under way
        bool stopped = false;            // a sink failed it: no later sink gets it
    };
    std::vector<RaisedEvent> m_raisedEvents;
    std::map<IUnknown*, std::pair<ComPtr<IUnknown>, std::size_t>> m_eventsHanded;
    int m_raising = 0;
    // Declared last, so that its thread ends before anything else goes.
    std::unique_ptr<CContentIndexer> m_contentIndexer;
    std::unique_ptr<CFileSharer> m_fileSharer;
};
