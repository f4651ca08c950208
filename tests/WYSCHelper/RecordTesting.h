// Helpers shared by the history engine's tests: records from plain text and
// a readable description of a record list.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "WYSCHelper/CUrlRecordList.h"
#include "common/StringConvert.h"

namespace wys::test {

using OptText = std::optional<std::string>;

inline BSTR MakeBstr(const OptText& text)
{
    return text ? NarrowToBstr(*text) : nullptr;
}

// A record from UTF-8 text; std::nullopt makes a null string.
inline CUrlRecord MakeRecord(std::int64_t time, const OptText& url, const OptText& path,
                             const OptText& title = std::nullopt)
{
    CUrlRecord record;
    record.Time = time;
    record.AttachUrl(MakeBstr(url));
    record.AttachPath(MakeBstr(path));
    record.AttachTitle(MakeBstr(title));
    return record;
}

inline std::string Describe(BSTR text)
{
    return text ? "'" + BstrToNarrow(text) + "'" : "null";
}

// "time url path title; ..." for comparing whole lists in one assertion.
inline std::string Describe(const CUrlRecordList& list)
{
    std::string out;
    for (const CUrlRecord& r : list)
        out += std::to_string(r.Time) + " " + Describe(r.Url) + " " + Describe(r.Path) + " " +
               Describe(r.Title) + "; ";
    return out;
}

}  // namespace wys::test
