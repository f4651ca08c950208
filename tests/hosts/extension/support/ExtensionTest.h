// What the extension tests share: the real WYSCHelper in a temporary home
// with libWYSCbho.so registered as the helper object of browser windows, a
// loopback site of pages to visit, and Chromium profiles with the
// Wayscribe extension's native host registered in them.
#pragma once

#include <string>

#include "tests/server/ServerProcessTest.h"
#include "tests/support/LoopbackHttpServer.h"

namespace wys::test {

// The extension's fixed identifier in Chromium (from the key in its manifest).
inline constexpr const char* kExtensionId = "fpbfhlogilcibnhbfjlojbgeklhhpjfa";

// A small site on a loopback server:
//   /visit/static.html   a styled page with an image (single-file route)
//   /visit/scripted.php  a page whose whole body a script builds (HTML route)
//   /visit/frames.php    a page with two frames of the same site (HTML route)
//   /slow/page.php       a page whose image answers slowly from its second request on
class CVisitSite {
public:
    CVisitSite();
    LoopbackHttpServer& Server() { return m_server; }
    std::string Url(const std::string& path) const { return m_server.Url(path); }

    // How long the slow image keeps the capture waiting.
    static constexpr int kSlowMs = 7000;

private:
    LoopbackHttpServer m_server;
};

class ExtensionTest : public ServerProcessTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // A user data folder for Chromium with the native host registered in
    // it; `allowPrivate`: the extension is allowed in private windows.
    std::string MakeProfile(const std::string& name, bool allowPrivate = false);
    // Waits for a record of `url`; its Path, empty when none came in time.
    std::string WaitForRecord(const std::string& url, int timeoutMs = 20000);
    // Whether any record has this URL.
    bool HasRecord(const std::string& url);

    ComPtr<IWYSCURLBase> m_history;
};

// Registers an in-process server library as its DllRegisterServer does.
void RegisterLibrary(const char* path);
// Waits, dispatching the apartment's calls meanwhile.
void PumpFor(int ms);

}  // namespace wys::test
