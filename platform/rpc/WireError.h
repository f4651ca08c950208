// The error of malformed data received from a peer.
#pragma once

#include <exception>

namespace wys::rpc {

// Malformed data from a peer. Never leaves the runtime.
class CWireError : public std::exception {
public:
    explicit CWireError(const char* what) : m_what(what) {}
    const char* what() const noexcept override { return m_what; }

private:
    const char* m_what;
};

}  // namespace wys::rpc
