// A sink for the history events that records what it receives, and may act
// while it handles an event (to test calls made from inside callbacks).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/IWYSCURLBase.h"
#include "platform/com/ComObject.h"
#include "platform/com/DispatchStubs.h"

namespace wys::test {

class CEventSink final : public CComObjectRoot<CEventSink, CDispatchNoTypeInfo<IWYSCURLBaseEvents>> {
public:
    // Entries: "<dispid>:<index>" or "<dispid>" for events without argument.
    std::vector<std::string> events;
    // Runs inside each event, after it was recorded; its result is the
    // event's result.
    std::function<HRESULT(DISPID, LONG)> onEvent;

    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override
    {
        LONG index = -1;
        if (params && params->cArgs == 1 && params->rgvarg[0].vt == VT_I4)
            index = params->rgvarg[0].lVal;
        events.push_back(std::to_string(id) + (index >= 0 ? ":" + std::to_string(index) : std::string()));
        return onEvent ? onEvent(id, index) : S_OK;
    }
};

}  // namespace wys::test
