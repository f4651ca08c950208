// How the command-line client writes and reads times, spans, flags and
// visit fields.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wys::history {

// "YYYY-MM-DD HH:MM:SS" in local time; the number of seconds when the time
// cannot be broken down.
std::string FormatTime(std::int64_t time);

// Seconds since 1970-01-01 UTC ("1700000000", "-5"), or a local date with
// an optional time: "YYYY-MM-DD", "YYYY-MM-DD HH:MM", "YYYY-MM-DD HH:MM:SS"
// (a "T" may stand for the blank). nullopt for anything else, including
// fields out of range.
std::optional<std::int64_t> ParseTime(std::string_view text);

// A keeping time: seconds, or a number with the unit s, m, h or d ("15d").
// nullopt for negative, malformed or overflowing values.
std::optional<std::int64_t> ParseSpan(std::string_view text);

// on/off, true/false, yes/no, 1/0 (any letter case).
std::optional<bool> ParseSwitch(std::string_view text);

// A field for line-based output: control characters (tabs and line breaks
// included) become \xNN, so that every visit stays on its own line and
// every field between its tabs.
std::string Field(std::string_view text);

}  // namespace wys::history

struct _URL_DATE_;

namespace wys::history {

// One visit as a line without its end: time, URL, title and Path, each
// through Field, separated by tabs.
std::string VisitLine(const _URL_DATE_& visit);

}  // namespace wys::history
