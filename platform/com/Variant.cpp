#include "platform/com/Variant.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <limits>

#include "platform/com/Dispatch.h"
#include "platform/com/Utf.h"

namespace {

bool IsKnownScalar(VARTYPE t)
{
    switch (t) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I2:
        case VT_I4:
        case VT_R8:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_ERROR:
        case VT_BOOL:
        case VT_VARIANT:
        case VT_UNKNOWN:
        case VT_I1:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
            return true;
        default:
            return false;
    }
}

bool IsKnownType(VARTYPE vt)
{
    VARTYPE base = vt & VT_TYPEMASK;
    if (!IsKnownScalar(base))
        return false;
    if ((vt & VT_BYREF) == 0 && (vt & VT_ARRAY) == 0 && base == VT_VARIANT)
        return false;  // A plain VARIANT cannot hold a VARIANT by value.
    return (vt & ~(VT_TYPEMASK | VT_ARRAY | VT_BYREF)) == 0;
}

// Reads an integral value out of a non-array variant (following one level of
// VT_BYREF). Returns DISP_E_TYPEMISMATCH when the value has no integer form.
HRESULT ReadInteger(const VARIANT& v, long double* out)
{
    VARTYPE t = v.vt & VT_TYPEMASK;
    bool ref = (v.vt & VT_BYREF) != 0;
    if (v.vt & VT_ARRAY)
        return DISP_E_TYPEMISMATCH;
    if (ref && !v.byref)
        return E_POINTER;
    switch (t) {
        case VT_EMPTY:
            *out = 0;
            return S_OK;
        case VT_I1:
            *out = ref ? *reinterpret_cast<signed char*>(v.byref) : v.cVal;
            return S_OK;
        case VT_UI1:
            *out = ref ? *v.pbVal : v.bVal;
            return S_OK;
        case VT_I2:
            *out = ref ? *v.piVal : v.iVal;
            return S_OK;
        case VT_UI2:
            *out = ref ? *reinterpret_cast<USHORT*>(v.byref) : v.uiVal;
            return S_OK;
        case VT_I4:
        case VT_INT:
            *out = ref ? *v.plVal : v.lVal;
            return S_OK;
        case VT_UI4:
        case VT_UINT:
            *out = ref ? *v.pulVal : v.ulVal;
            return S_OK;
        case VT_I8:
            *out = static_cast<long double>(ref ? *v.pllVal : v.llVal);
            return S_OK;
        case VT_UI8:
            *out = static_cast<long double>(ref ? *reinterpret_cast<ULONGLONG*>(v.byref) : v.ullVal);
            return S_OK;
        case VT_BOOL:
            *out = (ref ? *v.pboolVal : v.boolVal) ? -1 : 0;
            return S_OK;
        case VT_R8: {
            double d = ref ? *reinterpret_cast<double*>(v.byref) : v.dblVal;
            if (d != d)
                return DISP_E_TYPEMISMATCH;
            // Banker's rounding, as automation conversions round.
            long double r = static_cast<long double>(d);
            long double f = static_cast<long double>(static_cast<long long>(r));
            long double frac = r - f;
            if (frac > 0.5L || (frac == 0.5L && static_cast<long long>(f) % 2 != 0))
                f += 1;
            else if (frac < -0.5L || (frac == -0.5L && static_cast<long long>(f) % 2 != 0))
                f -= 1;
            *out = f;
            return S_OK;
        }
        case VT_BSTR: {
            BSTR s = ref ? *v.pbstrVal : v.bstrVal;
            std::string text = Utf16ToUtf8(BstrView(s));
            std::size_t begin = text.find_first_not_of(" \t");
            std::size_t end = text.find_last_not_of(" \t");
            if (begin == std::string::npos)
                return DISP_E_TYPEMISMATCH;
            const char* first = text.data() + begin;
            const char* last = text.data() + end + 1;
            if (*first == '+')
                ++first;
            long long value = 0;
            auto [ptr, ec] = std::from_chars(first, last, value);
            if (ec == std::errc::result_out_of_range)
                return DISP_E_OVERFLOW;
            if (ec != std::errc() || ptr != last)
                return DISP_E_TYPEMISMATCH;
            *out = static_cast<long double>(value);
            return S_OK;
        }
        case VT_VARIANT:
            if (ref)
                return ReadInteger(*v.pvarVal, out);
            return DISP_E_TYPEMISMATCH;
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

HRESULT ToText(const VARIANT& v, BSTR* out)
{
    VARTYPE t = v.vt & VT_TYPEMASK;
    bool ref = (v.vt & VT_BYREF) != 0;
    if (v.vt & VT_ARRAY)
        return DISP_E_TYPEMISMATCH;
    if (t == VT_BSTR) {
        *out = CopyBstr(ref ? *v.pbstrVal : v.bstrVal);
        if (!*out)
            *out = SysAllocStringLen(nullptr, 0);
        return S_OK;
    }
    if (t == VT_VARIANT && ref)
        return ToText(*v.pvarVal, out);
    if (t == VT_BOOL) {
        VARIANT_BOOL b = ref ? *v.pboolVal : v.boolVal;
        *out = SysAllocString(b ? u"True" : u"False");
        return S_OK;
    }
    if (t == VT_EMPTY) {
        *out = SysAllocStringLen(nullptr, 0);
        return S_OK;
    }
    if (t == VT_R8) {
        double d = ref ? *reinterpret_cast<double*>(v.byref) : v.dblVal;
        char buffer[64];
        auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, d);
        (void)ec;
        CComBSTR text(std::string_view(buffer, static_cast<std::size_t>(ptr - buffer)));
        *out = text.Detach();
        return S_OK;
    }
    long double value;
    HRESULT hr = ReadInteger(v, &value);
    if (FAILED(hr))
        return hr;
    std::string text;
    if (value < 0)
        text = std::to_string(static_cast<long long>(value));
    else
        text = std::to_string(static_cast<unsigned long long>(value));
    *out = CComBSTR(std::string_view(text)).Detach();
    return S_OK;
}

}  // namespace

