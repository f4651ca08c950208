// A URL base that answers the history interface but offers no events
// (no IConnectionPointContainer), so that hooking OnSettingsChanged fails.
#pragma once

#include "common/IWYSCURLBase.h"
#include "platform/com/ComObject.h"
#include "tests/support/UrlBaseFake.h"

namespace wys::test {

class CFakeUrlBase final : public CComObjectRoot<CFakeUrlBase, UrlBaseFake> {
public:
    HRESULT GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    HRESULT get_CollectHistory(VARIANT_BOOL* value) override
    {
        *value = VARIANT_TRUE;
        return S_OK;
    }
};

}  // namespace wys::test
