// What the browser window hands its helper objects once a page has loaded:
// documents of the document object model built from the live page, as the
// page's script sees it (its serialised document, and those of its frames
// that the page may read; frames of other origins are left out, as a
// browser denies a page their documents).
//
// The snapshot is taken by running kSnapshotScript in the page; its result,
// a JSON text, is turned into documents by BuildPageSnapshot on any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"

namespace wys::browser_host {

// A script that returns the snapshot of the page it runs in as a JSON text,
// or null while the page is still settling after its load (run it again a
// little later):
// {url, contentType, html, frames: [{src, document: {...} | null}, ...]},
// `url` being the URL of the document's navigation (after redirects; not
// changed by history.replaceState), `html` its markup with the scripts that
// ran made inert and noscript elements left out.
extern const char* const kSnapshotScript;

// One document whose DocumentComplete event is due, in the order the events
// are fired.
struct SnapshotDocument {
    ComPtr<IDispatch> document;  // free-threaded, as built documents are
    std::string url;
};

struct PageSnapshot {
    ComPtr<IDispatch> document;  // the top document; null when the text was not a snapshot
    std::string title;           // the HTML document's title; empty otherwise
    // Every readable frame's document, innermost first in document order,
    // then the top document last.
    std::vector<SnapshotDocument> completed;
};

// Builds the documents of a snapshot. `pageUrl` is the URL the top document
// is reported with (the address the window shows, which for a saved archive
// is the archive's own). Frames are matched to the frame elements of their
// parent's serialised document by their src attribute, in document order;
// an element without a readable document gets none. A text that is not a
// snapshot gives an empty result.
// Each HTML document built is also kept as shown in the internet library's
// cache (ShownDocuments.h), for archives of the page.
PageSnapshot BuildPageSnapshot(std::string_view json, const std::string& pageUrl);

// The top document's `url` in a snapshot; empty when the text is none.
std::string SnapshotUrl(std::string_view json);

}  // namespace wys::browser_host
