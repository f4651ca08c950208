// GUID: class, interface, library and category identifiers.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/AsciiText.h"
#include "platform/base/WinTypes.h"

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];

    friend constexpr bool operator==(const GUID& a, const GUID& b)
    {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
            return false;
        for (int i = 0; i < 8; ++i) {
            if (a.Data4[i] != b.Data4[i])
                return false;
        }
        return true;
    }
    friend bool operator<(const GUID& a, const GUID& b);
};

using IID = GUID;
using CLSID = GUID;
using CATID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using REFGUID = const GUID&;

inline constexpr GUID GUID_NULL{};
inline constexpr const GUID& IID_NULL = GUID_NULL;

namespace wys::detail {
// Parses exactly "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (braces optional).
constexpr std::optional<GUID> ParseGuid(std::string_view text)
{
    if (text.size() == 38) {
        if (text.front() != '{' || text.back() != '}')
            return std::nullopt;
        text = text.substr(1, 36);
    }
    if (text.size() != 36)
        return std::nullopt;
    for (std::size_t dash : {8u, 13u, 18u, 23u}) {
        if (text[dash] != '-')
            return std::nullopt;
    }
    std::uint64_t digits[32] = {};
    int n = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23)
            continue;
        int v = wys::base::HexDigitValue(text[i]);
        if (v < 0)
            return std::nullopt;
        digits[n++] = static_cast<std::uint64_t>(v);
    }
    auto take = [&](int from, int count) {
        std::uint64_t value = 0;
        for (int i = 0; i < count; ++i)
            value = value * 16 + digits[from + i];
        return value;
    };
    GUID g{};
    g.Data1 = static_cast<DWORD>(take(0, 8));
    g.Data2 = static_cast<WORD>(take(8, 4));
    g.Data3 = static_cast<WORD>(take(12, 4));
    for (int i = 0; i < 8; ++i)
        g.Data4[i] = static_cast<BYTE>(take(16 + 2 * i, 2));
    return g;
}
}  // namespace wys::detail

// A GUID from a literal; a malformed literal fails to compile when used in a
// constant expression.
consteval GUID MakeGuid(std::string_view text)
{
    auto g = wys::detail::ParseGuid(text);
    if (!g)
        throw "malformed GUID literal";
    return *g;
}

// Parses "{...}" or the bare 36-character form; nullopt for anything else.
std::optional<GUID> GuidFromString(std::string_view text);

// "{9F1366DD-E157-4962-84F5-57066BB8506A}": upper-case hex, with braces.
std::string GuidToString(const GUID& guid);

template <>
struct std::hash<GUID> {
    std::size_t operator()(const GUID& g) const noexcept;
};

inline bool IsEqualGUID(const GUID& a, const GUID& b)
{
    return a == b;
}
inline bool IsEqualIID(const IID& a, const IID& b)
{
    return a == b;
}
inline bool IsEqualCLSID(const CLSID& a, const CLSID& b)
{
    return a == b;
}
