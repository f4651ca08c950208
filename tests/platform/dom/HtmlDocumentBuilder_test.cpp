#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <random>
#include <thread>

#include "platform/com/Utf.h"
#include "tests/platform/dom/DomTestSupport.h"

namespace {

using wys::test::All;
using wys::test::BuildPage;
using wys::test::Item;
using wys::test::Length;
using wys::test::ReadEach;
using wys::test::ReadString;
using wys::test::RootInnerHtml;
using wys::test::TagNames;
using wys::test::Tags;

std::size_t Count(const std::string& text, std::string_view what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Runs `body` on a thread with a small stack, as a recursion over the
// nesting depth would overflow it.
void RunOnSmallStack(std::function<void()> body)
{
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, 512 * 1024), 0);
    pthread_t thread;
    auto run = [](void* argument) -> void* {
        (*static_cast<std::function<void()>*>(argument))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, run, &body), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

TEST(HtmlDocumentBuilder, ContentTypeDecidesWhetherTheDocumentIsHtml)
{
    struct Case {
        std::string_view type;
        bool html;
    };
    for (const Case& c : {Case{"text/html", true}, Case{" Text/HTML ; charset=ISO-8859-1", true},
                          Case{"application/xhtml+xml", true}, Case{"image/png", false},
                          Case{"text/plain", false}, Case{"", false}, Case{"text/htmlx", false}}) {
        EXPECT_EQ(IsHtmlContentType(c.type), c.html) << c.type;
        ComPtr<IDispatch> document;
        ASSERT_EQ(BuildDocument("\x89PNG\r\n<p>", c.type, "http://a.test/x.png", CharsetDeclarations::Keep,
                                {}, document.ReleaseAndGetAddressOf()),
                  S_OK);
        ComPtr<IHTMLDocument2> html;
        EXPECT_EQ(document.As(&html), c.html ? S_OK : E_NOINTERFACE) << c.type;
    }
    EXPECT_EQ(BuildHtmlDocument("", "u", CharsetDeclarations::Keep, {}, nullptr), E_POINTER);
    EXPECT_EQ(CreateNonHtmlDocument(nullptr), E_POINTER);
}

TEST(HtmlDocumentBuilder, CharsetDeclarationsNameUtf8WhenAsked)
{
    struct Case {
        std::string_view head, declared;
    };
    const Case cases[] = {
        {"<meta charset=ISO-8859-1>", "<meta charset=\"utf-8\">"},
        {"<meta http-equiv=Content-Type content='text/html; charset=windows-1252'>",
         "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"},
        {"<meta HTTP-EQUIV=content-type content='text/html;CHARSET = \"koi8-r\" ; x'>",
         "<meta http-equiv=\"content-type\" "
         "content=\"text/html;CHARSET = &quot;utf-8&quot; ; x\">"},
        {"<meta http-equiv=content-type content='text/html; charset=\"unclosed'>",
         "<meta http-equiv=\"content-type\" content=\"text/html; charset=&quot;unclosed\">"},
        {"<meta name=description content='charset=latin1'>",
         "<meta name=\"description\" content=\"charset=latin1\">"},
    };
    for (const Case& c : cases) {
        std::string html = "<head>" + std::string(c.head) + "</head>";
        ComPtr<IDispatch> built;
        ASSERT_EQ(BuildHtmlDocument(html, "http://a.test/", CharsetDeclarations::DeclareUtf8, {},
                                    built.ReleaseAndGetAddressOf()),
                  S_OK);
        ComPtr<IHTMLDocument2> page;
        ASSERT_EQ(built.As(&page), S_OK);
        EXPECT_EQ(wys::test::InnerHtmlOf(page.Get(), u"head"), c.declared) << c.head;
    }
    EXPECT_EQ(wys::test::InnerHtmlOf(BuildPage("<meta charset=ISO-8859-1>").Get(), u"head"),
              "<meta charset=\"ISO-8859-1\">");
}

TEST(HtmlDocumentBuilder, EmptyAndMalformedBodiesStillGiveAWholeDocument)
{
    for (std::string_view body :
         {"", "<", "</", "<!--", "<p", "<html><html><body><body>", "</div></span></html>text",
          "<table><td><td><tr><caption>", "<div><p><b>text<table><tr><td>cell</div></i></span>"}) {
        ComPtr<IHTMLDocument2> page = BuildPage(body);
        ASSERT_TRUE(page) << body;
        std::vector<std::string> names = TagNames(All(page.Get()).Get());
        ASSERT_GE(names.size(), 3u) << body;
        EXPECT_EQ(names[0], "HTML") << body;
        EXPECT_EQ(Length(Tags(All(page.Get()).Get(), u"html").Get()), 1) << body;
    }
}

TEST(HtmlDocumentBuilder, DeepNestingNeedsNoDeepStack)
{
    constexpr int kDepth = 10000;
    std::string html;
    for (int i = 0; i < kDepth; ++i)
        html += "<div>";
    html += "deep";
    RunOnSmallStack([&] {
        ComPtr<IHTMLDocument2> page = BuildPage(html);
        ASSERT_TRUE(page);
        EXPECT_EQ(Length(Tags(All(page.Get()).Get(), u"div").Get()), kDepth);
        std::string inner = RootInnerHtml(page.Get());
        EXPECT_EQ(Count(inner, "<div>"), static_cast<std::size_t>(kDepth));
        EXPECT_EQ(Count(inner, "</div>"), static_cast<std::size_t>(kDepth));
        EXPECT_NE(inner.find("<div>deep</div></div>"), std::string::npos);
        EXPECT_EQ(inner.substr(inner.size() - 13), "</div></body>");
        // The page's document is released on this thread too.
    });
}

TEST(HtmlDocumentBuilder, HugeAttributesBinaryBodiesAndNulsAreKept)
{
    std::string huge(8 << 20, 'a');
    ComPtr<IHTMLDocument2> page = BuildPage("<img src=\"" + huge + "\">");
    ComPtr<IHTMLElementCollection> images;
    ASSERT_EQ(page->get_images(images.ReleaseAndGetAddressOf()), S_OK);
    auto sources = ReadEach<IHTMLImgElement>(images.Get(),
                                             [](IHTMLImgElement* e, BSTR* out) { return e->get_src(out); });
    ASSERT_EQ(sources.size(), 1u);
    EXPECT_EQ(sources[0].size(), huge.size());

    // NULs read as U+FFFD where the parser keeps them, and end nothing early.
    std::string withNuls("<title>a\0b</title><img src='x\0y'><p>after", 42);
    page = BuildPage(withNuls);
    EXPECT_EQ(ReadString([&](BSTR* out) { return page->get_title(out); }),
              "a\xEF\xBF\xBD"
              "b");
    ASSERT_EQ(page->get_images(images.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(ReadEach<IHTMLImgElement>(images.Get(),
                                        [](IHTMLImgElement* e, BSTR* out) { return e->get_src(out); }),
              (std::vector<std::string>{"x\xEF\xBF\xBDy"}));
    EXPECT_NE(RootInnerHtml(page.Get()).find("<p>after</p>"), std::string::npos);

    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        std::string binary(4096, '\0');
        for (char& c : binary)
            c = static_cast<char>(random());
        page = BuildPage(binary);
        ASSERT_TRUE(page);
        std::string inner = RootInnerHtml(page.Get());
        // Whatever came in, what goes out is valid UTF-8.
        EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(inner)), inner) << "round " << round;
    }
}

