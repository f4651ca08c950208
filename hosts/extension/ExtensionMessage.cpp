#include "hosts/extension/ExtensionMessage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <cmath>

#include "hosts/extension/NativeMessageReader.h"

namespace wys::extension {
namespace {

struct TypeName {
    const char* name;
    ExtensionMessageType type;
};

constexpr TypeName kTypes[] = {
    {"hello", ExtensionMessageType::Hello},
    {"tab-opened", ExtensionMessageType::TabOpened},
    {"tab-closed", ExtensionMessageType::TabClosed},
    {"loading", ExtensionMessageType::Loading},
    {"complete", ExtensionMessageType::Complete},
    {"navigated", ExtensionMessageType::Navigated},
    {"navigate-failed", ExtensionMessageType::NavigateFailed},
    {"focus", ExtensionMessageType::Focus},
};

// Reads the fields of one message; every failure throws the reason.
class CFieldReader {
public:
    explicit CFieldReader(const QJsonObject& object) : m_object(object) {}

    std::string Text(const char* name, std::size_t limit, bool required = true) const
    {
        QJsonValue value = m_object.value(QLatin1String(name));
        if (value.isUndefined() && !required)
            return {};
        if (!value.isString())
            throw std::string("\"") + name + "\" is not a text";
        QByteArray bytes = value.toString().toUtf8();
        if (static_cast<std::size_t>(bytes.size()) > limit)
            throw std::string("\"") + name + "\" is longer than " + std::to_string(limit) + " bytes";
        return bytes.toStdString();
    }

    long long Integer(const char* name, long long lowest, long long highest) const
    {
        QJsonValue value = m_object.value(QLatin1String(name));
        double number = value.toDouble(std::nan(""));
        if (!value.isDouble() || std::isnan(number) || std::floor(number) != number || number < lowest ||
            number > highest)
            throw std::string("\"") + name + "\" is not a whole number from " + std::to_string(lowest) +
                " to " + std::to_string(highest);
        return static_cast<long long>(number);
    }

    bool Flag(const char* name) const
    {
        QJsonValue value = m_object.value(QLatin1String(name));
        if (value.isUndefined())
            return false;
        if (!value.isBool())
            throw std::string("\"") + name + "\" is not true or false";
        return value.toBool();
    }

    std::optional<double> Seconds(const char* name) const
    {
        QJsonValue value = m_object.value(QLatin1String(name));
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        if (!value.isDouble() || !std::isfinite(value.toDouble()))
            throw std::string("\"") + name + "\" is not a time";
        return value.toDouble();
    }

