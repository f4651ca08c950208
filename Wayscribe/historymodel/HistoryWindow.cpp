#include "Wayscribe/historymodel/HistoryWindow.h"

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

}  // namespace wys