void VariantInit(VARIANT* v)
{
    std::memset(v, 0, sizeof *v);
    v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v)
{
    if (!v)
        return E_INVALIDARG;
    if (!IsKnownType(v->vt))
        return DISP_E_BADVARTYPE;
    if ((v->vt & VT_BYREF) == 0) {
        if (v->vt & VT_ARRAY) {
            HRESULT hr = SafeArrayDestroy(v->parray);
            if (FAILED(hr))
                return hr;
        } else {
            switch (v->vt) {
                case VT_BSTR:
                    SysFreeString(v->bstrVal);
                    break;
                case VT_UNKNOWN:
                    if (v->punkVal)
                        v->punkVal->Release();
                    break;
                case VT_DISPATCH:
                    if (v->pdispVal)
                        v->pdispVal->Release();
                    break;
                default:
                    break;
            }
        }
    }
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* target, const VARIANT* source)
{
    if (!target || !source)
        return E_INVALIDARG;
    if (target == source)
        return S_OK;
    if (!IsKnownType(source->vt))
        return DISP_E_BADVARTYPE;
    VARIANT copy = *source;
    if ((source->vt & VT_BYREF) == 0) {
        if (source->vt & VT_ARRAY) {
            copy.parray = nullptr;
            if (source->parray) {
                HRESULT hr = SafeArrayCopy(source->parray, &copy.parray);
                if (FAILED(hr))
                    return hr;
            }
        } else if (source->vt == VT_BSTR) {
            copy.bstrVal = CopyBstr(source->bstrVal);
            if (source->bstrVal && !copy.bstrVal)
                return E_OUTOFMEMORY;
        } else if (source->vt == VT_UNKNOWN || source->vt == VT_DISPATCH) {
            if (source->punkVal)
                source->punkVal->AddRef();
        }
    }
    HRESULT hr = VariantClear(target);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *target = copy;
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* target, const VARIANT* source)
{
    if (!target || !source)
        return E_INVALIDARG;
    if ((source->vt & VT_BYREF) == 0)
        return VariantCopy(target, source);
    if (!source->byref)
        return E_INVALIDARG;
    VARIANT value;
    VariantInit(&value);
    VARTYPE base = source->vt & ~VT_BYREF;
    if (base == VT_VARIANT)
        return VariantCopyInd(target, source->pvarVal);
    value.vt = base;
    if (base & VT_ARRAY) {
        value.parray = *source->pparray;
    } else {
        switch (base) {
            case VT_I1:
            case VT_UI1:
                value.bVal = *source->pbVal;
                break;
            case VT_I2:
            case VT_UI2:
            case VT_BOOL:
                value.iVal = *source->piVal;
                break;
            case VT_I4:
            case VT_UI4:
            case VT_INT:
            case VT_UINT:
            case VT_ERROR:
                value.lVal = *source->plVal;
                break;
            case VT_I8:
            case VT_UI8:
            case VT_R8:
                value.llVal = *source->pllVal;
                break;
            case VT_BSTR:
                value.bstrVal = *source->pbstrVal;
                break;
            case VT_UNKNOWN:
            case VT_DISPATCH:
                value.punkVal = *source->ppunkVal;
                break;
            default:
                return DISP_E_BADVARTYPE;
        }
    }
    // value borrows the referenced data; VariantCopy makes target's own copy.
    if (target == source) {
        VARIANT copy;
        VariantInit(&copy);
        HRESULT hr = VariantCopy(&copy, &value);
        if (FAILED(hr))
            return hr;
        *target = copy;  // A by-reference variant owns nothing, so nothing leaks.
        return S_OK;
    }
    return VariantCopy(target, &value);
}

