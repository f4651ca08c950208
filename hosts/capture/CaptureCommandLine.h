// The command line of wayscribe-capture:
//
//   wayscribe-capture [--timeout SECONDS] URL...
//
// URLs are http, https, ftp or file URLs, or paths of local files.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace wys::capture {

inline constexpr std::chrono::seconds kDefaultTimeout{60};

struct CaptureCommandLine {
    bool help = false;
    // Per page: loading and the recording of its capture together.
    std::chrono::seconds timeout = kDefaultTimeout;
    std::vector<std::string> urls;  // as given, in order
    std::string error;              // a usage error; empty when the line is sound
};

CaptureCommandLine ParseCaptureCommandLine(int argc, const char* const* argv);

// What the browser is asked to load for an argument: the URL itself, or the
// absolute path of a local file. nullopt with `reason` set when the
// argument is neither a URL the browser loads nor an existing file.
std::optional<std::string> PageTarget(const std::string& argument, std::string& reason);

// The usage text printed for --help.
std::string CaptureUsage();

// Answers a line that asks for the usage (printed to standard output) or
// breaks it (the error to standard error), with the exit status; nullopt
// for a sound line, which is for the browser to run.
std::optional<int> AnswerUsage(const CaptureCommandLine& line);

}  // namespace wys::capture
