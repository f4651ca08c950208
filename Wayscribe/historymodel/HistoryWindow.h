// Reading the visits of a URL base a window at a time: a few thousand
// GetData calls in flight at once on the caller's connection (pipelined),
// their results collected in the order asked. Index by index reading pays a
// round trip between the processes for every visit; a window pays about one.
//
// Indices are positions at the moment each call is served, so a window read
// while another client removes visits may see some records before and some
// after the removal: callers that must not miss a visit check for that
// themselves (the band's fill and the search worker say how).
#pragma once

#include <vector>

#include "Wayscribe/historymodel/CDataItem.h"
#include "common/IWYSCURLBase.h"

namespace wys {

// Calls in one window: few enough for the runtime's bounds on calls in
// flight, many enough that a round trip per window costs next to nothing.
inline constexpr ULONG kHistoryWindow = 2048;

enum class WindowOrder { Ascending, Descending };

struct CWindowVisit {
    ULONG index = 0;
    HRESULT result = E_FAIL;  // GetData's result for that index
    CDataItem item;           // the record, when result is S_OK
};

// Reads the `count` records from index `first` on (at most kHistoryWindow),
// lowest index first or highest first, into *visits (one entry per index, in
// reading order; items carry `provider`). S_OK when every call was answered,
// whatever each answered; the connection's failure (RPC_E_DISCONNECTED) when
// it was lost, the entries answered before it kept. The caller's thread must
// be in the apartment that holds `base`.
HRESULT ReadHistoryWindow(IWYSCURLBase* base, ULONG first, ULONG count, WindowOrder order,
                          CQXServiceProvider* provider, std::vector<CWindowVisit>* visits);

// Whether `hr` says the URL base cannot be reached any more.
bool IsConnectionLost(HRESULT hr);

}  // namespace wys
