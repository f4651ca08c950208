#include "platform/com/TypeInfo.h"

#include "platform/com/ComObject.h"

namespace {

class CGuidTypeInfo final : public CComObjectRoot<CGuidTypeInfo, ITypeInfo> {
public:
    explicit CGuidTypeInfo(REFGUID guid) : m_guid(guid) {}

    HRESULT GetGuid(GUID* guid) override
    {
        if (!guid)
            return E_POINTER;
        *guid = m_guid;
        return S_OK;
    }

private:
    GUID m_guid;
};

}  // namespace

HRESULT CreateGuidTypeInfo(REFGUID guid, ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = CreateComObject<CGuidTypeInfo>(guid);
    return S_OK;
}
