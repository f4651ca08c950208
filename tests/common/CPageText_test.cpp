// The text a person reads on a saved page, from archives and HTML files as
// they come: encoded, in other character sets, broken, huge or binary.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "common/contentindex/CPageText.h"
#include "platform/mime/MimeCodec.h"
#include "tests/support/TempHome.h"

namespace wys::test {
namespace {

std::string Part(const std::string& headers, const std::string& body)
{
    return "\r\n------=_Part\r\n" + headers + "\r\n\r\n" + body;
}

std::string Archive(const std::string& parts)
{
    return "From: <x>\r\nMIME-Version: 1.0\r\nContent-Type: multipart/related;\r\n\ttype=\"text/html\"; "
           "boundary=\"----=_Part\"\r\n\r\npreamble" +
           parts + "\r\n------=_Part--\r\nepilogue";
}

TEST(CPageText, ArchivesGiveTheTextOfTheirHtmlPartsDecoded)
{
    const std::string html =
        "<html><head><title>T\xC3\xADtulo</title><script>var hiddenword;</script></head>"
        "<body><p>you don't want to design and implement a whole new language</p>"
        "<p>caf&eacute; &amp; cr&#232;me</p></body></html>";
    struct Case {
        const char* what;
        std::string message;
        std::string expected;
    } cases[] = {
        {"quoted-printable with soft line breaks",
         Archive(Part(
             "Content-Type: text/html; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable",
             "<html><head><title>T=C3=ADtulo</title></head><body><p>design =\r\nand imple=\r\nment</p>")),
         "T\xC3\xADtulo\ndesign and implement"},
        {"base64, and a part that is no HTML",
         Archive(Part("Content-Type: text/html\r\nContent-Transfer-Encoding: base64", Base64Encode(html)) +
                 Part("Content-Type: application/javascript\r\nContent-Transfer-Encoding: quoted-printable",
                      "var prototypeonly = 1;") +
                 Part("Content-Type: image/png\r\nContent-Transfer-Encoding: base64",
                      Base64Encode("\x89PNG\0\0\x01"))),
         "T\xC3\xADtulo\nyou don't want to design and implement a whole new language\ncaf\xC3\xA9 & "
         "cr\xC3\xA8me"},
        {"a declared charset, and one that cannot be decoded",
         Archive(Part("Content-Type: text/html; charset=\"ISO-8859-1\"\r\nContent-Transfer-Encoding: "
                      "quoted-printable",
                      "<p>W=F6rterbuch</p>") +
                 Part("Content-Type: text/html; charset=x-no-such-charset\r\nContent-Transfer-Encoding: 8bit",
                      "<p>na\xC3\xAFve</p>")),
         "W\xC3\xB6rterbuch\nna\xC3\xAFve"},
        {"invalid UTF-8 and a NUL",
         Archive(Part("Content-Type: text/html; charset=utf-8\r\nContent-Transfer-Encoding: binary",
                      std::string("<p>ok \xFF\xC3 end</p><p>cut\0after</p>", 30))),
         "ok \xEF\xBF\xBD\xEF\xBF\xBD end\ncut"},
        {"nested multipart, lines ending in LF alone",
         "Content-Type: multipart/related; boundary=outer\n\n--outer\nContent-Type: multipart/alternative; "
         "boundary=inner\n\n--inner\nContent-Type: text/plain\n\nplain words\n--inner\nContent-Type: "
         "text/html\n"
         "Content-Transfer-Encoding: quoted-printable\n\n<b>nested=\nword</b>\n--inner--\n--outer--\n",
         "nestedword"},
        {"no multipart at all",
         "Content-Type: text/html; charset=utf-16le\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
             Base64Encode(std::string("<\0p\0>\0w\0i\0d\0e\0<\0/\0p\0>\0", 20)),
         "wide"},
        {"a delimiter that never closes",
         "Content-Type: multipart/related; boundary=b\r\n\r\n--b\r\nContent-Type: text/html\r\n\r\n<p>open",
         "open"},
        {"garbage", std::string("\0\x01\x02 not a message at all", 25), ""},
    };
    for (const Case& c : cases) {
        const PageText page = CPageText::FromArchive(c.message);
        EXPECT_EQ(page.Text, c.expected) << c.what;
        EXPECT_TRUE(page.Complete) << c.what;
    }
}

class CPageTextFile : public TempHomeTest {};

TEST_F(CPageTextFile, PagesWithTheirFramesHugeOnesAndDeepOnes)
{
    const std::string day = m_home.Path() + "/2024/March/1";
    std::filesystem::create_directories(day + "/p_files/sub");
    WriteFile(day + "/p.htm",
              "<html><head><title>Frames</title></head><body><p>top</p><iframe "
              "src=\"p_files/f%20one.htm\"></iframe>"
              "<frameset><frame src=\"p_files/missing.htm\"><frame src=\"../../../../etc/passwd\">"
              "<frame src=\"http://example.com/p_files/f.htm\"></frameset></body></html>");
    WriteFile(day + "/p_files/f one.htm",
              "<p>first frame</p><iframe src=\"sub/g.htm\"></iframe><iframe src=\"../p.htm\">");
    WriteFile(day + "/p_files/sub/g.htm", "<p>second frame</p><iframe src=\"../f one.htm\"></iframe>");
    PageStamp stamp;
    std::optional<PageText> page = CPageText::ReadFile(day + "/p.htm", &stamp);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->Text, "Frames\ntop\nfirst frame\nsecond frame");
    EXPECT_EQ(stamp, CPageText::StampOf(day + "/p.htm"));
    EXPECT_FALSE(CPageText::ReadFile(day + "/none.htm"));

