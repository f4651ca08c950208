#include "common/contentindex/ArchiveParts.h"

#include "common/contentindex/TextCharset.h"
#include "platform/mime/MimeCodec.h"

namespace wys::content {
namespace {

constexpr int kMaxNesting = 8;

struct Headers {
    std::string contentType;
    std::string transferEncoding;
    std::string location;
};

// The end of the line that starts at `at` (its line break included).
std::size_t LineEnd(std::string_view text, std::size_t at)
{
    const std::size_t newline = text.find('\n', at);
    return newline == std::string_view::npos ? text.size() : newline + 1;
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() &&
           (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

// Reads the header block at the start of `entity`; *body receives what
// follows the empty line that ends it (or nothing when there is none).
Headers ReadHeaders(std::string_view entity, std::string_view* body)
{
    Headers headers;
    std::string* current = nullptr;
    std::size_t at = 0;
    *body = std::string_view();
    while (at < entity.size()) {
        const std::size_t end = LineEnd(entity, at);
        const std::string_view line = entity.substr(at, end - at);
        at = end;
        const std::string_view content = Trimmed(line);
        if (content.empty() && (line.empty() || line[0] == '\r' || line[0] == '\n')) {
            *body = entity.substr(at);
            return headers;
        }
        if ((line[0] == ' ' || line[0] == '\t') && current) {
            *current += ' ';
            *current += content;
            continue;
        }
        current = nullptr;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string name = AsciiLower(Trimmed(line.substr(0, colon)));
        std::string value(Trimmed(line.substr(colon + 1)));
        if (name == "content-type") {
            headers.contentType = std::move(value);
            current = &headers.contentType;
        } else if (name == "content-transfer-encoding") {
            headers.transferEncoding = std::move(value);
            current = &headers.transferEncoding;
        } else if (name == "content-location") {
            headers.location = std::move(value);
            current = &headers.location;
        }
    }
    return headers;
}

std::string MediaTypeOf(std::string_view contentType)
{
    return AsciiLower(Trimmed(contentType.substr(0, contentType.find(';'))));
}

// Whether the line (without its break) is the delimiter "--boundary" or
// the closing one "--boundary--", with only whitespace after it.
bool IsDelimiter(std::string_view line, std::string_view boundary, bool* closing)
{
    if (line.size() < boundary.size() + 2 || line[0] != '-' || line[1] != '-' ||
        line.compare(2, boundary.size(), boundary) != 0)
        return false;
    std::string_view rest = line.substr(2 + boundary.size());
    *closing = rest.starts_with("--");
    if (*closing)
        rest.remove_prefix(2);
    return Trimmed(rest).empty();
}

void Split(std::string_view entity, int depth, std::size_t maxParts, std::vector<ArchivePart>& parts)
{
    if (parts.size() >= maxParts)
        return;
    std::string_view body;
    const Headers headers = ReadHeaders(entity, &body);
    const std::string mediaType = MediaTypeOf(headers.contentType);
    const std::string boundary = HeaderParameter(headers.contentType, "boundary");
    if (mediaType.starts_with("multipart/") && !boundary.empty() && depth < kMaxNesting) {
        std::size_t at = 0;
        std::size_t partStart = std::string_view::npos;
        while (at < body.size()) {
            const std::size_t end = LineEnd(body, at);
            bool closing = false;
            if (IsDelimiter(Trimmed(body.substr(at, end - at)), boundary, &closing) &&
                body.substr(at, 2) == "--") {
                if (partStart != std::string_view::npos) {
                    // The line break before a delimiter belongs to it.
                    std::size_t partEnd = at;
                    if (partEnd > partStart && body[partEnd - 1] == '\n')
                        --partEnd;
                    if (partEnd > partStart && body[partEnd - 1] == '\r')
                        --partEnd;
                    Split(body.substr(partStart, partEnd - partStart), depth + 1, maxParts, parts);
                }
                if (closing)
                    return;
                partStart = end;
            }
            at = end;
        }
        if (partStart != std::string_view::npos && partStart < body.size())
            Split(body.substr(partStart), depth + 1, maxParts, parts);
        return;
    }
    ArchivePart part;
    part.MediaType = mediaType.empty() ? "text/plain" : mediaType;
    part.Charset = HeaderParameter(headers.contentType, "charset");
    part.Location = headers.location;
    part.TransferEncoding = AsciiLower(headers.transferEncoding);
    part.Encoded = body;
    parts.push_back(std::move(part));
}

}  // namespace

std::string ArchivePart::Decoded() const
{
    if (TransferEncoding == "quoted-printable")
        return QuotedPrintableDecode(Encoded);
    if (TransferEncoding == "base64")
        return Base64Decode(Encoded);
    return std::string(Encoded);
}

std::vector<ArchivePart> SplitArchive(std::string_view message, std::size_t maxParts)
{
    std::vector<ArchivePart> parts;
    Split(message, 0, maxParts, parts);
    return parts;
}

}  // namespace wys::content
