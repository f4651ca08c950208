#include "platform/mime/PageReferences.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string KindName(ReferenceKind kind)
{
    switch (kind) {
        case ReferenceKind::Image:
            return "image";
        case ReferenceKind::Sound:
            return "sound";
        case ReferenceKind::Frame:
            return "frame";
        case ReferenceKind::Object:
            return "object";
        case ReferenceKind::StyleSheet:
            return "style";
        case ReferenceKind::Script:
            return "script";
    }
    return "?";
}

std::vector<std::string> Describe(const std::vector<PageReference>& references)
{
    std::vector<std::string> out;
    for (const PageReference& r : references)
        out.push_back(KindName(r.kind) + " " + r.url);
    return out;
}

}  // namespace

TEST(PageReferences, FindsWhatAPageEmbeds)
{
    struct Case {
        const char* html;
        std::vector<std::string> expected;
    } cases[] = {
        {"<img src=\"a.png\"><IMG SRC='b.gif'><img src=c.jpg alt=x><img src=\"\">",
         {"image a.png", "image b.gif", "image c.jpg"}},
        {"<img srcset=\"s1.png 1x, s2.png 2x,s3.png\" src=s0.png>",
         {"image s0.png", "image s1.png", "image s2.png", "image s3.png"}},
        {"<input type=text src=no.png><input TYPE=\"Image\" src=\"go.png\">", {"image go.png"}},
        {"<body background=\"bg.jpg\"><table background=t.png><td background=d.png>",
         {"image bg.jpg", "image t.png", "image d.png"}},
        {"<link rel=\"Alternate StyleSheet\" href=\"alt.css\"><link rel=icon href=i.ico>"
         "<link rel=stylesheet href='main.css'>",
         {"style alt.css", "style main.css"}},
        {"<script src=\"lib.js\"></script><script>var s = '<img src=\"not.png\">';</script>",
         {"script lib.js"}},
        {"<frameset><frame src=\"left.html\"><frame src=right.html></frameset><iframe src=in.html>"
         "</iframe>",
         {"frame left.html", "frame right.html", "frame in.html"}},
        {"<embed src=movie.swf><object data=\"clip.swf\"></object><bgsound src=tune.mid>"
         "<video src=v.mp4 poster=p.jpg><source src=v.webm></video><audio src=a.mp3>",
         {"object movie.swf", "object clip.swf", "sound tune.mid", "object v.mp4", "image p.jpg",
          "object v.webm", "object a.mp3"}},
        {"<!-- <img src=\"hidden.png\"> --><img src=\"shown.png\"><!doctype html><?xml x?>",
         {"image shown.png"}},
        {"<img src=\"q.php?a=1&amp;b=2&#38;c=&#x33;\">", {"image q.php?a=1&b=2&c=3"}},
        {"<img src = \"  spaced.png \" ><img\nsrc=\"lined.png\"/>", {"image spaced.png", "image lined.png"}},
        {"<textarea><img src=typed.png></textarea><title>a <img src=t.png></title>"
         "<iframe src=f.html><img src=fallback.png></iframe><noscript><img src=ns.png></noscript>",
         {"frame f.html", "image ns.png"}},
        {"<div style=\"background: URL( 'tile.png' )\">x < y <p>", {"image tile.png"}},
        {"<style>@import \"more.css\"; @import url(most.css); /* url(no.png) */"
         " h1 { background:url(h.png) } .f { filter: url(#svg) }</style>",
         {"style more.css", "style most.css", "image h.png"}},
        {"<img src=\"unclosed.png", {"image unclosed.png"}},
        {"<style", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Describe(FindHtmlReferences(c.html).references), c.expected) << c.html;
}

TEST(PageReferences, TakesTheFirstBase)
{
    auto found = FindHtmlReferences("<base target=_top><base href=\"/root/\"><base href=\"/no/\">");
    ASSERT_TRUE(found.base);
    EXPECT_EQ(*found.base, "/root/");
    EXPECT_FALSE(FindHtmlReferences("<p>no base</p>").base);
}

TEST(PageReferences, ReadsStyleSheets)
{
    EXPECT_EQ(Describe(FindStyleReferences("@IMPORT 'a.css' screen;\n"
                                           "body { background-image: url(\"b g.png\") }\n"
                                           "@font-face { src: url(f.woff2) format('woff2') }")),
              (std::vector<std::string>{"style a.css", "image b g.png", "image f.woff2"}));
}
