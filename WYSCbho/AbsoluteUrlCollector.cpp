#include "WYSCbho/AbsoluteUrlCollector.h"

#include "WYSCbho/DomText.h"
#include "platform/inet/UrlCombine.h"

namespace wys::capture {

bool AbsoluteUrlCollector::IsRelativeReference(std::string_view text)
{
    if (!text.empty() && text[0] == '\\')
        return false;
    return !(text.size() >= 2 && text[1] == ':');
}

void AbsoluteUrlCollector::Collect(IHTMLDocument2* document)
{
    UrlCollector::Collect(document);
    m_spellings.clear();
    VisitFrame(document);
}

void AbsoluteUrlCollector::VisitFrame(IHTMLDocument2* document)
{
    const std::string base = DocumentUrl(document);
    m_inner->Collect(document);
    std::set<std::string> found;
    for (const std::string& spelling : m_inner->Urls()) {
        if (spelling.empty())
            continue;
        if (!IsRelativeReference(spelling)) {
            m_spellings[spelling].insert(spelling);
            found.insert(spelling);
            continue;
        }
        char combined[kMaxCombinedUrl + 1];
        DWORD length = sizeof(combined);
        if (InternetCombineUrl(base.c_str(), spelling.c_str(), combined, &length, 0)) {
            std::string absolute(combined, length);
            m_spellings[absolute].insert(spelling);
            found.insert(std::move(absolute));
        } else {
            found.insert(spelling);
        }
    }
    AddUrls(found);
}

}  // namespace wys::capture
