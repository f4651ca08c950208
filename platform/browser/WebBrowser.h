// The web browser object of one browser window, as hosts offer it to the
// helper objects and bands they load: IWebBrowser2 (the members those
// callers use) and the DWebBrowserEvents2 event DocumentComplete.
//
// A web browser object belongs to the single-threaded apartment of its
// window's thread: every call runs there. Other threads reach it through
// CoMarshalInterThreadInterfaceInStream / CoGetInterfaceAndReleaseStream;
// including this header makes the interface and the documents it hands out
// (BrowserRemoting.h) callable that way. Strings come back as BSTRs that the
// caller frees, interfaces with a reference that the caller releases.
#pragma once

#include "platform/browser/BrowserRemoting.h"
#include "platform/com/Dispatch.h"

enum READYSTATE : LONG {
    READYSTATE_UNINITIALIZED = 0,
    READYSTATE_LOADING = 1,
    READYSTATE_LOADED = 2,
    READYSTATE_INTERACTIVE = 3,
    READYSTATE_COMPLETE = 4,
};

// The outgoing dispinterface of a web browser object, offered through its
// IConnectionPointContainer. Of its events this browser fires
// DocumentComplete(pDisp, URL): the first argument is the completed
// document's IDispatch (VT_DISPATCH), the second a VARIANT holding a BSTR
// (VT_BSTR) with the document's URL after redirects. It is delivered on the
// window's thread, once per frame document that loaded (innermost first, in
// document order) and then for the top document; only the last one sees
// READYSTATE_COMPLETE. A page that fails to load fires none.
inline constexpr IID DIID_DWebBrowserEvents2 = MakeGuid("{34A715A0-6587-11D0-924A-0020AFC7AC4D}");
inline constexpr DISPID DISPID_DOCUMENTCOMPLETE = 259;

struct IWebBrowser2 : IDispatch {
    static constexpr GUID Iid = MakeGuid("{D30C1661-CDAF-11D0-8A3E-00C04FC9E26E}");
    using Base = IDispatch;

    // Starts loading `url` (a URL, or an absolute path of a local file) and
    // returns at once; the window's thread must keep dispatching messages for
    // the load to finish. The optional arguments (flags, target frame, post
    // data, headers) may be null or VT_EMPTY; others give E_NOTIMPL.
    // E_INVALIDARG for a null or empty `url`. A load already under way is
    // abandoned without events.
    virtual HRESULT Navigate(BSTR url, VARIANT* flags, VARIANT* targetFrameName, VARIANT* postData,
                             VARIANT* headers) = 0;
    // Abandons the load under way, if any; the document shown stays.
    virtual HRESULT Stop() = 0;
    // The document shown: an object whose IDispatch answers IHTMLDocument2
    // when it is an HTML document, and only IDispatch otherwise (an image, a
    // download). S_FALSE with a null *document before the first document.
    virtual HRESULT get_Document(IDispatch** document) = 0;
    // The title of the page as the browser shows it: the document's title,
    // or its URL when the title is empty or the document is not HTML; empty
    // before the first document.
    virtual HRESULT get_LocationName(BSTR* name) = 0;
    // The URL of the document shown, after redirects; empty before the first.
    virtual HRESULT get_LocationURL(BSTR* url) = 0;
    // VARIANT_TRUE while a load is under way.
    virtual HRESULT get_Busy(VARIANT_BOOL* busy) = 0;
    // READYSTATE_UNINITIALIZED before the first Navigate, READYSTATE_LOADING
    // while a page or any of its frames loads, READYSTATE_INTERACTIVE while
    // the DocumentComplete events of frames are delivered, and
    // READYSTATE_COMPLETE once the page and every frame have loaded.
    virtual HRESULT get_ReadyState(READYSTATE* state) = 0;
    // The text of the window's status line, which helper objects set to say
    // what became of a page (a window shows it until the next load starts).
    // Hosts without a status line keep the text or answer E_NOTIMPL.
    virtual HRESULT get_StatusText(BSTR* text)
    {
        if (text)
            *text = nullptr;
        return E_NOTIMPL;
    }
    virtual HRESULT put_StatusText(BSTR) { return E_NOTIMPL; }

protected:
    ~IWebBrowser2() = default;
};

inline constexpr const IID& IID_IWebBrowser2 = IWebBrowser2::Iid;
