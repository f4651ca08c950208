#include "tests/hosts/extension/support/ExtensionTest.h"

#include <dlfcn.h>

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <chrono>
#include <filesystem>

#include "common/Identifiers.h"
#include "common/StringConvert.h"
#include "platform/browser/BrowserExtensions.h"
#include "platform/rpc/Apartment.h"

namespace wys::test {
namespace {

HttpReply Reply(std::string body, std::string type = "text/html")
{
    HttpReply reply;
    reply.body = std::move(body);
    reply.contentType = std::move(type);
    return reply;
}

// A picture that shows at once whether it is there.
std::string PicturePng()
{
    QImage image(240, 120, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 240, 120);
    gradient.setColorAt(0, QColor(30, 90, 200));
    gradient.setColorAt(1, QColor(240, 160, 20));
    painter.fillRect(image.rect(), gradient);
    painter.fillRect(80, 30, 80, 60, QColor(20, 140, 60));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

std::string Paragraphs(const char* word, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "<p>" + std::string(word) + " paragraph " + std::to_string(i) +
                ": the quick brown fox jumps over the lazy dog, twice over.</p>\n";
    return text;
}

const char* const kStyle =
    R"(body { font-family: "DejaVu Sans", sans-serif; margin: 16px; background: #fdf6e3; }
h1 { color: #b0306a; border-bottom: 4px solid #268bd2; }
.box { display: inline-block; width: 90px; height: 60px; margin: 6px; }
.a { background: #859900; } .b { background: #dc322f; } .c { background: #6c71c4; }
li { color: #073642; }
)";

// Builds the whole page from what the site answers: the page exists only
// in the live document (opened from the disk, the script finds no site and
// leaves the page as it is).
const char* const kScript = R"((function () {
  var items;
  try {
    var request = new XMLHttpRequest();
    request.open('GET', 'items.json', false);
    request.send();
    if (request.status !== 200)
      return;
    items = JSON.parse(request.responseText);
  } catch (e) {
    return;
  }
  var list = '';
  for (var i = 0; i < items.length; ++i)
    list += '<li>' + items[i].name + ', ' + items[i].count + ' in stock</li>';
  document.getElementById('app').innerHTML =
    '<h1>Built by a script</h1><div class="box a"></div><div class="box b"></div>' +
    '<div class="box c"></div><ol>' + list + '</ol>';
  document.title = 'Built by a script';
})();
)";

std::string Items()
{
    std::string json = "[";
    for (int i = 1; i <= 12; ++i)
        json += std::string(i > 1 ? "," : "") + "{\"name\":\"Item " + std::to_string(i) +
                "\",\"count\":" + std::to_string(i * i) + "}";
    return json + "]";
}

}  // namespace

CVisitSite::CVisitSite()
{
    m_server.Handle("/visit/style.css", Reply(kStyle, "text/css"));
    m_server.Handle("/visit/picture.png", Reply(PicturePng(), "image/png"));
    m_server.Handle("/visit/app.js", Reply(kScript, "text/javascript"));
    m_server.Handle("/visit/items.json", Reply(Items(), "application/json"));
    m_server.Handle(
        "/visit/static.html",
        Reply("<html><head><title>A static page</title><link rel=\"stylesheet\" href=\"style.css\">"
              "</head><body><h1>A static page</h1><img src=\"picture.png\" width=\"240\" height=\"120\">"
              "<div class=\"box a\"></div><div class=\"box c\"></div>\n" +
              Paragraphs("Static", 10) + "</body></html>"));
    m_server.Handle(
        "/visit/scripted.php",
        Reply("<html><head><title>Loading</title><link rel=\"stylesheet\" href=\"style.css\"></head>"
              "<body><div id=\"app\">Nothing yet</div><script src=\"app.js\"></script></body></html>"));
    m_server.Handle(
        "/visit/frames.php",
        Reply("<html><head><title>Two frames</title><link rel=\"stylesheet\" href=\"style.css\"></head>"
              "<body><h1>Two frames <img src=\"picture.png\" width=\"60\" height=\"30\"></h1>"
              "<iframe src=\"left.html\" width=\"360\" height=\"260\"></iframe>"
              "<iframe src=\"right.html\" width=\"360\" height=\"260\"></iframe></body></html>"));
    m_server.Handle(
        "/visit/left.html",
        Reply("<html><head><link rel=\"stylesheet\" href=\"style.css\"></head><body>"
              "<h1>Left</h1><img src=\"picture.png\" width=\"240\" height=\"120\"></body></html>"));
    m_server.Handle("/visit/right.html",
                    Reply("<html><head><link rel=\"stylesheet\" href=\"style.css\"></head><body>"
                          "<div class=\"box b\"></div>" +
                          Paragraphs("Right", 3) + "</body></html>"));
    m_server.Handle("/slow/page.php",
                    Reply("<html><head><title>Slow to save</title></head><body><img src=\"pic.png\">" +
                          Paragraphs("Slow", 10) + "</body></html>"));
    std::string picture = PicturePng();
    auto served = std::make_shared<std::atomic<int>>(0);
    m_server.Handle("/slow/pic.png", [picture, served](const HttpRequest&) {
        HttpReply reply = Reply(picture, "image/png");
        // The browser gets it at once; the capture that downloads it again waits.
        if (served->fetch_add(1) > 0)
            reply.delay = std::chrono::milliseconds(kSlowMs);
        return reply;
    });
}

void RegisterLibrary(const char* path)
{
    void* library = ::dlopen(path, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    auto registerServer = reinterpret_cast<HRESULT (*)()>(::dlsym(library, "DllRegisterServer"));
    ASSERT_NE(registerServer, nullptr);
    ASSERT_EQ(registerServer(), S_OK);
}

void PumpFor(int ms)
{
    DWORD index = 0;
    CoWaitForMultipleHandles(0, static_cast<DWORD>(ms), 0, nullptr, &index);
}

void ExtensionTest::SetUp()
{
    ServerProcessTest::SetUp();
    RegisterLibrary(WYS_CAPTURE_LIBRARY);
    ASSERT_EQ(AddBrowserHelperObject(CLSID_WYSCSaver, "WYSCbho"), ERROR_SUCCESS);
    EnterApartment();
    m_history = CreateHistory();
    ASSERT_TRUE(m_history);
}

void ExtensionTest::TearDown()
{
    m_history = nullptr;
    ServerProcessTest::TearDown();
}

std::string ExtensionTest::MakeProfile(const std::string& name, bool allowPrivate)
{
    std::string folder = m_home.Path() + "/" + name;
    QJsonObject manifest{
        {"name", "wayscribe.native_host"},
        {"description", "Wayscribe"},
        {"path", WYS_NATIVE_HOST},
        {"type", "stdio"},
        {"allowed_origins", QJsonArray{QString("chrome-extension://%1/").arg(kExtensionId)}}};
    WriteFile(folder + "/NativeMessagingHosts/wayscribe.native_host.json",
              QJsonDocument(manifest).toJson().toStdString());
    if (allowPrivate) {
        // What "Allow in Incognito" on the extensions page stores.
        QJsonObject settings{{kExtensionId, QJsonObject{{"incognito", true}}}};
        QJsonObject preferences{{"extensions", QJsonObject{{"settings", settings}}}};
        WriteFile(folder + "/Default/Preferences", QJsonDocument(preferences).toJson().toStdString());
    }
    return folder;
}

bool ExtensionTest::HasRecord(const std::string& url)
{
    ULONG count = CountOf(m_history.Get());
    for (ULONG i = 0; i < count && count != kNoRecord; ++i) {
        if (UrlAt(m_history.Get(), i) == url)
            return true;
    }
    return false;
}

std::string ExtensionTest::WaitForRecord(const std::string& url, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        ULONG count = CountOf(m_history.Get());
        for (ULONG i = 0; i < count && count != kNoRecord; ++i) {
            CUrlDateHolder data;
            if (SUCCEEDED(m_history->GetData(data.Receive(), i)) && BstrToNarrow(data.Url) == url)
                return BstrToNarrow(data.Path);
        }
        PumpFor(100);
    } while (std::chrono::steady_clock::now() < deadline);
    return {};
}

}  // namespace wys::test
