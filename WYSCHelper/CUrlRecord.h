// The server's own visit record: the in-memory form of one entry of the
// history list.
#pragma once

#include <cstdint>

#include "common/UrlDate.h"

// Time is seconds since 1970-01-01 00:00:00 UTC. Url, Path and Title are
// owned BSTRs; each may be null. Path is relative to the history folder.
//
// Copies are deep and keep each string's exact byte length, so embedded NULs
// and odd byte lengths survive. Copying throws std::bad_alloc when memory
// runs out and then leaves the target as it was.
class CUrlRecord {
public:
    CUrlRecord() = default;
    // Takes copies of the strings of `data` up to their first NUL: the form a
    // record takes when a client hands it in.
    static CUrlRecord FromUrlDate(const _URL_DATE_& data);

    CUrlRecord(const CUrlRecord& other);
    CUrlRecord(CUrlRecord&& other) noexcept;
    // Copies nothing for self-assignment or for a string that is the very
    // same allocation as the one held.
    CUrlRecord& operator=(const CUrlRecord& other);
    CUrlRecord& operator=(CUrlRecord&& other) noexcept;
    virtual ~CUrlRecord();

    // Fills `out` with Time and fresh exact copies of the strings; the caller
    // owns them. What `out` held before is overwritten, not freed. Throws
    // std::bad_alloc (with `out` untouched) when memory runs out.
    void CopyTo(_URL_DATE_* out) const;

    // Replaces a string with one the record takes over.
    void AttachUrl(BSTR text);
    void AttachPath(BSTR text);
    void AttachTitle(BSTR text);

    std::int64_t Time = 0;
    BSTR Url = nullptr;
    BSTR Path = nullptr;
    BSTR Title = nullptr;
};

// An exact copy of `text` (byte length kept); null for null. Throws
// std::bad_alloc when memory runs out.
BSTR DuplicateBstr(BSTR text);
