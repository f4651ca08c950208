#include "platform/com/Bstr.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/com/Utf.h"

namespace {

// Eight bytes of header keep the characters 8-byte aligned; the byte length
// sits in the four bytes just before them.
constexpr std::size_t kHeader = 8;

BSTR AllocateBytes(const void* bytes, UINT byteLength)
{
    if (byteLength > 0x7FFFFFF0u)
        return nullptr;
    auto* block = static_cast<char*>(std::malloc(kHeader + byteLength + sizeof(OLECHAR)));
    if (!block)
        return nullptr;
    std::memset(block, 0, kHeader);
    std::memcpy(block + kHeader - sizeof(UINT), &byteLength, sizeof(UINT));
    char* data = block + kHeader;
    if (bytes)
        std::memcpy(data, bytes, byteLength);
    else
        std::memset(data, 0, byteLength);
    data[byteLength] = 0;
    data[byteLength + 1] = 0;
    return reinterpret_cast<BSTR>(data);
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text)
{
    if (!text)
        return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(std::char_traits<OLECHAR>::length(text)));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length)
{
    if (length > 0x3FFFFFF0u)
        return nullptr;
    return AllocateBytes(text, length * static_cast<UINT>(sizeof(OLECHAR)));
}

BSTR SysAllocStringByteLen(const char* bytes, UINT byteLength)
{
    return AllocateBytes(bytes, byteLength);
}

void SysFreeString(BSTR text)
{
    if (text)
        std::free(reinterpret_cast<char*>(text) - kHeader);
}

UINT SysStringByteLen(BSTR text)
{
    if (!text)
        return 0;
    UINT length;
    std::memcpy(&length, reinterpret_cast<const char*>(text) - sizeof(UINT), sizeof length);
    return length;
}

UINT SysStringLen(BSTR text)
{
    return SysStringByteLen(text) / sizeof(OLECHAR);
}

BOOL SysReAllocString(BSTR* target, const OLECHAR* text)
{
    if (!target)
        return FALSE;
    BSTR copy = SysAllocString(text);
    if (text && !copy)
        return FALSE;
    SysFreeString(*target);
    *target = copy;
    return TRUE;
}

BOOL SysReAllocStringLen(BSTR* target, const OLECHAR* text, UINT length)
{
    if (!target)
        return FALSE;
    BSTR copy = SysAllocStringLen(text, length);
    if (!copy)
        return FALSE;
    SysFreeString(*target);
    *target = copy;
    return TRUE;
}

BSTR CopyBstr(BSTR text)
{
    if (!text)
        return nullptr;
    return SysAllocStringByteLen(reinterpret_cast<const char*>(text), SysStringByteLen(text));
}

std::u16string_view BstrView(BSTR text)
{
    return {text ? text : u"", SysStringLen(text)};
}

CComBSTR::CComBSTR(std::u16string_view text)
    : m_str(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())))
{
}

CComBSTR::CComBSTR(std::string_view utf8) : CComBSTR(std::u16string_view(Utf8ToUtf16(utf8))) {}

CComBSTR::CComBSTR(const CComBSTR& other) : m_str(CopyBstr(other.m_str)) {}

CComBSTR& CComBSTR::operator=(const CComBSTR& other)
{
    if (this != std::addressof(other) && m_str != other.m_str) {
        SysFreeString(m_str);
        m_str = CopyBstr(other.m_str);
    }
    return *this;
}

CComBSTR& CComBSTR::operator=(CComBSTR&& other) noexcept
{
    if (this != std::addressof(other)) {
        SysFreeString(m_str);
        m_str = other.m_str;
        other.m_str = nullptr;
    }
    return *this;
}

CComBSTR CComBSTR::CopyOf(BSTR text)
{
    CComBSTR copy;
    copy.m_str = CopyBstr(text);
    return copy;
}

BSTR CComBSTR::Copy() const
{
    return CopyBstr(m_str);
}

void CComBSTR::Attach(BSTR text)
{
    if (text != m_str) {
        SysFreeString(m_str);
        m_str = text;
    }
}

BSTR CComBSTR::Detach()
{
    BSTR text = m_str;
    m_str = nullptr;
    return text;
}

void CComBSTR::Empty()
{
    SysFreeString(m_str);
    m_str = nullptr;
}

std::string CComBSTR::ToUtf8() const
{
    return Utf16ToUtf8(View());
}
