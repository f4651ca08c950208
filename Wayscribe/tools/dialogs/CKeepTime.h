// How long visits are kept, as the options dialog shows it: the URL base's
// HistoricalRange (seconds) split into days, hours, minutes and seconds.
#pragma once

#include <cstdint>
#include <string_view>

struct CKeepTime {
    std::int64_t Days = 0;
    std::int64_t Hours = 0;
    std::int64_t Minutes = 0;
    std::int64_t Seconds = 0;

    // Truncating divisions: 90061 s is 1 day, 1 hour, 1 minute, 1 second.
    // A negative span gives negative parts that compose back to it.
    static CKeepTime Split(std::int64_t seconds);
    // ((Days * 24 + Hours) * 60 + Minutes) * 60 + Seconds, in 64 bits, so
    // that parts beyond their natural limits (48 hours) count in full.
    std::int64_t Compose() const;

    // A part as typed into its edit: an optional sign and decimal digits,
    // with blanks around them, that fit a signed 32-bit number. Anything
    // else (text, an empty edit, a number out of range) counts as 0.
    static std::int64_t ParsePart(std::string_view text);

    bool operator==(const CKeepTime&) const = default;
};
