// One visit record as the band holds it: narrow strings, and the band that
// the nodes made from it will call back.
#pragma once

#include <cstdint>
#include <string>

#include "common/UrlDate.h"

class CQXServiceProvider;

struct CDataItem {
    // Seconds since 1970-01-01 00:00:00 UTC; grouped and shown in local time.
    std::int64_t Time = 0;
    std::string Url;
    // The saved copy, relative to the history folder.
    std::string Path;
    // Not owned; may be null.
    CQXServiceProvider* Provider = nullptr;
    std::string Title;
    // The text around the first content match, for a visit that a search
    // found by its saved page; empty otherwise.
    std::string Excerpt;

    // Converts the record's strings from UTF-16; null strings become "".
    static CDataItem FromUrlDate(const _URL_DATE_& record, CQXServiceProvider* provider);
};
