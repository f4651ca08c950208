// Small helpers for reading the document object model: strings come back as
// narrow strings, collections are walked by index, and every failure reads
// as "nothing", because the walk goes on past anything it cannot read.
#pragma once

#include <functional>
#include <string>

#include "platform/com/ComPtr.h"
#include "platform/dom/HtmlDocument.h"
#include "platform/dom/HtmlElementCollection.h"

namespace wys::capture {

// The BSTR of a property getter as a narrow string up to its first NUL; ""
// when the getter fails.
std::string ReadText(const std::function<HRESULT(BSTR*)>& getter);

// The document's URL and title; "" when they cannot be read.
std::string DocumentUrl(IHTMLDocument2* document);
std::string DocumentTitle(IHTMLDocument2* document);

// Calls `visit` with every item of an element collection (item(i, 0) for i
// from 0 to length-1) that can be fetched.
void ForEachElement(IHTMLElementCollection* collection, const std::function<void(IDispatch*)>& visit);

// The elements of the document's `all` collection with that tag name, or
// null when they cannot be had.
ComPtr<IHTMLElementCollection> ElementsByTag(IHTMLDocument2* document, const char* tagName);

// Calls `visit` with the document of every frame of `document` (one level),
// in order; frames whose window or document cannot be read are skipped.
void ForEachFrameDocument(IHTMLDocument2* document, const std::function<void(IHTMLDocument2*)>& visit);

}  // namespace wys::capture
