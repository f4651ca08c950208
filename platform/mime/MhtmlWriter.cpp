#include "platform/mime/MhtmlWriter.h"

#include <algorithm>
#include <cstdio>
#include <future>
#include <random>
#include <system_error>
#include <vector>

#include "platform/base/AsciiText.h"
#include "platform/mime/MimeCodec.h"

namespace {

// Header values must stay on their line and hold no NUL.
std::string SingleLine(std::string_view value)
{
    std::string out;
    for (char c : value) {
        if (c == '\r' || c == '\n' || c == '\t')
            out += ' ';
        else if (c != '\0')
            out += c;
    }
    return out;
}

bool IsPrintableAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return c >= 0x20 && c < 0x7F; });
}

// Encoded words of at most 45 bytes each (60 characters of base64), split
// between UTF-8 sequences, on folded lines.
std::string EncodedWords(std::string_view text)
{
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = std::min(pos + 45, text.size());
        while (end < text.size() && end > pos + 1 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            --end;
        std::string encoded = Base64Encode(text.substr(pos, end - pos));
        encoded.erase(
            std::remove_if(encoded.begin(), encoded.end(), [](char c) { return c == '\r' || c == '\n'; }),
            encoded.end());
        if (!out.empty())
            out += "\r\n ";
        out += "=?utf-8?B?" + encoded + "?=";
        pos = end;
    }
    return out;
}

std::string HeaderText(std::string_view value)
{
    std::string line = SingleLine(value);
    // Long lines are folded too, which only encoded words allow for a URL.
    if (IsPrintableAscii(line) && line.size() <= 900 && line.find("=?") == std::string::npos)
        return line;
    return EncodedWords(line);
}

std::string LocationText(std::string_view location)
{
    return wys::base::PercentEncode(SingleLine(location),
                                    [](unsigned char c) { return c <= 0x20 || c >= 0x7F; });
}

std::string DateText(std::time_t time)
{
    static const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000", kDays[utc.tm_wday], utc.tm_mday,
                  kMonths[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

}  // namespace

std::string MediaTypeOf(std::string_view contentType)
{
    return wys::base::AsciiLower(wys::base::TrimAscii(contentType.substr(0, contentType.find(';'))));
}

bool IsTextMediaType(std::string_view mediaType)
{
    return mediaType.starts_with("text/") || mediaType.ends_with("+xml") || mediaType.ends_with("+json") ||
           mediaType == "application/javascript" || mediaType == "application/x-javascript" ||
           mediaType == "application/ecmascript" || mediaType == "application/json" ||
           mediaType == "application/xml";
}

bool IsQuotedPrintablePart(const MimeBodyPart& part)
{
    return IsTextMediaType(MediaTypeOf(part.contentType));
}

std::string NewBoundary()
{
    std::random_device seed;
    std::mt19937_64 random(static_cast<std::uint64_t>(seed()) << 32 | seed());
    char text[64];
    std::snprintf(text, sizeof text, "----=_NextPart_000_%016llX", static_cast<unsigned long long>(random()));
    return text;
}

namespace {

// Less than this to encode is not worth a thread.
constexpr std::size_t kEncodedBesideBytes = 64 * 1024;

std::string EncodedBody(const MimeBodyPart& part)
{
    return IsQuotedPrintablePart(part) ? QuotedPrintableEncode(part.body) : Base64Encode(part.body);
}

// The encoded bodies, in the order of the parts. Encoding is most of the
// work of writing an archive: the parts are shared out by size between this
// thread and one more, when one can be had.
std::vector<std::string> EncodedBodies(const std::vector<const MimeBodyPart*>& parts)
{
    std::vector<std::string> encoded(parts.size());
    std::vector<std::size_t> order(parts.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return parts[a]->body.size() > parts[b]->body.size(); });
    std::vector<std::size_t> here;
    std::vector<std::size_t> beside;
    std::size_t hereBytes = 0;
    std::size_t besideBytes = 0;
    for (std::size_t i : order) {
        const bool toBeside = besideBytes < hereBytes;
        (toBeside ? beside : here).push_back(i);
        (toBeside ? besideBytes : hereBytes) += parts[i]->body.size();
    }
    std::future<void> besideDone;
    if (besideBytes >= kEncodedBesideBytes) {
        try {
            besideDone = std::async(std::launch::async, [&] {
                for (std::size_t i : beside)
                    encoded[i] = EncodedBody(*parts[i]);
            });
        } catch (const std::system_error&) {
            // No thread: this one encodes them all.
        }
    }
    if (!besideDone.valid())
        here.insert(here.end(), beside.begin(), beside.end());
    for (std::size_t i : here)
        encoded[i] = EncodedBody(*parts[i]);
    if (besideDone.valid())
        besideDone.get();
    return encoded;
}

}  // namespace

std::string WriteMhtml(const MessageHeaders& headers, const std::vector<const MimeBodyPart*>& parts,
                       std::string_view boundary)
{
    std::string out;
    out += "From: " + HeaderText(headers.from) + "\r\n";
    out += "Subject: " + HeaderText(headers.subject) + "\r\n";
    out += "Date: " + DateText(headers.date) + "\r\n";
    out += "MIME-Version: 1.0\r\n";
    if (parts.empty()) {
        out += "Content-Type: text/plain; charset=\"us-ascii\"\r\n";
        out += "Content-Transfer-Encoding: 7bit\r\n\r\n";
        return out;
    }
    const std::vector<std::string> bodies = EncodedBodies(parts);
    // Archives run to megabytes: grown part by part, the text was copied
    // again at every doubling.
    std::size_t expected = out.size() + 256;
    for (const std::string& body : bodies)
        expected += 512 + body.size();
    out.reserve(expected);
    std::string rootType = MediaTypeOf(parts.front()->contentType);
    out += "Content-Type: multipart/related; type=\"" + SingleLine(rootType) + "\"; boundary=\"" +
           std::string(boundary) + "\"\r\n\r\n";
    out += "This is a multi-part message in MIME format.\r\n";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const MimeBodyPart& part = *parts[i];
        bool text = IsQuotedPrintablePart(part);
        out += "\r\n--" + std::string(boundary) + "\r\n";
        out += "Content-Type: " + SingleLine(part.contentType) + "\r\n";
        out += text ? "Content-Transfer-Encoding: quoted-printable\r\n"
                    : "Content-Transfer-Encoding: base64\r\n";
        if (!part.location.empty())
            out += "Content-Location: " + LocationText(part.location) + "\r\n";
        if (!part.contentId.empty())
            out += "Content-ID: <" + SingleLine(part.contentId) + ">\r\n";
        out += "\r\n";
        // The CRLF before each delimiter belongs to the delimiter, so the
        // encoded text goes in exactly as it is.
        out += bodies[i];
    }
    out += "\r\n--" + std::string(boundary) + "--\r\n";
    return out;
}
