// Reads a saved web archive back for the tests: top headers, the boundary,
// and each part's headers with its body decoded. Written apart from the
// component's writer so that the two check each other.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace wys::test {

struct MhtmlPart {
    std::map<std::string, std::string> headers;  // names in lower case
    std::string encoded;
    std::string decoded;

    std::string Header(const std::string& name) const
    {
        auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
};

struct MhtmlArchive {
    std::map<std::string, std::string> headers;
    std::string boundary;
    std::vector<MhtmlPart> parts;
    bool closed = false;  // the closing delimiter was found

    std::string Header(const std::string& name) const
    {
        auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
};

// Parses `text`; parts are decoded by their Content-Transfer-Encoding.
MhtmlArchive ReadMhtml(const std::string& text);

}  // namespace wys::test
