// Private to platform/browser: loading a page with all its frames into
// documents, on a worker thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/browser/src/PageLoader.h"
#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"
#include "platform/inet/CResourcePreload.h"

namespace wys::browser {

// Frames nested deeper than this below the top document are not loaded.
inline constexpr int kMaxFrameDepth = 6;
// Frame documents loaded for one page at most, so that a page cannot have
// the browser fetch without end.
inline constexpr int kMaxFramesPerPage = 100;

// One document that finished loading, in the order its DocumentComplete
// event is due.
struct CompletedDocument {
    ComPtr<IDispatch> document;  // free-threaded (see HtmlDocumentBuilder.h)
    std::string url;             // after redirects
};

struct LoadedDocumentTree {
    LoadedPage page;             // the top document's load; its body is consumed
    ComPtr<IDispatch> document;  // null when the page did not load
    std::string title;           // the HTML document's title; empty otherwise
    // Every frame document, innermost first, in document order, then the top
    // document last. Frames that failed to load have no entry.
    std::vector<CompletedDocument> completed;
    // The style sheets, scripts and images of the documents, still being
    // fetched for whoever asks the internet library for them; the window
    // keeps it while it shows the page. Null for a page not from the network.
    std::shared_ptr<CResourcePreload> preload;
};

// Loads `url` and builds its document, starting on the resources each
// document embeds (its style sheets with what they import, scripts, images)
// before it is built; frames are loaded in document order
// within the same time-out. A frame whose URL is the page's own or that of a
// frame around it is not loaded again, nor is a file URL inside a remote
// page, nor a scheme other than http, https, ftp and file. Thread-safe.
LoadedDocumentTree LoadDocumentTree(const std::string& url, const PageLoadOptions& options);

}  // namespace wys::browser
