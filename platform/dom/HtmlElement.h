// Element interfaces. Every element answers IHTMLElement; an element answers
// one of the specific interfaces only when it is an HTML element of that
// kind (img, script, input, object). Attribute values come back exactly as
// the document holds them: character references decoded, URLs not resolved.
// An attribute that is absent reads as an empty string. Same threading and
// ownership rules as the document (HtmlDocument.h); an element keeps its
// document alive.
#pragma once

#include "platform/com/Dispatch.h"

// getAttribute flag: compare the attribute name case-sensitively.
inline constexpr LONG kAttributeCaseSensitive = 1;

struct IHTMLElement : IDispatch {
    static constexpr GUID Iid = MakeGuid("{3050F1FF-98B5-11CF-BB82-00AA00BDCE0B}");
    using Base = IDispatch;

    // *value receives the attribute's value as a VT_BSTR, or VT_NULL when the
    // element has no such attribute (still S_OK). Names compare ignoring
    // ASCII case unless `flags` holds kAttributeCaseSensitive.
    virtual HRESULT getAttribute(BSTR name, LONG flags, VARIANT* value) = 0;
    // Upper case for HTML elements ("IMG"), as written for SVG and MathML
    // elements ("foreignObject").
    virtual HRESULT get_tagName(BSTR* tagName) = 0;
    // The element's contents serialised as HTML: attribute values quoted
    // and escaped, text escaped except inside script, style and the other
    // raw-text elements, void elements without end tags, a leading newline
    // of pre, textarea and listing doubled, so that parsing the text again
    // in the element's place gives the same tree. Only trees that markup
    // cannot express read back otherwise: anything after a plaintext start
    // tag is text, and a parser-nested a or body element is merged.
    virtual HRESULT get_innerHTML(BSTR* html) = 0;
    // The element itself serialised as HTML: its start tag with every
    // attribute, its contents as innerHTML gives them, and its end tag
    // (none for a void element).
    virtual HRESULT get_outerHTML(BSTR* html) = 0;

protected:
    ~IHTMLElement() = default;
};

struct IHTMLImgElement : IDispatch {
    static constexpr GUID Iid = MakeGuid("{3050F240-98B5-11CF-BB82-00AA00BDCE0B}");
    using Base = IDispatch;

    virtual HRESULT get_src(BSTR* src) = 0;

protected:
    ~IHTMLImgElement() = default;
};

struct IHTMLScriptElement : IDispatch {
    static constexpr GUID Iid = MakeGuid("{3050F28B-98B5-11CF-BB82-00AA00BDCE0B}");
    using Base = IDispatch;

    // Empty for an inline script.
    virtual HRESULT get_src(BSTR* src) = 0;

protected:
    ~IHTMLScriptElement() = default;
};

struct IHTMLInputElement : IDispatch {
    static constexpr GUID Iid = MakeGuid("{3050F5D2-98B5-11CF-BB82-00AA00BDCE0B}");
    using Base = IDispatch;

    // The type attribute in ASCII lower case; "text" when absent or empty.
    virtual HRESULT get_type(BSTR* type) = 0;
    virtual HRESULT get_src(BSTR* src) = 0;

protected:
    ~IHTMLInputElement() = default;
};

struct IHTMLObjectElement : IDispatch {
    static constexpr GUID Iid = MakeGuid("{3050F24F-98B5-11CF-BB82-00AA00BDCE0B}");
    using Base = IDispatch;

    // The automation object of the embedded control. Only the media players
    // of MediaPlayers.h have one; for any other class id (or none) this
    // fails with E_NOINTERFACE and a null *object.
    virtual HRESULT get_object(IDispatch** object) = 0;
    // The classid attribute as written ("clsid:D27CDB6E-...").
    virtual HRESULT get_classid(BSTR* classId) = 0;

protected:
    ~IHTMLObjectElement() = default;
};

inline constexpr const IID& IID_IHTMLElement = IHTMLElement::Iid;
inline constexpr const IID& IID_IHTMLImgElement = IHTMLImgElement::Iid;
inline constexpr const IID& IID_IHTMLScriptElement = IHTMLScriptElement::Iid;
inline constexpr const IID& IID_IHTMLInputElement = IHTMLInputElement::Iid;
inline constexpr const IID& IID_IHTMLObjectElement = IHTMLObjectElement::Iid;
