// Builds the bytes of one frame: little-endian integers, GUIDs and raw bytes
// appended in order. Used by proxies and stubs to write call arguments.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/com/Guid.h"

namespace wys::rpc {

class CWireWriter {
public:
    void U8(std::uint8_t v) { m_bytes.push_back(v); }
    void U16(std::uint16_t v) { Little(v); }
    void U32(std::uint32_t v) { Little(v); }
    void U64(std::uint64_t v) { Little(v); }
    void I32(std::int32_t v) { Little(static_cast<std::uint32_t>(v)); }
    void I64(std::int64_t v) { Little(static_cast<std::uint64_t>(v)); }
    void F64(double v) { Little(std::bit_cast<std::uint64_t>(v)); }
    void Bytes(const void* data, std::size_t size)
    {
        const auto* p = static_cast<const std::uint8_t*>(data);
        m_bytes.insert(m_bytes.end(), p, p + size);
    }
    void Guid(const GUID& g)
    {
        U32(g.Data1);
        U16(g.Data2);
        U16(g.Data3);
        Bytes(g.Data4, sizeof g.Data4);
    }
    // Overwrites four bytes written earlier (a length known only at the end).
    void PatchU32(std::size_t offset, std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            m_bytes[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }

    std::size_t Size() const { return m_bytes.size(); }
    const std::uint8_t* Data() const { return m_bytes.data(); }
    std::vector<std::uint8_t>& Buffer() { return m_bytes; }

private:
    template <class T>
    void Little(T v)
    {
        for (std::size_t i = 0; i < sizeof(T); ++i)
            m_bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }

    std::vector<std::uint8_t> m_bytes;
};

}  // namespace wys::rpc
