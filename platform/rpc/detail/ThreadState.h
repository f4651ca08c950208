// The runtime's per-thread state. Private to the runtime.
#pragma once

#include <memory>

#include "platform/rpc/detail/CApartment.h"

namespace wys::rpc {

// The calling thread's apartment; null when it has not entered one.
std::shared_ptr<CApartment> CurrentApartment();
// The calling thread's message queue, made on first use when `create`.
std::shared_ptr<CMessageQueue> CurrentQueue(bool create);

}  // namespace wys::rpc
