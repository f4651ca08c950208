// The test band library (TestBand.h), an in-process server. It links no
// component runtime of its own: it uses that of the host that loads it.
#include "tests/hosts/browser/support/TestBand.h"

#include <QLabel>
#include <QPointer>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/browser/DeskBand.h"
#include "platform/browser/ObjectWithSite.h"
#include "platform/browser/ServiceProvider.h"
#include "platform/browser/WebBrowser.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/rpc/Activation.h"

namespace {

void Log(const std::string& line)
{
    if (const char* path = std::getenv("WYS_TEST_BAND_LOG"))
        std::ofstream(path, std::ios::app) << line << '\n';
}

class CTestBand final : public CComObjectRoot<CTestBand, IDeskBand, IObjectWithSite, IInputObject> {
public:
    ~CTestBand() override
    {
        Log("destroyed");
        delete m_window.data();
    }

    HRESULT GetWindow(HWND* window) override
    {
        if (!window)
            return E_INVALIDARG;
        *window = m_window.data();
        return S_OK;
    }
    HRESULT ContextSensitiveHelp(BOOL) override { return S_OK; }
    HRESULT ShowDW(BOOL show) override
    {
        Log(show ? "ShowDW 1" : "ShowDW 0");
        if (m_window)
            m_window->setVisible(show);
        return S_OK;
    }
    HRESULT CloseDW(DWORD) override
    {
        Log("CloseDW");
        return ShowDW(FALSE);
    }
    HRESULT ResizeBorderDW(const void*, IUnknown*, BOOL) override { return S_OK; }
    HRESULT GetBandInfo(DWORD, DWORD viewMode, DESKBANDINFO* info) override
    {
        Log("GetBandInfo mode=" + std::to_string(viewMode));
        if (info->dwMask & DBIM_MINSIZE)
            info->ptMinSize = {kTestBandMinWidth, 22};
        if (info->dwMask & DBIM_MAXSIZE)
            info->ptMaxSize = {-1, -1};
        if (info->dwMask & DBIM_ACTUAL)
            info->ptActual = {kTestBandIdealWidth, 22};
        if (info->dwMask & DBIM_TITLE) {
            std::u16string title = QString(kTestBandTitle).toStdU16String();
            title.copy(info->wszTitle, title.size());
            info->wszTitle[title.size()] = 0;
        }
        if (info->dwMask & DBIM_MODEFLAGS)
            info->dwModeFlags = DBIMF_VARIABLEHEIGHT;
        info->dwMask &= ~DBIM_BKCOLOR;
        return S_OK;
    }

    HRESULT SetSite(IUnknown* site) override
    {
        if (!site) {
            Log("SetSite null");
            m_browser.Reset();
            return S_OK;
        }
        ComPtr<IOleWindow> window;
        HWND parent = nullptr;
        if (SUCCEEDED(site->QueryInterface(IID_IOleWindow, window.PutVoid())))
            window->GetWindow(&parent);
        Log(std::string("parent ") + (parent ? "yes" : "no"));
        if (parent) {
            m_window = new QLabel(kTestBandTitle, static_cast<QWidget*>(parent));
            m_window->setObjectName("testBandWindow");
        }
        ComPtr<IInputObjectSite> inputSite;
        Log(std::string("input site ") +
            (SUCCEEDED(site->QueryInterface(IID_IInputObjectSite, inputSite.PutVoid())) ? "yes" : "no"));
        ComPtr<IOleCommandTarget> target;
        ComPtr<IServiceProvider> services;
        HRESULT hr = site->QueryInterface(IID_IOleCommandTarget, target.PutVoid());
        if (SUCCEEDED(hr))
            hr = target->QueryInterface(IID_IServiceProvider, services.PutVoid());
        if (SUCCEEDED(hr))
            hr = services->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, m_browser.PutVoid());
        Log("browser " + HResultText(hr));
        return S_OK;
    }
    HRESULT GetSite(REFIID, void** site) override
    {
        *site = nullptr;
        return E_FAIL;
    }

    HRESULT UIActivateIO(BOOL, MSG*) override { return S_OK; }
    HRESULT HasFocusIO() override { return S_FALSE; }
    HRESULT TranslateAcceleratorIO(MSG*) override { return S_OK; }

private:
    QPointer<QLabel> m_window;
    ComPtr<IWebBrowser2> m_browser;
};

class CFailingHelperObject final : public CComObjectRoot<CFailingHelperObject, IObjectWithSite> {
public:
    HRESULT SetSite(IUnknown* site) override
    {
        Log(site ? "failing helper sited" : "failing helper unsited");
        return site ? E_FAIL : S_OK;
    }
    HRESULT GetSite(REFIID, void** site) override
    {
        *site = nullptr;
        return E_NOTIMPL;
    }
};

template <class T>
class CFactory final : public CComObjectRoot<CFactory<T>, IClassFactory> {
public:
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        ComPtr<T> made;
        made.Attach(CreateComObject<T>());
        return made->QueryInterface(iid, object);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid,
                                                                            void** object)
{
    ComPtr<IClassFactory> factory;
    if (clsid == CLSID_TestBand)
        factory.Attach(CreateComObject<CFactory<CTestBand>>());
    else if (clsid == CLSID_FailingHelperObject)
        factory.Attach(CreateComObject<CFactory<CFailingHelperObject>>());
    else
        return CLASS_E_CLASSNOTAVAILABLE;
    return factory->QueryInterface(iid, object);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow()
{
    return S_FALSE;  // its widgets' code must stay while the host runs
}
