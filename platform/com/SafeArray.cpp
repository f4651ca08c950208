#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "platform/com/Dispatch.h"
#include "platform/com/Variant.h"

namespace {

constexpr USHORT FADF_HAVEVARTYPE = 0x0080;

ULONG ElementSize(VARTYPE vt)
{
    switch (vt) {
        case VT_BSTR:
            return sizeof(BSTR);
        case VT_VARIANT:
            return sizeof(VARIANT);
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return sizeof(IUnknown*);
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
            return 4;
        case VT_I8:
        case VT_UI8:
            return 8;
        case VT_UI1:
        case VT_I1:
            return 1;
        case VT_BOOL:
        case VT_I2:
        case VT_UI2:
            return 2;
        default:
            return 0;
    }
}

// Offset of the element at `indices` (one per dimension), or false when an
// index lies outside its bounds.
bool ElementOffset(const SAFEARRAY* a, const LONG* indices, std::size_t* offset)
{
    std::size_t position = 0;
    std::size_t stride = 1;
    for (UINT d = 0; d < a->cDims; ++d) {
        const SAFEARRAYBOUND& b = a->rgsabound[d];
        long long i = static_cast<long long>(indices[d]) - b.lLbound;
        if (i < 0 || i >= static_cast<long long>(b.cElements))
            return false;
        position += static_cast<std::size_t>(i) * stride;
        stride *= b.cElements;
    }
    *offset = position * a->cbElements;
    return true;
}

void ClearElements(SAFEARRAY* a)
{
    ULONG n = SafeArrayElementCount(a);
    char* data = static_cast<char*>(a->pvData);
    for (ULONG i = 0; i < n; ++i) {
        void* e = data + static_cast<std::size_t>(i) * a->cbElements;
        switch (a->vt) {
            case VT_BSTR:
                SysFreeString(*static_cast<BSTR*>(e));
                break;
            case VT_VARIANT:
                VariantClear(static_cast<VARIANT*>(e));
                break;
            case VT_UNKNOWN:
            case VT_DISPATCH:
                if (auto* p = *static_cast<IUnknown**>(e))
                    p->Release();
                break;
            default:
                break;
        }
    }
}

// Copies one element value into `slot` as the array stores it.
HRESULT StoreCopy(VARTYPE vt, void* slot, const void* value, ULONG size)
{
    switch (vt) {
        case VT_BSTR: {
            BSTR source = static_cast<BSTR>(const_cast<void*>(value));
            BSTR copy = CopyBstr(source);
            if (source && !copy)
                return E_OUTOFMEMORY;
            SysFreeString(*static_cast<BSTR*>(slot));
            *static_cast<BSTR*>(slot) = copy;
            return S_OK;
        }
        case VT_VARIANT:
            return VariantCopy(static_cast<VARIANT*>(slot), static_cast<const VARIANT*>(value));
        case VT_UNKNOWN:
        case VT_DISPATCH: {
            auto* p = static_cast<IUnknown*>(const_cast<void*>(value));
            if (p)
                p->AddRef();
            if (auto* old = *static_cast<IUnknown**>(slot))
                old->Release();
            *static_cast<IUnknown**>(slot) = p;
            return S_OK;
        }
        default:
            std::memcpy(slot, value, size);
            return S_OK;
    }
}

}  // namespace

