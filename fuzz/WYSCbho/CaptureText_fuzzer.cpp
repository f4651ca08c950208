// A resource URL and a saved page, as a site supplies them, separated by the
// first newline. Whatever the URL, its local name is one component that stays
// inside the resource folder; rewriting and fixing up the page never crash,
// and a page without the URL's file name comes out unchanged.
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "WYSCbho/CSingleFilePage.h"
#include "WYSCbho/FrameSaver.h"
#include "WYSCbho/LocalName.h"
#include "WYSCbho/ParseUrl.h"
#include "WYSCbho/RewriteLinks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t split = text.find('\n');
    std::string url(text.substr(0, split));
    std::string page(split == std::string_view::npos ? std::string_view() : text.substr(split + 1));

    (void)wys::capture::ParseUrl(url);
    if (std::optional<std::string> name = wys::capture::LocalNameOf(url)) {
        if (name->empty() || *name == "." || *name == ".." || name->size() > wys::capture::kMaxLocalName ||
            name->find_first_of(std::string_view("/\\\0", 3)) != std::string::npos)
            __builtin_trap();
    }

    const std::map<std::string, std::string> saved = {{url, "/h/day/stem_files/r.bin"}};
    std::string rewritten = wys::capture::RewriteLinksInText(page, "/h/day", saved);
    std::size_t slash = url.find_last_of("/\\");
    std::string_view fileName =
        slash == std::string::npos ? std::string_view(url) : std::string_view(url).substr(slash + 1);
    if (!fileName.empty() && page.find(fileName) == std::string::npos && rewritten != page)
        __builtin_trap();

    (void)wys::capture::CSingleFilePage::FixUpText(page, {{url, {page.substr(0, 16), url}}});
    (void)wys::capture::DeclareUtf8Charset(page);
    return 0;
}
