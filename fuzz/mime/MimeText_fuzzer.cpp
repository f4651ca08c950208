// Pages and style sheets from the web go through the page scan, and every
// byte of a resource through the two encodings: none may crash, and both
// encodings must give back exactly what they were given.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/mime/MimeCodec.h"
#include "platform/mime/PageReferences.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    FindHtmlReferences(text);
    FindStyleReferences(text);
    if (QuotedPrintableDecode(QuotedPrintableEncode(text)) != text)
        __builtin_trap();
    if (Base64Decode(Base64Encode(text)) != text)
        __builtin_trap();
    QuotedPrintableDecode(text);
    Base64Decode(text);
    return 0;
}