    QJsonArray List(const char* name, std::size_t limit) const
    {
        QJsonValue value = m_object.value(QLatin1String(name));
        if (value.isUndefined())
            return {};
        if (!value.isArray())
            throw std::string("\"") + name + "\" is not a list";
        QJsonArray list = value.toArray();
        if (static_cast<std::size_t>(list.size()) > limit)
            throw std::string("\"") + name + "\" has more than " + std::to_string(limit) + " entries";
        return list;
    }

private:
    const QJsonObject& m_object;
};

constexpr long long kHighestTab = 0x7FFFFFFF;
constexpr long long kHighestRequest = 1LL << 53;

std::string PageUrl(const CFieldReader& fields)
{
    std::string url = fields.Text("url", kMaxUrlLength);
    if (url.empty())
        throw std::string("\"url\" is empty");
    return url;
}

std::vector<BrowserCookie> Cookies(const CFieldReader& fields)
{
    std::vector<BrowserCookie> cookies;
    for (const QJsonValue& entry : fields.List("cookies", kMaxCookies)) {
        if (!entry.isObject())
            throw std::string("a cookie is not an object");
        QJsonObject object = entry.toObject();
        CFieldReader cookie(object);
        BrowserCookie made;
        made.name = cookie.Text("name", kMaxCookieField);
        made.value = cookie.Text("value", kMaxCookieField);
        made.domain = cookie.Text("domain", kMaxCookieField);
        made.path = cookie.Text("path", kMaxCookieField);
        made.secure = cookie.Flag("secure");
        made.httpOnly = cookie.Flag("httpOnly");
        made.hostOnly = cookie.Flag("hostOnly");
        made.expires = cookie.Seconds("expires");
        // Line breaks and tabs would let a cookie forge others in a cookie
        // file or a request header.
        for (const std::string* field : {&made.name, &made.value, &made.domain, &made.path}) {
            for (char c : *field) {
                if (c == '\n' || c == '\r' || c == '\t' || c == '\0')
                    throw std::string("a cookie holds a control character");
            }
        }
        if (made.name.empty() && made.value.empty())
            throw std::string("a cookie has neither name nor value");
        cookies.push_back(std::move(made));
    }
    return cookies;
}

ExtensionMessage Read(const QJsonObject& object)
{
    CFieldReader fields(object);
    std::string type = fields.Text("type", 64);
    ExtensionMessage message;
    bool known = false;
    for (const TypeName& entry : kTypes) {
        if (type == entry.name) {
            message.type = entry.type;
            known = true;
        }
    }
    if (!known)
        throw "unknown type \"" + type + "\"";
    switch (message.type) {
        case ExtensionMessageType::Hello:
            message.text = fields.Text("browser", 256, false);
            break;
        case ExtensionMessageType::TabOpened:
        case ExtensionMessageType::TabClosed:
            message.tab = static_cast<int>(fields.Integer("tab", 0, kHighestTab));
            break;
        case ExtensionMessageType::Loading:
            message.tab = static_cast<int>(fields.Integer("tab", 0, kHighestTab));
            message.url = PageUrl(fields);
            break;
        case ExtensionMessageType::Complete:
            message.tab = static_cast<int>(fields.Integer("tab", 0, kHighestTab));
            message.url = PageUrl(fields);
            message.title = fields.Text("title", kMaxTitleLength, false);
            message.snapshot = fields.Text("snapshot", kMaxMessageFromBrowser);
            message.cookies = Cookies(fields);
            break;
        case ExtensionMessageType::Navigated:
            message.request = fields.Integer("request", 1, kHighestRequest);
            message.tab = static_cast<int>(fields.Integer("tab", 0, kHighestTab));
            break;
        case ExtensionMessageType::NavigateFailed:
            message.request = fields.Integer("request", 1, kHighestRequest);
            message.text = fields.Text("error", kMaxErrorLength, false);
            break;
        case ExtensionMessageType::Focus:
            break;
    }
    return message;
}

}  // namespace

std::optional<ExtensionMessage> ParseExtensionMessage(std::string_view json, std::string* why)
{
    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(
        QByteArray::fromRawData(json.data(), static_cast<qsizetype>(json.size())), &error);
    if (error.error != QJsonParseError::NoError) {
        *why = "not JSON: " + error.errorString().toStdString();
        return std::nullopt;
    }
    if (!document.isObject()) {
        *why = "not a JSON object";
        return std::nullopt;
    }
    try {
        return Read(document.object());
    } catch (const std::string& reason) {
        *why = reason;
        return std::nullopt;
    }
}

std::string NavigateMessage(long long request, int tab, const std::string& url)
{
    QJsonObject object{{"type", "navigate"},
                       {"request", static_cast<double>(request)},
                       {"url", QString::fromStdString(url)}};
    if (tab >= 0)
        object.insert("tab", tab);
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

bool IsNavigableUrl(std::string_view url)
{
    if (url.empty() || url.size() > kMaxUrlLength)
        return false;
    QUrl parsed(QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size())), QUrl::StrictMode);
    if (!parsed.isValid())
        return false;
    QString scheme = parsed.scheme().toLower();
    return scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "file";
}

}  // namespace wys::extension
