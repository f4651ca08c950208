#include "tests/band/BandTesting.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <atomic>

#include <filesystem>
#include <thread>

#include "common/LocalTime.h"
#include "common/StringConvert.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/Apartment.h"
#include "tests/tools/dialogs/DialogTesting.h"

namespace wys::test {

HRESULT CRecordingBrowser::Navigate(BSTR url, VARIANT* flags, VARIANT* frame, VARIANT* postData,
                                    VARIANT* headers)
{
    Navigated.push_back(BstrToNarrowZ(url));
    LastWithoutOptions = !flags && !frame && !postData && !headers;
    if (NavigateListener)
        NavigateListener(Navigated.back());
    return S_OK;
}

HRESULT CRecordingBrowser::get_Document(IDispatch** document)
{
    if (!document)
        return E_POINTER;
    *document = nullptr;
    return S_FALSE;
}

HRESULT CRecordingBrowser::get_LocationName(BSTR* name)
{
    return get_LocationURL(name);
}

HRESULT CRecordingBrowser::get_LocationURL(BSTR* url)
{
    if (!url)
        return E_POINTER;
    *url = NarrowToBstr(Navigated.empty() ? std::string() : Navigated.back());
    return S_OK;
}

HRESULT CRecordingBrowser::get_Busy(VARIANT_BOOL* busy)
{
    if (!busy)
        return E_POINTER;
    *busy = VARIANT_FALSE;
    return S_OK;
}

HRESULT CRecordingBrowser::get_ReadyState(READYSTATE* state)
{
    if (!state)
        return E_POINTER;
    *state = READYSTATE_COMPLETE;
    return S_OK;
}

HRESULT CTestSite::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = m_parent;
    return m_parent ? S_OK : E_FAIL;
}

HRESULT CTestSite::QueryService(REFGUID service, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (service != SID_SWebBrowserApp || !m_browser)
        return E_NOINTERFACE;
    return m_browser->QueryInterface(iid, object);
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    return WaitUntil(done, timeout);
}

void PumpFor(std::chrono::milliseconds period)
{
    RunEventsFor(period);
}

std::int64_t LocalTime(int year, int month, int day, int hour, int minute, int second)
{
    return ComposeLocalTime(year, month, day, hour, minute, second);
}

void BandServerTest::SetUp()
{
    ServerProcessTest::SetUp();
    // Keep every visit: the tests' visits lie in the past, and expiry runs
    // with every tenth change.
    SetUserValue("Software\\Quillonix\\WYSCUrlBase", "HistoryRange", REG_BINARY, std::string(8, '\0'));
    StartQtApplication();
    EnterApartment();
    m_presenter = std::make_unique<ScopedMessageBoxPresenter>(m_boxes);
    m_sideArea = std::make_unique<QWidget>();
    m_sideArea->resize(300, 600);
    m_browser = ComPtr<CRecordingBrowser>(new CRecordingBrowser());
    m_site = ComPtr<CTestSite>(new CTestSite(m_sideArea.get(), m_browser.Get()));
}

void BandServerTest::TearDown()
{
    m_site = nullptr;
    m_browser = nullptr;
    m_sideArea.reset();
    m_history = nullptr;
    PumpFor(std::chrono::milliseconds(10));
    m_presenter.reset();
    ServerProcessTest::TearDown();
}

IWYSCURLBase* BandServerTest::History()
{
    if (!m_history) {
        HRESULT hr = S_OK;
        m_history = CreateHistory(&hr);
        EXPECT_TRUE(m_history) << std::hex << hr;
    }
    return m_history.Get();
}

HRESULT BandServerTest::Visit(std::int64_t time, const std::string& url, const std::string& title)
{
    const std::string path = "pages/" + std::to_string(++m_visits) + ".htm";
    WriteFile(HistoryFolder() + "/" + path, "<html><title>" + title + "</title></html>");
    _URL_DATE_ record{time, NarrowToBstr(url), NarrowToBstr(path), NarrowToBstr(title)};
    const HRESULT hr = History()->AddData(record);
    FreeUrlDate(&record);
    return hr;
}

std::vector<std::pair<std::int64_t, std::string>> BandServerTest::Records()
{
    std::vector<std::pair<std::int64_t, std::string>> records;
    const ULONG count = Count();
    for (ULONG i = 0; i < count && count != kNoRecord; ++i) {
        CUrlDateHolder record;
        if (SUCCEEDED(History()->GetData(record.Receive(), i)))
            records.emplace_back(record.Time, BstrToNarrowZ(record.Url));
    }
    return records;
}

void BandServerTest::FromAnotherClient(const std::function<void(IWYSCURLBase*)>& f)
{
    std::atomic<bool> finished{false};
    std::thread client([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        {
            ComPtr<IWYSCURLBase> other = CreateHistory();
            EXPECT_TRUE(other);
            if (other)
                f(other.Get());
        }
        CoUninitialize();
        finished = true;
    });
    // The server's events for this thread's band wait in its queue: serve it
    // while the other client's call runs.
    PumpUntil([&] { return finished.load(); });
    client.join();
}

}  // namespace wys::test
