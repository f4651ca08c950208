// Record filters: small value objects that decide, one record at a time,
// whether a record is selected. They are built on the stack for one
// operation and passed by reference to the scans of CUrlRecordList.
#pragma once

#include "WYSCHelper/CUrlRecord.h"

class CRecordFilter {
public:
    virtual ~CRecordFilter() = default;
    virtual bool Matches(const CUrlRecord& record) const = 0;

protected:
    CRecordFilter() = default;
    CRecordFilter(const CRecordFilter&) = default;
    CRecordFilter& operator=(const CRecordFilter&) = default;
};
