#include "platform/com/ComPtr.h"

bool IsSameObject(IUnknown* a, IUnknown* b)
{
    if (!a || !b)
        return a == b;
    ComPtr<IUnknown> ua;
    ComPtr<IUnknown> ub;
    if (FAILED(a->QueryInterface(IID_IUnknown, ua.PutVoid())) ||
        FAILED(b->QueryInterface(IID_IUnknown, ub.PutVoid())))
        return false;
    return ua.Get() == ub.Get();
}