HRESULT VariantChangeType(VARIANT* target, const VARIANT* source, USHORT, VARTYPE vt)
{
    if (!target || !source)
        return E_INVALIDARG;
    if (!IsKnownType(source->vt))
        return DISP_E_BADVARTYPE;
    if (source->vt == vt)
        return VariantCopy(target, source);
    VARIANT result;
    VariantInit(&result);
    if ((source->vt & VT_TYPEMASK) == VT_NULL || (source->vt & VT_ARRAY))
        return DISP_E_TYPEMISMATCH;
    switch (vt) {
        case VT_I4:
        case VT_UI4:
        case VT_I8:
        case VT_BOOL: {
            long double value;
            HRESULT hr = ReadInteger(*source, &value);
            if (FAILED(hr))
                return hr;
            if (vt == VT_I4) {
                if (value < std::numeric_limits<LONG>::min() || value > std::numeric_limits<LONG>::max())
                    return DISP_E_OVERFLOW;
                result.lVal = static_cast<LONG>(value);
            } else if (vt == VT_UI4) {
                if (value < 0 || value > std::numeric_limits<ULONG>::max())
                    return DISP_E_OVERFLOW;
                result.ulVal = static_cast<ULONG>(value);
            } else if (vt == VT_I8) {
                if (value < static_cast<long double>(std::numeric_limits<LONGLONG>::min()) ||
                    value > static_cast<long double>(std::numeric_limits<LONGLONG>::max()))
                    return DISP_E_OVERFLOW;
                result.llVal = static_cast<LONGLONG>(value);
            } else {
                result.boolVal = value != 0 ? VARIANT_TRUE : VARIANT_FALSE;
            }
            break;
        }
        case VT_BSTR: {
            HRESULT hr = ToText(*source, &result.bstrVal);
            if (FAILED(hr))
                return hr;
            break;
        }
        default:
            return DISP_E_TYPEMISMATCH;
    }
    result.vt = vt;
    HRESULT hr = VariantClear(target);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *target = result;
    return S_OK;
}

CComVariant::CComVariant(const CComVariant& other) : CComVariant()
{
    VariantCopy(this, &other);
}

CComVariant::CComVariant(const VARIANT& other) : CComVariant()
{
    VariantCopy(this, &other);
}

CComVariant::CComVariant(LONG value) : CComVariant()
{
    vt = VT_I4;
    lVal = value;
}

CComVariant::CComVariant(bool value) : CComVariant()
{
    vt = VT_BOOL;
    boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

CComVariant::CComVariant(BSTR value) : CComVariant()
{
    vt = VT_BSTR;
    bstrVal = CopyBstr(value);
}

CComVariant::CComVariant(std::string_view utf8) : CComVariant()
{
    vt = VT_BSTR;
    bstrVal = CComBSTR(utf8).Detach();
}

CComVariant& CComVariant::operator=(const CComVariant& other)
{
    VariantCopy(this, &other);
    return *this;
}

HRESULT CComVariant::Detach(VARIANT* target)
{
    if (!target)
        return E_POINTER;
    HRESULT hr = VariantClear(target);
    if (FAILED(hr))
        return hr;
    *target = *this;
    VariantInit(this);
    return S_OK;
}
