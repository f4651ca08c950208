// Conversions at the interface boundary shared by the module's objects.
#include <limits>
#include <new>
#include <optional>

#include "platform/dom/src/DomObject.h"

namespace wys::dom {
namespace {

std::optional<long long> IntegerOf(const VARIANT& value)
{
    const bool byRef = (value.vt & VT_BYREF) != 0;
    if (byRef && !value.byref)
        return std::nullopt;
    switch (value.vt & ~VT_BYREF) {
        case VT_I1:
            return byRef ? *static_cast<const signed char*>(value.byref) : value.cVal;
        case VT_UI1:
            return byRef ? *value.pbVal : value.bVal;
        case VT_I2:
            return byRef ? *value.piVal : value.iVal;
        case VT_UI2:
            return byRef ? *static_cast<const USHORT*>(value.byref) : value.uiVal;
        case VT_I4:
        case VT_INT:
            return byRef ? *value.plVal : value.lVal;
        case VT_UI4:
        case VT_UINT:
            return byRef ? *value.pulVal : value.ulVal;
        case VT_I8:
            return byRef ? *value.pllVal : value.llVal;
        case VT_UI8: {
            ULONGLONG raw = byRef ? *static_cast<const ULONGLONG*>(value.byref) : value.ullVal;
            if (raw > static_cast<ULONGLONG>(std::numeric_limits<long long>::max()))
                return std::nullopt;
            return static_cast<long long>(raw);
        }
        case VT_VARIANT:
            // A variant by reference to a variant: the form script engines pass.
            if (byRef && (value.pvarVal->vt & VT_TYPEMASK) != VT_VARIANT)
                return IntegerOf(*value.pvarVal);
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

}  // namespace

HRESULT ReturnString(std::string_view utf8, BSTR* out) noexcept
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    try {
        CComBSTR text(utf8);
        if (text.IsNull())
            return E_OUTOFMEMORY;
        *out = text.Detach();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT IndexFromVariant(const VARIANT* index, ULONG count, ULONG* position)
{
    if (!index)
        return E_INVALIDARG;
    std::optional<long long> value = IntegerOf(*index);
    if (!value || *value < 0 || *value >= static_cast<long long>(count))
        return E_INVALIDARG;
    *position = static_cast<ULONG>(*value);
    return S_OK;
}

void ReturnDispatch(IDispatch* object, VARIANT* result)
{
    object->AddRef();
    result->vt = VT_DISPATCH;
    result->pdispVal = object;
}

}  // namespace wys::dom
