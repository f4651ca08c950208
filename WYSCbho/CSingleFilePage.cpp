#include "WYSCbho/CSingleFilePage.h"

#include <cstdio>
#include <map>
#include <vector>

#include "WYSCbho/TextFileRewrite.h"
#include "platform/mime/Cdo.h"
#include "platform/mime/CdoFactory.h"
#include "platform/rpc/Activation.h"

namespace wys::capture {
namespace {

// The quoted-printable form in which a reference stands in the archive.
std::string QuotedPrintableForm(std::string_view text)
{
    std::string form;
    form.reserve(text.size());
    for (unsigned char c : text) {
        if (c == '=' || c < 0x20 || c >= 0x7F) {
            char escape[4];
            std::snprintf(escape, sizeof(escape), "=%02X", c);
            form += escape;
        } else {
            form += static_cast<char>(c);
        }
    }
    return form;
}

VARIANT BoolVariant(VARIANT_BOOL value)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BOOL;
    v.boolVal = value;
    return v;
}

}  // namespace

HRESULT CreateCdoObject(REFCLSID clsid, REFIID iid, void** object)
{
    *object = nullptr;
    ComPtr<IUnknown> unknown;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.PutVoid());
    // The messaging component is part of this library: when the runtime
    // cannot hand out a registered one (no registration, no registry yet, no
    // apartment), it is created directly.
    if (FAILED(hr) && hr != E_NOINTERFACE)
        hr = CdoCreateInstance(clsid, nullptr, IID_IUnknown, unknown.PutVoid());
    if (hr == E_NOINTERFACE)
        return hr;
    ThrowIfFailed(hr);
    ThrowIfFailed(OleRun(unknown.Get()));
    hr = unknown->QueryInterface(iid, object);
    if (hr == E_NOINTERFACE) {
        *object = nullptr;
        return hr;
    }
    ThrowIfFailed(hr);
    return S_OK;
}

CSingleFilePage::CSingleFilePage(CaptureStopRef stop) : m_stop(std::move(stop))
{
    CreateCdoObject(CLSID_Message, IID_IMessage, m_message.PutVoid());
    ComPtr<IFetchStop> fetchStop;
    if (m_message && m_stop && SUCCEEDED(m_message.As(&fetchStop))) {
        CaptureStopRef flag = m_stop;
        fetchStop->SetStopCheck([flag] { return flag->IsStopRequested(); });
    }
}

bool CSingleFilePage::IsFetchedResource(std::string_view url)
{
    std::size_t colon = url.find(':');
    if (colon == std::string_view::npos)
        return false;
    std::string scheme(url.substr(0, colon));
    for (char& c : scheme) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "data";
}

void CSingleFilePage::Build(const std::string& pageUrl, const SpellingMap& spellings)
{
    if (!m_message)
        throw ComError(E_NOINTERFACE);

    ComPtr<IConfiguration> configuration;
    if (CreateCdoObject(CLSID_Configuration, IID_IConfiguration, configuration.PutVoid()) != S_OK)
        throw ComError(E_NOINTERFACE);
    ComPtr<Fields> fields;
    ThrowIfFailed(configuration->get_Fields(fields.ReleaseAndGetAddressOf()));
    CComBSTR name(cdoURLGetLatestVersion);
    VARIANT key;
    VariantInit(&key);
    key.vt = VT_BSTR;
    key.bstrVal = name;
    ComPtr<Field> field;
    ThrowIfFailed(fields->get_Item(key, field.ReleaseAndGetAddressOf()));
    ThrowIfFailed(field->put_Value(BoolVariant(VARIANT_FALSE)));
    ThrowIfFailed(fields->Update());
    ThrowIfFailed(m_message->putref_Configuration(configuration.Get()));

    ThrowIfFailed(m_message->put_From(CComBSTR(kMarker)));
    ThrowIfFailed(m_message->put_Subject(CComBSTR(pageUrl)));
    CComBSTR none(u"");
    ThrowIfFailed(m_message->CreateMHTMLBody(CComBSTR(pageUrl), cdoSuppressNone, none, none));

    for (const auto& entry : spellings) {
        const std::string& url = entry.first;
        if (m_stop)
            m_stop->ThrowIfStopped();
        if (!IsFetchedResource(url))
            continue;
        CComBSTR reference(url);
        ComPtr<IBodyPart> part;
        ThrowIfFailed(m_message->AddRelatedBodyPart(reference, reference, cdoRefTypeLocation, none, none,
                                                    part.ReleaseAndGetAddressOf()));
    }
}

bool CSingleFilePage::Save(CSavedPageLayout& layout, const SpellingMap& spellings)
{
    if (!m_message)
        throw ComError(E_NOINTERFACE);
    ComPtr<_Stream> stream;
    ThrowIfFailed(m_message->GetStream(stream.ReleaseAndGetAddressOf()));
    ADO_LONGPTR size = 0;
    ThrowIfFailed(stream->get_Size(&size));
    if (size <= kMinimumArchiveSize)
        return false;
    if (!layout.ClaimArchiveFile())
        throw ComError(E_ACCESSDENIED);
    const std::string archiveFile = layout.ArchiveFile();
    HRESULT hr = stream->SaveToFile(CComBSTR(archiveFile), adSaveCreateOverWrite);
    if (FAILED(hr)) {
        // The empty claim would otherwise pass for a saved copy.
        std::remove(archiveFile.c_str());
        throw ComError(hr);
    }
    FixUpArchive(archiveFile, spellings);
    return true;
}

std::string CSingleFilePage::FixUpText(std::string text, const SpellingMap& spellings)
{
    // Quoted spelling -> quoted key; a spelling two keys share keeps the first.
    std::map<std::string, std::string, std::less<>> keys;
    for (const auto& [absolute, written] : spellings) {
        const std::string key = QuotedPrintableForm(absolute);
        for (const std::string& spelling : written) {
            if (spelling != absolute)
                keys.emplace(QuotedPrintableForm(spelling), key);
        }
    }
    if (keys.empty())
        return text;
    // Most quoted values of an archive (in its scripts, say) have a length
    // no spelling has: those need no lookup.
    std::vector<bool> spelledLengths;
    for (const auto& [spelling, key] : keys) {
        if (spelling.size() >= spelledLengths.size())
            spelledLengths.resize(spelling.size() + 1);
        spelledLengths[spelling.size()] = true;
    }
    // One pass over the archive: replacing each spelling in turn moved the
    // whole text once per occurrence.
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    const std::string_view view(text);
    std::size_t copied = 0;
    for (std::size_t open = view.find('"'); open != std::string_view::npos;) {
        const std::size_t close = view.find('"', open + 1);
        if (close == std::string_view::npos)
            break;
        const std::size_t length = close - open - 1;
        auto found = length < spelledLengths.size() && spelledLengths[length]
                         ? keys.find(view.substr(open + 1, length))
                         : keys.end();
        if (found == keys.end()) {
            // The closing quote may open the next quoted value.
            open = close;
            continue;
        }
        out.append(view.substr(copied, open + 1 - copied));
        out += found->second;
        out += '"';
        copied = close + 1;
        open = view.find('"', copied);
    }
    if (copied == 0)
        return text;
    out.append(view.substr(copied));
    return out;
}

void CSingleFilePage::FixUpArchive(const std::string& archiveFile, const SpellingMap& spellings)
{
    RewriteTextFile(archiveFile,
                    [&spellings](std::string text) { return FixUpText(std::move(text), spellings); });
}

}  // namespace wys::capture
