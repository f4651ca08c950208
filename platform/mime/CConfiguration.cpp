#include "platform/mime/CConfiguration.h"

#include "platform/com/ComError.h"
#include "platform/com/Utf.h"

namespace {

char16_t LowerAscii(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c;
}

bool SameName(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

}  // namespace

HRESULT CField::get_Name(BSTR* name)
{
    if (!name)
        return E_POINTER;
    *name = m_name.Copy();
    return *name || m_name.IsNull() ? S_OK : E_OUTOFMEMORY;
}

HRESULT CField::get_Value(VARIANT* value)
{
    if (!value)
        return E_POINTER;
    VariantInit(value);
    return VariantCopy(value, &m_value);
}

HRESULT CField::put_Value(VARIANT value)
{
    // Values passed by reference are kept as what they refer to.
    return VariantCopyInd(&m_value, &value);
}

HRESULT CFields::get_Count(LONG* count)
{
    if (!count)
        return E_POINTER;
    *count = static_cast<LONG>(m_fields.size());
    return S_OK;
}

HRESULT CFields::get_Item(VARIANT index, Field** field)
{
    return ComBoundary([&]() -> HRESULT {
        if (!field)
            return E_POINTER;
        *field = nullptr;
        auto hand = [field](const ComPtr<CField>& found) {
            *field = found.Get();
            found->AddRef();
            return S_OK;
        };
        CComVariant key;
        ThrowIfFailed(VariantCopyInd(&key, &index));
        if (key.vt == VT_BSTR) {
            std::u16string_view name = BstrView(key.bstrVal);
            for (const auto& existing : m_fields) {
                if (SameName(existing->Name().View(), name))
                    return hand(existing);
            }
            ComPtr<CField> created;
            created.Attach(CreateComObject<CField>(CComBSTR(name)));
            m_fields.push_back(created);
            return hand(created);
        }
        ThrowIfFailed(key.ChangeType(VT_I4));
        if (key.lVal < 0 || static_cast<std::size_t>(key.lVal) >= m_fields.size())
            return DISP_E_BADINDEX;
        return hand(m_fields[static_cast<std::size_t>(key.lVal)]);
    });
}

CConfiguration::CConfiguration()
{
    m_fields.Attach(CreateComObject<CFields>());
}

HRESULT CConfiguration::get_Fields(Fields** fields)
{
    if (!fields)
        return E_POINTER;
    *fields = m_fields.Get();
    (*fields)->AddRef();
    return S_OK;
}

std::optional<bool> ConfigurationFlag(IConfiguration* configuration, const OLECHAR* name)
{
    if (!configuration)
        return std::nullopt;
    ComPtr<Fields> fields;
    ComPtr<Field> field;
    CComVariant value;
    CComVariant key(CComBSTR(name).m_str);
    if (FAILED(configuration->get_Fields(fields.ReleaseAndGetAddressOf())) || !fields ||
        FAILED(fields->get_Item(key, field.ReleaseAndGetAddressOf())) || !field ||
        FAILED(field->get_Value(&value)) || value.vt != VT_BOOL)
        return std::nullopt;
    return value.boolVal != VARIANT_FALSE;
}

std::string ConfigurationText(IConfiguration* configuration, const OLECHAR* name)
{
    if (!configuration)
        return {};
    ComPtr<Fields> fields;
    ComPtr<Field> field;
    CComVariant value;
    CComVariant key(CComBSTR(name).m_str);
    if (FAILED(configuration->get_Fields(fields.ReleaseAndGetAddressOf())) || !fields ||
        FAILED(fields->get_Item(key, field.ReleaseAndGetAddressOf())) || !field ||
        FAILED(field->get_Value(&value)) || value.vt == VT_EMPTY || FAILED(value.ChangeType(VT_BSTR)))
        return {};
    return Utf16ToUtf8(BstrView(value.bstrVal));
}