    // A page of 100 MB is read as far as the limits go, and says so.
    {
        std::ofstream big(day + "/big.htm", std::ios::binary);
        big << "<html><body><p>firstword</p>";
        const std::string chunk = "<div><p>Lorem ipsum dolor sit amet.</p></div>\n";
        for (std::size_t written = 0; written < (std::size_t{100} << 20); written += chunk.size())
            big << chunk;
        big << "<p>lastword</p></body></html>";
    }
    const auto start = std::chrono::steady_clock::now();
    page = CPageText::ReadFile(day + "/big.htm");
    ASSERT_TRUE(page);
    EXPECT_FALSE(page->Complete);
    EXPECT_TRUE(page->Text.starts_with("firstword\nLorem ipsum")) << page->Text.substr(0, 40);
    EXPECT_EQ(page->Text.find("lastword"), std::string::npos);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    std::filesystem::remove(day + "/big.htm");

    // Nesting deeper than any real page is read as deep as it makes sense,
    // in a moment; what is nested deeper is not read.
    std::string deep = "<p>shallowword</p>";
    for (int i = 0; i < 200000; ++i)
        deep += "<div><b>";
    deep += "deepword";
    WriteFile(day + "/deep.htm", deep);
    const auto deepStart = std::chrono::steady_clock::now();
    page = CPageText::ReadFile(day + "/deep.htm");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->Text, "shallowword");
    EXPECT_FALSE(page->Complete);
    EXPECT_LT(std::chrono::steady_clock::now() - deepStart, std::chrono::seconds(5));
    // Lists and paragraphs whose end tags are left out nest nothing.
    std::string list = "<ul>";
    for (int i = 0; i < 2000; ++i)
        list += "<li><p>item";
    list += "</ul><p>after the list";
    WriteFile(day + "/list.htm", list);
    page = CPageText::ReadFile(day + "/list.htm");
    ASSERT_TRUE(page);
    EXPECT_TRUE(page->Complete);
    EXPECT_TRUE(page->Text.ends_with("item\nafter the list")) << page->Text.substr(page->Text.size() - 40);
}

TEST_F(CPageTextFile, ManyStampsAtOnceSeeWhatOneStampSeesLocksIncluded)
{
    const std::string folder = m_home.Path() + "/h";
    std::filesystem::create_directories(folder + "/day/sub");
    for (const char* name : {"own.htm", "locked.htm", "shared.htm", "closed.htm", "later.htm"})
        WriteFile(folder + "/day/" + name, name);
    ASSERT_EQ(::mkfifo((folder + "/day/fifo.htm").c_str(), 0600), 0);
    ::chmod((folder + "/day/closed.htm").c_str(), 0);
    const int exclusive = ::open((folder + "/day/locked.htm").c_str(), O_RDONLY | O_CLOEXEC);
    const int reading = ::open((folder + "/day/shared.htm").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(exclusive, LOCK_EX), 0);
    ASSERT_EQ(::flock(reading, LOCK_SH), 0);
    const int dir = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    const CPageStamps stamps(dir);
    stamps.MayBeLocked(0);  // the table of locks is read by now
    const int late = ::open((folder + "/day/later.htm").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(late, LOCK_EX), 0);
    for (const char* path : {"day/own.htm", "day/locked.htm", "day/shared.htm", "day/closed.htm",
                             "day/fifo.htm", "day/sub", "day/none.htm", "day/../day/own.htm"}) {
        EXPECT_EQ(stamps.StampAt(path), CPageText::StampAt(dir, path)) << path;
    }
    EXPECT_TRUE(stamps.StampAt("day/own.htm"));
    EXPECT_TRUE(stamps.StampAt("day/shared.htm")) << "a reader's lock stops no reader";
    EXPECT_FALSE(stamps.StampAt("day/locked.htm"));
    std::optional<std::uint64_t> unsure;
    EXPECT_TRUE(stamps.QuickStampAt("day/locked.htm", &unsure)) << "the table is not asked";
    EXPECT_TRUE(unsure && stamps.MayBeLocked(*unsure));
    EXPECT_FALSE(stamps.StampAt("day/fifo.htm"));
    EXPECT_TRUE(stamps.StampAt("day/later.htm")) << "locked after the stamps were made";
    EXPECT_FALSE(CPageStamps(dir).StampAt("day/later.htm"));
    for (int fd : {exclusive, reading, late, dir})
        ::close(fd);

    EXPECT_EQ(CPageStamps::LockedInodes("1: FLOCK  ADVISORY  WRITE 4711 fe:00:10985875 0 EOF\n"
                                        "1: -> FLOCK  ADVISORY  WRITE 4712 fe:00:10985875 0 EOF\n"
                                        "2: FLOCK  ADVISORY  READ  4713 fe:00:42 0 EOF\n"
                                        "3: POSIX  ADVISORY  WRITE 4714 fe:00:43 0 EOF\n"
                                        "4: OFDLCK ADVISORY  WRITE -1 fe:00:44 0 EOF\n"
                                        "5: FLOCK  ADVISORY  WRITE 4715 00:2d:7 0 EOF\n"
                                        "6: FLOCK  ADVISORY  WRITE 4716 00:2d:x7 0 EOF"),
              (std::vector<std::uint64_t>{7, 10985875}));
}

}  // namespace
}  // namespace wys::test
