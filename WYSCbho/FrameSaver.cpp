#include "WYSCbho/FrameSaver.h"

#include <fcntl.h>
#include <unistd.h>

#include "WYSCbho/DomText.h"
#include "common/StringConvert.h"
#include "platform/base/AsciiText.h"
#include "platform/base/CFileDescriptor.h"
#include "platform/base/FileWrite.h"
#include "platform/dom/HtmlElement.h"

namespace wys::capture {
namespace {

constexpr std::string_view kUtf8Declaration = "<meta charset=\"utf-8\">";

}  // namespace

std::string DeclareUtf8Charset(const std::string& html)
{
    const std::string lower = wys::base::AsciiLower(html);
    std::size_t headEnd = lower.find("</head");
    std::size_t charset = lower.find("charset", 0);
    if (charset != std::string::npos && (headEnd == std::string::npos || charset < headEnd)) {
        std::size_t value = lower.find_first_not_of(" \t\r\n=\"';", charset + 7);
        if (value != std::string::npos &&
            (lower.compare(value, 5, "utf-8") == 0 || lower.compare(value, 4, "utf8") == 0))
            return html;
    }
    // After the head's start tag when there is one, else first of all (the
    // parser then opens the head for it).
    std::size_t insertAt = 0;
    std::size_t head = lower.find("<head");
    if (head != std::string::npos &&
        (head + 5 == lower.size() || lower[head + 5] == '>' || lower[head + 5] == ' ' ||
         lower[head + 5] == '\t' || lower[head + 5] == '\n')) {
        std::size_t close = lower.find('>', head);
        if (close != std::string::npos)
            insertAt = close + 1;
    }
    std::string declared = html;
    declared.insert(insertAt, kUtf8Declaration);
    return declared;
}

bool FrameSaver::SaveUrl(const std::string& url, const std::string& target)
{
    auto found = m_documents.find(url);
    if (found != m_documents.end())
        return WriteDocument(found->second.Get(), target);
    return ResourceSaver::SaveUrl(url, target);
}

void FrameSaver::Prefetch(const std::set<std::string>& urls)
{
    std::set<std::string> fetched;
    for (const std::string& url : urls) {
        if (!m_documents.count(url))
            fetched.insert(url);
    }
    ResourceSaver::Prefetch(fetched);
}

std::string FrameSaver::GetDocumentHtml(IHTMLDocument2* document)
{
    std::string text;
    ComPtr<IHTMLElementCollection> roots = ElementsByTag(document, "HTML");
    ForEachElement(roots.Get(), [&text](IDispatch* item) {
        ComPtr<IHTMLElement> element;
        if (FAILED(item->QueryInterface(IID_IHTMLElement, element.PutVoid())) || !element)
            return;
        CComBSTR html;
        if (SUCCEEDED(element->get_outerHTML(&html)))
            text = BstrToNarrowZ(html);
    });
    if (text.empty())
        return text;
    ComPtr<IHTMLDocumentType> type;
    CComBSTR doctype;
    if (SUCCEEDED(document->QueryInterface(IID_IHTMLDocumentType, type.PutVoid())) && type &&
        SUCCEEDED(type->get_doctype(&doctype)) && doctype.Length() > 0)
        text = BstrToNarrowZ(doctype) + "\n" + text;
    return text;
}

bool FrameSaver::WriteDocument(IHTMLDocument2* document, const std::string& target)
{
    return WriteMarkup(GetDocumentHtml(document), target);
}

bool FrameSaver::WriteMarkup(const std::string& html, const std::string& target)
{
    if (html.empty())
        return false;
    wys::base::CFileDescriptor file(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!file.IsValid())
        return false;
    // Write failures leave a short file; it is still the page's file, and the
    // URL base decides whether a record may point at it.
    (void)wys::base::WriteAll(file.Get(), DeclareUtf8Charset(html));
    return true;
}

void CollectDocuments(FrameSaver& saver, IHTMLDocument2* document)
{
    saver.Documents().emplace(DocumentUrl(document), ComPtr<IHTMLDocument2>(document));
    ForEachFrameDocument(document, [&saver](IHTMLDocument2* frameDocument) {
        if (IsStopRequested(saver.StopFlag()))
            return;
        CollectDocuments(saver, frameDocument);
    });
}

}  // namespace wys::capture
