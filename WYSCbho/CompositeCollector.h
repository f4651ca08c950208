// Collectors combined: the union of what each child collects, in the
// children's order.
#pragma once

#include <vector>

#include "WYSCbho/UrlCollector.h"

namespace wys::capture {

class CompositeCollector final : public UrlCollector {
public:
    // The children are not owned and must outlive every Collect.
    explicit CompositeCollector(std::vector<UrlCollector*> children) : m_children(std::move(children)) {}

    void Collect(IHTMLDocument2* document) override
    {
        UrlCollector::Collect(document);
        for (UrlCollector* child : m_children) {
            child->Collect(document);
            AddUrls(child->Urls());
        }
    }

private:
    std::vector<UrlCollector*> m_children;
};

}  // namespace wys::capture
