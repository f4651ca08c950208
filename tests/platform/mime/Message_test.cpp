#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/Identifiers.h"
#include "platform/com/ComPtr.h"
#include "platform/mime/AdoStream.h"
#include "platform/mime/Cdo.h"
#include "platform/mime/CdoFactory.h"
#include "tests/platform/mime/MhtmlTestReader.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempHome.h"

using namespace std::chrono_literals;
using wys::test::HttpReply;
using wys::test::LoopbackHttpServer;
using wys::test::MhtmlArchive;

namespace {

constexpr const char* kMarker = "<Saved by Quillonix Pagestow 1.5>";

// A loopback origin on which nothing listens any more.
std::string RefusingOrigin()
{
    LoopbackHttpServer gone;
    return gone.Url("");
}

HttpReply Reply(std::string body, std::string type, int status = 200)
{
    HttpReply reply;
    reply.status = status;
    reply.body = std::move(body);
    reply.contentType = std::move(type);
    return reply;
}

std::string Binary(std::size_t size, int seed)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 31 + static_cast<std::size_t>(seed)) & 0xFF);
    return bytes;
}

CComBSTR Text(const std::string& text)
{
    return CComBSTR(text);
}

template <class T>
ComPtr<T> Create(const CLSID& clsid)
{
    ComPtr<T> object;
    EXPECT_EQ(CdoCreateInstance(clsid, nullptr, T::Iid, object.PutVoid()), S_OK);
    return object;
}