TEST(HtmlDocumentBuilder, OneDocumentIsReadFromManyThreadsAtOnce)
{
    std::string html = "<title>shared</title>";
    for (int i = 0; i < 200; ++i)
        html += "<p><img src=i" + std::to_string(i) +
                ".png><script src=s.js></script>"
                "<link rel=stylesheet href=c.css><object "
                "classid='clsid:D27CDB6E-AE6D-11CF-96B8-444553540000'>"
                "<param name=movie value=m.swf></object></p>";
    ComPtr<IHTMLDocument2> page = BuildPage(html);
    const std::string expected = RootInnerHtml(page.Get());

    std::atomic<int> mismatches{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        // Each thread takes its own reference, and the last one out may be any of them.
        readers.emplace_back([&mismatches, &expected, page] {
            for (int round = 0; round < 10; ++round) {
                ComPtr<IHTMLElementCollection> images;
                page->get_images(images.ReleaseAndGetAddressOf());
                auto sources = ReadEach<IHTMLImgElement>(
                    images.Get(), [](IHTMLImgElement* e, BSTR* out) { return e->get_src(out); });
                ComPtr<IHTMLObjectElement> object;
                Item(Tags(All(page.Get()).Get(), u"object").Get(), 199).As(&object);
                ComPtr<IDispatch> player;
                object->get_object(player.ReleaseAndGetAddressOf());
                if (sources.size() != 200 || sources[199] != "i199.png" || !player ||
                    RootInnerHtml(page.Get()) != expected)
                    ++mismatches;
            }
        });
    }
    page = nullptr;
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
