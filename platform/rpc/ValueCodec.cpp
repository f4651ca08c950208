#include "platform/rpc/ValueCodec.h"

#include <bit>
#include <cstring>
#include <new>

#include "platform/com/ComError.h"

namespace wys::rpc {

static_assert(std::endian::native == std::endian::little, "values are copied as little-endian bytes");

namespace {

constexpr std::uint32_t kNullBstr = 0xFFFFFFFFu;
// Variants inside arrays inside variants: deep enough for any real value,
// shallow enough that a hostile frame cannot exhaust the stack.
constexpr int kMaxDepth = 8;
constexpr UINT kMaxDimensions = 64;

std::size_t ScalarSize(VARTYPE t)
{
    switch (t) {
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_ERROR:
            return 4;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
            return 8;
        default:
            return 0;
    }
}

bool IsElementType(VARTYPE t)
{
    switch (t) {
        case VT_BSTR:
        case VT_VARIANT:
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return true;
        default:
            return ScalarSize(t) != 0 && t != VT_ERROR && t != VT_R8;
    }
}

// Smallest wire size of one array element, to bound counts before allocating.
std::size_t MinWireSize(VARTYPE t)
{
    switch (t) {
        case VT_BSTR:
            return 4;
        case VT_VARIANT:
            return 2;
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return 1;
        default:
            return ScalarSize(t);
    }
}

// Size of what a by-reference variant of base type t points at.
std::size_t ReferencedSize(VARTYPE t)
{
    if (t & VT_ARRAY)
        return sizeof(SAFEARRAY*);
    switch (t) {
        case VT_BSTR:
            return sizeof(BSTR);
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return sizeof(IUnknown*);
        default:
            return ScalarSize(t);
    }
}

// A plain (not by-reference) type that can travel.
bool IsValueType(VARTYPE vt)
{
    if (vt & VT_BYREF)
        return false;
    if (vt & VT_ARRAY)
        return (vt & ~(VT_ARRAY | VT_TYPEMASK)) == 0 && IsElementType(vt & VT_TYPEMASK);
    switch (vt) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_BSTR:
        case VT_UNKNOWN:
        case VT_DISPATCH:
        case VT_R8:
        case VT_ERROR:
            return true;
        default:
            return ScalarSize(vt) != 0;
    }
}

bool IsWireType(VARTYPE vt)
{
    if (vt & VT_BYREF) {
        VARTYPE base = vt & ~VT_BYREF;
        return base == VT_VARIANT || (IsValueType(base) && base != VT_EMPTY && base != VT_NULL);
    }
    return IsValueType(vt);
}

void WriteScalar(CWireWriter& w, const void* p, std::size_t size)
{
    switch (size) {
        case 1:
            w.U8(*static_cast<const std::uint8_t*>(p));
            break;
        case 2: {
            std::uint16_t v;
            std::memcpy(&v, p, 2);
            w.U16(v);
            break;
        }
        case 4: {
            std::uint32_t v;
            std::memcpy(&v, p, 4);
            w.U32(v);
            break;
        }
        default: {
            std::uint64_t v;
            std::memcpy(&v, p, 8);
            w.U64(v);
            break;
        }
    }
}

void ReadScalar(CWireReader& r, void* p, std::size_t size)
{
    std::memcpy(p, r.Bytes(size), size);
}

void WriteVariantAt(CWireWriter& w, CMarshalContext& c, const VARIANT& v, int depth);
void ReadVariantAt(CWireReader& r, CMarshalContext& c, VARIANT* v, CByrefStore* store, int depth);
void WriteArrayAt(CWireWriter& w, CMarshalContext& c, SAFEARRAY* a, int depth);
SAFEARRAY* ReadArrayAt(CWireReader& r, CMarshalContext& c, int depth);

// Writes a value of plain type vt stored at `data` (a VARIANT's union or an
// array element).
void WriteValue(CWireWriter& w, CMarshalContext& c, VARTYPE vt, const void* data, int depth)
{
    if (vt & VT_ARRAY) {
        WriteArrayAt(w, c, *static_cast<SAFEARRAY* const*>(data), depth + 1);
        return;
    }
    switch (vt) {
        case VT_EMPTY:
        case VT_NULL:
            return;
        case VT_BSTR:
            WriteBstr(w, *static_cast<const BSTR*>(data));
            return;
        case VT_UNKNOWN:
            c.WriteInterface(w, *static_cast<IUnknown* const*>(data), IID_IUnknown);
            return;
        case VT_DISPATCH:
            c.WriteInterface(w, *static_cast<IDispatch* const*>(data), IID_IDispatch);
            return;
        case VT_VARIANT:
            WriteVariantAt(w, c, *static_cast<const VARIANT*>(data), depth + 1);
            return;
        default:
            if (std::size_t size = ScalarSize(vt)) {
                WriteScalar(w, data, size);
                return;
            }
            throw ComError(DISP_E_BADVARTYPE);
    }
}

void ReadValue(CWireReader& r, CMarshalContext& c, VARTYPE vt, void* slot, int depth)
{
    if (vt & VT_ARRAY) {
        SAFEARRAY* a = ReadArrayAt(r, c, depth + 1);
        if (a && a->vt != (vt & VT_TYPEMASK)) {
            SafeArrayDestroy(a);
            throw CWireError("array element type differs from the variant's");
        }
        *static_cast<SAFEARRAY**>(slot) = a;
        return;
    }
    switch (vt) {
        case VT_EMPTY:
        case VT_NULL:
            return;
        case VT_BSTR:
            *static_cast<BSTR*>(slot) = ReadBstr(r);
            return;
        case VT_UNKNOWN:
            *static_cast<IUnknown**>(slot) = static_cast<IUnknown*>(c.ReadInterface(r, IID_IUnknown));
            return;
        case VT_DISPATCH:
            *static_cast<IDispatch**>(slot) = static_cast<IDispatch*>(c.ReadInterface(r, IID_IDispatch));
            return;
        case VT_VARIANT:
            ReadVariantAt(r, c, static_cast<VARIANT*>(slot), nullptr, depth + 1);
            return;
        default:
            ReadScalar(r, slot, ScalarSize(vt));
            return;
    }
}

void WriteVariantAt(CWireWriter& w, CMarshalContext& c, const VARIANT& v, int depth)
{
    if (depth > kMaxDepth || !IsWireType(v.vt))
        throw ComError(DISP_E_BADVARTYPE);
    w.U16(v.vt);
    if (v.vt & VT_BYREF) {
        if (!v.byref)
            throw ComError(E_INVALIDARG);
        VARTYPE base = v.vt & ~VT_BYREF;
        if (base == VT_VARIANT)
            WriteVariantAt(w, c, *v.pvarVal, depth + 1);
        else
            WriteValue(w, c, base, v.byref, depth);
        return;
    }
    WriteValue(w, c, v.vt, &v.llVal, depth);
}

void ReadVariantAt(CWireReader& r, CMarshalContext& c, VARIANT* v, CByrefStore* store, int depth)
{
    if (depth > kMaxDepth)
        throw CWireError("values nested too deeply");
    VARTYPE vt = r.U16();
    if (!IsWireType(vt))
        throw CWireError("unknown variant type");
    if (vt & VT_BYREF) {
        if (!store)
            throw CWireError("reference where none may be");
        VARTYPE base = vt & ~VT_BYREF;
        VARIANT* slot = store->NewSlot();
        if (base == VT_VARIANT) {
            ReadVariantAt(r, c, slot, store, depth + 1);
            v->pvarVal = slot;
        } else {
            ReadValue(r, c, base, &slot->llVal, depth);
            slot->vt = base;
            v->byref = &slot->llVal;
        }
        v->vt = vt;
        return;
    }
    ReadValue(r, c, vt, &v->llVal, depth);
    v->vt = vt;
}

void WriteArrayAt(CWireWriter& w, CMarshalContext& c, SAFEARRAY* a, int depth)
{
    if (!a) {
        w.U8(0);
        return;
    }
    if (depth > kMaxDepth || !IsElementType(a->vt) || a->cDims == 0 || a->cDims > kMaxDimensions)
        throw ComError(DISP_E_BADVARTYPE);
    w.U8(1);
    w.U16(a->vt);
    w.U16(a->cDims);
    for (UINT d = 0; d < a->cDims; ++d) {
        w.U32(a->rgsabound[d].cElements);
        w.I32(a->rgsabound[d].lLbound);
    }
    ULONG count = SafeArrayElementCount(a);
    const auto* data = static_cast<const std::uint8_t*>(a->pvData);
    for (ULONG i = 0; i < count; ++i)
        WriteValue(w, c, a->vt, data + static_cast<std::size_t>(i) * a->cbElements, depth);
}

SAFEARRAY* ReadArrayAt(CWireReader& r, CMarshalContext& c, int depth)
{
    if (depth > kMaxDepth)
        throw CWireError("values nested too deeply");
    std::uint8_t present = r.U8();
    if (present == 0)
        return nullptr;
    if (present != 1)
        throw CWireError("bad array marker");
    VARTYPE vt = r.U16();
    UINT dims = r.U16();
    if (!IsElementType(vt) || dims == 0 || dims > kMaxDimensions)
        throw CWireError("bad array type or dimensions");
    r.ExpectItems(dims, 8);
    std::vector<SAFEARRAYBOUND> bounds(dims);
    std::uint64_t count = 1;
    for (auto& b : bounds) {
        b.cElements = r.U32();
        b.lLbound = r.I32();
        count *= b.cElements;
        if (count > 0xFFFFFFFFu)
            throw CWireError("array too large");
    }
    r.ExpectItems(count, MinWireSize(vt));
    SAFEARRAY* a = SafeArrayCreate(vt, dims, bounds.data());
    if (!a)
        throw CWireError("array shape cannot be made");  // e.g. a huge dimension times an empty one
    std::unique_ptr<SAFEARRAY, HRESULT (*)(SAFEARRAY*)> guard(a, SafeArrayDestroy);
    auto* data = static_cast<std::uint8_t*>(a->pvData);
    for (std::uint64_t i = 0; i < count; ++i)
        ReadValue(r, c, vt, data + static_cast<std::size_t>(i) * a->cbElements, depth);
    return guard.release();
}

}  // namespace

