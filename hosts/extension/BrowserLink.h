// How wayscribe-band reaches the person's browser: every running native
// host (one per browser that runs the extension) listens on a socket of its
// own, named after its process, in a per-user folder:
//
//   <runtime>/wayscribe/browsers/<pid>.sock
//
// <runtime> is $XDG_RUNTIME_DIR, or /tmp/wayscribe-<uid> when it is unset;
// the folders are made with mode 0700 and must belong to this user, and a
// host accepts only peers of its own user. A host touches its socket each
// time a window of its browser gets the focus, so the newest socket is the
// browser the person used last.
//
// On the socket, framed as native messaging (NativeMessageReader.h), the
// band asks and the host answers once per request:
//   {"type":"navigate","url":"file:///...","savedCopy":true}
//   {"type":"navigated","ok":true}  |  {"type":"navigated","ok":false,"error":"..."}
//
// Functions are thread-safe; a listener is used by one thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wys::extension {

// The longest request a host reads from the band.
inline constexpr std::size_t kMaxBandRequest = 128 * 1024;

// The folder of the sockets, made when missing. Empty, with *why, when it
// cannot be had.
std::string BrowserLinkFolder(std::string* why);

// The sockets of the hosts there, the most recently touched first.
std::vector<std::string> BrowserLinkSockets();

struct BandRequest {
    std::string url;  // an http, https, ftp or file URL
    bool savedCopy = false;
};
// Parses and checks one request. Null, with *why, when it is not one.
std::optional<BandRequest> ParseBandRequest(std::string_view json, std::string* why);
std::string BandRequestMessage(const BandRequest& request);
// The answer; `error` empty: it went.
std::string BandReplyMessage(const std::string& error);
// Reads an answer: whether it went; *error says why not. Null when the text
// is no answer.
std::optional<bool> ParseBandReply(std::string_view json, std::string* error);

// A host's listening socket, removed again with the object.
class CBrowserLinkListener {
public:
    CBrowserLinkListener() = default;
    ~CBrowserLinkListener();
    CBrowserLinkListener(const CBrowserLinkListener&) = delete;
    CBrowserLinkListener& operator=(const CBrowserLinkListener&) = delete;

    // Listens on the socket of this process. False, with *why, when it cannot.
    bool Listen(std::string* why);
    int Fd() const { return m_fd; }
    // A connection waiting to be taken, non-blocking, from this user;
    // -1 when none is waiting. The caller owns it.
    int Accept();
    // Marks this host as the browser used last.
    void Touch();

private:
    int m_fd = -1;
    std::string m_path;
};

}  // namespace wys::extension
