// String comparison for record filters: UTF-16 code units compared exactly,
// case counts, and a null string equals an empty one.
#pragma once

#include <string_view>

#include "platform/com/Bstr.h"

namespace wys {

// The characters of a BSTR as a view; empty for null.
inline std::u16string_view FilterView(BSTR text)
{
    return BstrView(text);
}

inline bool BstrEquals(BSTR a, BSTR b)
{
    return FilterView(a) == FilterView(b);
}

// A total order consistent with BstrEquals (code unit by code unit).
inline bool BstrLess(BSTR a, BSTR b)
{
    return FilterView(a) < FilterView(b);
}

}  // namespace wys
