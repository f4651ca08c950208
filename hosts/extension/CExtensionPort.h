// The host's side of the channel to the extension: framed messages written
// to the descriptor the browser reads (the host's standard output, taken
// over at start so that nothing else writes there).
//
// Thread-safe: every tab's thread and the main thread send through one port;
// each message goes out whole. A message longer than the browser accepts is
// not sent. Once a write fails (the browser went away) the port stays
// closed and Send answers false.
#pragma once

#include <atomic>
#include <mutex>
#include <string_view>

namespace wys::extension {

class CExtensionPort {
public:
    // `fd` stays open while the port lives and is closed with it.
    explicit CExtensionPort(int fd);
    ~CExtensionPort();
    CExtensionPort(const CExtensionPort&) = delete;
    CExtensionPort& operator=(const CExtensionPort&) = delete;

    bool Send(std::string_view json);
    // A fresh request number for a message whose answer is awaited.
    long long NextRequest() { return ++m_lastRequest; }

private:
    std::mutex m_mutex;
    int m_fd;
    bool m_broken = false;
    std::atomic<long long> m_lastRequest{0};
};

}  // namespace wys::extension
