#include "tests/WYSCHelper/UrlBaseTesting.h"

#include <filesystem>

#include "platform/com/ConnectionPoint.h"
#include "platform/registry/Registry.h"

namespace wys::test {

HRESULT CRecordingSink::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                               UINT*)
{
    std::string entry = m_name.empty() ? "" : m_name + ": ";
    EXPECT_EQ(flags, DISPATCH_METHOD);
    ULONG index = kNoRecord;
    if (id == DISPID_OnSettingsChanged) {
        EXPECT_EQ(params->cArgs, 0u);
        entry += "settings";
    } else {
        EXPECT_EQ(params->cArgs, 1u);
        EXPECT_EQ(params->rgvarg[0].vt, VT_I4);
        index = static_cast<ULONG>(params->rgvarg[0].lVal);
        entry += (id == DISPID_OnDataAdded ? "added " : "removing ") + std::to_string(index);
        if (id == DISPID_OnDataBeforeRemove && m_base) {
            // The record about to go must still be readable.
            CUrlDateHolder data;
            HRESULT hr = m_base->GetData(data.Receive(), index);
            entry += SUCCEEDED(hr) ? " " + BstrToNarrow(data.Url) : " <GetData failed>";
        }
    }
    m_log->push_back(entry);
    if (m_hook)
        m_hook(id, index);
    return m_result;
}

void UrlBaseTest::SetUp()
{
    std::filesystem::create_directories(History());
}

void UrlBaseTest::TearDown()
{
    m_base = nullptr;
    m_sink = nullptr;
}

void UrlBaseTest::CreateBase(bool writeBasePath)
{
    if (writeBasePath)
        SetSettingsValue("BasePath", REG_SZ, History() + std::string(1, '\0'));
    CUrlBaseOptions options;
    options.Now = [this] { return m_now; };
    ASSERT_EQ(CWYSCURLBase::Create(IWYSCURLBase::Iid, m_base.PutVoid(), options), S_OK);
    m_sink = ComPtr<CRecordingSink>(new CRecordingSink(m_base.Get(), &m_log));
    Advise(m_sink->GetUnknown());
}

void UrlBaseTest::MakePage(const std::string& relativePath, const std::string& text)
{
    WriteFile(History() + "/" + relativePath, text);
}

HRESULT UrlBaseTest::AddVisit(std::int64_t time, const std::string& url, const std::string& path,
                              const OptText& title)
{
    MakePage(path);
    CComBSTR u(url);
    CComBSTR p(path);
    CComBSTR t;
    t.Attach(MakeBstr(title));
    return m_base->AddData(_URL_DATE_{time, u, p, t});
}

DWORD UrlBaseTest::Advise(IUnknown* sink)
{
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(FindConnectionPointOf(m_base.Get(), DIID_IWYSCURLBaseEvents, point.GetAddressOf()), S_OK);
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
    return cookie;
}

ULONG UrlBaseTest::Count()
{
    ULONG count = 0;
    EXPECT_EQ(m_base->get_DataCount(&count), S_OK);
    return count;
}

std::string UrlBaseTest::Record(ULONG index)
{
    CUrlDateHolder data;
    if (FAILED(m_base->GetData(data.Receive(), index)))
        return "<none>";
    return std::to_string(data.Time) + " " + Describe(data.Url) + " " + Describe(data.Path) + " " +
           Describe(data.Title);
}

std::vector<std::string> UrlBaseTest::TakeLog()
{
    return std::exchange(m_log, {});
}

void SetSettingsValue(const char* name, DWORD type, const std::string& bytes)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, CWYSCURLBase::kSettingsKey, 0, nullptr,
                             REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    if (type == REG_NONE)
        RegDeleteValue(key, name);
    else
        EXPECT_EQ(RegSetValueEx(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    RegCloseKey(key);
}

std::optional<std::pair<DWORD, std::string>> GetSettingsValue(const char* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, CWYSCURLBase::kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = REG_NONE;
    DWORD size = 0;
    std::optional<std::pair<DWORD, std::string>> result;
    if (RegQueryValueEx(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::string bytes(size, '\0');
        if (RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size) ==
            ERROR_SUCCESS)
            result = std::make_pair(type, bytes.substr(0, size));
    }
    RegCloseKey(key);
    return result;
}

}  // namespace wys::test
