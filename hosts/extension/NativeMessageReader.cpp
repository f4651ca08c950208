#include "hosts/extension/NativeMessageReader.h"

#include <cstring>

namespace wys::extension {

CNativeMessageReader::CNativeMessageReader(std::size_t limit) : m_limit(limit) {}

void CNativeMessageReader::Feed(const char* data, std::size_t size)
{
    if (m_skipLeft > 0) {
        std::size_t dropped = size < m_skipLeft ? size : m_skipLeft;
        m_skipLeft -= dropped;
        data += dropped;
        size -= dropped;
    }
    if (size > 0)
        m_buffer.append(data, size);
}

std::optional<std::string> CNativeMessageReader::Next()
{
    for (;;) {
        if (m_skipLeft > 0)
            return std::nullopt;
        std::size_t available = m_buffer.size() - m_start;
        if (available < sizeof(std::uint32_t)) {
            Compact();
            return std::nullopt;
        }
        std::uint32_t length = 0;
        std::memcpy(&length, m_buffer.data() + m_start, sizeof length);
        if (length > m_limit) {
            // Dropped whole, so that the stream stays in step for the next one.
            ++m_oversized;
            m_start += sizeof length;
            std::size_t here = m_buffer.size() - m_start;
            if (here >= length) {
                m_start += length;
                continue;
            }
            m_skipLeft = length - here;
            m_buffer.clear();
            m_start = 0;
            return std::nullopt;
        }
        if (available - sizeof length < length) {
            Compact();
            m_buffer.reserve(m_start + sizeof length + length);
            return std::nullopt;
        }
        std::string message = m_buffer.substr(m_start + sizeof length, length);
        m_start += sizeof length + length;
        return message;
    }
}

void CNativeMessageReader::Compact()
{
    if (m_start == 0)
        return;
    m_buffer.erase(0, m_start);
    m_start = 0;
}

std::string FrameMessage(std::string_view json)
{
    std::uint32_t length = static_cast<std::uint32_t>(json.size());
    std::string framed(sizeof length, '\0');
    std::memcpy(framed.data(), &length, sizeof length);
    framed.append(json);
    return framed;
}

}  // namespace wys::extension
