// The framing of the runtime's connections. Private to the runtime.
//
// Every message is one frame, all integers little-endian:
//
//   offset size
//    0      4   length of everything after this field (kMinFrameLength..kMaxFrameLength)
//    4      1   wire version (kWireVersion)
//    5      1   kind: 1 call, 2 reply, 3 release, 4 ordered call
//    6      2   method number within the interface (calls)
//    8      4   call identifier (calls and their replies); 0 for releases
//   12      8   object identifier: the receiver's exported object (calls,
//               releases); 0 names the connection's root object
//   20     16   interface identifier of the method (calls)
//   36      -   payload
//
// Payloads: a call carries its [in] arguments in declaration order; a reply
// carries the HRESULT (4 bytes) and then the [out] values; a release carries
// the number of references given back (4 bytes) and has no reply.
// Call identifiers are chosen by the caller and unique among its calls in
// flight on that connection, so calls may nest in both directions.
//
// A call starts as soon as it arrives, even while the receiver carries out
// another call of the same connection (which is how a call back from inside
// an event nests). An ordered call starts only once no call of its connection
// is running and every ordered call before it has been answered: pipelined
// calls are ordered, so the receiver carries them out one by one in the
// order sent. Releases that arrive behind waiting ordered calls wait with
// them, so that no reference goes before a call that may still use it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/rpc/WireReader.h"
#include "platform/rpc/WireWriter.h"

namespace wys::rpc {

enum class FrameKind : std::uint8_t { Call = 1, Reply = 2, Release = 3, OrderedCall = 4 };

inline constexpr std::uint8_t kWireVersion = 1;
inline constexpr std::size_t kFrameHeaderSize = 36;
inline constexpr std::uint32_t kMinFrameLength = kFrameHeaderSize - 4;
// Large enough for any history export list; a peer claiming more is broken.
// A call or reply that would be larger fails with RPC_E_INVALID_DATA.
inline constexpr std::uint32_t kMaxFrameLength = 16u << 20;

// Methods of the root object (object 0) of every connection.
enum class RootMethod : std::uint16_t {
    GetClassObject = 0,    // in: CLSID, IID; out: interface
    TakeStreamObject = 1,  // in: token, IID; out: interface (same process only)
};
// Interface identifier and method number of QueryInterface on the wire.
inline constexpr std::uint16_t kRemoteQueryInterface = 0;

struct FrameHeader {
    FrameKind kind = FrameKind::Call;
    std::uint16_t method = 0;
    std::uint32_t callId = 0;
    std::uint64_t objectId = 0;
    GUID iid{};
};

struct CFrame {
    FrameHeader header;
    std::vector<std::uint8_t> payload;
};

// Writes the header with a length to be patched by FinishFrame.
void BeginFrame(CWireWriter& writer, const FrameHeader& header);
void FinishFrame(CWireWriter& writer);

// Cuts a received byte stream into frames. Memory grows only with the bytes
// that really arrived; a length outside the limits, an unknown version or
// kind raises CWireError as soon as the header shows it.
class CFrameSplitter {
public:
    void Append(const std::uint8_t* data, std::size_t size);
    // The next complete frame, or nullopt when more bytes are needed.
    std::optional<CFrame> Next();
    // Bytes of an incomplete frame are waiting.
    bool HasPartialFrame() const { return m_used < m_buffer.size(); }

private:
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_used = 0;  // bytes already handed out as frames
};

}  // namespace wys::rpc
