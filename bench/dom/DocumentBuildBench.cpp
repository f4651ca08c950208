// How long building a document from a page takes (what the headless
// browser does with every page and frame it loads), side by side with the
// HTML parser alone parsing the same bytes with its own allocator.
//
//   document_build_bench [--rounds N] FILE.html...
//
// Prints, per file and in all, the median milliseconds of one build and of
// one parse, the two alternating round by round.
#include <gumbo.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/dom/HtmlDocumentBuilder.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = 30;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else
            files.push_back(argument);
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: document_build_bench [--rounds N] FILE.html...\n");
        return 2;
    }
    double buildTotal = 0;
    double parseTotal = 0;
    std::printf("%-40s %9s %12s %12s\n", "file", "bytes", "build ms", "gumbo ms");
    for (const std::string& file : files) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        const std::string html = bytes.str();
        if (!in) {
            std::fprintf(stderr, "document_build_bench: cannot read %s\n", file.c_str());
            return 1;
        }
        std::vector<double> builds, parses;
        for (int round = 0; round < rounds; ++round) {
            auto start = Clock::now();
            ComPtr<IDispatch> document;
            if (FAILED(BuildDocument(html, "text/html", "http://127.0.0.1/" + file,
                                     CharsetDeclarations::DeclareUtf8, nullptr, document.GetAddressOf()))) {
                std::fprintf(stderr, "document_build_bench: %s did not build\n", file.c_str());
                return 1;
            }
            document.Reset();
            builds.push_back(Milliseconds(Clock::now() - start));
            start = Clock::now();
            GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, html.data(), html.size());
            gumbo_destroy_output(&kGumboDefaultOptions, output);
            parses.push_back(Milliseconds(Clock::now() - start));
        }
        std::printf("%-40s %9zu %12.2f %12.2f\n", file.c_str(), html.size(), Median(builds), Median(parses));
        buildTotal += Median(builds);
        parseTotal += Median(parses);
    }
    std::printf("%-40s %9s %12.2f %12.2f\n", "all (sum of medians)", "", buildTotal, parseTotal);
    return 0;
}
