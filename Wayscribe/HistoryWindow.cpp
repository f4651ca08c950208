#include "Wayscribe/HistoryWindow.h"

#include <algorithm>
#include <memory>

#include "platform/rpc/CallPipeline.h"

namespace wys {

bool IsConnectionLost(HRESULT hr)
{
    return hr == RPC_E_DISCONNECTED || hr == RPC_E_SERVER_DIED || hr == CO_E_OBJNOTCONNECTED;
}

HRESULT ReadHistoryWindow(IWYSCURLBase* base, ULONG first, ULONG count, WindowOrder order,
                          CQXServiceProvider* provider, std::vector<CWindowVisit>* visits)
{
    visits->clear();
    if (!base)
        return E_POINTER;
    count = std::min(count, kHistoryWindow);
    // The replies are written here as they arrive: storage that stays put
    // until the last call is finished.
    auto records = std::make_unique<CUrlDateHolder[]>(count);
    visits->resize(count);
    wys::rpc::CCallPipeline pipeline(count);
    for (ULONG k = 0; k < count; ++k) {
        const ULONG index = order == WindowOrder::Ascending ? first + k : first + count - 1 - k;
        (*visits)[k].index = index;
        pipeline.Begin([&, k, index] { return base->GetData(records[k].Receive(), index); });
    }
    HRESULT lost = S_OK;
    for (ULONG k = 0; k < count; ++k) {
        CWindowVisit& visit = (*visits)[k];
        visit.result = pipeline.Finish();
        if (SUCCEEDED(visit.result))
            visit.item = CDataItem::FromUrlDate(records[k], provider);
        else if (IsConnectionLost(visit.result) && SUCCEEDED(lost))
            lost = visit.result;
    }
    return lost;
}

CDescendingHistoryReader::CDescendingHistoryReader(IWYSCURLBase* base, ULONG count)
    : m_base(base),
      m_count(base ? count : 0),
      m_records(std::min(m_count, kHistoryWindow)),
      m_unbegun(m_records.size(), S_OK)
{
    if (m_records.empty())
        return;
    m_pipeline = std::make_unique<rpc::CCallPipeline>(m_records.size());
    while (m_begun < m_records.size())
        BeginNext();
}

// The pipeline goes first: it waits for the calls in flight, whose replies
// are written into the ring.
CDescendingHistoryReader::~CDescendingHistoryReader()
{
    m_pipeline.reset();
}

void CDescendingHistoryReader::BeginNext()
{
    const ULONG index = m_count - 1 - m_begun;
    CUrlDateHolder& record = m_records[m_begun % m_records.size()];
    m_unbegun[m_begun % m_records.size()] =
        m_pipeline->Begin([&] { return m_base->GetData(record.Receive(), index); });
    ++m_begun;
}

bool CDescendingHistoryReader::Next(ULONG* index, HRESULT* result, const _URL_DATE_** record)
{
    if (m_finished >= m_count)
        return false;
    // The slot of the record handed out last is free again.
    if (m_finished > 0 && m_begun < m_count)
        BeginNext();
    CUrlDateHolder& slot = m_records[m_finished % m_records.size()];
    *index = m_count - 1 - m_finished;
    // A call the pipeline did not take has no reply to wait for.
    const HRESULT begun = m_unbegun[m_finished % m_records.size()];
    *result = SUCCEEDED(begun) ? m_pipeline->Finish() : begun;
    *record = &slot;
    ++m_finished;
    return true;
}

}  // namespace wys
