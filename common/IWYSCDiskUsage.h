// What the history's saved copies take on disk, asked of the URL base
// object through QueryInterface on its IWYSCURLBase. A server that keeps no
// count answers E_NOINTERFACE.
#pragma once

#include "common/Identifiers.h"
#include "platform/com/Unknown.h"

struct IWYSCDiskUsage : IUnknown {
    static constexpr GUID Iid = IID_IWYSCDiskUsage;
    using Base = IUnknown;

    // The bytes the saved copies in the history folder take on disk, each
    // file counted once however many visits share it (what du reports),
    // and the bytes they would take if no visit shared a file (du
    // --count-links). S_OK when the count is up to date; S_FALSE when the
    // server is still going through files (after a start, a change of
    // folder, or captures just added), and the figures are those so far.
    virtual HRESULT GetDiskUsage(ULONGLONG* bytesOnDisk, ULONGLONG* bytesWithoutSharing) = 0;

protected:
    ~IWYSCDiskUsage() = default;
};

#include "common/IWYSCURLBaseRemoting.h"
