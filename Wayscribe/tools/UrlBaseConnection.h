// A connection of the band's own to the URL base, for the commands that make
// one for themselves: the options dialog, import and the search worker.
#pragma once

#include "common/IWYSCURLBase.h"
#include "platform/com/ComPtr.h"

namespace wys {

// Creates the URL base object by its class identifier with any server
// context, puts it into the running state and asks it for IWYSCURLBase. On
// success *base holds the interface; on failure it is null and the
// activation's HRESULT is returned. The calling thread must be in an
// apartment (CO_E_NOTINITIALIZED otherwise); the connection belongs to that
// apartment and is used on it only.
HRESULT ConnectUrlBase(ComPtr<IWYSCURLBase>* base);

}  // namespace wys
