// The stream in which a message hands over its serialised form, with the
// calls of the data-access library's stream that the capture makes.
#pragma once

#include "platform/com/Bstr.h"
#include "platform/com/Unknown.h"

using ADO_LONGPTR = LONGLONG;

// Options of SaveToFile.
using SaveOptionsEnum = LONG;
inline constexpr SaveOptionsEnum adSaveCreateNotExist = 1;   // fail when the file exists
inline constexpr SaveOptionsEnum adSaveCreateOverWrite = 2;  // replace an existing file

// The data-access library's error for a file that cannot be written.
inline constexpr HRESULT adErrWriteFile = MakeHResult(0x800A0BBCu);

struct _Stream : IUnknown {
    static constexpr GUID Iid = MakeGuid("{00000565-0000-0010-8000-00AA006D2EA4}");
    using Base = IUnknown;

    // Number of bytes in the stream.
    virtual HRESULT get_Size(ADO_LONGPTR* size) = 0;

    // Writes every byte of the stream to `fileName` (UTF-16 path). The file
    // appears whole or not at all: the bytes go to a temporary file in the same
    // folder that then takes the name. With adSaveCreateNotExist an existing
    // file is left alone and the call fails with adErrWriteFile, as it does
    // when the folder cannot be written. E_INVALIDARG for other options.
    virtual HRESULT SaveToFile(BSTR fileName, SaveOptionsEnum options) = 0;

protected:
    ~_Stream() = default;
};
