#include "platform/inet/UrlCombine.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/inet/UrlParts.h"

namespace {

struct Case {
    const char* base;
    const char* relative;
    const char* expected;  // null: the combination fails
};

void ExpectCombines(const Case& c, DWORD flags = 0)
{
    char buffer[INTERNET_MAX_URL_LENGTH + 1];
    DWORD length = sizeof buffer;
    BOOL ok = InternetCombineUrl(c.base, c.relative, buffer, &length, flags);
    if (!c.expected) {
        EXPECT_FALSE(ok) << c.base << " + " << c.relative << " gave " << buffer;
        EXPECT_EQ(InternetGetLastError(), ERROR_INTERNET_INVALID_URL);
        return;
    }
    ASSERT_TRUE(ok) << c.base << " + " << c.relative;
    EXPECT_EQ(std::string(buffer), c.expected) << c.base << " + " << c.relative;
    EXPECT_EQ(length, std::string(c.expected).size()) << c.base << " + " << c.relative;
}

}  // namespace

TEST(UrlCombine, ResolvesReferencesAsBrowsersDo)
{
    // The normal and abnormal examples of RFC 3986, section 5.4.
    const char* base = "http://a/b/c/d;p?q";
    const Case rfc[] = {
        {base, "g:h", "g:h"},
        {base, "g", "http://a/b/c/g"},
        {base, "./g", "http://a/b/c/g"},
        {base, "g/", "http://a/b/c/g/"},
        {base, "/g", "http://a/g"},
        {base, "//g", "http://g/"},
        {base, "?y", "http://a/b/c/d;p?y"},
        {base, "g?y", "http://a/b/c/g?y"},
        {base, "#s", "http://a/b/c/d;p?q#s"},
        {base, "g?y#s", "http://a/b/c/g?y#s"},
        {base, ";x", "http://a/b/c/;x"},
        {base, "", "http://a/b/c/d;p?q"},
        {base, ".", "http://a/b/c/"},
        {base, "./", "http://a/b/c/"},
        {base, "..", "http://a/b/"},
        {base, "../g", "http://a/b/g"},
        {base, "../..", "http://a/"},
        {base, "../../g", "http://a/g"},
        {base, "../../../g", "http://a/g"},
        {base, "../../../../g", "http://a/g"},
        {base, "/./g", "http://a/g"},
        {base, "/../g", "http://a/g"},
        {base, "g.", "http://a/b/c/g."},
        {base, "..g", "http://a/b/c/..g"},
        {base, "./../g", "http://a/b/g"},
        {base, "g/./h", "http://a/b/c/g/h"},
        {base, "g/../h", "http://a/b/c/h"},
        {base, "g;x=1/../y", "http://a/b/c/y"},
        {base, "g?y/./x", "http://a/b/c/g?y/./x"},
        {base, "g#s/../x", "http://a/b/c/g#s/../x"},
    };
    for (const Case& c : rfc)
        ExpectCombines(c);

    // What pages write and browsers forgive.
    const Case lenient[] = {
        {"http://site/dir/page.html", "http:img.png", "http://site/dir/img.png"},
        {"http://site/dir/page.html", "img\\sub\\a.png", "http://site/dir/img/sub/a.png"},
        {"http://site/dir/page.html", "a.png?x=\\y", "http://site/dir/a.png?x=\\y"},
        {"http://site/dir/page.html", "  my pic.png \n", "http://site/dir/my%20pic.png"},
        {"http://site/dir/page.html", "im\tg/a\n.png", "http://site/dir/img/a.png"},
        {"http://site/dir/page.html", "q.php?a=1&b=x y", "http://site/dir/q.php?a=1&b=x%20y"},
        {"http://site/dir/page.html", "caf\xC3\xA9.png", "http://site/dir/caf%C3%A9.png"},
        {"http://site/dir/page.html", "a%20b.png", "http://site/dir/a%20b.png"},
        {"http://site/dir/page.html", "{x}<y>.png", "http://site/dir/%7Bx%7D%3Cy%3E.png"},
        {"http://site/dir/page.html", "//cdn.example/lib.js", "http://cdn.example/lib.js"},
        {"https://site/dir/", "//cdn.example", "https://cdn.example/"},
        {"http://site", "a.png", "http://site/a.png"},
        {"http://site/dir/page.html", "HTTPS://Other.Example/X.png", "https://Other.Example/X.png"},
        {"http://site:8080/dir/", "../up.css", "http://site:8080/up.css"},
        {"http://user:pw@site/dir/", "a.png", "http://user:pw@site/dir/a.png"},
        {"http://site/dir/page.html#top", "#other", "http://site/dir/page.html#other"},
        {"http://site/dir/page.html", "data:image/png;base64,AAAA", "data:image/png;base64,AAAA"},
        {"http://site/dir/page.html", "javascript:void(0)", "javascript:void(0)"},
        {"file:///home/me/pages/page.html", "img/a.png", "file:///home/me/pages/img/a.png"},
        {"file:///home/me/pages/page.html", "../../b.css", "file:///home/b.css"},
        {"ftp://files.example/pub/readme.txt", "other.txt", "ftp://files.example/pub/other.txt"},
        {"mailto:someone@example.com", "img.png", nullptr},
        {"x:/a/b", "..//c", "x:/.//c"},
        {"not a url", "img.png", nullptr},
        {"", "img.png", nullptr},
    };
    for (const Case& c : lenient)
        ExpectCombines(c);
}

