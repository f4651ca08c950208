// Process-wide tables the connections consult when a peer asks for an
// object by name rather than by reference. Private to the runtime.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/rpc/detail/CApartment.h"

namespace wys::rpc {

class CListener;

// Class objects registered with CoRegisterClassObject.
struct RegisteredClass {
    CLSID clsid{};
    ComPtr<IUnknown> object;
    DWORD context = 0;
    std::weak_ptr<CApartment> apartment;
    std::shared_ptr<CListener> listener;  // local-server registrations
};

DWORD AddRegisteredClass(RegisteredClass entry);
// The entry, removed from the table; false for an unknown cookie.
bool RemoveRegisteredClass(DWORD cookie, RegisteredClass* removed);
// Removes the registrations made on `apartment` (it is ending).
std::vector<RegisteredClass> RemoveRegisteredClassesOf(const CApartment* apartment);
// The class object registered for clsid with any of the `contexts` bits.
bool FindRegisteredClass(REFCLSID clsid, DWORD contexts, RegisteredClass* found);

// Objects marshalled into a stream for another apartment of this process,
// waiting to be taken. The owner apartment's thread takes them.
std::uint64_t AddStreamObject(std::uint64_t ownerApartment, ComPtr<IUnknown> object);
// Null when the token is unknown, taken already, or belongs to another apartment.
ComPtr<IUnknown> TakeStreamObject(std::uint64_t token, std::uint64_t ownerApartment);

}  // namespace wys::rpc
