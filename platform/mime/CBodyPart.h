// Private to platform/mime: one part of a message's body.
#pragma once

#include "platform/com/ComObject.h"
#include "platform/mime/Cdo.h"
#include "platform/mime/MhtmlWriter.h"

class CBodyPart final : public CComObjectRoot<CBodyPart, IBodyPart> {
public:
    explicit CBodyPart(MimeBodyPart part) : m_part(std::move(part)) {}

    HRESULT get_ContentMediaType(BSTR* type) override;
    HRESULT get_ContentTransferEncoding(BSTR* encoding) override;

    const MimeBodyPart& Part() const { return m_part; }

private:
    MimeBodyPart m_part;
};
