// A sequential byte stream with a position, as the platform's stream
// interface offers it.
#pragma once

#include "platform/com/Unknown.h"

inline constexpr DWORD STREAM_SEEK_SET = 0;
inline constexpr DWORD STREAM_SEEK_CUR = 1;
inline constexpr DWORD STREAM_SEEK_END = 2;

struct IStream : IUnknown {
    static constexpr GUID Iid = MakeGuid("{0000000C-0000-0000-C000-000000000046}");
    using Base = IUnknown;

    // Reads up to `size` bytes; *read (may be null) gets the count. S_FALSE
    // when fewer than `size` were left.
    virtual HRESULT Read(void* data, ULONG size, ULONG* read) = 0;
    virtual HRESULT Write(const void* data, ULONG size, ULONG* written) = 0;
    virtual HRESULT Seek(LONGLONG offset, DWORD origin, ULONGLONG* position) = 0;

protected:
    ~IStream() = default;
};

// A new empty stream in memory. `global` must be null; the memory is freed
// with the stream.
HRESULT CreateStreamOnHGlobal(void* global, BOOL deleteOnRelease, IStream** stream);
