// The history interface: the only way clients reach the list of visits,
// and the events it raises.
#pragma once

#include "common/Identifiers.h"
#include "common/UrlDate.h"
#include "platform/com/DispatchMembers.h"

// Record indices are positions in the server's list at the moment of the
// call; they shift on every removal. kNoRecord means "no record".
inline constexpr ULONG kNoRecord = 0xFFFFFFFFu;

// The interface's members in slot order, each with its DISPID (see
// platform/com/DispatchMembers.h): the slots, the DISPIDs, the late-bound
// path and the remoting all come from this list. Strings passed in stay the
// caller's; strings returned belong to the caller, who frees them. 64-bit
// integers are signed.
#define WYS_IWYSCURLBASE_MEMBERS(X, ...)                                                                    \
    /* E_INVALIDARG (pData untouched) when index >= DataCount. */                                           \
    X(__VA_ARGS__, Method, GetData, 1, (Out, _URL_DATE_*, pData), (In, ULONG, index))                       \
    /* E_INVALIDARG for a duplicate (same Time and Url) or a missing saved copy. */                         \
    X(__VA_ARGS__, Method, AddData, 2, (In, _URL_DATE_, data))                                              \
    X(__VA_ARGS__, PropGet, DataCount, 3, ULONG, count)                                                     \
    X(__VA_ARGS__, Prop, BaseDirectory, 4, BSTR, path)                                                      \
    /* *pIndex is kNoRecord when no record has that Time and Url. */                                        \
    X(__VA_ARGS__, Method, Find, 5, (In, LONGLONG, Time), (In, BSTR, Url), (Out, ULONG*, pIndex))           \
    X(__VA_ARGS__, Method, RemoveData, 6, (In, ULONG, index))                                               \
    X(__VA_ARGS__, Prop, CollectHistory, 7, VARIANT_BOOL, value)                                            \
    /* Url may be null: then only the time range selects. */                                                \
    X(__VA_ARGS__, Method, RemoveRange, 8, (In, LONGLONG, Time), (In, LONGLONG, timeSpan), (In, BSTR, Url)) \
    X(__VA_ARGS__, Prop, HistoricalRange, 9, LONGLONG, seconds)                                             \
    X(__VA_ARGS__, Method, Import, 10, (In, BSTR, Path))                                                    \
    X(__VA_ARGS__, Method, ExportRange, 11, (In, BSTR, Path), (In, LONGLONG, Time),                         \
      (In, LONGLONG, timeSpan), (In, BSTR, Url))                                                            \
    X(__VA_ARGS__, Method, Export, 12, (In, BSTR, Path))                                                    \
    X(__VA_ARGS__, Prop, TitledFileNames, 13, VARIANT_BOOL, value)                                          \
    /* v: a one-dimensional array of BSTR Paths; E_INVALIDARG otherwise. */                                 \
    X(__VA_ARGS__, Method, ExportRange2, 14, (In, BSTR, Path), (In, VARIANT, v))                            \
    X(__VA_ARGS__, Method, RemoveRange2, 15, (In, VARIANT, v))                                              \
    /* What a content search may leave to the content index. S_OK when the                                  \
       index holds the saved page of every recorded visit but those whose                                   \
       Paths are in *paths (a one-dimensional array of BSTR, often empty:                                   \
       pages that could not be read); S_FALSE, *paths empty, while it is not                                \
       in step with the list (being filled or rebuilt, or none can be kept),                                \
       when a search must read every page itself. */                                                        \
    X(__VA_ARGS__, PropGet, UnindexedPaths, 16, VARIANT, paths)                                             \
    /* The visits whose Path is one of `paths` (a one-dimensional array of                                  \
       BSTR; E_INVALIDARG otherwise), highest index first, in *visits: a                                    \
       one-dimensional array of five arrays of one element per visit, their                                 \
       indices (VT_UI4), Times (VT_I8), Urls (VT_BSTR), the first place of                                  \
       their Path in `paths` (VT_UI4) and Titles (VT_BSTR). */                                              \
    X(__VA_ARGS__, Method, FindPaths, 17, (In, VARIANT, paths), (Out, VARIANT*, visits))

// The outgoing events: a dispinterface, called only through Invoke with
// these DISPIDs.
#define WYS_IWYSCURLBASEEVENTS_MEMBERS(X, ...)                       \
    X(__VA_ARGS__, Method, OnDataAdded, 1, (In, LONG, index))        \
    X(__VA_ARGS__, Method, OnDataBeforeRemove, 2, (In, LONG, index)) \
    X(__VA_ARGS__, Method, OnSettingsChanged, 3)

// Dispatch identifiers of the interface's members.
enum WYSCURLBaseDispId : DISPID { WYS_COM_DISPIDS(WYS_IWYSCURLBASE_MEMBERS) };

// Dispatch identifiers of the events.
enum WYSCURLBaseEventDispId : DISPID { WYS_COM_DISPIDS(WYS_IWYSCURLBASEEVENTS_MEMBERS) };

struct IWYSCURLBase : IDispatch {
    static constexpr GUID Iid = IID_IWYSCURLBase;
    using Base = IDispatch;

    WYS_COM_DECLARE_MEMBERS(WYS_IWYSCURLBASE_MEMBERS)

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

// The events as calls: what the late-bound path of IWYSCURLBaseEvents
// decodes its DISPPARAMS into, and what an event sink handles
// (common/CUrlBaseEventSinkBase.h).
struct IWYSCURLBaseEventHandlers {
    WYS_COM_DECLARE_MEMBERS(WYS_IWYSCURLBASEEVENTS_MEMBERS)

protected:
    ~IWYSCURLBaseEventHandlers() = default;
};

// The late-bound path of the events, for their sinks and their source.
inline constexpr wys::dispatch::Member<IWYSCURLBaseEventHandlers> kIWYSCURLBaseEventMembers[] = {
    WYS_COM_DISPATCH_MEMBERS(IWYSCURLBaseEventHandlers, WYS_IWYSCURLBASEEVENTS_MEMBERS)};

// Every program that uses the interface can call it across processes.
#include "common/IWYSCURLBaseRemoting.h"
