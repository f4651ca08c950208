// Private to platform/mime: the configuration object and its fields.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/mime/Cdo.h"

class CField final : public CComObjectRoot<CField, Field> {
public:
    explicit CField(CComBSTR name) : m_name(std::move(name)) {}

    HRESULT get_Name(BSTR* name) override;
    HRESULT get_Value(VARIANT* value) override;
    HRESULT put_Value(VARIANT value) override;

    const CComBSTR& Name() const { return m_name; }

private:
    CComBSTR m_name;
    CComVariant m_value;
};

class CFields final : public CComObjectRoot<CFields, Fields> {
public:
    HRESULT get_Count(LONG* count) override;
    HRESULT get_Item(VARIANT index, Field** field) override;
    HRESULT Update() override { return S_OK; }

private:
    std::vector<ComPtr<CField>> m_fields;
};

class CConfiguration final : public CComObjectRoot<CConfiguration, IConfiguration> {
public:
    CConfiguration();
    HRESULT get_Fields(Fields** fields) override;

private:
    ComPtr<CFields> m_fields;
};

// The text of a configuration's field (a string value, or any value that
// converts to one); empty when the configuration is null or has no such value.
std::string ConfigurationText(IConfiguration* configuration, const OLECHAR* name);

// The boolean value of a configuration's field (VT_BOOL); nullopt when the
// configuration is null or the field holds no boolean.
std::optional<bool> ConfigurationFlag(IConfiguration* configuration, const OLECHAR* name);