ComPtr<Field> FieldOf(IConfiguration* configuration, const CComVariant& index)
{
    ComPtr<Fields> fields;
    ComPtr<Field> field;
    EXPECT_EQ(configuration->get_Fields(fields.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(fields->get_Item(index, field.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(fields->Update(), S_OK);
    return field;
}

void SetField(IConfiguration* configuration, const OLECHAR* name, const VARIANT& value)
{
    EXPECT_EQ(FieldOf(configuration, CComVariant(CComBSTR(name).m_str))->put_Value(value), S_OK);
}

// The message as the capture prepares it, before CreateMHTMLBody.
ComPtr<IMessage> CaptureMessage(const std::string& url)
{
    auto message = Create<IMessage>(CLSID_Message);
    auto configuration = Create<IConfiguration>(CLSID_Configuration);
    SetField(configuration.Get(), cdoURLGetLatestVersion, CComVariant(false));
    EXPECT_EQ(message->putref_Configuration(configuration.Get()), S_OK);
    EXPECT_EQ(message->put_From(Text(kMarker)), S_OK);
    EXPECT_EQ(message->put_Subject(Text(url)), S_OK);
    return message;
}

HRESULT CreateBody(IMessage* message, const std::string& url, CdoMHTMLFlags flags = cdoSuppressNone)
{
    return message->CreateMHTMLBody(Text(url), flags, Text(""), Text(""));
}

HRESULT AddPart(IMessage* message, const std::string& url, IBodyPart** part = nullptr)
{
    ComPtr<IBodyPart> kept;
    HRESULT hr = message->AddRelatedBodyPart(Text(url), Text(url), cdoRefTypeLocation, Text(""), Text(""),
                                             kept.ReleaseAndGetAddressOf());
    if (part)
        *part = kept.Detach();
    return hr;
}

std::string StreamBytes(IMessage* message, const std::string& path)
{
    ComPtr<_Stream> stream;
    EXPECT_EQ(message->GetStream(stream.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(stream->SaveToFile(Text(path), adSaveCreateOverWrite), S_OK);
    return wys::test::ReadFile(path);
}

std::vector<std::string> Locations(const MhtmlArchive& archive)
{
    std::vector<std::string> out;
    for (const auto& part : archive.parts)
        out.push_back(part.Header("content-location"));
    return out;
}

class MessageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "ALL_PROXY"})
            ::unsetenv(name);
    }
    void Serve(const std::string& path, std::string body, std::string type, int status = 200)
    {
        m_server.Handle(path, Reply(std::move(body), std::move(type), status));
    }
    std::vector<std::string> Urls(const std::vector<std::string>& paths) const
    {
        std::vector<std::string> urls;
        for (const std::string& path : paths)
            urls.push_back(m_server.Url(path));
        return urls;
    }
    MhtmlArchive Archive(IMessage* message)
    {
        return wys::test::ReadMhtml(StreamBytes(message, m_home.Path() + "/archive.mht"));
    }

    wys::test::TempHome m_home;
    LoopbackHttpServer m_server;
};

}  // namespace

TEST_F(MessageTest, ArchiveHoldsThePageAndEveryResourceUnderItsLocation)
{
    const std::string logo = Binary(3000, 1), background = Binary(700, 2), inFrame = Binary(90, 3),
                      extra = Binary(5000, 4);
    std::string gone = RefusingOrigin() + "/gone.png";
    std::string longLine = "<p>";
    for (int i = 0; i < 30; ++i)
        longLine += "<a href=\"#n" + std::to_string(i) + "\" title=\"a = b\">link</a> ";
    const std::string page =
        "<html><head><link rel=stylesheet href=\"css/site.css\">\n"
        "<script src=\"/js/app.js\"></script></head>\n<body>" +
        longLine +
        "<img src=\"img/logo.png\" alt=\"logo\">\r\n<iframe src=\"frame.html\"></iframe>"
        "<img src=\"missing.png\"><img src=\"" +
        gone +
        "\"><img src=\"data:image/png;base64,AAAA\"><img src=\"img/logo.png#again\">"
        "</body></html>\n";
    Serve("/dir/page.html", page, "text/html; charset=utf-8");
    Serve("/dir/css/site.css", "body { background: url(../img/bg.png) }\n", "text/css");
    Serve("/js/app.js", "var equals = 'a=b';\n", "application/javascript");
    Serve("/dir/img/logo.png", logo, "image/png");
    Serve("/dir/img/bg.png", background, "image/png");
    Serve("/dir/frame.html", "<img src=\"inframe.gif\">", "text/html");
    Serve("/dir/inframe.gif", inFrame, "image/gif");
    Serve("/dir/missing.png", "<h1>Not Found</h1>", "text/html", 404);
    Serve("/dir/extra.png", extra, "image/png");
    const std::string url = m_server.Url("/dir/page.html");

    auto message = CaptureMessage(url);
    ASSERT_EQ(CreateBody(message.Get(), url), S_OK);
    ComPtr<IBodyPart> known, added;
    const std::string logoUrl = m_server.Url("/dir/img/logo.png");
    EXPECT_EQ(AddPart(message.Get(), logoUrl, known.ReleaseAndGetAddressOf()), S_OK);
    const std::string extraUrl = m_server.Url("/dir/extra.png");
    EXPECT_EQ(AddPart(message.Get(), extraUrl, added.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(AddPart(message.Get(), "data:image/png;base64,AAAA"), S_FALSE);
    // A part already in the message is not fetched again.
    EXPECT_EQ(m_server.RequestCount("/dir/img/logo.png"), 1);
    CComBSTR type, encoding;
    ASSERT_TRUE(added);
    EXPECT_EQ(added->get_ContentMediaType(&type), S_OK);
    EXPECT_EQ(added->get_ContentTransferEncoding(&encoding), S_OK);
    EXPECT_EQ(type.ToUtf8(), "image/png");
    EXPECT_EQ(encoding.ToUtf8(), "base64");

    const std::string file = m_home.Path() + "/page.mht";
    std::string saved = StreamBytes(message.Get(), file);
    MhtmlArchive archive = wys::test::ReadMhtml(saved);
    EXPECT_EQ(archive.Header("mime-version"), "1.0");
    EXPECT_EQ(archive.Header("from"), kMarker);
    EXPECT_EQ(archive.Header("subject"), url);
    EXPECT_NE(archive.Header("content-type").find("multipart/related"), std::string::npos);
    EXPECT_NE(archive.Header("content-type").find("type=\"text/html\""), std::string::npos);
    EXPECT_TRUE(archive.closed);
    EXPECT_EQ(saved.find('\0'), std::string::npos);

    EXPECT_EQ(Locations(archive),
              Urls({"/dir/page.html", "/dir/css/site.css", "/js/app.js", "/dir/img/logo.png",
                    "/dir/frame.html", "/dir/missing.png", "/dir/img/bg.png", "/dir/inframe.gif",
                    "/dir/img/logo.png#again", "/dir/extra.png"}));
    struct Expected {
        const char* type;
        const char* encoding;
        std::string body;
    } expected[] = {
        {"text/html; charset=utf-8", "quoted-printable", page},
        {"text/css", "quoted-printable", "body { background: url(../img/bg.png) }\n"},
        {"application/javascript", "quoted-printable", "var equals = 'a=b';\n"},
        {"image/png", "base64", logo},
        {"text/html", "quoted-printable", "<img src=\"inframe.gif\">"},
        {"text/html", "quoted-printable", "<h1>Not Found</h1>"},
        {"image/png", "base64", background},
        {"image/gif", "base64", inFrame},
        // A browser looks the part up with the fragment it was referred to with.
        {"image/png", "base64", logo},
        {"image/png", "base64", extra},
    };
    ASSERT_EQ(archive.parts.size(), std::size(expected));
    for (std::size_t i = 0; i < archive.parts.size(); ++i) {
        SCOPED_TRACE(Locations(archive)[i]);
        EXPECT_EQ(archive.parts[i].Header("content-type"), expected[i].type);
        EXPECT_EQ(archive.parts[i].Header("content-transfer-encoding"), expected[i].encoding);
        EXPECT_EQ(archive.parts[i].decoded, expected[i].body);
    }

    // The capture's fix-up finds the page's quoted spelling in the saved
    // text and puts the part's location in its place.
    const std::string spelling = "\"img/logo.png\"";
    std::size_t at = saved.find(spelling);
    ASSERT_NE(at, std::string::npos);
    saved.replace(at, spelling.size(), "\"" + logoUrl + "\"");
    MhtmlArchive fixed = wys::test::ReadMhtml(saved);
    ASSERT_EQ(fixed.parts.size(), archive.parts.size());
    EXPECT_NE(fixed.parts[0].decoded.find("<img src=\"" + logoUrl + "\""), std::string::npos);
}

TEST_F(MessageTest, FlagsLeaveOutWhatTheySuppress)
{
    Serve("/p.html",
          "<link rel=stylesheet href=s.css><img src=i.png><script src=j.js></script>"
          "<iframe src=f.html></iframe><embed src=o.swf><bgsound src=b.mid>",
          "text/html");
    Serve("/s.css", "p{}", "text/css");
    Serve("/i.png", "png", "image/png");
    Serve("/j.js", "1;", "text/javascript");
    Serve("/f.html", "<p>f</p>", "text/html");
    Serve("/o.swf", "swf", "application/x-shockwave-flash");
    Serve("/b.mid", "mid", "audio/midi");
    const std::string url = m_server.Url("/p.html");
    struct Case {
        CdoMHTMLFlags flags;
        std::vector<std::string> paths;
    } cases[] = {
        {cdoSuppressNone, {"/p.html", "/s.css", "/i.png", "/j.js", "/f.html", "/o.swf", "/b.mid"}},
        {cdoSuppressImages | cdoSuppressFrames, {"/p.html", "/s.css", "/j.js", "/o.swf", "/b.mid"}},
        {cdoSuppressStyleSheets | cdoSuppressObjects | cdoSuppressBGSounds,
         {"/p.html", "/i.png", "/j.js", "/f.html"}},
        {cdoSuppressAll, {"/p.html", "/j.js"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        auto message = CaptureMessage(url);
        ASSERT_EQ(CreateBody(message.Get(), url, c.flags), S_OK);
        EXPECT_EQ(Locations(Archive(message.Get())), Urls(c.paths));
    }
    auto message = CaptureMessage(url);
    EXPECT_EQ(CreateBody(message.Get(), url, 32), E_INVALIDARG);
}

TEST_F(MessageTest, FailuresOfTheCallSequence)
{
    Serve("/p.html", "<p>page</p>", "text/html");
    const std::string refused = RefusingOrigin();
    const std::string url = m_server.Url("/p.html");

    auto message = CaptureMessage(url);
    EXPECT_EQ(AddPart(message.Get(), m_server.Url("/p.html")), E_UNEXPECTED);  // no body yet
    EXPECT_EQ(CreateBody(message.Get(), refused + "/p.html"),
              HRESULT_FROM_WIN32(static_cast<LONG>(ERROR_INTERNET_CANNOT_CONNECT)));
    EXPECT_EQ(CreateBody(message.Get(), "file:///etc/hostname"), E_INVALIDARG);
    EXPECT_EQ(CreateBody(message.Get(), "javascript:alert(1)"), E_INVALIDARG);
    ASSERT_EQ(CreateBody(message.Get(), url), S_OK);
    EXPECT_EQ(AddPart(message.Get(), refused + "/r.png"),
              HRESULT_FROM_WIN32(static_cast<LONG>(ERROR_INTERNET_CANNOT_CONNECT)));
    EXPECT_EQ(AddPart(message.Get(), "javascript:void(0)"), E_INVALIDARG);
    EXPECT_EQ(AddPart(message.Get(), "file:///etc/passwd"), E_INVALIDARG);
    EXPECT_EQ(message->AddRelatedBodyPart(Text(url), Text(url), 7, Text(""), Text(""), nullptr),
              E_INVALIDARG);
    // A failed call leaves the message as it was: the page alone.
    EXPECT_EQ(Archive(message.Get()).parts.size(), 1u);
}

TEST_F(MessageTest, StreamSizeAndSavingRules)
{
    Serve("/p.html", "<p>" + std::string(2000, 'x') + "</p>", "text/html");
    const std::string url = m_server.Url("/p.html");
    auto message = CaptureMessage(url);
    ASSERT_EQ(CreateBody(message.Get(), url), S_OK);
    ComPtr<_Stream> stream;
    ASSERT_EQ(message->GetStream(stream.ReleaseAndGetAddressOf()), S_OK);
    ADO_LONGPTR size = 0;
    ASSERT_EQ(stream->get_Size(&size), S_OK);
    EXPECT_GT(size, 1000);

    const std::string file = m_home.Path() + "/saved.mht";
    wys::test::WriteFile(file, "earlier");
    EXPECT_EQ(stream->SaveToFile(Text(file), adSaveCreateNotExist), adErrWriteFile);
    EXPECT_EQ(wys::test::ReadFile(file), "earlier");
    EXPECT_EQ(stream->SaveToFile(Text(file), adSaveCreateOverWrite), S_OK);
    EXPECT_EQ(static_cast<ADO_LONGPTR>(wys::test::ReadFile(file).size()), size);
    const std::string fresh = m_home.Path() + "/fresh.mht";
    EXPECT_EQ(stream->SaveToFile(Text(fresh), adSaveCreateNotExist), S_OK);
    EXPECT_EQ(wys::test::ReadFile(fresh), wys::test::ReadFile(file));
    const std::string nowhere = m_home.Path() + "/no/such/folder/x.mht";
    EXPECT_EQ(stream->SaveToFile(Text(nowhere), adSaveCreateOverWrite), adErrWriteFile);
    EXPECT_EQ(stream->SaveToFile(Text(fresh), 3), E_INVALIDARG);
    for (const auto& entry : std::filesystem::directory_iterator(m_home.Path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos);
}

TEST_F(MessageTest, ProxyFieldsAndEnvironmentReachTheFetches)
{
    LoopbackHttpServer proxy;
    proxy.Handle("http://pages.invalid/p.html", Reply("<img src=\"i.png\">", "text/html"));
    proxy.Handle("http://pages.invalid/i.png", Reply("png", "image/png"));
    proxy.Handle("http://other.invalid/q.html", Reply("<p>q</p>", "text/html"));

    auto message = CaptureMessage("http://pages.invalid/p.html");
    ComPtr<IConfiguration> configuration;
    ASSERT_EQ(message->get_Configuration(configuration.ReleaseAndGetAddressOf()), S_OK);
    SetField(configuration.Get(), cdoURLProxyServer, CComVariant(CComBSTR(proxy.Url("")).m_str));
    ASSERT_EQ(CreateBody(message.Get(), "http://pages.invalid/p.html"), S_OK);
    EXPECT_EQ(Locations(Archive(message.Get())),
              (std::vector<std::string>{"http://pages.invalid/p.html", "http://pages.invalid/i.png"}));

    ::setenv("http_proxy", proxy.Url("").c_str(), 1);
    auto plain = Create<IMessage>(CLSID_Message);
    EXPECT_EQ(CreateBody(plain.Get(), "http://other.invalid/q.html"), S_OK);
    ::unsetenv("http_proxy");
    std::vector<std::string> hosts;
    for (const auto& request : proxy.Requests())
        hosts.push_back(request.Header("Host"));
    EXPECT_EQ(hosts, (std::vector<std::string>{"pages.invalid", "pages.invalid", "other.invalid"}));
}

TEST_F(MessageTest, StopCheckEndsTheFetches)
{
    Serve("/p.html", "<img src=slow.png><img src=after.png>", "text/html");
    Serve("/after.png", "png", "image/png");
    HttpReply slow = Reply("late", "image/png");
    slow.delay = 5s;
    m_server.Handle("/slow.png", slow);
    const std::string url = m_server.Url("/p.html");
    auto message = CaptureMessage(url);
    ComPtr<IFetchStop> control;
    ASSERT_EQ(message.As(&control), S_OK);
    auto deadline = std::chrono::steady_clock::now() + 300ms;
    auto late = [&] { return std::chrono::steady_clock::now() > deadline; };
    ASSERT_EQ(control->SetStopCheck(late), S_OK);
    EXPECT_EQ(CreateBody(message.Get(), url), E_ABORT);
    EXPECT_LT(std::chrono::steady_clock::now() - deadline, 1s);
    EXPECT_EQ(m_server.RequestCount("/after.png"), 0);
    EXPECT_EQ(AddPart(message.Get(), m_server.Url("/after.png")), E_UNEXPECTED);
}

TEST(CdoFactory, CreatesItsTwoClassesAndNothingElse)
{
    ComPtr<IUnknown> object;
    EXPECT_EQ(CdoCreateInstance(CLSID_WYSCURLBase, nullptr, IID_IUnknown, object.PutVoid()),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CdoCreateInstance(CLSID_Message, nullptr, IID_IConfiguration, object.PutVoid()), E_NOINTERFACE);
    EXPECT_FALSE(object);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CdoGetClassObject(CLSID_Configuration, IID_IClassFactory, factory.PutVoid()), S_OK);
    ComPtr<IConfiguration> configuration;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IConfiguration, configuration.PutVoid()), S_OK);
    EXPECT_EQ(factory->CreateInstance(configuration.Get(), IID_IUnknown, object.PutVoid()),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(CdoGetClassObject(CLSID_SurfBand, IID_IClassFactory, factory.PutVoid()),
              CLASS_E_CLASSNOTAVAILABLE);
}

TEST(CdoFactory, FieldsAreFoundByNameWithoutRegardToCase)
{
    auto configuration = Create<IConfiguration>(CLSID_Configuration);
    auto first = FieldOf(configuration.Get(), CComVariant(CComBSTR(u"urn:Some/Name").m_str));
    CComVariant value;
    ASSERT_EQ(first->get_Value(&value), S_OK);
    EXPECT_EQ(value.vt, VT_EMPTY);
    ASSERT_EQ(first->put_Value(CComVariant(LONG{42})), S_OK);
    auto again = FieldOf(configuration.Get(), CComVariant(CComBSTR(u"URN:some/name").m_str));
    EXPECT_TRUE(IsSameObject(first.Get(), again.Get()));
    auto byIndex = FieldOf(configuration.Get(), CComVariant(LONG{0}));
    ASSERT_EQ(byIndex->get_Value(&value), S_OK);
    EXPECT_EQ(value.lVal, 42);
}
