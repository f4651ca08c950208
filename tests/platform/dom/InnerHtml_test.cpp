#include <gtest/gtest.h>

#include <gumbo.h>

#include <algorithm>

#include "tests/platform/dom/DomTestSupport.h"

namespace {

using namespace std::string_view_literals;
using wys::test::BuildPage;
using wys::test::InnerHtmlOf;
using wys::test::RootInnerHtml;

// An independent picture of a tree, straight from the parser: one line per
// node, attributes sorted, adjacent character data joined.
void DumpChildren(const GumboVector& children, int depth, std::string& out);

bool IsCharacterData(const GumboNode* node)
{
    return node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_WHITESPACE ||
           node->type == GUMBO_NODE_CDATA;
}

std::string ElementName(const GumboElement& element)
{
    if (element.tag != GUMBO_TAG_UNKNOWN)
        return gumbo_normalized_tagname(element.tag);
    GumboStringPiece piece = element.original_tag;
    gumbo_tag_from_original_text(&piece);
    std::string text(piece.data, piece.length);
    std::transform(text.begin(), text.end(), text.begin(), ::tolower);
    return text;
}

void DumpElement(const GumboElement& element, int depth, std::string& out)
{
    std::vector<std::string> attributes;
    for (unsigned i = 0; i < element.attributes.length; ++i) {
        auto* a = static_cast<const GumboAttribute*>(element.attributes.data[i]);
        attributes.push_back(std::to_string(a->attr_namespace) + ":" + a->name + "=" + a->value);
    }
    std::sort(attributes.begin(), attributes.end());
    out += std::string(static_cast<std::size_t>(depth) * 2, ' ') + "<" +
           std::to_string(element.tag_namespace) + ":" + ElementName(element);
    for (const std::string& a : attributes)
        out += " " + a;
    out += ">\n";
    DumpChildren(element.children, depth + 1, out);
}

void DumpChildren(const GumboVector& children, int depth, std::string& out)
{
    std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    std::string text;
    for (unsigned i = 0; i < children.length; ++i) {
        auto* node = static_cast<const GumboNode*>(children.data[i]);
        if (IsCharacterData(node)) {
            text += node->v.text.text;
            continue;
        }
        if (!text.empty())
            out += indent + "\"" + text + "\"\n";
        text.clear();
        if (node->type == GUMBO_NODE_COMMENT)
            out += indent + "<!--" + node->v.text.text + "-->\n";
        else
            DumpElement(node->v.element, depth, out);
    }
    if (!text.empty())
        out += indent + "\"" + text + "\"\n";
}

// The children of the html element, as the parser builds them from `html`.
std::string DumpRootChildren(const std::string& html)
{
    GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, html.data(), html.size());
    std::string out;
    DumpChildren(output->root->v.element.children, 0, out);
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return out;
}

TEST(InnerHtml, SerialisesAsBrowsersDo)
{
    struct Case {
        std::string_view body;
        std::string_view expected;
    };
    const Case cases[] = {
        {"<p class=a>x &amp; y &lt; z&nbsp;&gt;</p>", "<p class=\"a\">x &amp; y &lt; z&nbsp;&gt;</p>"},
        {"<p title='say \"hi\" & <bye>'>", "<p title=\"say &quot;hi&quot; &amp; <bye>\"></p>"},
        {"<a href=\"?a=1&amp;b=2\" HREFLANG=en>", "<a href=\"?a=1&amp;b=2\" hreflang=\"en\"></a>"},
        {"<br><img src=a.png alt><input disabled><hr/>x",
         "<br><img src=\"a.png\" alt=\"\"><input disabled=\"\"><hr>x"},
        {"<script>if (a < b && c > d) x = \"</p>&amp;\";</script>",
         "<script>if (a < b && c > d) x = \"</p>&amp;\";</script>"},
        {"<style>p > a { content: \"&\" }</style>", "<style>p > a { content: \"&\" }</style>"},
        {"<xmp><b>&amp;</b></xmp>", "<xmp><b>&amp;</b></xmp>"},
        {"<pre>\n\nkept</pre><textarea>\n\nt&lt;</textarea>",
         "<pre>\n\nkept</pre><textarea>\n\nt&lt;</textarea>"},
        {"<pre>\nfirst line dropped</pre>", "<pre>first line dropped</pre>"},
        {"<!-- note --><p>a<!---->b", "<!-- note --><p>a<!---->b</p>"},
        {"<svg viewbox='0 0 1 1'><use xlink:href=#a "
         "/><foreignobject><b>x</b></foreignobject></svg>",
         "<svg viewBox=\"0 0 1 1\"><use xlink:href=\"#a\"></use><foreignObject><b>x</b>"
         "</foreignObject></svg>"},
        {"<My-Widget Data-X=1>t</My-Widget>", "<my-widget data-x=\"1\">t</my-widget>"},
        {"<template><img src=t.png></template>", "<template><img src=\"t.png\"></template>"},
        {"<table><tr><td>c</table>", "<table><tbody><tr><td>c</td></tr></tbody></table>"},
        {"<p>unclosed<div>block", "<p>unclosed</p><div>block</div>"},
        {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC"},
        // A NUL-named attribute is named U+FFFD, so that it reads back as itself.
        {"<p \0 title=x>"sv, "<p \xEF\xBF\xBD=\"\" title=\"x\"></p>"},
    };
    for (const Case& c : cases) {
        ComPtr<IHTMLDocument2> page = BuildPage(std::string("<body>") + std::string(c.body));
        EXPECT_EQ(InnerHtmlOf(page.Get(), u"body"), c.expected) << "input: " << c.body;
    }
}

TEST(InnerHtml, EmptyForVoidElementsAndRawInsideScript)
{
    ComPtr<IHTMLDocument2> page = BuildPage("<img src=x><script>a<b</script>");
    EXPECT_EQ(InnerHtmlOf(page.Get(), u"img"), "");
    EXPECT_EQ(InnerHtmlOf(page.Get(), u"script"), "a<b");
}

TEST(InnerHtml, RootInnerHtmlSavedAsPageParsesToTheSameTree)
{
    const std::string pages[] = {
        R"(<!DOCTYPE html><html lang=en><head><meta charset="utf-8"><title>T &amp; t</title>
<style>a > b { x: "&lt;" }</style><script>if (a<b) document.write("</div>")</script>
</head>
<body class="main" data-x='a"b'>
<!-- comment -- with dashes -->
<p>Text &amp; &lt;entities&gt; &nbsp;&copy; caf&eacute;<br>line
<pre>

pre text</pre><textarea>
t</textarea>
<table><tr><td>cell<td>cell 2</table>
<ul><li>one<li>two</ul>
<svg width=10><circle r="1"/><a xlink:href="#x"><text>t</text></a></svg>
<math><mi>x</mi></math>
<noscript><img src=n.png></noscript>
<template><p>inert</template>
<iframe src="f.html">fallback <b>text</b></iframe>
<unknown-element attr=1>u</unknown-element>)",
        "<frameset cols='50%,50%'><frame src=a.html><frame src=b.html></frameset>",
        "<div><p>unclosed<b>bold<i>both</b>italic</i><table>x<tr><td>y</div>",
        std::string("bin\0ary\xFF\xFE<p title='\0'>x\0y", 25),
    };
    for (const std::string& original : pages) {
        ComPtr<IHTMLDocument2> page = BuildPage(original);
        std::string saved = "<HTML>" + RootInnerHtml(page.Get()) + "</HTML>";
        EXPECT_EQ(DumpRootChildren(saved), DumpRootChildren(original)) << "page: " << original;
    }
}

}  // namespace
