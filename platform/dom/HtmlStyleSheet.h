// Style sheets of a document: one per style element and per link element
// whose rel names "stylesheet". Same threading and ownership rules as the
// document (HtmlDocument.h); a style sheet keeps its document alive.
#pragma once

#include "platform/com/Dispatch.h"

struct IHTMLStyleSheet : IDispatch {
    static constexpr GUID Iid = MakeGuid("{3050F2E3-98B5-11CF-BB82-00AA00BDCE0B}");
    using Base = IDispatch;

    // The link element's href as written; empty for a style element.
    virtual HRESULT get_href(BSTR* href) = 0;

protected:
    ~IHTMLStyleSheet() = default;
};

struct IHTMLStyleSheetsCollection : IDispatch {
    static constexpr GUID Iid = MakeGuid("{3050F37E-98B5-11CF-BB82-00AA00BDCE0B}");
    using Base = IDispatch;

    virtual HRESULT get_length(LONG* length) = 0;
    // *result receives VT_DISPATCH holding the style sheet (it answers
    // IHTMLStyleSheet) at position *index, an integer variant. An index
    // outside 0..length-1 or not an integer gives E_INVALIDARG and leaves
    // *result VT_EMPTY.
    virtual HRESULT item(VARIANT* index, VARIANT* result) = 0;

protected:
    ~IHTMLStyleSheetsCollection() = default;
};

inline constexpr const IID& IID_IHTMLStyleSheet = IHTMLStyleSheet::Iid;
inline constexpr const IID& IID_IHTMLStyleSheetsCollection = IHTMLStyleSheetsCollection::Iid;
