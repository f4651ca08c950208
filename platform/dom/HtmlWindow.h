// Frames and their windows. A document's frames collection lists one window
// per frame or iframe element in document order; a window offers the
// document shown in it and, like the window of a browser, the frames of that
// document. Same threading and ownership rules as the document
// (HtmlDocument.h); a window keeps its document alive.
#pragma once

#include "platform/com/Dispatch.h"

struct IHTMLDocument2;

struct IHTMLFramesCollection2 : IDispatch {
    static constexpr GUID Iid = MakeGuid("{332C4426-26CB-11D0-B483-00C04FD90119}");
    using Base = IDispatch;

    // *result receives VT_DISPATCH holding the window (it answers
    // IHTMLWindow2) of the frame at position *index, an integer variant. An
    // index outside 0..length-1 or not an integer gives E_INVALIDARG and
    // leaves *result VT_EMPTY.
    virtual HRESULT item(VARIANT* index, VARIANT* result) = 0;
    virtual HRESULT get_length(LONG* length) = 0;

protected:
    ~IHTMLFramesCollection2() = default;
};

// item and get_length enumerate the frames of the window's document; a
// window without an HTML document has none.
struct IHTMLWindow2 : IHTMLFramesCollection2 {
    static constexpr GUID Iid = MakeGuid("{332C4427-26CB-11D0-B483-00C04FD90119}");
    using Base = IHTMLFramesCollection2;

    // The document shown in the window. E_FAIL when the frame's document
    // could not be had (the supplier gave none), E_NOINTERFACE when it is not
    // an HTML document (an image shown in a frame); *document is then null.
    virtual HRESULT get_document(IHTMLDocument2** document) = 0;

protected:
    ~IHTMLWindow2() = default;
};

inline constexpr const IID& IID_IHTMLFramesCollection2 = IHTMLFramesCollection2::Iid;
inline constexpr const IID& IID_IHTMLWindow2 = IHTMLWindow2::Iid;
