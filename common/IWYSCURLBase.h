// The history interface: the only way clients reach the list of visits,
// and the events it raises.
#pragma once

#include "common/Identifiers.h"
#include "common/UrlDate.h"
#include "platform/com/Dispatch.h"

// Record indices are positions in the server's list at the moment of the
// call; they shift on every removal. kNoRecord means "no record".
inline constexpr ULONG kNoRecord = 0xFFFFFFFFu;

// Dispatch identifiers of the interface's members.
enum WYSCURLBaseDispId : DISPID {
    DISPID_GetData = 1,
    DISPID_AddData = 2,
    DISPID_DataCount = 3,
    DISPID_BaseDirectory = 4,
    DISPID_Find = 5,
    DISPID_RemoveData = 6,
    DISPID_CollectHistory = 7,
    DISPID_RemoveRange = 8,
    DISPID_HistoricalRange = 9,
    DISPID_Import = 10,
    DISPID_ExportRange = 11,
    DISPID_Export = 12,
    DISPID_TitledFileNames = 13,
    DISPID_ExportRange2 = 14,
    DISPID_RemoveRange2 = 15,
    DISPID_UnindexedPaths = 16,
    DISPID_FindPaths = 17,
};

// Dispatch identifiers of the events.
enum WYSCURLBaseEventDispId : DISPID {
    DISPID_OnDataAdded = 1,
    DISPID_OnDataBeforeRemove = 2,
    DISPID_OnSettingsChanged = 3,
};

// Members in slot order. Strings passed in stay the caller's; strings
// returned belong to the caller, who frees them. 64-bit integers are signed.
struct IWYSCURLBase : IDispatch {
    static constexpr GUID Iid = IID_IWYSCURLBase;
    using Base = IDispatch;

    // E_INVALIDARG (pData untouched) when index >= DataCount.
    virtual HRESULT GetData(_URL_DATE_* pData, ULONG index) = 0;
    // E_INVALIDARG for a duplicate (same Time and Url) or a missing saved copy.
    virtual HRESULT AddData(_URL_DATE_ data) = 0;
    virtual HRESULT get_DataCount(ULONG* count) = 0;
    virtual HRESULT get_BaseDirectory(BSTR* path) = 0;
    virtual HRESULT put_BaseDirectory(BSTR path) = 0;
    // *pIndex is kNoRecord when no record has that Time and Url.
    virtual HRESULT Find(LONGLONG Time, BSTR Url, ULONG* pIndex) = 0;
    virtual HRESULT RemoveData(ULONG index) = 0;
    virtual HRESULT get_CollectHistory(VARIANT_BOOL* value) = 0;
    virtual HRESULT put_CollectHistory(VARIANT_BOOL value) = 0;
    // Url may be null: then only the time range selects.
    virtual HRESULT RemoveRange(LONGLONG Time, LONGLONG timeSpan, BSTR Url) = 0;
    virtual HRESULT get_HistoricalRange(LONGLONG* seconds) = 0;
    virtual HRESULT put_HistoricalRange(LONGLONG seconds) = 0;
    virtual HRESULT Import(BSTR Path) = 0;
    virtual HRESULT ExportRange(BSTR Path, LONGLONG Time, LONGLONG timeSpan, BSTR Url) = 0;
    virtual HRESULT Export(BSTR Path) = 0;
    virtual HRESULT get_TitledFileNames(VARIANT_BOOL* value) = 0;
    virtual HRESULT put_TitledFileNames(VARIANT_BOOL value) = 0;
    // v: a one-dimensional array of BSTR Paths; E_INVALIDARG otherwise.
    virtual HRESULT ExportRange2(BSTR Path, VARIANT v) = 0;
    virtual HRESULT RemoveRange2(VARIANT v) = 0;
    // What a content search may leave to the content index. S_OK when the
    // index holds the saved page of every recorded visit but those whose
    // Paths are in *paths (a one-dimensional array of BSTR, often empty:
    // pages that could not be read); S_FALSE, *paths empty, while it is not
    // in step with the list (being filled or rebuilt, or none can be kept),
    // when a search must read every page itself.
    virtual HRESULT get_UnindexedPaths(VARIANT* paths) = 0;
    // The visits whose Path is one of `paths` (a one-dimensional array of
    // BSTR; E_INVALIDARG otherwise), highest index first, in *visits: a
    // one-dimensional array of five arrays of one element per visit, their
    // indices (VT_UI4), Times (VT_I8), Urls, Paths and Titles (VT_BSTR).
    virtual HRESULT FindPaths(VARIANT paths, VARIANT* visits) = 0;

protected:
    ~IWYSCURLBase() = default;
};

// The outgoing event interface: a dispinterface, called only through Invoke
// with the DISPIDs above (one VT_I4 argument, the record index, for
// OnDataAdded and OnDataBeforeRemove; none for OnSettingsChanged).
struct IWYSCURLBaseEvents : IDispatch {
    static constexpr GUID Iid = DIID_IWYSCURLBaseEvents;
    using Base = IDispatch;

protected:
    ~IWYSCURLBaseEvents() = default;
};

// Every program that uses the interface can call it across processes.
#include "common/IWYSCURLBaseRemoting.h"
