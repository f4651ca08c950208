#include "platform/rpc/detail/Frame.h"

namespace wys::rpc {

void BeginFrame(CWireWriter& writer, const FrameHeader& header)
{
    writer.U32(0);
    writer.U8(kWireVersion);
    writer.U8(static_cast<std::uint8_t>(header.kind));
    writer.U16(header.method);
    writer.U32(header.callId);
    writer.U64(header.objectId);
    writer.Guid(header.iid);
}

void FinishFrame(CWireWriter& writer)
{
    writer.PatchU32(0, static_cast<std::uint32_t>(writer.Size() - 4));
}

void CFrameSplitter::Append(const std::uint8_t* data, std::size_t size)
{
    if (m_used > 0 && m_used == m_buffer.size()) {
        m_buffer.clear();
        m_used = 0;
    } else if (m_used > 64 * 1024 && m_used * 2 > m_buffer.size()) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_used));
        m_used = 0;
    }
    m_buffer.insert(m_buffer.end(), data, data + size);
}

std::optional<CFrame> CFrameSplitter::Next()
{
    std::size_t available = m_buffer.size() - m_used;
    if (available < 4)
        return std::nullopt;
    CWireReader lengthReader(m_buffer.data() + m_used, 4);
    std::uint32_t length = lengthReader.U32();
    if (length < kMinFrameLength || length > kMaxFrameLength)
        throw CWireError("frame length out of bounds");
    if (available >= 6) {
        if (m_buffer[m_used + 4] != kWireVersion)
            throw CWireError("unknown wire version");
        std::uint8_t kind = m_buffer[m_used + 5];
        if (kind < 1 || kind > 4)
            throw CWireError("unknown frame kind");
    }
    if (available - 4 < length)
        return std::nullopt;
    CWireReader reader(m_buffer.data() + m_used + 4, length);
    CFrame frame;
    reader.U8();  // version, checked above
    frame.header.kind = static_cast<FrameKind>(reader.U8());
    frame.header.method = reader.U16();
    frame.header.callId = reader.U32();
    frame.header.objectId = reader.U64();
    frame.header.iid = reader.Guid();
    const std::uint8_t* payload = reader.Bytes(reader.Remaining());
    frame.payload.assign(payload, payload + (length - kMinFrameLength));
    m_used += 4 + length;
    return frame;
}

}  // namespace wys::rpc