CByrefStore::~CByrefStore()
{
    for (auto& slot : m_slots)
        VariantClear(slot.get());
}

VARIANT* CByrefStore::NewSlot()
{
    auto slot = std::make_unique<VARIANT>();
    VariantInit(slot.get());
    m_slots.push_back(std::move(slot));
    return m_slots.back().get();
}

void WriteBstr(CWireWriter& writer, BSTR text)
{
    if (!text) {
        writer.U32(kNullBstr);
        return;
    }
    UINT length = SysStringByteLen(text);
    writer.U32(length);
    writer.Bytes(text, length);
}

BSTR ReadBstr(CWireReader& reader)
{
    std::uint32_t length = reader.U32();
    if (length == kNullBstr)
        return nullptr;
    const std::uint8_t* bytes = reader.Bytes(length);
    BSTR text = SysAllocStringByteLen(reinterpret_cast<const char*>(bytes), length);
    if (!text)
        throw std::bad_alloc();
    return text;
}

void WriteVariant(CWireWriter& writer, CMarshalContext& context, const VARIANT& value)
{
    WriteVariantAt(writer, context, value, 0);
}

void ReadVariant(CWireReader& reader, CMarshalContext& context, VARIANT* value, CByrefStore& store)
{
    ReadVariantAt(reader, context, value, &store, 0);
}

