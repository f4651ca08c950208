// Reads the values of one received frame. Every read is checked against the
// bytes that are really there: a frame that ends early or claims more than it
// holds raises CWireError, which drops the connection it came from.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "platform/com/Guid.h"
#include "platform/rpc/WireError.h"

namespace wys::rpc {

class CWireReader {
public:
    CWireReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_left(size) {}

    std::uint8_t U8() { return *Take(1); }
    std::uint16_t U16() { return Little<std::uint16_t>(); }
    std::uint32_t U32() { return Little<std::uint32_t>(); }
    std::uint64_t U64() { return Little<std::uint64_t>(); }
    std::int32_t I32() { return static_cast<std::int32_t>(Little<std::uint32_t>()); }
    std::int64_t I64() { return static_cast<std::int64_t>(Little<std::uint64_t>()); }
    double F64() { return std::bit_cast<double>(Little<std::uint64_t>()); }
    // A view of the next `size` bytes, valid while the frame lives.
    const std::uint8_t* Bytes(std::size_t size) { return Take(size); }
    GUID Guid()
    {
        GUID g;
        g.Data1 = U32();
        g.Data2 = U16();
        g.Data3 = U16();
        std::memcpy(g.Data4, Take(8), 8);
        return g;
    }

    // Checks that `count` items of at least `minSize` bytes each can still
    // follow, before anything is allocated for them.
    void ExpectItems(std::uint64_t count, std::size_t minSize)
    {
        if (minSize == 0)
            minSize = 1;
        if (count > m_left / minSize)
            throw CWireError("count larger than the frame");
    }
    std::size_t Remaining() const { return m_left; }
    void ExpectEnd()
    {
        if (m_left != 0)
            throw CWireError("trailing bytes");
    }

private:
    const std::uint8_t* Take(std::size_t size)
    {
        if (size > m_left)
            throw CWireError("frame ends early");
        const std::uint8_t* p = m_data;
        m_data += size;
        m_left -= size;
        return p;
    }
    template <class T>
    T Little()
    {
        const std::uint8_t* p = Take(sizeof(T));
        T v = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            v |= static_cast<T>(static_cast<T>(p[i]) << (8 * i));
        return v;
    }

    const std::uint8_t* m_data;
    std::size_t m_left;
};

}  // namespace wys::rpc
