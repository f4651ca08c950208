// Local servers on this machine: the per-user folder of their sockets and
// locks, dialing and listening, and starting a server program on demand.
// Private to the runtime.
//
//   <runtime>/wayscribe/com/{CLSID}.sock   the server's listening socket
//   <runtime>/wayscribe/com/{CLSID}.lock   held by the running server for its
//                                          whole life (flock), released only
//                                          when its process ends
//   <runtime>/wayscribe/com/{CLSID}.start  held by a client while it starts
//                                          the server, so only one starts it
//
// <runtime> is $XDG_RUNTIME_DIR, or /tmp/wayscribe-<uid> when it is unset;
// the folders are made with mode 0700 and must belong to this user.
#pragma once

#include <memory>
#include <string>

#include "platform/com/Guid.h"
#include "platform/rpc/LocalSocket.h"
#include "platform/rpc/detail/CApartment.h"

namespace wys::rpc {

// The folder of sockets and locks, made when missing.
HRESULT LocalServerFolder(std::string* folder);
std::string LocalServerPath(const std::string& folder, REFCLSID clsid, const char* suffix);

// Connects to a server's socket. An invalid descriptor when nobody listens
// there (the server is not running or has stopped serving).
CFd DialLocalServer(const std::string& path);

// Accepts the connections of one class's socket on its apartment, refusing
// peers that run as another user.
class CListener final : public CEventSource, public std::enable_shared_from_this<CListener> {
public:
    CListener(std::shared_ptr<CApartment> apartment, CFd fd, std::string path);
    int Fd() const override { return m_fd.Get(); }
    void OnEvents(std::uint32_t events) override;
    // Stops accepting and removes the socket file. Owner thread.
    void Stop();
    CApartment& Apartment() { return *m_apartment; }

private:
    std::shared_ptr<CApartment> m_apartment;
    CFd m_fd;
    std::string m_path;
};

// Serves clsid on `apartment`: waits for the lock of any earlier server of
// the class (it may still be saving), then listens, and tells a client that
// is starting this process that the class is ready.
HRESULT ListenLocalServer(const std::shared_ptr<CApartment>& apartment, REFCLSID clsid,
                          std::shared_ptr<CListener>* listener);

// Starts the server program `commandLine` (with "-Embedding" appended) for
// clsid unless `running()` finds it up once the start lock is held, and
// waits until it serves the class. Standard error goes to a log file under
// $XDG_STATE_HOME/wayscribe/. Dispatches incoming calls while it waits.
HRESULT StartLocalServer(CApartment& apartment, REFCLSID clsid, const std::string& commandLine,
                         FunctionRef<bool()> running);

}  // namespace wys::rpc
