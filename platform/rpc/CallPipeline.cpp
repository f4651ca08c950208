#include "platform/rpc/CallPipeline.h"

#include <algorithm>
#include <utility>

#include "platform/rpc/detail/PendingCall.h"
#include "platform/rpc/detail/ThreadState.h"

namespace wys::rpc {

namespace {

thread_local PipelineEntry* t_opening = nullptr;

}  // namespace

PipelineEntry* OpeningPipelineEntry()
{
    return t_opening;
}

PipelineEntry* ClaimPipelineEntry()
{
    PipelineEntry* entry = std::exchange(t_opening, nullptr);
    if (entry)
        entry->claimed = true;
    return entry;
}

CCallPipeline::CCallPipeline(std::size_t depth) : m_depth(std::clamp<std::size_t>(depth, 1, kMaxDepth)) {}

CCallPipeline::~CCallPipeline()
{
    // The connections refer to the entries until their replies are in.
    while (!m_entries.empty())
        Finish();
}

bool CCallPipeline::Full() const
{
    return m_entries.size() >= m_depth || (!m_entries.empty() && m_bytes >= kMaxRequestBytes);
}

HRESULT CCallPipeline::Begin(FunctionRef<HRESULT()> call)
{
    if (Full())
        return E_UNEXPECTED;
    auto entry = std::make_unique<PipelineEntry>();
    PipelineEntry* previous = std::exchange(t_opening, entry.get());
    const HRESULT result = call();
    t_opening = previous;
    if (!entry->claimed) {
        // The call ran at once (an object of this apartment, another thread's
        // proxy): its result is already known.
        entry->pending.done = true;
        entry->pending.result = result;
    } else if (FAILED(result)) {
        // The proxy took it but could not send it (a call that went out
        // answers S_OK here).
        entry->pending.done = true;
        entry->pending.result = result;
    }
    m_bytes += entry->pending.bytes;
    m_entries.push_back(std::move(entry));
    return S_OK;
}

HRESULT CCallPipeline::Finish()
{
    if (m_entries.empty())
        return E_UNEXPECTED;
    std::unique_ptr<PipelineEntry> entry = std::move(m_entries.front());
    m_entries.pop_front();
    m_bytes -= entry->pending.bytes;
    PendingCall& pending = entry->pending;
    if (!pending.done) {
        if (std::shared_ptr<CApartment> apartment = CurrentApartment())
            apartment->Wait([&] { return pending.done; });
    }
    HRESULT result = !pending.done || pending.lost ? RPC_E_DISCONNECTED : pending.result;
    if (entry->claimed && FAILED(result) && entry->handlers.fail)
        entry->handlers.fail();
    return result;
}

}  // namespace wys::rpc
