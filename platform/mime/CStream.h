// Private to platform/mime: a stream over the bytes of a serialised message.
#pragma once

#include <string>

#include "platform/com/ComObject.h"
#include "platform/mime/AdoStream.h"

class CStream final : public CComObjectRoot<CStream, _Stream> {
public:
    explicit CStream(std::string bytes) : m_bytes(std::move(bytes)) {}

    HRESULT get_Size(ADO_LONGPTR* size) override;
    HRESULT SaveToFile(BSTR fileName, SaveOptionsEnum options) override;

private:
    std::string m_bytes;
};