ULONG SafeArrayElementCount(const SAFEARRAY* a)
{
    if (!a)
        return 0;
    unsigned long long n = 1;
    for (UINT d = 0; d < a->cDims; ++d)
        n *= a->rgsabound[d].cElements;
    return static_cast<ULONG>(n);
}

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, const SAFEARRAYBOUND* bounds)
{
    ULONG size = ElementSize(vt);
    if (size == 0 || dims == 0 || dims > 64 || !bounds)
        return nullptr;
    unsigned long long count = 1;
    for (UINT d = 0; d < dims; ++d) {
        count *= bounds[d].cElements;
        if (count > std::numeric_limits<ULONG>::max() / size)
            return nullptr;
    }
    std::size_t header = sizeof(SAFEARRAY) + (dims - 1) * sizeof(SAFEARRAYBOUND);
    auto* a = static_cast<SAFEARRAY*>(std::calloc(1, header));
    if (!a)
        return nullptr;
    a->pvData = std::calloc(count ? count : 1, size);
    if (!a->pvData) {
        std::free(a);
        return nullptr;
    }
    a->cDims = static_cast<USHORT>(dims);
    a->fFeatures = FADF_HAVEVARTYPE;
    a->cbElements = size;
    a->vt = vt;
    for (UINT d = 0; d < dims; ++d)
        a->rgsabound[d] = bounds[d];
    if (vt == VT_VARIANT) {
        auto* v = static_cast<VARIANT*>(a->pvData);
        for (unsigned long long i = 0; i < count; ++i)
            VariantInit(&v[i]);
    }
    return a;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements)
{
    SAFEARRAYBOUND bound{elements, lowerBound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* a)
{
    if (!a)
        return S_OK;
    if (a->cLocks)
        return DISP_E_ARRAYISLOCKED;
    ClearElements(a);
    std::free(a->pvData);
    std::free(a);
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* a)
{
    return a ? a->cDims : 0;
}

UINT SafeArrayGetElemsize(SAFEARRAY* a)
{
    return a ? a->cbElements : 0;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* a, VARTYPE* vt)
{
    if (!a || !vt)
        return E_INVALIDARG;
    *vt = a->vt;
    return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* a, UINT dim, LONG* bound)
{
    if (!a || !bound)
        return E_INVALIDARG;
    if (dim == 0 || dim > a->cDims)
        return DISP_E_BADINDEX;
    *bound = a->rgsabound[dim - 1].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* a, UINT dim, LONG* bound)
{
    if (!a || !bound)
        return E_INVALIDARG;
    if (dim == 0 || dim > a->cDims)
        return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = a->rgsabound[dim - 1];
    *bound = static_cast<LONG>(static_cast<long long>(b.lLbound) + b.cElements - 1);
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* a)
{
    if (!a)
        return E_INVALIDARG;
    ++a->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* a)
{
    if (!a)
        return E_INVALIDARG;
    if (a->cLocks == 0)
        return E_UNEXPECTED;
    --a->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* a, void** data)
{
    if (!a || !data)
        return E_INVALIDARG;
    HRESULT hr = SafeArrayLock(a);
    if (SUCCEEDED(hr))
        *data = a->pvData;
    return hr;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* a)
{
    return SafeArrayUnlock(a);
}

HRESULT SafeArrayGetElement(SAFEARRAY* a, const LONG* indices, void* value)
{
    if (!a || !indices || !value)
        return E_INVALIDARG;
    std::size_t offset;
    if (!ElementOffset(a, indices, &offset))
        return DISP_E_BADINDEX;
    const void* element = static_cast<const char*>(a->pvData) + offset;
    switch (a->vt) {
        case VT_BSTR: {
            BSTR source = *static_cast<const BSTR*>(element);
            BSTR copy = CopyBstr(source);
            if (source && !copy)
                return E_OUTOFMEMORY;
            *static_cast<BSTR*>(value) = copy;
            return S_OK;
        }
        case VT_VARIANT:
            VariantInit(static_cast<VARIANT*>(value));
            return VariantCopy(static_cast<VARIANT*>(value), static_cast<const VARIANT*>(element));
        case VT_UNKNOWN:
        case VT_DISPATCH: {
            IUnknown* p = *static_cast<IUnknown* const*>(element);
            if (p)
                p->AddRef();
            *static_cast<IUnknown**>(value) = p;
            return S_OK;
        }
        default:
            std::memcpy(value, element, a->cbElements);
            return S_OK;
    }
}

HRESULT SafeArrayPutElement(SAFEARRAY* a, const LONG* indices, const void* value)
{
    if (!a || !indices)
        return E_INVALIDARG;
    std::size_t offset;
    if (!ElementOffset(a, indices, &offset))
        return DISP_E_BADINDEX;
    if (!value && a->vt != VT_BSTR && a->vt != VT_UNKNOWN && a->vt != VT_DISPATCH)
        return E_INVALIDARG;
    return StoreCopy(a->vt, static_cast<char*>(a->pvData) + offset, value, a->cbElements);
}

HRESULT SafeArrayCopy(SAFEARRAY* source, SAFEARRAY** copy)
{
    if (!copy)
        return E_INVALIDARG;
    *copy = nullptr;
    if (!source)
        return S_OK;
    SAFEARRAY* a = SafeArrayCreate(source->vt, source->cDims, source->rgsabound);
    if (!a)
        return E_OUTOFMEMORY;
    ULONG n = SafeArrayElementCount(source);
    for (ULONG i = 0; i < n; ++i) {
        const char* from =
            static_cast<const char*>(source->pvData) + static_cast<std::size_t>(i) * source->cbElements;
        char* to = static_cast<char*>(a->pvData) + static_cast<std::size_t>(i) * a->cbElements;
        const void* value = from;
        if (source->vt == VT_BSTR)
            value = *reinterpret_cast<const BSTR*>(from);
        else if (source->vt == VT_UNKNOWN || source->vt == VT_DISPATCH)
            value = *reinterpret_cast<IUnknown* const*>(from);
        HRESULT hr = StoreCopy(source->vt, to, value, source->cbElements);
        if (FAILED(hr)) {
            SafeArrayDestroy(a);
            return hr;
        }
    }
    *copy = a;
    return S_OK;
}
