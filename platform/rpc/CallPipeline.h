// Pipelined calls: many calls from one apartment to objects in another
// apartment or process in flight at once, their results collected in the
// order they were begun. This runtime's counterpart of asynchronous call
// objects (Begin_ and Finish_ of every method), usable with the interface
// pointers a caller already holds.
//
//   CCallPipeline pipeline;                       // depth: kDefaultDepth
//   for (ULONG i = 0; i < count; ++i) {
//       if (pipeline.Full())
//           Use(pipeline.Finish());
//       pipeline.Begin([&, i] { return base->GetData(&records[i], i); });
//   }
//   while (!pipeline.Empty())
//       Use(pipeline.Finish());
//
// Begin runs `call`, which makes one call through a proxy: the proxy sends
// the request and returns at once instead of waiting for the reply. Finish
// waits for the reply of the oldest call begun and not yet finished,
// dispatching incoming calls and events meanwhile as every outgoing call
// does, and returns its result. Out values are written into the storage the
// call named when the reply arrives, at the latest inside that call's
// Finish: that storage (and every argument passed by pointer) must stay
// valid until then. A failed call's out values are cleared in its Finish, as
// a failed call's are.
//
// What holds:
// - Order. The callee's apartment carries the pipelined calls of one
//   connection out one by one, each once every earlier call of that
//   connection has been answered, so each sees the effects of those before
//   it and its callbacks (events) reach the caller between calls, as with
//   calls made one at a time. Calls the caller makes from inside such a
//   callback are served at once, nested in it, as ever; a call it makes
//   outside callbacks while pipelined calls are in flight goes behind them.
// - Only the first proxy call inside a Begin is pipelined; further calls in
//   it, calls on an object of this apartment, and calls made from a thread
//   that does not own the proxy's connection run at once inside Begin, and
//   Finish returns their result.
// - A lost connection (the callee's process ended, its apartment closed)
//   fails every call in flight on it with RPC_E_DISCONNECTED.
// - Bounded memory. A pipeline holds at most its depth (at most kMaxDepth)
//   calls, and stops admitting calls once kMaxRequestBytes of requests are
//   in flight (one call of any size is always admitted). A connection
//   carries at most kMaxConnectionCalls pipelined calls and
//   kMaxConnectionBytes of their requests at a time, from however many
//   pipelines: a Begin beyond that waits, dispatching, for replies to make
//   room. The callee keeps at most that many waiting calls per connection
//   (twice the calls, four times the bytes; a peer beyond is broken and
//   dropped) and stops reading a connection whose unsent replies exceed
//   kMaxUnsentReplyBytes until they drain, so a caller that sends faster
//   than the callee answers is held back by the socket, not by memory.
//
// A pipeline belongs to the thread that made it, which must be in an
// apartment. Destroying it waits for the calls still in flight, and drops
// their results.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>

#include "platform/base/WinError.h"
#include "platform/rpc/FunctionRef.h"

namespace wys::rpc {

struct PipelineEntry;

class CCallPipeline {
public:
    static constexpr std::size_t kDefaultDepth = 1024;
    static constexpr std::size_t kMaxDepth = 4096;
    static constexpr std::size_t kMaxRequestBytes = 4u << 20;
    static constexpr std::size_t kMaxConnectionCalls = 4096;
    static constexpr std::size_t kMaxConnectionBytes = 8u << 20;
    static constexpr std::size_t kMaxUnsentReplyBytes = 4u << 20;

    // `depth` is clamped to 1 .. kMaxDepth.
    explicit CCallPipeline(std::size_t depth = kDefaultDepth);
    ~CCallPipeline();
    CCallPipeline(const CCallPipeline&) = delete;
    CCallPipeline& operator=(const CCallPipeline&) = delete;

    // Begins `call` (see above). S_OK once it is begun: its result comes from
    // its Finish. E_UNEXPECTED, and `call` is not run, when the pipeline is
    // full.
    HRESULT Begin(FunctionRef<HRESULT()> call);
    // The result of the oldest unfinished call, once its reply is in.
    // E_UNEXPECTED when the pipeline is empty.
    HRESULT Finish();

    // Calls begun and not finished.
    std::size_t Size() const { return m_entries.size(); }
    bool Empty() const { return m_entries.empty(); }
    bool Full() const;
    std::size_t Depth() const { return m_depth; }

private:
    std::size_t m_depth;
    std::size_t m_bytes = 0;
    std::deque<std::unique_ptr<PipelineEntry>> m_entries;
};

}  // namespace wys::rpc
