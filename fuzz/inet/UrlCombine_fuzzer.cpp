// A base URL and a reference, as a page supplies them, separated by the
// first newline. Combination may fail but not crash, and what it gives is a
// URL that combines to itself again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/inet/UrlCombine.h"
#include "platform/inet/UrlParts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t split = text.find('\n');
    std::string_view base = text.substr(0, split);
    std::string_view relative = split == std::string_view::npos ? "" : text.substr(split + 1);
    auto combined = CombineUrl(base, relative);
    if (!combined)
        return 0;
    if (!CrackUrl(*combined))
        __builtin_trap();
    std::string withoutFragment = combined->substr(0, combined->find('#'));
    if (CombineUrl(*combined, "") != withoutFragment)
        __builtin_trap();
    return 0;
}
