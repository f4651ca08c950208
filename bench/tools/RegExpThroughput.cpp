// Matching throughput of CRegExp over 100 MB of real HTML, each expression
// measured side by side with GNU grep on the same file in the same run.
//
//   regexp_bench [--doc DIR] [--megabytes N] [--runs N] [--grep PATH]
//
// The corpus is made at run time in a temporary folder from the HTML files
// under DIR (default /usr/share/doc), repeated until it reaches the size,
// with one marker line at its very end so that every expression matches
// only there: both sides scan the whole text and answer "found". The folder
// is removed afterwards.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Wayscribe/tools/matcher/CRegExp.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const char kMarker[] = "<p>Saved by Wayscribe 7 for the bench</p>\n";

struct Options {
    std::string doc = "/usr/share/doc";
    std::size_t megabytes = 100;
    int runs = 5;
    std::string grep = "/usr/bin/grep";
};

struct Corpus {
    std::string text;
    std::vector<std::string_view> pages;  // each file's copy, in order
    std::size_t files = 0;
    std::size_t distinctBytes = 0;
};

double Milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

std::vector<fs::path> HtmlFiles(const std::string& root)
{
    std::vector<fs::path> files;
    std::error_code error;
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const fs::path& path = it->path();
        if (path.extension() == ".html" && it->is_regular_file(error))
            files.push_back(path);
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Files in name order, repeated until the corpus has `size` bytes. NUL bytes
// become spaces: a text ends at its first NUL for the matcher but not for grep.
Corpus MakeCorpus(const std::vector<fs::path>& files, std::size_t size)
{
    std::vector<std::string> contents;
    Corpus corpus;
    for (const fs::path& path : files) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        std::string content = bytes.str();
        if (content.empty())
            continue;
        std::replace(content.begin(), content.end(), '\0', ' ');
        corpus.distinctBytes += content.size();
        contents.push_back(std::move(content));
    }
    corpus.files = contents.size();
    if (contents.empty())
        return corpus;
    corpus.text.reserve(size + sizeof kMarker);
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    for (std::size_t i = 0; corpus.text.size() < size; i = (i + 1) % contents.size()) {
        std::size_t take = std::min(contents[i].size(), size - corpus.text.size());
        spans.emplace_back(corpus.text.size(), take);
        corpus.text.append(contents[i], 0, take);
    }
    spans.emplace_back(corpus.text.size(), sizeof kMarker - 1);
    corpus.text += kMarker;
    for (auto [start, length] : spans)
        corpus.pages.emplace_back(corpus.text.data() + start, length);
    return corpus;
}

// Wall time of one grep run; its exit status in `status` (0: found).
double TimeGrep(const std::string& grep, const std::vector<std::string>& arguments, int& status)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(grep.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    // Bytes, not characters, as the matcher compares them.
    std::vector<std::string> environment = {"LC_ALL=C", "PATH=/usr/bin:/bin"};
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    Clock::time_point started = Clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, grep.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) {
        status = -1;
        return 0;
    }
    int raw = 0;
    waitpid(child, &raw, 0);
    double took = Milliseconds(Clock::now() - started);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return took;
}