void WriteReferencedValue(CWireWriter& writer, CMarshalContext& context, const VARIANT& byref)
{
    VARTYPE base = byref.vt & ~VT_BYREF;
    if (!(byref.vt & VT_BYREF) || !byref.byref)
        throw ComError(E_INVALIDARG);
    if (base == VT_VARIANT) {
        WriteVariantAt(writer, context, *byref.pvarVal, 1);
        return;
    }
    if (!IsValueType(base))
        throw ComError(DISP_E_BADVARTYPE);
    writer.U16(base);
    WriteValue(writer, context, base, byref.byref, 1);
}

void ReadReferencedValue(CWireReader& reader, CMarshalContext& context, const VARIANT& byref)
{
    VARIANT value;
    VariantInit(&value);
    ReadVariantAt(reader, context, &value, nullptr, 1);
    VARTYPE base = byref.vt & ~VT_BYREF;
    if (base == VT_VARIANT) {
        VariantClear(byref.pvarVal);
        *byref.pvarVal = value;
        return;
    }
    if (value.vt != base) {
        VariantClear(&value);
        throw CWireError("referenced value changed its type");
    }
    if (base & VT_ARRAY) {
        SafeArrayDestroy(*byref.pparray);
    } else if (base == VT_BSTR) {
        SysFreeString(*byref.pbstrVal);
    } else if ((base == VT_UNKNOWN || base == VT_DISPATCH) && *byref.ppunkVal) {
        (*byref.ppunkVal)->Release();
    }
    std::memcpy(byref.byref, &value.llVal, ReferencedSize(base));
}

void WriteSafeArray(CWireWriter& writer, CMarshalContext& context, SAFEARRAY* array)
{
    WriteArrayAt(writer, context, array, 0);
}

SAFEARRAY* ReadSafeArray(CWireReader& reader, CMarshalContext& context)
{
    return ReadArrayAt(reader, context, 0);
}

void WriteExcepInfo(CWireWriter& writer, const EXCEPINFO& info)
{
    writer.U16(info.wCode);
    WriteBstr(writer, info.bstrSource);
    WriteBstr(writer, info.bstrDescription);
    WriteBstr(writer, info.bstrHelpFile);
    writer.U32(info.dwHelpContext);
    writer.I32(info.scode);
}

void ReadExcepInfo(CWireReader& reader, EXCEPINFO* info)
{
    EXCEPINFO e{};
    try {
        e.wCode = reader.U16();
        e.bstrSource = ReadBstr(reader);
        e.bstrDescription = ReadBstr(reader);
        e.bstrHelpFile = ReadBstr(reader);
        e.dwHelpContext = reader.U32();
        e.scode = reader.I32();
    } catch (...) {
        FreeExcepInfo(&e);
        throw;
    }
    *info = e;
}

void FreeExcepInfo(EXCEPINFO* info)
{
    SysFreeString(info->bstrSource);
    SysFreeString(info->bstrDescription);
    SysFreeString(info->bstrHelpFile);
    *info = EXCEPINFO{};
}

}  // namespace wys::rpc
