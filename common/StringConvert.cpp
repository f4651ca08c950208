#include "common/StringConvert.h"

#include "platform/com/Utf.h"

namespace wys {

std::string BstrToNarrow(BSTR text)
{
    return Utf16ToUtf8(BstrView(text));
}

std::string BstrToNarrowZ(BSTR text)
{
    std::u16string_view view = BstrView(text);
    return Utf16ToUtf8(view.substr(0, view.find(u'\0')));
}

BSTR NarrowToBstr(std::string_view text)
{
    return CComBSTR(text).Detach();
}

}  // namespace wys
