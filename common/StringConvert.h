// Conversions between the narrow strings used inside the deliverables
// (UTF-8, this platform's system code page) and the BSTRs of the interfaces.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/Bstr.h"

namespace wys {

// The whole string, embedded NULs included; "" for null.
std::string BstrToNarrow(BSTR text);
// The string up to its first NUL; "" for null.
std::string BstrToNarrowZ(BSTR text);
// A new BSTR; the caller owns it.
BSTR NarrowToBstr(std::string_view text);

}  // namespace wys
