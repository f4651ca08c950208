// Private to platform/mime: the message object.
#pragma once

#include <string>
#include <vector>

#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/mime/CBodyPart.h"
#include "platform/mime/Cdo.h"
#include "platform/mime/ResourceFetcher.h"

class CMessage final : public CComObjectRoot<CMessage, IMessage, IFetchStop> {
public:
    HRESULT get_Configuration(IConfiguration** configuration) override;
    HRESULT putref_Configuration(IConfiguration* configuration) override;
    HRESULT get_From(BSTR* from) override;
    HRESULT put_From(BSTR from) override;
    HRESULT get_Subject(BSTR* subject) override;
    HRESULT put_Subject(BSTR subject) override;
    HRESULT CreateMHTMLBody(BSTR url, CdoMHTMLFlags flags, BSTR userName, BSTR password) override;
    HRESULT AddRelatedBodyPart(BSTR url, BSTR reference, CdoReferenceType referenceType, BSTR userName,
                               BSTR password, IBodyPart** bodyPart) override;
    HRESULT GetStream(_Stream** stream) override;

    HRESULT SetStopCheck(InternetStopCheck stop) override;

private:
    // Takes the proxy of the configuration as it is now.
    void ApplyConfiguration();

    ComPtr<IConfiguration> m_configuration;
    CComBSTR m_from;
    CComBSTR m_subject;
    CResourceFetcher m_fetcher;
    // The page first; empty until CreateMHTMLBody succeeds.
    std::vector<ComPtr<CBodyPart>> m_parts;
};
