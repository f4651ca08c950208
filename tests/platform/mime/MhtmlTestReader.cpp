#include "tests/platform/mime/MhtmlTestReader.h"

#include <algorithm>
#include <cctype>

#include "platform/mime/MimeCodec.h"

namespace wys::test {

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Reads header lines up to the blank line; continuation lines join the one before.
std::map<std::string, std::string> ReadHeaders(const std::string& text, std::size_t& pos)
{
    std::map<std::string, std::string> headers;
    std::string last;
    while (pos < text.size()) {
        std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = std::min(end + 2, text.size());
        if (line.empty())
            break;
        if ((line[0] == ' ' || line[0] == '\t') && !last.empty()) {
            headers[last] += line;
            continue;
        }
        std::size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        last = Lower(line.substr(0, colon));
        std::size_t value = line.find_first_not_of(' ', colon + 1);
        headers[last] = value == std::string::npos ? "" : line.substr(value);
    }
    return headers;
}

std::string Parameter(const std::string& header, const std::string& name)
{
    std::size_t at = Lower(header).find(name + "=");
    if (at == std::string::npos)
        return {};
    std::size_t start = at + name.size() + 1;
    if (start < header.size() && header[start] == '"') {
        std::size_t end = header.find('"', start + 1);
        return header.substr(start + 1, end - start - 1);
    }
    std::size_t end = header.find(';', start);
    return header.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

MhtmlArchive ReadMhtml(const std::string& text)
{
    MhtmlArchive archive;
    std::size_t pos = 0;
    archive.headers = ReadHeaders(text, pos);
    archive.boundary = Parameter(archive.Header("content-type"), "boundary");
    if (archive.boundary.empty())
        return archive;
    const std::string delimiter = "\r\n--" + archive.boundary;
    // The first delimiter may follow the blank line directly.
    std::size_t at = text.find("--" + archive.boundary, pos);
    if (at == std::string::npos)
        return archive;
    pos = at + 2 + archive.boundary.size();
    while (pos < text.size()) {
        if (text.compare(pos, 2, "--") == 0) {
            archive.closed = true;
            break;
        }
        pos = text.find("\r\n", pos) + 2;
        MhtmlPart part;
        part.headers = ReadHeaders(text, pos);
        std::size_t end = text.find(delimiter, pos);
        if (end == std::string::npos)
            end = text.size();
        part.encoded = text.substr(pos, end - pos);
        std::string encoding = Lower(part.Header("content-transfer-encoding"));
        if (encoding == "base64")
            part.decoded = Base64Decode(part.encoded);
        else if (encoding == "quoted-printable")
            part.decoded = QuotedPrintableDecode(part.encoded);
        else
            part.decoded = part.encoded;
        archive.parts.push_back(std::move(part));
        pos = end + delimiter.size();
    }
    return archive;
}

}  // namespace wys::test
