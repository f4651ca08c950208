// The runtime's name for the owning file descriptor of platform/base.
#pragma once

#include "platform/base/CFileDescriptor.h"

namespace wys::rpc {

using CFd = wys::base::CFileDescriptor;

}  // namespace wys::rpc
