#include "WYSCbho/ParseUrl.h"

#include <gtest/gtest.h>

namespace wys::capture {
namespace {

TEST(ParseUrl, SchemeNumbersAndDefaultPorts)
{
    struct Case {
        const char* url;
        int scheme;
        int port;
    };
    const Case cases[] = {
        {"ftp://h/a", kSchemeFtp, 21},        {"gopher://h/a", kSchemeGopher, 70},
        {"http://h/a", kSchemeHttp, 80},      {"HTTPS://h/a", kSchemeHttps, 443},
        {"file:///tmp/a", kSchemeFile, 0},    {"news:comp.lang", kSchemeNews, 0},
        {"MailTo:a@b", kSchemeMailto, 0},     {"socks://h", kSchemeSocks, 1080},
        {"about:blank", kSchemeUnknown, 0},   {"javascript:go()", kSchemeUnknown, 0},
        {"res://x.dll/a", kSchemeUnknown, 0}, {"http://h:8080/a", kSchemeHttp, 8080},
    };
    for (const Case& c : cases) {
        std::optional<UrlParts> parts = ParseUrl(c.url);
        ASSERT_TRUE(parts) << c.url;
        EXPECT_EQ(parts->Scheme, c.scheme) << c.url;
        EXPECT_EQ(parts->Port, c.port) << c.url;
    }
}

TEST(ParseUrl, SplitsAuthorityPathAndExtraInformation)
{
    std::optional<UrlParts> parts = ParseUrl("http://joe:secret@[::1]:81/dir/a.php?x=1#top");
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->SchemeName, "http");
    EXPECT_EQ(parts->UserName, "joe");
    EXPECT_EQ(parts->Password, "secret");
    EXPECT_EQ(parts->HostName, "[::1]");
    EXPECT_EQ(parts->Port, 81);
    EXPECT_EQ(parts->UrlPath, "/dir/a.php");
    EXPECT_EQ(parts->ExtraInfo, "?x=1#top");

    parts = ParseUrl("http://host");
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->HostName, "host");
    EXPECT_EQ(parts->UrlPath, "");

    parts = ParseUrl("file:///home/u/page.htm");
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->HostName, "");
    EXPECT_EQ(parts->UrlPath, "/home/u/page.htm");
}

TEST(ParseUrl, DecodesBeforeSplitting)
{
    std::optional<UrlParts> parts = ParseUrl("http://h/a%2Fb%20c.png%3Fq=1");
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->UrlPath, "/a/b c.png");
    EXPECT_EQ(parts->ExtraInfo, "?q=1");

    parts = ParseUrl("http://h/100%zz%4");
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->UrlPath, "/100%zz%4");

    parts = ParseUrl("http://h/a%00b");
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->UrlPath, std::string("/a\0b", 4));
}

TEST(ParseUrl, FailsOnMissingSchemeBadPortAndOverlongParts)
{
    EXPECT_FALSE(ParseUrl("no scheme here"));
    EXPECT_FALSE(ParseUrl(":nothing"));
    EXPECT_FALSE(ParseUrl("http://h:99999/"));
    EXPECT_FALSE(ParseUrl("http://h:8x/"));
    EXPECT_FALSE(ParseUrl("http://" + std::string(257, 'h') + "/"));
    EXPECT_FALSE(ParseUrl("http://h/" + std::string(2048, 'a')));
    EXPECT_FALSE(ParseUrl(std::string(33, 's') + "://h/"));

    // 2083 decoded characters parse, 2084 do not.
    const std::string longest = "http://h/" + std::string(26, 'a') + "?" + std::string(2047, 'b');
    ASSERT_EQ(longest.size(), UrlParts::kMaxDecodedUrl);
    EXPECT_TRUE(ParseUrl(longest));
    EXPECT_FALSE(ParseUrl("http://h/c" + longest.substr(9)));
    // The limit counts the decoded text: escapes may make the URL longer.
    std::string escaped = "http://h/";
    for (int i = 0; i < 700; ++i)
        escaped += "%41";
    EXPECT_TRUE(ParseUrl(escaped));
}

}  // namespace
}  // namespace wys::capture
