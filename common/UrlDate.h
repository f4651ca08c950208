// The visit record as it crosses the history interface.
#pragma once

#include <cstdint>

#include "platform/com/Bstr.h"

// Time: seconds since 1970-01-01 00:00:00 UTC. Url: the visited page. Path:
// the saved copy, relative to the history folder, without a leading
// separator. Title: the page title, may be null.
//
// The strings belong to whoever filled the record: GetData hands fresh copies
// to its caller, who frees them (FreeUrlDate); AddData only reads them.
// On this 64-bit platform the pointers are 8 bytes wide, so the record is 32
// bytes (Time at 0, Url at 8, Path at 16, Title at 24).
struct _URL_DATE_ {
    std::int64_t Time;
    BSTR Url;
    BSTR Path;
    BSTR Title;
};

static_assert(sizeof(_URL_DATE_) == 32);

// Frees the three strings of a record filled by GetData and nulls them.
inline void FreeUrlDate(_URL_DATE_* record)
{
    SysFreeString(record->Url);
    SysFreeString(record->Path);
    SysFreeString(record->Title);
    record->Url = record->Path = record->Title = nullptr;
}

// Owns the strings of one record read with GetData.
class CUrlDateHolder : public _URL_DATE_ {
public:
    CUrlDateHolder() : _URL_DATE_{0, nullptr, nullptr, nullptr} {}
    CUrlDateHolder(const CUrlDateHolder&) = delete;
    CUrlDateHolder& operator=(const CUrlDateHolder&) = delete;
    ~CUrlDateHolder() { FreeUrlDate(this); }
    // For an out parameter: frees what is held first.
    _URL_DATE_* Receive()
    {
        FreeUrlDate(this);
        return this;
    }
};