TEST(UrlCombine, FlagsChangeEscapingAndDotSegments)
{
    ExpectCombines({"http://site/d/", "a b/../c d.png", "http://site/d/a b/../c d.png"},
                   ICU_NO_ENCODE | ICU_NO_META);
    ExpectCombines({"http://site/d/", "a b\xC3\xA9<.png", "http://site/d/a%20b\xC3\xA9<.png"},
                   ICU_ENCODE_SPACES_ONLY);
    char buffer[64];
    DWORD length = sizeof buffer;
    EXPECT_FALSE(InternetCombineUrl("http://site/", "a", buffer, &length, 0x1));
    EXPECT_EQ(InternetGetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(CombineUrl("http://site/", "a", 0x1), std::nullopt);
}

TEST(UrlCombine, ResultMustFitTheBufferWithItsTerminator)
{
    const std::string base = "http://site/";  // 12 characters
    for (std::size_t resultLength : {253u, 254u, 255u, 300u}) {
        SCOPED_TRACE(resultLength);
        std::string relative(resultLength - base.size(), 'r');
        char buffer[255];
        std::fill(std::begin(buffer), std::end(buffer), '#');
        DWORD length = sizeof buffer;
        BOOL ok = InternetCombineUrl(base.c_str(), relative.c_str(), buffer, &length, 0);
        if (resultLength <= 254) {
            ASSERT_TRUE(ok);
            EXPECT_EQ(length, resultLength);
            EXPECT_EQ(std::string(buffer), base + relative);
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(InternetGetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
            EXPECT_EQ(length, resultLength + 1);
            EXPECT_EQ(buffer[0], '#');  // nothing written
            EXPECT_EQ(CombineUrl(base, relative), base + relative);
        }
    }
    // The limit counts the escaped result, not what the page wrote.
    std::string spaces(80, ' ');
    std::string relative = "a" + spaces + "b";  // 82 characters, 240 once escaped
    char buffer[255];
    DWORD length = sizeof buffer;
    ASSERT_TRUE(InternetCombineUrl(base.c_str(), relative.c_str(), buffer, &length, 0));
    EXPECT_EQ(length, 12u + 2 + 240);
    relative = "ab" + spaces + "c";
    length = sizeof buffer;
    EXPECT_FALSE(InternetCombineUrl(base.c_str(), relative.c_str(), buffer, &length, 0));
}

TEST(UrlParts, CracksAndComposesUrls)
{
    struct Expected {
        const char* url;
        const char* scheme;
        const char* host;
        int port;
        const char* path;
        const char* query;
        const char* user;
    } cases[] = {
        {"HTTP://Example.com/a/b.html?x=1#f", "http", "Example.com", 80, "/a/b.html", "x=1", ""},
        {"https://u:p@host:8443/", "https", "host", 8443, "/", "", "u"},
        {"ftp://files/pub", "ftp", "files", 21, "/pub", "", ""},
        {"http://[::1]:81/v6", "http", "[::1]", 81, "/v6", "", ""},
        {"file:///etc/hosts", "file", "", 0, "/etc/hosts", "", ""},
        {"mailto:a@b", "mailto", "", 0, "a@b", "", ""},
    };
    for (const Expected& e : cases) {
        SCOPED_TRACE(e.url);
        auto parts = CrackUrl(e.url);
        ASSERT_TRUE(parts);
        EXPECT_EQ(parts->scheme, e.scheme);
        EXPECT_EQ(parts->host, e.host);
        EXPECT_EQ(parts->port, e.port);
        EXPECT_EQ(parts->path, e.path);
        EXPECT_EQ(parts->query, e.query);
        EXPECT_EQ(parts->userName, e.user);
        std::string lowered = e.url;
        lowered.replace(0, parts->scheme.size(), parts->scheme);
        EXPECT_EQ(ComposeUrl(*parts), lowered);
    }
    for (const char* bad :
         {"relative/path", "http://h:70000/", "http://h:8a/", "http://[::1/", "http://a b/"})
        EXPECT_FALSE(CrackUrl(bad)) << bad;
    EXPECT_EQ(UrlScheme("JavaScript:x"), "javascript");
    EXPECT_EQ(UrlScheme("/just/a/path"), "");
}
