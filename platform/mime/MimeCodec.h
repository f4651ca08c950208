// The two content transfer encodings of the web archive, both ways.
//
// Encoded text holds only printable ASCII and CRLF line ends, never a NUL,
// and lines of at most 76 characters.
#pragma once

#include <string>
#include <string_view>

// Base64 in lines of 76 characters, each ended by CRLF.
std::string Base64Encode(std::string_view bytes);
// Ignores line breaks and any character outside the alphabet; stops at '='.
std::string Base64Decode(std::string_view text);

// Quoted-printable that gives back exactly the bytes it was given: CRLF
// pairs become line breaks, a lone LF is written "=0A" followed by a soft
// line break, and everything that is not printable ASCII is escaped. Soft
// line breaks fall after a space or a '>' where one is near, so that quoted
// attribute values of markup usually stay whole on one line and can be found
// in the encoded text as they were written (unless they hold '=' or bytes
// outside printable ASCII, which are escaped).
std::string QuotedPrintableEncode(std::string_view bytes);
// Undoes soft line breaks and =XX escapes; line breaks come back as CRLF,
// spaces and tabs before a line break are dropped, and a '=' that starts no
// escape stays as it is.
std::string QuotedPrintableDecode(std::string_view text);
