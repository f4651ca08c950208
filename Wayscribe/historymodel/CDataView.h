// A receiver of visit records: the history tab's tree and the search results
// are both fed through it.
#pragma once

#include "Wayscribe/historymodel/CDataItem.h"

class CDataView {
public:
    virtual ~CDataView() = default;
    // A record has joined the history.
    virtual void AddItem(const CDataItem& data) = 0;
    // A record is about to leave the history; only its Time and Url count.
    virtual void RemoveItem(const CDataItem& data) = 0;

protected:
    CDataView() = default;
    CDataView(const CDataView&) = default;
    CDataView& operator=(const CDataView&) = default;
};
