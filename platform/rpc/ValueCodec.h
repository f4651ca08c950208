// Wire forms of the automation values. Strings, variants and arrays are
// carried byte-exact: a null BSTR differs from an empty one, embedded NULs
// and odd byte lengths are kept, array dimensions and bounds are kept, and
// a by-reference VARIANT keeps its VT_BYREF flag.
//
//   BSTR       u32 byte length (0xFFFFFFFF for null), then the bytes
//   VARIANT    u16 vt, then the value: 1/2/4/8 bytes for numbers, a BSTR,
//              an object reference (VT_UNKNOWN, VT_DISPATCH), an array
//              (VT_ARRAY); with VT_BYREF the value referred to
//   SAFEARRAY  u8 present, u16 element vt, u16 dimensions, per dimension
//              u32 elements and i32 lower bound, then the elements with the
//              first dimension varying fastest
//
// Readers throw CWireError for malformed data and never allocate more than
// the frame can hold; writers throw ComError (DISP_E_BADVARTYPE) for values
// that have no wire form.
#pragma once

#include <memory>
#include <vector>

#include "platform/com/Dispatch.h"
#include "platform/rpc/MarshalContext.h"

namespace wys::rpc {

// Owns the values that received by-reference VARIANTs point at, for the
// length of one call.
class CByrefStore {
public:
    CByrefStore() = default;
    CByrefStore(const CByrefStore&) = delete;
    CByrefStore& operator=(const CByrefStore&) = delete;
    ~CByrefStore();
    // A new empty VARIANT whose address stays valid while the store lives.
    VARIANT* NewSlot();

private:
    std::vector<std::unique_ptr<VARIANT>> m_slots;
};

void WriteBstr(CWireWriter& writer, BSTR text);
// A new BSTR the caller owns (null for a null string).
BSTR ReadBstr(CWireReader& reader);

void WriteVariant(CWireWriter& writer, CMarshalContext& context, const VARIANT& value);
// Fills *value (assumed empty) with a value the caller owns; the values that
// by-reference variants point at are kept in `store`.
void ReadVariant(CWireReader& reader, CMarshalContext& context, VARIANT* value, CByrefStore& store);

// The value a by-reference VARIANT refers to, written as a plain VARIANT.
void WriteReferencedValue(CWireWriter& writer, CMarshalContext& context, const VARIANT& byref);
// Reads a value written by WriteReferencedValue and stores it where the
// by-reference VARIANT points, freeing what was there before.
void ReadReferencedValue(CWireReader& reader, CMarshalContext& context, const VARIANT& byref);

void WriteSafeArray(CWireWriter& writer, CMarshalContext& context, SAFEARRAY* array);
// A new array the caller owns (null when the writer sent none).
SAFEARRAY* ReadSafeArray(CWireReader& reader, CMarshalContext& context);

// EXCEPINFO: code, source, description, help file, help context, scode.
void WriteExcepInfo(CWireWriter& writer, const EXCEPINFO& info);
void ReadExcepInfo(CWireReader& reader, EXCEPINFO* info);
void FreeExcepInfo(EXCEPINFO* info);

}  // namespace wys::rpc
