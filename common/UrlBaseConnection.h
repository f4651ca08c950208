// Connecting to the URL base, as every client of the history does: the
// class is created with any server context (the history server is started
// on the first request), put into the running state, and asked for
// IWYSCURLBase.
#pragma once

#include "common/IWYSCURLBase.h"
#include "platform/com/ComPtr.h"

namespace wys {

// On success *base holds the interface; on failure it is null and the
// HRESULT of the first step that failed is returned. The calling thread must
// be in an apartment (CO_E_NOTINITIALIZED otherwise); the connection belongs
// to that apartment and is used on it only.
HRESULT ConnectUrlBase(ComPtr<IWYSCURLBase>* base);

}  // namespace wys
