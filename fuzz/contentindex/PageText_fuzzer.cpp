// Saved pages come from anywhere: every byte string, read as an archive and
// as an HTML document in any declared character set, must give a text that
// is valid to keep (no NUL) without crashing.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/contentindex/CPageText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    PageTextLimits limits;
    limits.MaxDocumentBytes = 1 << 16;
    for (const PageText& page :
         {CPageText::FromArchive(bytes, limits), CPageText::FromHtml(bytes, "", limits),
          CPageText::FromHtml(bytes, "utf-16le", limits),
          CPageText::FromHtml(bytes, "iso-2022-jp", limits)}) {
        if (page.Text.find('\0') != std::string::npos)
            __builtin_trap();
    }
    return 0;
}
