#include "platform/mime/CMessage.h"

#include <ctime>

#include "platform/com/ComError.h"
#include "platform/com/Utf.h"
#include "platform/inet/UrlParts.h"
#include "platform/mime/CConfiguration.h"
#include "platform/mime/CStream.h"
#include "platform/mime/PageCollector.h"

namespace {

std::string Narrow(BSTR text)
{
    return Utf16ToUtf8(BstrView(text));
}

HRESULT CopyOut(const CComBSTR& value, BSTR* out)
{
    if (!out)
        return E_POINTER;
    *out = value.Copy();
    return *out || value.IsNull() ? S_OK : E_OUTOFMEMORY;
}

Credentials CredentialsOf(BSTR userName, BSTR password)
{
    return {Narrow(userName), Narrow(password)};
}

}  // namespace

HRESULT CBodyPart::get_ContentMediaType(BSTR* type)
{
    return CopyOut(CComBSTR(MediaTypeOf(m_part.contentType)), type);
}

HRESULT CBodyPart::get_ContentTransferEncoding(BSTR* encoding)
{
    return CopyOut(CComBSTR(IsQuotedPrintablePart(m_part) ? "quoted-printable" : "base64"), encoding);
}

HRESULT CMessage::get_Configuration(IConfiguration** configuration)
{
    if (!configuration)
        return E_POINTER;
    return m_configuration.CopyTo(configuration);
}

HRESULT CMessage::putref_Configuration(IConfiguration* configuration)
{
    m_configuration = configuration;
    return S_OK;
}

HRESULT CMessage::get_From(BSTR* from)
{
    return CopyOut(m_from, from);
}

HRESULT CMessage::put_From(BSTR from)
{
    m_from = CComBSTR::CopyOf(from);
    return S_OK;
}

HRESULT CMessage::get_Subject(BSTR* subject)
{
    return CopyOut(m_subject, subject);
}

HRESULT CMessage::put_Subject(BSTR subject)
{
    m_subject = CComBSTR::CopyOf(subject);
    return S_OK;
}

HRESULT CMessage::CreateMHTMLBody(BSTR url, CdoMHTMLFlags flags, BSTR userName, BSTR password)
{
    return ComBoundary([&]() -> HRESULT {
        std::string pageUrl = Narrow(url);
        if ((flags & ~cdoSuppressAll) != 0 || !IsFetchedScheme(pageUrl))
            return E_INVALIDARG;
        ApplyConfiguration();
        // Not insisting on the latest version takes the documents the
        // browser shows, as the platform's cache would give them.
        PageVersion version = m_fetcher.LatestVersion() ? PageVersion::Latest : PageVersion::Shown;
        std::vector<MimeBodyPart> parts =
            CollectPageParts(m_fetcher, pageUrl, flags, CredentialsOf(userName, password), version);
        std::vector<ComPtr<CBodyPart>> objects;
        for (MimeBodyPart& part : parts) {
            ComPtr<CBodyPart> object;
            object.Attach(CreateComObject<CBodyPart>(std::move(part)));
            objects.push_back(std::move(object));
        }
        m_parts = std::move(objects);
        return S_OK;
    });
}

HRESULT CMessage::AddRelatedBodyPart(BSTR url, BSTR reference, CdoReferenceType referenceType, BSTR userName,
                                     BSTR password, IBodyPart** bodyPart)
{
    return ComBoundary([&]() -> HRESULT {
        if (bodyPart)
            *bodyPart = nullptr;
        if (m_parts.empty())
            return E_UNEXPECTED;
        if (referenceType != cdoRefTypeId && referenceType != cdoRefTypeLocation)
            return E_INVALIDARG;
        std::string source = Narrow(url);
        std::string name = Narrow(reference);
        if (UrlScheme(source) == "data")
            return S_FALSE;
        if (!IsFetchedScheme(source) || name.empty())
            return E_INVALIDARG;
        auto hand = [bodyPart](const ComPtr<CBodyPart>& part) {
            if (bodyPart) {
                *bodyPart = part.Get();
                part->AddRef();
            }
            return S_OK;
        };
        if (referenceType == cdoRefTypeLocation) {
            for (const auto& part : m_parts) {
                if (part->Part().location == name)
                    return hand(part);
            }
        }
        ApplyConfiguration();
        FetchedResource resource = m_fetcher.Fetch(source, CredentialsOf(userName, password));
        MimeBodyPart part;
        part.contentType = resource.contentType.empty() ? "application/octet-stream" : resource.contentType;
        (referenceType == cdoRefTypeLocation ? part.location : part.contentId) = name;
        part.body = std::move(resource.body);
        ComPtr<CBodyPart> object;
        object.Attach(CreateComObject<CBodyPart>(std::move(part)));
        m_parts.push_back(object);
        return hand(object);
    });
}

HRESULT CMessage::GetStream(_Stream** stream)
{
    return ComBoundary([&]() -> HRESULT {
        if (!stream)
            return E_POINTER;
        *stream = nullptr;
        MessageHeaders headers{Narrow(m_from), Narrow(m_subject), std::time(nullptr)};
        std::vector<const MimeBodyPart*> parts;
        parts.reserve(m_parts.size());
        for (const auto& part : m_parts)
            parts.push_back(&part->Part());
        *stream = CreateComObject<CStream>(WriteMhtml(headers, parts, NewBoundary()));
        return S_OK;
    });
}

HRESULT CMessage::SetStopCheck(InternetStopCheck stop)
{
    m_fetcher.SetStopCheck(std::move(stop));
    return S_OK;
}

void CMessage::ApplyConfiguration()
{
    m_fetcher.SetProxy(ConfigurationText(m_configuration.Get(), cdoURLProxyServer),
                       ConfigurationText(m_configuration.Get(), cdoURLProxyBypass));
    m_fetcher.SetLatestVersion(ConfigurationFlag(m_configuration.Get(), cdoURLGetLatestVersion) != false);
}