// Reads the whole file into `bytes`, whose room is kept from run to run as
// grep keeps its buffer, so that the figure is the read and not page faults.
void ReadFile(const std::string& path, std::string& bytes)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    bytes.resize(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct Case {
    const char* name;
    const char* expression;
    RegExpCase mode;
    std::vector<std::string> grepFlags;
    const char* grepPattern;
};

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string flag = argv[i];
        if (flag == "--doc")
            options.doc = argv[i + 1];
        else if (flag == "--megabytes")
            options.megabytes = std::strtoul(argv[i + 1], nullptr, 10);
        else if (flag == "--runs")
            options.runs = std::max(1, std::atoi(argv[i + 1]));
        else if (flag == "--grep")
            options.grep = argv[i + 1];
    }

    std::vector<fs::path> files = HtmlFiles(options.doc);
    Corpus corpus = MakeCorpus(files, options.megabytes << 20);
    if (corpus.files == 0) {
        std::fprintf(stderr, "no HTML files under %s\n", options.doc.c_str());
        return 1;
    }
    std::string folder = (fs::temp_directory_path() / "wayscribe-bench-XXXXXX").string();
    if (!mkdtemp(folder.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string path = folder + "/corpus.html";
    {
        std::ofstream out(path, std::ios::binary);
        out.write(corpus.text.data(), static_cast<std::streamsize>(corpus.text.size()));
    }
    const double megabytes = static_cast<double>(corpus.text.size()) / (1 << 20);
    std::printf("corpus: %.1f MB (%zu bytes) from %zu HTML files under %s (%.1f MB distinct%s)\n", megabytes,
                corpus.text.size(), corpus.files, options.doc.c_str(),
                static_cast<double>(corpus.distinctBytes) / (1 << 20),
                corpus.distinctBytes < corpus.text.size() ? ", repeated" : "");
    std::printf("each figure is the best of %d runs; grep runs with LC_ALL=C on the corpus file\n\n",
                options.runs);

    const Case cases[] = {
        {"literal", "Wayscribe", RegExpCase::Sensitive, {"-q", "-e"}, "Wayscribe"},
        {"literal, ignoring case", "wAYSCRIBE", RegExpCase::Insensitive, {"-q", "-i", "-e"}, "wAYSCRIBE"},
        {"literal and set",
         "Wayscribe [0-9]+",
         RegExpCase::Sensitive,
         {"-q", "-E", "-e"},
         "Wayscribe [0-9]+"},
        {"literal and set, ignoring case",
         "wayscribe [0-9]+",
         RegExpCase::Insensitive,
         {"-q", "-i", "-E", "-e"},
         "wayscribe [0-9]+"},
    };
    std::printf("%-32s %-18s %12s %9s %12s %9s %9s %14s\n", "case", "expression", "matcher ms", "MB/s",
                "grep ms", "MB/s", "ratio", "read+match ms");
    bool agreed = true;
    std::string buffer;
    for (const Case& c : cases) {
        CRegExp re;
        if (re.Parse(c.expression, c.mode) != RegExpParseError::ParseOk) {
            std::fprintf(stderr, "%s does not compile\n", c.expression);
            return 1;
        }
        CRegExpMatch context;
        double best = 1e300;
        double bestWithRead = 1e300;
        bool found = false;
        for (int run = 0; run < options.runs; ++run) {
            Clock::time_point started = Clock::now();
            found = re.Match(std::string_view(corpus.text), context);
            best = std::min(best, Milliseconds(Clock::now() - started));
            // As the search pane does it: read the saved file whole, then match.
            started = Clock::now();
            ReadFile(path, buffer);
            re.Match(std::string_view(buffer), context);
            bestWithRead = std::min(bestWithRead, Milliseconds(Clock::now() - started));
        }
        bool atMarker = found && context.Whole().start >= corpus.text.size() - sizeof kMarker;
        double grepBest = 1e300;
        int status = -1;
        std::vector<std::string> arguments = c.grepFlags;
        arguments.push_back(c.grepPattern);
        arguments.push_back(path);
        for (int run = 0; run < options.runs; ++run)
            grepBest = std::min(grepBest, TimeGrep(options.grep, arguments, status));
        std::printf("%-32s %-18s %12.1f %9.0f %12.1f %9.0f %8.2fx %14.1f\n", c.name, c.expression, best,
                    megabytes / (best / 1000), grepBest, megabytes / (grepBest / 1000), best / grepBest,
                    bestWithRead);
        if (!atMarker || status != 0) {
            agreed = false;
            std::printf("  !! matcher %s, grep exit status %d\n",
                        atMarker ? "found the marker" : "did not find only the marker", status);
        }
    }

    // The search pane matches each saved page on its own.
    {
        CRegExp re;
        re.Parse("wayscribe [0-9]+", RegExpCase::Insensitive);
        CRegExpMatch context;
        double best = 1e300;
        std::size_t matches = 0;
        for (int run = 0; run < options.runs; ++run) {
            matches = 0;
            Clock::time_point started = Clock::now();
            for (std::string_view page : corpus.pages)
                matches += re.Match(page, context);
            best = std::min(best, Milliseconds(Clock::now() - started));
        }
        std::printf(
            "\nper page, ignoring case, \"wayscribe [0-9]+\": %zu pages, %.1f ms, %.0f MB/s, %zu matched\n",
            corpus.pages.size(), best, megabytes / (best / 1000), matches);
    }

    std::error_code error;
    fs::remove_all(folder, error);
    return agreed ? 0 : 2;
}
