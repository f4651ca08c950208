// The HTML document interface of the document object model.
//
// Documents are built by BuildHtmlDocument (HtmlDocumentBuilder.h) and never
// change afterwards: every object reached from a document may be used from any
// thread at once, and reference counts are atomic. Every operation returns an
// HRESULT; a null out pointer gives E_POINTER. Strings come back as BSTRs that
// the caller frees, interfaces with one reference that the caller releases.
#pragma once

#include "platform/com/Dispatch.h"

struct IHTMLElementCollection;
struct IHTMLFramesCollection2;
struct IHTMLStyleSheetsCollection;

struct IHTMLDocument2 : IDispatch {
    static constexpr GUID Iid = MakeGuid("{332C4425-26CB-11D0-B483-00C04FD90119}");
    using Base = IDispatch;

    // Every element of the document in document order (elements inside a
    // template's contents are not part of the document and are left out).
    virtual HRESULT get_all(IHTMLElementCollection** all) = 0;
    // The img elements, in document order.
    virtual HRESULT get_images(IHTMLElementCollection** images) = 0;
    // The script elements, in document order.
    virtual HRESULT get_scripts(IHTMLElementCollection** scripts) = 0;
    // The windows of the document's frame and iframe elements, in document
    // order; nested frames are reached through each window's document.
    virtual HRESULT get_frames(IHTMLFramesCollection2** frames) = 0;
    // The text of the first title element, white space stripped at both ends
    // and collapsed to single spaces inside; empty when there is none.
    virtual HRESULT get_title(BSTR* title) = 0;
    // The URL the document was built with, exactly as given.
    virtual HRESULT get_URL(BSTR* url) = 0;
    // One style sheet per style element and per link element whose rel
    // names "stylesheet", in document order.
    virtual HRESULT get_styleSheets(IHTMLStyleSheetsCollection** styleSheets) = 0;

protected:
    ~IHTMLDocument2() = default;
};

inline constexpr const IID& IID_IHTMLDocument2 = IHTMLDocument2::Iid;

// This platform's own: the document type declaration the document was
// parsed with, which decides how a browser lays the page out (standards or
// quirks mode). Every HTML document answers it.
struct IHTMLDocumentType : IDispatch {
    static constexpr GUID Iid = MakeGuid("{8E1B5C3A-2F47-4D69-9A0B-6C1D2E3F4A5B}");
    using Base = IDispatch;

    // The declaration as a browser serialises it: "<!DOCTYPE html>", with
    // PUBLIC and SYSTEM identifiers when the document gave them; empty when
    // the document had none.
    virtual HRESULT get_doctype(BSTR* declaration) = 0;

protected:
    ~IHTMLDocumentType() = default;
};

inline constexpr const IID& IID_IHTMLDocumentType = IHTMLDocumentType::Iid;
