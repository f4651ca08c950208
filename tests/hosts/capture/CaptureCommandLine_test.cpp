// The command line of wayscribe-capture: options, usage errors and which
// arguments name pages the browser can load.
#include <gtest/gtest.h>

#include "hosts/capture/CaptureCommandLine.h"
#include "tests/support/TempHome.h"

namespace wys::capture {
namespace {

CaptureCommandLine Parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "wayscribe-capture");
    return ParseCaptureCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CaptureCommandLine, OptionsAndUsageErrors)
{
    struct Case {
        std::vector<const char*> args;
        std::string error;  // empty: accepted
        long timeout;
        std::vector<std::string> urls;
    };
    const Case cases[] = {
        {{"http://a/"}, "", 60, {"http://a/"}},
        {{"--timeout", "5", "http://a/", "b.html"}, "", 5, {"http://a/", "b.html"}},
        {{"--timeout=7", "--", "--odd-name.html"}, "", 7, {"--odd-name.html"}},
        {{"-t", "3", "x"}, "", 3, {"x"}},
        {{}, "no URL given", 60, {}},
        {{"--timeout"}, "--timeout needs a number of seconds", 60, {}},
        {{"--timeout=0", "x"}, "--timeout takes whole seconds from 1 to 86400, not \"0\"", 60, {}},
        {{"--timeout", "5s", "x"}, "--timeout takes whole seconds from 1 to 86400, not \"5s\"", 60, {}},
        {{"--verbose", "x"}, "unknown option --verbose", 60, {}},
    };
    for (const Case& c : cases) {
        CaptureCommandLine line = Parse(c.args);
        std::string shown = c.args.empty() ? "(none)" : c.args[0];
        EXPECT_EQ(line.error, c.error) << shown;
        if (c.error.empty()) {
            EXPECT_EQ(line.timeout.count(), c.timeout) << shown;
            EXPECT_EQ(line.urls, c.urls) << shown;
        }
    }
    EXPECT_TRUE(Parse({"--help"}).help);
    EXPECT_TRUE(Parse({"--help"}).error.empty());
}

class PageTargetTest : public test::TempHomeTest {};

TEST_F(PageTargetTest, UrlsAndExistingFilesAreLoadableOthersSayWhyNot)
{
    std::string file = m_home.Path() + "/page.html";
    test::WriteFile(file, "<title>x</title>");
    struct Case {
        std::string argument;
        std::optional<std::string> target;
        std::string reason;
    };
    const Case cases[] = {
        {"http://example.com/a?b#c", "http://example.com/a?b#c", ""},
        {"HTTPS://example.com", "HTTPS://example.com", ""},
        {"ftp://host/file.txt", "ftp://host/file.txt", ""},
        {"file:///tmp/x.html", "file:///tmp/x.html", ""},
        {file, file, ""},
        {m_home.Path() + "/./page.html", file, ""},
        {"javascript:alert(1)", std::nullopt,
         "the scheme \"javascript\" cannot be loaded (http, https, ftp and file can)"},
        {"http:/example.com", std::nullopt, "not an absolute URL (\"http://\" expected)"},
        {"http:///path", std::nullopt, "the URL names no host"},
        {"http://exa\nmple.com/", std::nullopt, "the URL holds control characters"},
        {"no-such-file.html", std::nullopt, "neither a URL nor an existing file"},
        {m_home.Path(), std::nullopt, "neither a URL nor an existing file"},
        {"", std::nullopt, "neither a URL nor an existing file"},
    };
    for (const Case& c : cases) {
        std::string reason;
        EXPECT_EQ(PageTarget(c.argument, reason), c.target) << c.argument;
        EXPECT_EQ(reason, c.reason) << c.argument;
    }
}

}  // namespace
}  // namespace wys::capture
