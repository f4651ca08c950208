// Building documents. The browser host loads a page (and each of its frames)
// and hands the body here; the result is what IWebBrowser2::Document and a
// frame window's document answer.
//
// A built document never changes: it and every object reached from it may
// be used from any thread at once. The functions themselves may be called
// from any thread; they share nothing between calls.
#pragma once

#include <functional>
#include <string_view>

#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"

// What a frame or iframe element asks for. The views are valid only during
// the supplier's call.
struct FrameReference {
    std::string_view tagName;      // "frame" or "iframe"
    std::string_view src;          // the src attribute as written; empty when absent
    std::string_view documentUrl;  // the URL of the document holding the frame
    std::string_view baseHref;     // the first base element's href as written; empty when none
};

// Supplies the document shown in one frame, usually by loading
// `src` resolved against the base and building it with BuildDocument; null
// when it cannot be had. Called during the build, on the building thread,
// once per frame element in document order. The returned object must be
// usable from any thread, as built documents are. A supplier that loads
// frames recursively bounds the depth itself (a page may frame itself). A
// supplier that throws fails the build with the thrown HRESULT (ComError) or
// E_FAIL.
using FrameDocumentSupplier = std::function<ComPtr<IDispatch>(const FrameReference&)>;

// What becomes of a page's character-set declarations (<meta charset> and
// <meta http-equiv="Content-Type" content="...; charset=...">). A document's
// text is UTF-8 whatever the page declared: a host that converted the page
// asks for DeclareUtf8, so that the document, and a page saved from its
// inner HTML, names the encoding its text is in.
enum class CharsetDeclarations { Keep, DeclareUtf8 };

// Builds an HTML document from `html` (UTF-8; invalid sequences read as
// U+FFFD, NULs as the HTML parser treats them) shown at `url`. Any bytes are
// accepted; markup errors are repaired as browsers repair them. *document
// receives the document's IDispatch, which answers IHTMLDocument2; the
// caller owns the reference. An empty `frames` supplies no frame documents.
// E_POINTER for a null `document`, E_INVALIDARG for a body of 2 GiB or more,
// E_OUTOFMEMORY when memory runs out outside the parser (inside it the
// process aborts, as the parser cannot report it).
HRESULT BuildHtmlDocument(std::string_view html, std::string_view url, CharsetDeclarations charsets,
                          const FrameDocumentSupplier& frames, IDispatch** document);

// A document that is not HTML (an image, a download): *document answers
// IDispatch and nothing of the document object model, so that asking it for
// IHTMLDocument2 gives E_NOINTERFACE.
HRESULT CreateNonHtmlDocument(IDispatch** document);

// True for the media types the browser shows as HTML documents
// ("text/html", "application/xhtml+xml"), ignoring case, parameters and
// surrounding white space.
bool IsHtmlContentType(std::string_view contentType);

// BuildHtmlDocument when `contentType` is an HTML type, else
// CreateNonHtmlDocument.
HRESULT BuildDocument(std::string_view body, std::string_view contentType, std::string_view url,
                      CharsetDeclarations charsets, const FrameDocumentSupplier& frames,
                      IDispatch** document);
