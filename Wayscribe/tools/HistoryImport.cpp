#include "Wayscribe/tools/HistoryImport.h"

#include <QWidget>

#include <string>
#include <utility>

#include "Wayscribe/tools/CHistoryFileDialog.h"
#include "Wayscribe/tools/UrlBaseConnection.h"
#include "common/HistoryFileVisits.h"
#include "platform/com/ComObject.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/ui/MessageBox.h"

namespace HistoryImport {

namespace {

ShowHook g_showHook;

// Counts the visits the import adds, as the URL base announces them.
class CAddedCounter final : public CComObjectRoot<CAddedCounter, IWYSCURLBaseEvents> {
public:
    unsigned long added = 0;

    HRESULT GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        if (id == DISPID_OnDataAdded)
            ++added;
        return S_OK;
    }
};

// The counter advised on `base` for the life of the object; counts nothing
// when it cannot be advised.
class CAdvisedCounter {
public:
    explicit CAdvisedCounter(IWYSCURLBase* base) : m_counter(new CAddedCounter())
    {
        ComPtr<IConnectionPointContainer> container;
        if (SUCCEEDED(base->QueryInterface(IConnectionPointContainer::Iid, container.PutVoid())) &&
            SUCCEEDED(container->FindConnectionPoint(DIID_IWYSCURLBaseEvents, m_point.ReleaseAndGetAddressOf())) &&
            FAILED(m_point->Advise(m_counter->GetUnknown(), &m_cookie)))
            m_cookie = 0;
    }
    ~CAdvisedCounter()
    {
        if (m_cookie)
            m_point->Unadvise(m_cookie);  // a server that has gone took the advice along
    }
    CAdvisedCounter(const CAdvisedCounter&) = delete;
    CAdvisedCounter& operator=(const CAdvisedCounter&) = delete;

    unsigned long Added() const { return m_counter->added; }

private:
    ComPtr<CAddedCounter> m_counter;
    ComPtr<IConnectionPoint> m_point;
    DWORD m_cookie = 0;
};

}  // namespace

ShowHook SetShowHook(ShowHook hook)
{
    return std::exchange(g_showHook, std::move(hook));
}

std::string ReportText(unsigned long added, unsigned long skipped)
{
    return "Imported " + std::to_string(added) + (added == 1 ? " visit" : " visits") + ", skipped " +
           std::to_string(skipped) + ".";
}

std::string ImportHistoryFiles(QWidget* owner)
{
    ComPtr<IWYSCURLBase> base;
    if (FAILED(wys::ConnectUrlBase(&base)))
        return std::string();
    CHistoryFileDialog dialog(owner, CHistoryFileDialog::Kind::Import);
    if (const ShowHook hook = g_showHook)
        hook(&dialog);
    if (dialog.exec() != QDialog::Accepted)
        return std::string();
    const std::string path = dialog.ChosenPath();
    if (path.empty())
        return std::string();
    const unsigned long visits = wys::CountHistoryFileVisits(path).value_or(0);
    unsigned long added = 0;
    HRESULT hr;
    {
        CAdvisedCounter counter(base.Get());
        CComBSTR text(path);
        hr = base->Import(text);
        added = counter.Added();
    }
    // A failed import has shown its own message.
    if (SUCCEEDED(hr))
        MessageBoxA(owner, ReportText(added, visits > added ? visits - added : 0).c_str(), kReportCaption,
                    MB_OK | MB_ICONINFORMATION);
    return path;
}

}  // namespace HistoryImport
