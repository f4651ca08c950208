// A small web site on a loopback server for capture tests: a page with
// images (two with one file name, one with a query, one ending in a slash),
// a script, a style sheet, an image input, a Flash object and an iframe; a
// frameset page; each also under a ".php" name. The documents the browser
// would show are built from the same HTML.
#pragma once

#include <set>
#include <string>

#include "tests/WYSCbho/CaptureTesting.h"
#include "tests/support/LoopbackHttpServer.h"

namespace wys::test {

class CaptureSite {
public:
    CaptureSite();

    LoopbackHttpServer& Server() { return m_server; }
    std::string Url(const std::string& path) const { return m_server.Url(path); }
    // URL -> HTML of every page of the site.
    const PageSet& Pages() const { return m_pages; }
    // The document the browser shows for `path` (frames included).
    ComPtr<IHTMLDocument2> Document(const std::string& path) const;

    // Local names the HTML route gives the resources of the page, and those
    // of the frameset page's frames.
    static std::set<std::string> PageResourceNames();
    static std::set<std::string> FramesetNames();

private:
    LoopbackHttpServer m_server;
    PageSet m_pages;
};

// Writes page.html and its image img/pic.png under `folder`, for captures of
// a page that is itself a file.
void WriteFileSite(const std::string& folder);

}  // namespace wys::test
