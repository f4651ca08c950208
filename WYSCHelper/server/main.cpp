// WYSCHelper: the per-user history server. Started by the component runtime
// on a client's first request for CWYSCURLBase, it serves the one URL base
// object from its main thread's apartment and ends by itself a few seconds
// after the last client let go. "/RegServer" and "/UnregServer" write and
// remove its registration instead.
#include <cstdio>
#include <thread>

#include "WYSCHelper/server/CServerModule.h"
#include "WYSCHelper/server/CServerRegistration.h"
#include "WYSCHelper/server/CTerminationSignals.h"
#include "WYSCHelper/server/CUrlBaseClassFactory.h"
#include "WYSCHelper/server/ServerCommandLine.h"
#include "common/Identifiers.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/Apartment.h"

using namespace wys::server;

namespace {

HRESULT Registration(ServerAction action)
{
    std::string program = CServerRegistration::RunningProgramPath();
    if (program.empty())
        return E_FAIL;
    CServerRegistration registration(program);
    return action == ServerAction::RegServer ? registration.Register() : registration.Unregister();
}

int Serve(CServerModule& module, CTerminationSignals& signals)
{
    ComPtr<CUrlBaseClassFactory> factory;
    factory.Attach(CreateComObject<CUrlBaseClassFactory>(module));
    DWORD cookie = 0;
    HRESULT hr = CoRegisterClassObject(CLSID_WYSCURLBase, factory->GetUnknown(), CLSCTX_LOCAL_SERVER,
                                       REGCLS_MULTIPLEUSE, &cookie);
    if (FAILED(hr)) {
        std::fprintf(stderr, "WYSCHelper: cannot offer the history class: %s\n", HResultText(hr).c_str());
        return ServerExitCode(hr);
    }
    if (!module.StartMonitor()) {
        CoRevokeClassObject(cookie);
        return ServerExitCode(E_FAIL);
    }
    // A terminated session still gets its history saved.
    DWORD mainThread = module.MainThread();
    signals.Start([mainThread](int) { PostThreadMessage(mainThread, WM_QUIT, 0, 0); });
    // The client that started this server may never ask for the object.
    module.ArmShutdown();

    MSG message;
    while (GetMessage(&message, nullptr, 0, 0) > 0)
        DispatchMessage(&message);

    // New requests start a new server from here on; it waits for this
    // process to end before it reads the index this one is about to save.
    CoRevokeClassObject(cookie);
    if (module.Timing().delayedShutdown)
        std::this_thread::sleep_for(module.Timing().pause);
    factory = nullptr;  // releases the URL base object, which saves the index
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    CTerminationSignals signals;  // before any other thread starts
    CServerModule module;
    module.SetMainThread(GetCurrentThreadId());
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return -1;
    int exitCode = 0;
    ServerAction action = ParseServerCommandLine(JoinArguments(argc, argv));
    if (action == ServerAction::Serve)
        exitCode = Serve(module, signals);
    else
        exitCode = ServerExitCode(Registration(action));
    CoUninitialize();
    return exitCode;
}
