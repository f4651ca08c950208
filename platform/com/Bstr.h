// BSTR: length-prefixed UTF-16 strings with the platform's layout.
//
// The 32-bit byte length sits just before the first character and a 16-bit
// NUL just after the last byte. A null BSTR differs from an empty one; strings
// may hold embedded NULs and an odd number of bytes.
#pragma once

#include <string>
#include <string_view>

#include "platform/base/WinTypes.h"

using BSTR = OLECHAR*;

// Each returns null when memory cannot be had. `text` may be null for the
// Len variants, leaving the contents zeroed.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
BSTR SysAllocStringByteLen(const char* bytes, UINT byteLength);
void SysFreeString(BSTR text);
// Characters (byte length / 2, rounded down); 0 for null.
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);
// Replaces *target with a copy of `text`; FALSE (and *target unchanged) when out of memory.
BOOL SysReAllocString(BSTR* target, const OLECHAR* text);
BOOL SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length);

// Owns one BSTR; copies keep the exact byte length.
class CComBSTR {
public:
    CComBSTR() = default;
    explicit CComBSTR(const OLECHAR* text) : m_str(SysAllocString(text)) {}
    explicit CComBSTR(std::u16string_view text);
    // UTF-8 in; invalid sequences become U+FFFD.
    explicit CComBSTR(std::string_view utf8);
    explicit CComBSTR(const char* utf8) : CComBSTR(std::string_view(utf8 ? utf8 : "")) {}
    CComBSTR(const CComBSTR& other);
    CComBSTR(CComBSTR&& other) noexcept : m_str(other.m_str) { other.m_str = nullptr; }
    CComBSTR& operator=(const CComBSTR& other);
    CComBSTR& operator=(CComBSTR&& other) noexcept;
    ~CComBSTR() { SysFreeString(m_str); }

    // An exact copy (byte length kept) of a BSTR the caller still owns.
    static CComBSTR CopyOf(BSTR text);

    operator BSTR() const { return m_str; }
    BSTR* operator&() { return &m_str; }
    bool IsNull() const { return m_str == nullptr; }
    UINT Length() const { return SysStringLen(m_str); }
    UINT ByteLength() const { return SysStringByteLen(m_str); }
    // A new copy for an out parameter; the receiver owns it.
    BSTR Copy() const;
    void Attach(BSTR text);
    BSTR Detach();
    void Empty();

    std::u16string_view View() const { return {m_str ? m_str : u"", Length()}; }
    std::string ToUtf8() const;

    BSTR m_str = nullptr;
};

// Exact copy of a BSTR (byte length kept), null for null.
BSTR CopyBstr(BSTR text);
// The characters of a BSTR as a view (empty for null).
std::u16string_view BstrView(BSTR text);
