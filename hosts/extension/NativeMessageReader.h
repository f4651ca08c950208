// The framing of native messaging, the channel between a browser extension
// and the program the browser starts for it: every message is a 32-bit
// length in this machine's byte order, then that many bytes of UTF-8 JSON.
// The same framing carries the requests of wayscribe-band to a host.
//
// The reader takes the bytes as they arrive and hands out whole messages.
// What it is fed is never trusted: a message longer than its limit is
// skipped (its bytes are read and dropped as they come, never kept), and
// the messages after it are read as usual. Memory stays within the limit
// plus one read's worth.
//
// Not thread-safe: one reader per stream, used by one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wys::extension {

// The largest message a browser sends to its native host.
inline constexpr std::size_t kMaxMessageFromBrowser = 64u << 20;
// The largest message a browser accepts from its native host; a longer one
// makes it close the connection.
inline constexpr std::size_t kMaxMessageToBrowser = 1u << 20;

class CNativeMessageReader {
public:
    explicit CNativeMessageReader(std::size_t limit);

    // Appends bytes read from the stream.
    void Feed(const char* data, std::size_t size);
    // The next whole message, in order; null when none is complete yet.
    std::optional<std::string> Next();
    // Messages skipped so far for being longer than the limit.
    std::size_t Oversized() const { return m_oversized; }
    // Whether the stream stopped inside a message (at its end: a message was cut).
    bool InsideMessage() const { return m_skipLeft > 0 || m_buffer.size() > m_start; }

private:
    void Compact();

    std::size_t m_limit;
    std::string m_buffer;
    std::size_t m_start = 0;     // where the unread bytes begin in m_buffer
    std::size_t m_skipLeft = 0;  // bytes still to drop of an oversized message
    std::size_t m_oversized = 0;
};

// One message framed for sending: its length, then `json`.
std::string FrameMessage(std::string_view json);

}  // namespace wys::extension
