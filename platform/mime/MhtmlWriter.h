// Private to platform/mime: the MIME form of a web archive message.
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

// One part: its Content-Type value as the server gave it (parameters
// included), where it came from, and its bytes.
struct MimeBodyPart {
    std::string contentType;
    std::string location;   // Content-Location; empty for none
    std::string contentId;  // Content-ID without its angle brackets; empty for none
    std::string body;
};

struct MessageHeaders {
    std::string from;
    std::string subject;
    std::time_t date = 0;
};

// "text/html" out of "Text/HTML; charset=utf-8".
std::string MediaTypeOf(std::string_view contentType);

// Whether a part of this media type is text and travels quoted-printable:
// text/*, scripts, JSON and XML types (SVG included).
bool IsTextMediaType(std::string_view mediaType);

// Whether `part` is written quoted-printable (its media type is text), not
// base64.
bool IsQuotedPrintablePart(const MimeBodyPart& part);

// A boundary that cannot occur in quoted-printable or base64 text (it holds
// "=_"), made unique with random digits.
std::string NewBoundary();

// The message: From, Subject, Date and MIME-Version, then with parts a
// multipart/related body whose root (type parameter) is the first part, each
// part with Content-Type, Content-Transfer-Encoding, Content-Location and
// Content-ID where set; without parts an empty text/plain body. Header
// values lose CR, LF and NUL; Subject and From outside printable ASCII are
// written as UTF-8 encoded words; a Content-Location is escaped (%XX) where
// it holds spaces, controls or bytes above 127. The result holds no NUL.
// The parts are read where they are (an archive's bodies run to megabytes).
std::string WriteMhtml(const MessageHeaders& headers, const std::vector<const MimeBodyPart*>& parts,
                       std::string_view boundary);
