#include "hosts/capture/CaptureCommandLine.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>

#include "platform/base/AsciiText.h"

namespace wys::capture {
namespace {

bool ParseSeconds(std::string_view text, std::chrono::seconds& out)
{
    long long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value <= 0 || value > 24 * 3600)
        return false;
    out = std::chrono::seconds(value);
    return true;
}

// The scheme of an absolute URL in lower case; empty when `text` has none.
std::string SchemeOf(const std::string& text)
{
    std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(text[0])))
        return {};
    for (std::size_t i = 1; i < colon; ++i) {
        char c = text[i];
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return {};
    }
    return wys::base::AsciiLower(text.substr(0, colon));
}

}  // namespace

CaptureCommandLine ParseCaptureCommandLine(int argc, const char* const* argv)
{
    CaptureCommandLine line;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (optionsEnded || !arg.starts_with("-") || arg == "-") {
            line.urls.emplace_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            line.help = true;
        } else if (arg == "--timeout" || arg == "-t" || arg.starts_with("--timeout=")) {
            std::string_view value;
            if (arg.starts_with("--timeout=")) {
                value = arg.substr(10);
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                line.error = "--timeout needs a number of seconds";
                return line;
            }
            if (!ParseSeconds(value, line.timeout)) {
                line.error =
                    "--timeout takes whole seconds from 1 to 86400, not \"" + std::string(value) + "\"";
                return line;
            }
        } else {
            line.error = "unknown option " + std::string(arg);
            return line;
        }
    }
    if (!line.help && line.urls.empty())
        line.error = "no URL given";
    return line;
}

std::optional<std::string> PageTarget(const std::string& argument, std::string& reason)
{
    std::string scheme = SchemeOf(argument);
    if (scheme.empty()) {
        std::error_code error;
        std::filesystem::path path = std::filesystem::absolute(argument, error);
        struct stat info;
        if (error || argument.empty() || ::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            reason = "neither a URL nor an existing file";
            return std::nullopt;
        }
        return path.lexically_normal().string();
    }
    if (scheme != "http" && scheme != "https" && scheme != "ftp" && scheme != "file") {
        reason = "the scheme \"" + scheme + "\" cannot be loaded (http, https, ftp and file can)";
        return std::nullopt;
    }
    std::string rest = argument.substr(scheme.size() + 1);
    if (!rest.starts_with("//")) {
        reason = "not an absolute URL (\"" + scheme + "://\" expected)";
        return std::nullopt;
    }
    std::size_t hostEnd = rest.find_first_of("/?#", 2);
    std::string host = rest.substr(2, hostEnd == std::string::npos ? std::string::npos : hostEnd - 2);
    if (scheme != "file" && host.empty()) {
        reason = "the URL names no host";
        return std::nullopt;
    }
    if (std::any_of(argument.begin(), argument.end(),
                    [](unsigned char c) { return c < 0x20 || c == 0x7F; })) {
        reason = "the URL holds control characters";
        return std::nullopt;
    }
    return argument;
}

std::string CaptureUsage()
{
    return "Usage: wayscribe-capture [--timeout SECONDS] URL...\n"
           "\n"
           "Loads each page in a browser window without a display, with the helper\n"
           "objects installed for browser windows (the page capture among them), and\n"
           "waits until the capture of the page has been recorded in the history.\n"
           "\n"
           "URL is an http, https, ftp or file URL, or the path of a local file.\n"
           "\n"
           "Options:\n"
           "  -t, --timeout SECONDS  time each page may take to load and be recorded\n"
           "                         (default 60)\n"
           "  -h, --help             show this text\n"
           "\n"
           "Prints one line per URL with its outcome. Exit status: 0 when every page\n"
           "loaded and was recorded, 1 when any did not, 2 for a usage error.\n";
}

std::optional<int> AnswerUsage(const CaptureCommandLine& line)
{
    if (line.help) {
        std::fputs(CaptureUsage().c_str(), stdout);
        return 0;
    }
    if (!line.error.empty()) {
        std::fprintf(stderr, "wayscribe-capture: %s\nTry 'wayscribe-capture --help'.\n", line.error.c_str());
        return 2;
    }
    return std::nullopt;
}

}  // namespace wys::capture
