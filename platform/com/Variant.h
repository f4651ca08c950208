// VARIANT and SAFEARRAY: the self-describing values of automation calls.
#pragma once

#include <string>

#include "platform/com/Bstr.h"
#include "platform/com/Unknown.h"

struct IDispatch;

using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

enum : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF,
};

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

// One-or-more-dimensional array. `rgsabound` holds cDims entries in the order
// the creator gave them; elements are stored with the first dimension varying
// fastest.
struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void* pvData;
    VARTYPE vt;
    SAFEARRAYBOUND rgsabound[1];
};

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        ULONGLONG ullVal;
        LONG lVal;
        ULONG ulVal;
        INT intVal;
        UINT uintVal;
        SHORT iVal;
        USHORT uiVal;
        signed char cVal;
        BYTE bVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        HRESULT scode;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        ULONG* pulVal;
        VARIANT_BOOL* pboolVal;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        void* byref;
    };
};

using VARIANTARG = VARIANT;

void VariantInit(VARIANT* v);
// Frees what v owns (strings, interfaces, arrays; never what a VT_BYREF
// points at) and leaves it VT_EMPTY. DISP_E_BADVARTYPE for unknown types.
HRESULT VariantClear(VARIANT* v);
// Deep copy of source into target (target cleared first). By-reference
// values are copied as references.
HRESULT VariantCopy(VARIANT* target, const VARIANT* source);
// Like VariantCopy, but a by-reference source is copied as the value it refers to.
HRESULT VariantCopyInd(VARIANT* target, const VARIANT* source);
// Converts source to type vt into target (which may be source itself).
// Supported targets: VT_I4, VT_UI4, VT_I8, VT_BOOL, VT_BSTR. A value that has
// no such form gives DISP_E_TYPEMISMATCH; one out of range, DISP_E_OVERFLOW.
HRESULT VariantChangeType(VARIANT* target, const VARIANT* source, USHORT flags, VARTYPE vt);

// SAFEARRAY operations. Element types: VT_BSTR, VT_VARIANT, VT_UNKNOWN,
// VT_DISPATCH, VT_I4, VT_UI4, VT_I8, VT_UI1, VT_BOOL.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, const SAFEARRAYBOUND* bounds);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements);
HRESULT SafeArrayDestroy(SAFEARRAY* array);
UINT SafeArrayGetDim(SAFEARRAY* array);
UINT SafeArrayGetElemsize(SAFEARRAY* array);
HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt);
// dim is 1-based.
HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound);
HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound);
HRESULT SafeArrayLock(SAFEARRAY* array);
HRESULT SafeArrayUnlock(SAFEARRAY* array);
HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
// indices: one per dimension. Get returns a copy (a new BSTR, an AddRef'd
// interface); Put stores a copy.
HRESULT SafeArrayGetElement(SAFEARRAY* array, const LONG* indices, void* value);
HRESULT SafeArrayPutElement(SAFEARRAY* array, const LONG* indices, const void* value);
HRESULT SafeArrayCopy(SAFEARRAY* source, SAFEARRAY** copy);
// Total number of elements (product of the dimensions).
ULONG SafeArrayElementCount(const SAFEARRAY* array);

// Owns one VARIANT.
class CComVariant : public VARIANT {
public:
    CComVariant() { VariantInit(this); }
    CComVariant(const CComVariant& other);
    CComVariant(const VARIANT& other);
    CComVariant(LONG value);
    CComVariant(bool value);
    CComVariant(BSTR value);  // copies
    explicit CComVariant(std::string_view utf8);
    CComVariant& operator=(const CComVariant& other);
    ~CComVariant() { VariantClear(this); }

    HRESULT Clear() { return VariantClear(this); }
    HRESULT CopyTo(VARIANT* target) const { return VariantCopy(target, this); }
    HRESULT ChangeType(VARTYPE type) { return VariantChangeType(this, this, 0, type); }
    // Moves the value out to the caller, leaving this VT_EMPTY.
    HRESULT Detach(VARIANT* target);
};
