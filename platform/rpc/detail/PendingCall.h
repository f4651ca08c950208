// A call waiting for its reply, as its connection and its caller share it.
// Private to the runtime.
#pragma once

#include <cstddef>
#include <functional>

#include "platform/rpc/InterfaceProxy.h"

namespace wys::rpc {

struct PendingCall {
    ReplyReader reply;  // runs when the reply arrives, on the owner thread
    bool done = false;
    bool lost = false;      // the connection went before the reply came
    bool ordered = false;   // sent as an ordered call: counts against the connection's bounds
    std::size_t bytes = 0;  // the request's size, for those bounds
    HRESULT result = S_OK;
};

// A pipelined call from its Begin to its Finish (CallPipeline.h). Owned by
// its pipeline; the connection refers to `pending` while the reply is due.
struct PipelineEntry {
    PipelineEntry() : pending{ReplyReader(handlers.read)} {}
    PipelineEntry(const PipelineEntry&) = delete;
    PipelineEntry& operator=(const PipelineEntry&) = delete;

    PipelinedReply handlers;  // before `pending`, which refers to it
    PendingCall pending;
    bool claimed = false;  // a proxy took the call; else it ran inside Begin
};

// The entry a Begin on this thread is filling, until a proxy claims it.
PipelineEntry* OpeningPipelineEntry();
// Takes the opening entry for a proxy's call: later calls inside the same
// Begin (and calls nested in waits from now on) run one at a time.
PipelineEntry* ClaimPipelineEntry();

}  // namespace wys::rpc
