// Saving HTML documents from the live document object model: the page
// itself and the documents of its frames, at every depth. A URL that names a
// collected document is written from that document; any other URL is
// fetched as ResourceSaver fetches it.
//
// The saved text is the browser's current document, not the bytes the
// server sent: the document's own type declaration (so that the copy is laid
// out in the same mode as the page), then the root element with its
// attributes and contents, in UTF-8, with a UTF-8 character-set declaration
// at the start of the head unless the document already declares UTF-8 there.
#pragma once

#include <map>
#include <string>

#include "WYSCbho/ResourceSaver.h"
#include "platform/com/ComPtr.h"
#include "platform/dom/HtmlDocument.h"

namespace wys::capture {

class FrameSaver : public ResourceSaver {
public:
    using ResourceSaver::ResourceSaver;

    // WriteDocument when `url` names a collected document, else as
    // ResourceSaver::SaveUrl.
    bool SaveUrl(const std::string& url, const std::string& target) override;
    // Prefetches only what is no collected document.
    void Prefetch(const std::set<std::string>& urls) override;

    // The document's type declaration and a line break (when it has one),
    // then the outer HTML of its root element (of the last one, were there
    // several); "" when the root cannot be read. Reads only the document: it
    // may run on another thread beside the saver's other calls.
    virtual std::string GetDocumentHtml(IHTMLDocument2* document);

    // Writes the document to `target`, replacing an existing file. False,
    // and nothing written, when its HTML is empty or the file cannot be
    // created.
    virtual bool WriteDocument(IHTMLDocument2* document, const std::string& target);
    // As WriteDocument, with the document's GetDocumentHtml read already.
    bool WriteMarkup(const std::string& html, const std::string& target);

    // URL -> document; one reference held per entry.
    std::map<std::string, ComPtr<IHTMLDocument2>>& Documents() { return m_documents; }

private:
    std::map<std::string, ComPtr<IHTMLDocument2>> m_documents;
};

// Adds `document` under its URL (a URL already present keeps its first
// document), then the documents of its frames, recursively.
void CollectDocuments(FrameSaver& saver, IHTMLDocument2* document);

// `html` (a document's markup) with a UTF-8 declaration put
// first into its head, unless the first declaration found there already
// names UTF-8.
std::string DeclareUtf8Charset(const std::string& html);

}  // namespace wys::capture
