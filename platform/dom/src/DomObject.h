// Private to platform/dom: what every object of the document object model
// shares. The objects are reached through their own interfaces; their
// IDispatch offers no names or type information.
#pragma once

#include <string_view>

#include "platform/com/ComObject.h"
#include "platform/com/Dispatch.h"
#include "platform/com/DispatchStubs.h"
#include "platform/rpc/AgileObject.h"

namespace wys::dom {

// Objects whose automation side is empty.
template <class Derived, class... Interfaces>
class CDomObject : public CEmptyDispatchObject<Derived, Interfaces...> {
protected:
    // Built documents never change: their objects are handed to other
    // threads as themselves, so a capture thread reads the document directly
    // instead of making one call to the window's thread per property.
    HRESULT QueryInterfaceMore(REFIID iid, void** object) override
    {
        if (iid != IAgileObject::Iid)
            return E_NOINTERFACE;
        return this->QueryInterface(IID_IUnknown, object);
    }
};

// Stores a new BSTR holding `utf8` in *out. E_POINTER for a null out,
// E_OUTOFMEMORY (and a null *out) when the string cannot be allocated.
HRESULT ReturnString(std::string_view utf8, BSTR* out) noexcept;

// The position named by an integer variant (also by reference). E_INVALIDARG
// for anything else and for values outside 0..count-1.
HRESULT IndexFromVariant(const VARIANT* index, ULONG count, ULONG* position);

// Stores `object` with a new reference in *result as VT_DISPATCH.
void ReturnDispatch(IDispatch* object, VARIANT* result);

}  // namespace wys::dom
