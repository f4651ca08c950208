// Private to common/contentindex: the parts of a MIME web archive.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace wys::content {

struct ArchivePart {
    std::string MediaType;         // lower case, without parameters ("text/html")
    std::string Charset;           // the charset parameter as written; empty for none
    std::string Location;          // Content-Location; empty for none
    std::string_view Encoded;      // the body as it stands in the message
    std::string TransferEncoding;  // lower case ("quoted-printable", "base64", ...)

    // The body with its transfer encoding undone; 7bit, 8bit, binary and
    // unknown encodings are taken as they stand.
    std::string Decoded() const;
};

// The leaf parts of `message`, in message order: the parts of every
// multipart body (nested ones opened up to a small depth), or the message
// itself when it is not multipart. Lines may end in CRLF or LF alone. A part
// without a closing delimiter runs to the end of the message. At most
// `maxParts` parts are returned. The views point into `message`.
std::vector<ArchivePart> SplitArchive(std::string_view message, std::size_t maxParts = 10000);

}  // namespace wys::content
