// Connecting to the URL base: the class is created with any server context
// (the history server is started on the first request), put into the
// running state, and asked for IWYSCURLBase. The calling thread must be in
// an apartment.
#pragma once

#include "common/IWYSCURLBase.h"
#include "platform/com/ComPtr.h"

namespace wys::capture {

// The connection, or the failure of the first step that failed.
HRESULT ConnectUrlBase(ComPtr<IWYSCURLBase>* urlBase);

}  // namespace wys::capture
