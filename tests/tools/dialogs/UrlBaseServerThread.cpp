#include "tests/tools/dialogs/UrlBaseServerThread.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <future>

#include "WYSCHelper/CWYSCURLBase.h"
#include "common/StringConvert.h"
#include "platform/registry/Registry.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/Apartment.h"
#include "tests/support/TempHome.h"

namespace wys::test {

namespace {

// Hands out the one object, as the server program's class object does.
class CUrlBaseFactory final : public CComObjectRoot<CUrlBaseFactory, IClassFactory> {
public:
    explicit CUrlBaseFactory(ComPtr<IWYSCURLBase> base) : m_base(std::move(base)) {}
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return m_base->QueryInterface(iid, object);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    ComPtr<IWYSCURLBase> m_base;
};

// Waits for an eventfd while the calling thread's apartment (if any) keeps
// dispatching.
void WaitFor(int fd)
{
    DWORD index = 0;
    if (FAILED(CoWaitForMultipleHandles(0, INFINITE, 1, &fd, &index))) {
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, -1);
    }
}

}  // namespace

CUrlBaseServerThread::CUrlBaseServerThread(std::function<std::int64_t()> now)
{
    std::promise<DWORD> started;
    auto id = started.get_future();
    m_thread = std::thread([&started, now = std::move(now), this] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        CUrlBaseOptions options;
        options.Now = now;
        EXPECT_EQ(CWYSCURLBase::Create(IWYSCURLBase::Iid, m_base.PutVoid(), options), S_OK);
        ComPtr<CUrlBaseFactory> factory;
        factory.Attach(CreateComObject<CUrlBaseFactory>(m_base));
        EXPECT_EQ(CoRegisterClassObject(CLSID_WYSCURLBase, factory->GetUnknown(), CLSCTX_INPROC_SERVER,
                                        REGCLS_MULTIPLEUSE, &m_cookie),
                  S_OK);
        started.set_value(GetCurrentThreadId());
        RunMessageLoop();
        if (m_cookie)
            CoRevokeClassObject(m_cookie);
        factory = nullptr;
        m_base = nullptr;
        CoUninitialize();
    });
    m_threadId = id.get();
}

CUrlBaseServerThread::~CUrlBaseServerThread()
{
    PostThreadMessage(m_threadId, WM_QUIT, 0, 0);
    m_thread.join();
}

void CUrlBaseServerThread::Run(const std::function<void(IWYSCURLBase* base)>& f)
{
    const int done = ::eventfd(0, EFD_CLOEXEC);
    PostToApartment(m_threadId, [&] {
        f(m_base.Get());
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(done, &one, sizeof one);
    });
    WaitFor(done);
    ::close(done);
}

ULONG CUrlBaseServerThread::Count()
{
    ULONG count = 0;
    Run([&](IWYSCURLBase* base) { base->get_DataCount(&count); });
    return count;
}

std::string CUrlBaseServerThread::BaseDirectory()
{
    std::string folder;
    Run([&](IWYSCURLBase* base) {
        CComBSTR text;
        base->get_BaseDirectory(&text);
        folder = BstrToNarrowZ(text);
    });
    return folder;
}

VARIANT_BOOL CUrlBaseServerThread::CollectHistory()
{
    VARIANT_BOOL value = 0;
    Run([&](IWYSCURLBase* base) { base->get_CollectHistory(&value); });
    return value;
}

VARIANT_BOOL CUrlBaseServerThread::TitledFileNames()
{
    VARIANT_BOOL value = 0;
    Run([&](IWYSCURLBase* base) { base->get_TitledFileNames(&value); });
    return value;
}

std::int64_t CUrlBaseServerThread::HistoricalRange()
{
    LONGLONG value = 0;
    Run([&](IWYSCURLBase* base) { base->get_HistoricalRange(&value); });
    return value;
}

HRESULT CUrlBaseServerThread::AddVisit(std::int64_t time, const std::string& url, const std::string& path,
                                       const std::string& title, const std::string& page)
{
    WriteFile(BaseDirectory() + "/" + path, page);
    return AddRecord(time, url, path, title);
}

HRESULT CUrlBaseServerThread::AddRecord(std::int64_t time, const std::string& url, const std::string& path,
                                        const std::string& title)
{
    HRESULT hr = E_FAIL;
    Run([&](IWYSCURLBase* base) {
        CComBSTR u(url), p(path), t(title);
        hr = base->AddData(_URL_DATE_{time, u, p, t});
    });
    return hr;
}

void CUrlBaseServerThread::Revoke()
{
    Run([this](IWYSCURLBase*) {
        CoRevokeClassObject(m_cookie);
        m_cookie = 0;
    });
}

void SetUserValue(const char* key, const char* name, DWORD type, const std::string& bytes)
{
    HKEY handle = nullptr;
    ASSERT_EQ(
        RegCreateKeyEx(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle, nullptr),
        ERROR_SUCCESS);
    if (type == REG_NONE)
        RegDeleteValue(handle, name);
    else
        EXPECT_EQ(RegSetValueEx(handle, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    RegCloseKey(handle);
}

std::pair<DWORD, std::string> GetUserValue(const char* key, const char* name)
{
    HKEY handle = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, key, 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return {REG_NONE, {}};
    DWORD type = REG_NONE;
    DWORD size = 0;
    std::string bytes;
    if (RegQueryValueEx(handle, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        bytes.resize(size);
        RegQueryValueEx(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(bytes.data()), &size);
    } else {
        type = REG_NONE;
    }
    RegCloseKey(handle);
    return {type, bytes};
}

}  // namespace wys::test
