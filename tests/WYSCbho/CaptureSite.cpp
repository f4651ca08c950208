#include "tests/WYSCbho/CaptureSite.h"

#include "tests/support/TempHome.h"

namespace wys::test {
namespace {

const char* const kPage = R"html(<html><head><title>Test: page</title>
<link rel="stylesheet" href="css/site.css">
<script src="js/app.js"></script>
</head><body>
<img src="img/logo.png"><img src="other/logo.png"><img src="/site/img/photo.jpg?size=big"><img src="img/">
<input type="image" src="img/go.gif">
<object classid="clsid:D27CDB6E-AE6D-11CF-96B8-444553540000"><param name="movie" value="media/intro.swf"></object>
<iframe src="frame.html"></iframe>
<p>)html";

const char* const kFrameset = R"html(<html><head><title>Frames</title></head>
<frameset cols="50%,50%"><frame src="left.html"><frame src="right.html"></frameset></html>)html";

HttpReply Reply(const std::string& body, const std::string& type)
{
    HttpReply reply;
    reply.body = body;
    reply.contentType = type;
    return reply;
}

}  // namespace

CaptureSite::CaptureSite()
{
    const std::string page = std::string(kPage) + std::string(1500, 'p') + "</p></body></html>";
    for (const char* path : {"/site/page.html", "/site/page.php"})
        m_pages[Url(path)] = page;
    for (const char* path : {"/site/frames.html", "/site/frames.php"})
        m_pages[Url(path)] = kFrameset;
    m_pages[Url("/site/frame.html")] = R"(<p>inner frame <img src="img/logo.png">)";
    m_pages[Url("/site/left.html")] = R"(<p>left <a href="right.html">right</a>)" + std::string(1500, 'l');
    m_pages[Url("/site/right.html")] = R"(<p>right)";
    for (const auto& [url, html] : m_pages)
        m_server.Handle(url.substr(Url("").size()), Reply(html, "text/html"));

    m_server.Handle("/site/css/site.css", Reply("body { color: black }", "text/css"));
    m_server.Handle("/site/js/app.js", Reply("var app = 1;", "text/javascript"));
    m_server.Handle("/site/img/logo.png", Reply("PNG-LOGO-A", "image/png"));
    m_server.Handle("/site/other/logo.png", Reply("PNG-LOGO-B", "image/png"));
    m_server.Handle("/site/img/photo.jpg", Reply("JPEG-PHOTO", "image/jpeg"));
    m_server.Handle("/site/img/go.gif", Reply("GIF-GO", "image/gif"));
    m_server.Handle("/site/media/intro.swf", Reply("SWF-INTRO", "application/x-shockwave-flash"));
    m_server.Handle("/site/img/", Reply("<p>listing", "text/html"));
}

ComPtr<IHTMLDocument2> CaptureSite::Document(const std::string& path) const
{
    return BuildSite(m_pages, Url(path));
}

std::set<std::string> CaptureSite::PageResourceNames()
{
    return {"site.css", "app.js", "logo.png", "logo1.png", "photo.jpg", "go.gif", "intro.swf", "frame.html"};
}

std::set<std::string> CaptureSite::FramesetNames()
{
    return {"left.html", "right.html"};
}

void WriteFileSite(const std::string& folder)
{
    WriteFile(folder + "/img/pic.png", "PNG-PIC");
    WriteFile(folder + "/page.html",
              R"(<html><head><title>Local</title></head><body><img src="img/pic.png"></body></html>)");
}

}  // namespace wys::test
