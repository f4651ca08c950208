// The test helper object (TestHelperObject.h), an in-process server. It
// links no runtime of its own: it uses that of the host that loads it.
#include "tests/hosts/capture/support/TestHelperObject.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "common/IWYSCURLBase.h"
#include "platform/browser/ObjectWithSite.h"
#include "platform/browser/ServiceProvider.h"
#include "platform/browser/WebBrowser.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/com/DispatchStubs.h"
#include "platform/dom/HtmlDocument.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/Apartment.h"
#include "platform/rpc/Marshal.h"

namespace {

std::atomic<int> g_live{0};
std::mutex g_logLock;

void Log(const std::string& line)
{
    const char* path = std::getenv("WYS_TEST_HELPER_LOG");
    if (!path)
        return;
    std::lock_guard lock(g_logLock);
    std::ofstream(path, std::ios::app) << line << '\n';
}

std::string Thread()
{
    return std::to_string(GetCurrentThreadId());
}

// What a capture does, in brief: reads the document through the marshalled
// browser, writes a file under the history folder and adds the record.
void Capture(IStream* stream, std::string url, std::string name)
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        ComPtr<IWebBrowser2> browser;
        HRESULT hr = CoGetInterfaceAndReleaseStream(stream, IID_IWebBrowser2, browser.PutVoid());
        std::string title = "(no document)";
        ComPtr<IDispatch> document;
        ComPtr<IHTMLDocument2> html;
        if (SUCCEEDED(hr) && browser->get_Document(document.GetAddressOf()) == S_OK &&
            SUCCEEDED(document.As(&html))) {
            CComBSTR text;
            html->get_title(&text);
            title = text.ToUtf8();
        }
        Log("capture thread=" + Thread() + " title=" + title + " unmarshal=" + HResultText(hr));
        ComPtr<IUnknown> unknown;
        ComPtr<IWYSCURLBase> urlBase;
        hr = CoCreateInstance(CLSID_WYSCURLBase, nullptr, CLSCTX_ALL, IID_IUnknown, unknown.PutVoid());
        if (SUCCEEDED(hr))
            hr = unknown.As(&urlBase);
        CComBSTR base;
        if (SUCCEEDED(hr))
            hr = urlBase->get_BaseDirectory(&base);
        if (SUCCEEDED(hr)) {
            static std::atomic<int> counter{0};
            std::string relative =
                "test-capture-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".htm";
            std::string folder = base.ToUtf8();
            std::error_code ignored;  // a missing folder shows as a refused AddData below
            std::filesystem::create_directories(folder, ignored);
            std::ofstream(folder + "/" + relative) << "<title>" << title << "</title>";
            CComBSTR bstrUrl(url), bstrPath(relative), bstrTitle(name);
            _URL_DATE_ record{static_cast<LONGLONG>(std::time(nullptr)), bstrUrl, bstrPath, bstrTitle};
            hr = urlBase->AddData(record);
        }
        Log("added " + url + " " + HResultText(hr));
    }
    CoUninitialize();
}

class CTestHelperObject final
    : public CComObjectRoot<CTestHelperObject, IObjectWithSite, CDispatchNoTypeInfo<>> {
public:
    CTestHelperObject() { ++g_live; }
    ~CTestHelperObject() override
    {
        // Captures call the window's thread, which is this one: keep it
        // dispatching while they finish.
        for (auto& [thread, done] : m_captures) {
            while (!*done) {
                DWORD index = 0;
                CoWaitForMultipleHandles(0, 10, 0, nullptr, &index);
            }
            thread.join();
        }
        --g_live;
    }

    HRESULT SetSite(IUnknown* site) override
    {
        if (!site) {
            Log("unsite");
            if (m_browser) {
                Advise(false);
                m_browser.Reset();
            }
            return S_OK;
        }
        ComPtr<IServiceProvider> services;
        HRESULT hr = site->QueryInterface(IID_IServiceProvider, services.PutVoid());
        if (SUCCEEDED(hr))
            hr = services->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, m_browser.PutVoid());
        Log("site thread=" + Thread() + " " + HResultText(hr));
        if (SUCCEEDED(hr))
            Advise(true);
        return S_OK;
    }
    HRESULT GetSite(REFIID, void** site) override
    {
        *site = nullptr;
        return E_NOTIMPL;
    }

    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override
    {
        if (id != DISPID_DOCUMENTCOMPLETE || !m_browser || params->cArgs != 2)
            return S_OK;
        VARIANT* url = DispArg(params, 1);
        std::string text = url->vt == VT_BSTR ? CComBSTR::CopyOf(url->bstrVal).ToUtf8() : "(not a string)";
        READYSTATE state = READYSTATE_UNINITIALIZED;
        m_browser->get_ReadyState(&state);
        Log("complete thread=" + Thread() + " state=" + std::to_string(state) + " " + text);
        if (state != READYSTATE_COMPLETE)
            return S_OK;
        CComBSTR name;
        m_browser->get_LocationName(&name);
        IStream* stream = nullptr;
        if (FAILED(CoMarshalInterThreadInterfaceInStream(IID_IWebBrowser2, m_browser.Get(), &stream)))
            return S_OK;
        auto done = std::make_shared<std::atomic<bool>>(false);
        std::thread thread([stream, text, title = name.ToUtf8(), done] {
            Capture(stream, text, title);
            *done = true;
        });
        m_captures.emplace_back(std::move(thread), done);
        return S_OK;
    }

protected:
    HRESULT QueryInterfaceMore(REFIID iid, void** object) override
    {
        if (iid != DIID_DWebBrowserEvents2)
            return E_NOINTERFACE;
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }

private:
    void Advise(bool on)
    {
        if (on)
            m_connection.Advise(m_browser.Get(), DIID_DWebBrowserEvents2, static_cast<IDispatch*>(this));
        else
            m_connection.Unadvise();
    }

    ComPtr<IWebBrowser2> m_browser;
    CAdvisedConnection m_connection;
    std::vector<std::pair<std::thread, std::shared_ptr<std::atomic<bool>>>> m_captures;
};

class CFactory final : public CComObjectRoot<CFactory, IClassFactory> {
public:
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        ComPtr<CTestHelperObject> made;
        made.Attach(CreateComObject<CTestHelperObject>());
        return made->QueryInterface(iid, object);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid,
                                                                            void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_TestHelperObject)
        return CLASS_E_CLASSNOTAVAILABLE;
    ComPtr<CFactory> factory;
    factory.Attach(CreateComObject<CFactory>());
    return factory->QueryInterface(iid, object);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow()
{
    return g_live == 0 ? S_OK : S_FALSE;
}
