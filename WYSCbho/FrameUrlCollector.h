// The URLs of the documents shown in a document's frames and iframes (one
// level: frames inside frames are not looked at).
#pragma once

#include "WYSCbho/UrlCollector.h"

namespace wys::capture {

class FrameUrlCollector final : public UrlCollector {
public:
    void Collect(IHTMLDocument2* document) override;
    // Adds the frame document's URL.
    void VisitFrame(IHTMLDocument2* frameDocument);
};

}  // namespace wys::capture
