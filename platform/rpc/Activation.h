// Creating objects by class identifier, and serving classes to other
// processes.
//
// A class is found, in this order: a class object registered in this
// process with CoRegisterClassObject; the shared library named by its
// InprocServer32 registration (for CLSCTX_INPROC_SERVER); its local server
// (for CLSCTX_LOCAL_SERVER): the running server's socket, or else the
// program named by LocalServer32, started with "-Embedding" appended, whose
// first request waits until it has registered the class. A class object in
// another apartment or process arrives as a proxy.
//
// All of these need the calling thread to be in an apartment
// (CO_E_NOTINITIALIZED otherwise). Waits dispatch incoming calls.
#pragma once

#include <string>

#include "platform/com/Unknown.h"

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
inline constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
inline constexpr DWORD CLSCTX_ALL = CLSCTX_SERVER | CLSCTX_INPROC_HANDLER;

inline constexpr DWORD REGCLS_SINGLEUSE = 0;
inline constexpr DWORD REGCLS_MULTIPLEUSE = 1;
inline constexpr DWORD REGCLS_MULTI_SEPARATE = 2;
inline constexpr DWORD REGCLS_SUSPENDED = 4;

inline constexpr HRESULT CO_E_OBJNOTREG = MakeHResult(0x800401FBu);
inline constexpr HRESULT CO_E_OBJISREG = MakeHResult(0x800401FCu);

// What an in-process server library exports.
using LPFNGETCLASSOBJECT = HRESULT (*)(REFCLSID clsid, REFIID iid, void** object);
using LPFNCANUNLOADNOW = HRESULT (*)();

// The class object of clsid as interface iid. REGDB_E_CLASSNOTREG when no
// server is registered for the contexts asked; CO_E_SERVER_EXEC_FAILURE when
// a local server could not be started or did not register the class in
// time; HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE) when the path of its
// socket (LocalServerSocketPath) is too long for a Unix socket, so that no
// local server can serve it. `serverInfo` must be null.
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* serverInfo, REFIID iid, void** object);
// CoGetClassObject, then IClassFactory::CreateInstance.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object);

// Offers a class object. CLSCTX_LOCAL_SERVER makes it reachable from other
// processes of this user (REGCLS_MULTIPLEUSE: one registration serves every
// client); the first such registration waits until an earlier server of the
// class has ended. The object is called on the registering thread's
// apartment. CO_E_OBJISREG when the class is registered here already.
HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* object, DWORD context, DWORD flags, DWORD* cookie);
// Withdraws a class object: new requests start a new server. Objects already
// handed out keep working. CO_E_OBJNOTREG for an unknown cookie.
HRESULT CoRevokeClassObject(DWORD cookie);

// The socket a local server of clsid listens on, for telling the user
// where it is: under the runtime folder ($XDG_RUNTIME_DIR), which is made
// when missing.
HRESULT LocalServerSocketPath(REFCLSID clsid, std::string* path);
// The folder those sockets are in, made when missing: private to this user,
// for other programs of the system that keep a socket beside them.
HRESULT LocalServerFolderPath(std::string* folder);

// Puts an object into the running state; objects here always are running.
HRESULT OleRun(IUnknown* object);
// Closes in-process server libraries whose DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries();
// Whether an in-process server library this process opened has been
// replaced on disk since (rebuilt, reinstalled or removed): the code that
// runs is then not what its path holds now.
bool InprocServerLibrariesReplaced();
