#include "platform/rpc/Activation.h"

#include "platform/com/ComPtr.h"
#include "platform/rpc/detail/CConnection.h"
#include "platform/rpc/detail/ClassRegistration.h"
#include "platform/rpc/detail/InprocServer.h"
#include "platform/rpc/detail/LocalServer.h"
#include "platform/rpc/detail/ObjectTables.h"
#include "platform/rpc/detail/ThreadState.h"

using namespace wys::rpc;

namespace {

// Activation retries when the server it reached stops before answering (it
// was shutting down); the next try starts a new one.
constexpr int kActivationAttempts = 3;

bool SameApartment(const std::shared_ptr<CApartment>& a, const std::shared_ptr<CApartment>& b)
{
    return a.get() == b.get();
}

// The class object of a local server, on the apartment's owner thread.
HRESULT LocalServerClassObject(const std::shared_ptr<CApartment>& apartment, REFCLSID clsid,
                               const std::string& commandLine, REFIID iid, void** object)
{
    std::string folder;
    if (HRESULT hr = LocalServerFolder(&folder); FAILED(hr))
        return hr;
    std::string path = LocalServerPath(folder, clsid, ".sock");
    // Nobody could listen there: starting a server would only see it fail.
    if (!FitsSocketAddress(path))
        return commandLine.empty() ? REGDB_E_CLASSNOTREG : HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    HRESULT hr = REGDB_E_CLASSNOTREG;
    for (int attempt = 0; attempt < kActivationAttempts; ++attempt) {
        std::shared_ptr<CConnection> connection = apartment->FindConnection(path);
        if (!connection) {
            CFd fd = DialLocalServer(path);
            if (!fd.IsValid()) {
                if (commandLine.empty())
                    return attempt == 0 ? REGDB_E_CLASSNOTREG : CO_E_SERVER_EXEC_FAILURE;
                hr = StartLocalServer(*apartment, clsid, commandLine, [&] {
                    fd = DialLocalServer(path);
                    return fd.IsValid();
                });
                if (FAILED(hr))
                    return hr;
                if (!fd.IsValid())
                    fd = DialLocalServer(path);
                if (!fd.IsValid())
                    return CO_E_SERVER_EXEC_FAILURE;
            }
            connection = std::make_shared<CConnection>(apartment, std::move(fd), CConnection::Origin::Dialed,
                                                       CConnection::Scope::OtherProcess, path);
            apartment->AddConnection(connection);
        }
        hr = connection->GetClassObject(clsid, iid, object);
        if (hr != RPC_E_DISCONNECTED && hr != CO_E_SERVER_EXEC_FAILURE)
            return hr;
    }
    return hr;
}

}  // namespace

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* serverInfo, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (serverInfo)
        return E_INVALIDARG;
    auto apartment = CurrentApartment();
    if (!apartment)
        return CO_E_NOTINITIALIZED;
    RegisteredClass registered;
    if (FindRegisteredClass(clsid, context & (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER), &registered)) {
        auto owner = registered.apartment.lock();
        if (!owner || SameApartment(owner, apartment))
            return registered.object->QueryInterface(iid, object);
        HRESULT hr = RPC_E_DISCONNECTED;
        apartment->RunOnOwner([&] {
            if (auto link = apartment->LinkTo(owner))
                hr = link->GetClassObject(clsid, iid, object);
        });
        return hr;
    }
    ClassRegistration registration;
    bool known = LookupClassRegistration(clsid, &registration);
    if ((context & CLSCTX_INPROC_SERVER) && known && !registration.inprocServer.empty())
        return InprocGetClassObject(registration.inprocServer, clsid, iid, object);
    if (!(context & CLSCTX_LOCAL_SERVER))
        return REGDB_E_CLASSNOTREG;
    HRESULT hr = REGDB_E_CLASSNOTREG;
    apartment->RunOnOwner(
        [&] { hr = LocalServerClassObject(apartment, clsid, registration.localServer, iid, object); });
    return hr;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    // A local server may end between handing out its class object and the
    // creation (its idle time ran out): the next activation starts a new one.
    const int kAttempts = 3;
    HRESULT hr = E_FAIL;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        ComPtr<IClassFactory> factory;
        hr = CoGetClassObject(clsid, context, nullptr, IClassFactory::Iid, factory.PutVoid());
        if (FAILED(hr))
            return hr;
        hr = factory->CreateInstance(outer, iid, object);
        if (hr != RPC_E_DISCONNECTED && hr != RPC_E_SERVER_DIED)
            return hr;
        *object = nullptr;
    }
    return hr;
}

HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* object, DWORD context, DWORD flags, DWORD* cookie)
{
    if (!object || !cookie)
        return E_INVALIDARG;
    *cookie = 0;
    if (flags & ~(REGCLS_MULTIPLEUSE | REGCLS_MULTI_SEPARATE))
        return E_NOTIMPL;
    auto apartment = CurrentApartment();
    if (!apartment)
        return CO_E_NOTINITIALIZED;
    RegisteredClass existing;
    if (FindRegisteredClass(clsid, context, &existing))
        return CO_E_OBJISREG;
    RegisteredClass entry;
    entry.clsid = clsid;
    entry.object = object;
    entry.context = context;
    entry.apartment = apartment;
    if (context & CLSCTX_LOCAL_SERVER) {
        HRESULT hr = E_FAIL;
        apartment->RunOnOwner([&] { hr = ListenLocalServer(apartment, clsid, &entry.listener); });
        if (FAILED(hr))
            return hr;
    }
    *cookie = AddRegisteredClass(std::move(entry));
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie)
{
    RegisteredClass removed;
    if (!RemoveRegisteredClass(cookie, &removed))
        return CO_E_OBJNOTREG;
    if (removed.listener) {
        auto listener = removed.listener;
        listener->Apartment().RunOnOwner([&] { listener->Stop(); });
    }
    return S_OK;
}

HRESULT LocalServerSocketPath(REFCLSID clsid, std::string* path)
{
    if (!path)
        return E_POINTER;
    std::string folder;
    if (HRESULT hr = LocalServerFolder(&folder); FAILED(hr))
        return hr;
    *path = LocalServerPath(folder, clsid, ".sock");
    return S_OK;
}

HRESULT LocalServerFolderPath(std::string* folder)
{
    if (!folder)
        return E_POINTER;
    return LocalServerFolder(folder);
}

HRESULT OleRun(IUnknown* object)
{
    return object ? S_OK : E_INVALIDARG;
}

void CoFreeUnusedLibraries()
{
    FreeUnusedInprocLibraries();
}

bool InprocServerLibrariesReplaced()
{
    return InprocLibrariesReplaced();
}
