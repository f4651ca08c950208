// Turns what an inner collector finds in a document into absolute URLs, and
// remembers under which spellings each absolute URL occurs in the page.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>

#include "WYSCbho/UrlCollector.h"

namespace wys::capture {

class AbsoluteUrlCollector final : public UrlCollector {
public:
    // Longest combined URL, in characters without the terminator: longer
    // combinations fail and the string stays as the page wrote it.
    static constexpr std::size_t kMaxCombinedUrl = 254;

    // `inner` is not owned and must outlive every use.
    explicit AbsoluteUrlCollector(UrlCollector* inner) : m_inner(inner) {}

    // Empties Urls and Spellings, then VisitFrame(document).
    void Collect(IHTMLDocument2* document) override;

    // Runs the inner collector on `document` and adds its strings, each
    // combined with the document's URL when it is a relative reference (the
    // original platform's test: anything that neither starts with a
    // backslash nor has a drive colon as its second character, so "http://"
    // URLs are combined too and come out normalised). Empty strings are
    // skipped: they name the page itself.
    void VisitFrame(IHTMLDocument2* document);

    // Absolute URL -> the spellings under which the page wrote it.
    const std::map<std::string, std::set<std::string>>& Spellings() const { return m_spellings; }

    // The relative-reference test described above.
    static bool IsRelativeReference(std::string_view text);

private:
    UrlCollector* m_inner;
    std::map<std::string, std::set<std::string>> m_spellings;
};

}  // namespace wys::capture
