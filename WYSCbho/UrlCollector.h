// The collectors of the document walker: each gathers URL strings from a
// document into an ordered set (byte-wise order, each string once).
//
// UrlCollector is the base of all of them; TagCollector is the base of the
// collectors that look at the elements of one tag name. Collect always
// starts from an empty set. Anything that cannot be read from the document
// contributes nothing.
#pragma once

#include <set>
#include <string>

#include "platform/dom/HtmlDocument.h"

namespace wys::capture {

class UrlCollector {
public:
    virtual ~UrlCollector() = default;

    virtual void AddUrl(const std::string& url) { m_urls.insert(url); }
    virtual void AddUrls(const std::set<std::string>& urls) { m_urls.insert(urls.begin(), urls.end()); }
    // Empties Urls, then collects from `document`.
    virtual void Collect(IHTMLDocument2* document);

    const std::set<std::string>& Urls() const { return m_urls; }

protected:
    std::set<std::string> m_urls;
};

// Runs VisitElement on every element of the document whose tag name is
// TagName.
class TagCollector : public UrlCollector {
public:
    explicit TagCollector(std::string tagName) : m_tagName(std::move(tagName)) {}

    void Collect(IHTMLDocument2* document) override;
    virtual void VisitElement(IDispatch* element) = 0;

    const std::string& TagName() const { return m_tagName; }

private:
    std::string m_tagName;
};

}  // namespace wys::capture
