// An ordered list of elements: a document's all, images and scripts, and
// the results of tags(). Same threading and ownership rules as the document
// (HtmlDocument.h); a collection keeps its document alive.
#pragma once

#include "platform/com/Dispatch.h"

struct IHTMLElementCollection : IDispatch {
    static constexpr GUID Iid = MakeGuid("{3050F21F-98B5-11CF-BB82-00AA00BDCE0B}");
    using Base = IDispatch;

    virtual HRESULT get_length(LONG* length) = 0;
    // The element at position `name` (an integer variant, by value or by
    // reference); `index` is ignored. *element receives the element's
    // IDispatch. An index outside 0..length-1 or a name that is not an
    // integer gives E_INVALIDARG and a null *element.
    virtual HRESULT item(VARIANT name, VARIANT index, IDispatch** element) = 0;
    // A new collection (as IDispatch, answering IHTMLElementCollection) of
    // this collection's elements whose tag name equals `tagName`, a string
    // variant: ignoring ASCII case for HTML elements, exactly for SVG and
    // MathML elements ("foreignObject"); in document order, possibly empty.
    // E_INVALIDARG when `tagName` is not a string.
    virtual HRESULT tags(VARIANT tagName, IDispatch** collection) = 0;

protected:
    ~IHTMLElementCollection() = default;
};

inline constexpr const IID& IID_IHTMLElementCollection = IHTMLElementCollection::Iid;
