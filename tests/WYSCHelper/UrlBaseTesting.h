// A fixture for tests of the URL base object: a temporary home with a
// history folder named in the registry, a clock the test sets, and a sink
// that records every event it receives.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "WYSCHelper/CWYSCURLBase.h"
#include "platform/com/DispatchStubs.h"
#include "platform/registry/Registry.h"
#include "tests/WYSCHelper/RecordTesting.h"
#include "tests/support/TempHome.h"

namespace wys::test {

// An IWYSCURLBaseEvents sink that writes each event into a shared log:
// "added 3", "removing 1 <url of record 1 as GetData returns it>",
// "settings". It can be made to fail, and can run a hook inside each event.
class CRecordingSink final : public CComObjectRoot<CRecordingSink, CDispatchNoTypeInfo<IWYSCURLBaseEvents>> {
public:
    // `base` and `log` must outlive the sink's advice.
    CRecordingSink(IWYSCURLBase* base, std::vector<std::string>* log, std::string name = "")
        : m_base(base), m_log(log), m_name(std::move(name))
    {
    }

    HRESULT m_result = S_OK;
    std::function<void(DISPID, ULONG)> m_hook;

    HRESULT Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argError) override;

private:
    IWYSCURLBase* m_base;  // Not owned.
    std::vector<std::string>* m_log;
    std::string m_name;
};

class UrlBaseTest : public TempHomeTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // The history folder the registry names before the object is created.
    std::string History() const { return m_home.Path() + "/history"; }
    // Creates the object (after writing BasePath = History() to the registry
    // unless `writeBasePath` is false) and advises one recording sink.
    void CreateBase(bool writeBasePath = true);
    // A page file (and its folders) under the history folder.
    void MakePage(const std::string& relativePath, const std::string& text = "<html></html>");
    // Makes the page and adds the visit; returns AddData's result.
    HRESULT AddVisit(std::int64_t time, const std::string& url, const std::string& path,
                     const OptText& title = std::nullopt);
    // Advises another sink; returns its cookie.
    DWORD Advise(IUnknown* sink);
    ULONG Count();
    // The record at `index` as "time url path title".
    std::string Record(ULONG index);
    std::vector<std::string> TakeLog();

    std::int64_t m_now = 1069941909;  // 2003-11-27 14:05:09 UTC
    ComPtr<IWYSCURLBase> m_base;
    std::vector<std::string> m_log;
    ComPtr<CRecordingSink> m_sink;
};

// Writes (or with `type` REG_NONE deletes) one value of the settings key.
void SetSettingsValue(const char* name, DWORD type, const std::string& bytes);
// The value's type and bytes, or nullopt when it is missing.
std::optional<std::pair<DWORD, std::string>> GetSettingsValue(const char* name);

}  // namespace wys::test
