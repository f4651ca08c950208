// The object the runtime's tests call across apartments and processes: a
// small test interface, a toy history list with its events, and a class
// object that hands out one shared instance, as a history server does.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "common/IWYSCURLBase.h"
#include "platform/com/ComObject.h"
#include "platform/com/ConnectionPoint.h"
#include "tests/platform/rpc/support/TestControl.h"
#include "tests/support/UrlBaseFake.h"

// Invoke DISPIDs of the test object beyond the history's own.
inline constexpr DISPID kDispIdDoubleByRef =
    100;  // doubles a VT_BYREF|VT_I4, appends "!" to a VT_BYREF|VT_BSTR

namespace wys::test {

// Registers ITestControl with the runtime (idempotent).
void RegisterTestInterfaces();

class CTestObject final : public CComObjectRoot<CTestObject, ITestControl, UrlBaseFake,
                                                IConnectionPointContainer, IProvideClassInfo2> {
public:
    CTestObject();
    ~CTestObject() override;

    // Called with the count of references beyond the first one's changes
    // between 0 and 1 (a server's lock on behalf of its clients).
    std::function<void(bool held)> onClientsChanged;
    ULONG AddRef() override;
    ULONG Release() override;

    const std::vector<DWORD>& Threads() const { return m_threads; }
    std::size_t SinkCount() const { return m_events.Sinks().Count(); }

    HRESULT GetIdentity(DWORD* processId, DWORD* threadId, ULONG* instance) override;
    HRESULT Ping(ULONG value, ULONG* result) override;
    HRESULT EchoBstr(BSTR in, BSTR* out) override;
    HRESULT EchoVariant(VARIANT in, VARIANT* out) override;
    HRESULT EchoUnknown(IUnknown* in, IUnknown** out) override;
    HRESULT Bounce(ITestControl* peer, ULONG depth, ULONG* calls) override;
    HRESULT Fail(HRESULT result, ULONG* out) override;

    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argError) override;

    HRESULT GetData(_URL_DATE_* data, ULONG index) override;
    HRESULT AddData(_URL_DATE_ data) override;
    HRESULT get_DataCount(ULONG* count) override;
    HRESULT get_BaseDirectory(BSTR* path) override;
    HRESULT put_BaseDirectory(BSTR path) override;
    HRESULT Find(LONGLONG time, BSTR url, ULONG* index) override;
    HRESULT RemoveData(ULONG index) override;
    HRESULT get_CollectHistory(VARIANT_BOOL* value) override;
    HRESULT put_CollectHistory(VARIANT_BOOL value) override;
    HRESULT RemoveRange(LONGLONG, LONGLONG, BSTR) override { return S_OK; }
    HRESULT get_HistoricalRange(LONGLONG* seconds) override;
    HRESULT put_HistoricalRange(LONGLONG seconds) override;
    HRESULT Import(BSTR) override { return S_OK; }
    HRESULT ExportRange(BSTR, LONGLONG, LONGLONG, BSTR) override { return S_OK; }
    HRESULT Export(BSTR) override { return S_OK; }
    HRESULT get_TitledFileNames(VARIANT_BOOL* value) override;
    HRESULT put_TitledFileNames(VARIANT_BOOL) override { return S_OK; }
    // Counts the elements of a one-dimensional array of BSTR into the
    // DataCount-visible "last export" value; E_INVALIDARG otherwise.
    HRESULT ExportRange2(BSTR path, VARIANT v) override;
    HRESULT RemoveRange2(VARIANT) override { return S_OK; }

    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    // The class's identifier and the events' dispinterface.
    HRESULT GetClassInfo(ITypeInfo** info) override;
    HRESULT GetGUID(DWORD kind, GUID* guid) override;

private:
    void Note() { m_threads.push_back(GetCurrentThreadIdForTests()); }
    static DWORD GetCurrentThreadIdForTests();

    static std::atomic<ULONG> s_nextInstance;
    ULONG m_instance;
    std::vector<DWORD> m_threads;
    std::vector<_URL_DATE_> m_records;
    CComBSTR m_baseDirectory;
    VARIANT_BOOL m_collect = VARIANT_TRUE;
    LONGLONG m_range = 1296000;
    CConnectionPoint m_events{this, DIID_IWYSCURLBaseEvents};
};

// Hands out one shared CTestObject, made on the first request.
class CTestFactory final : public CComObjectRoot<CTestFactory, IClassFactory> {
public:
    ~CTestFactory() override;
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT LockServer(BOOL lock) override;

    // Called with +1 / -1 for each LockServer and each change of whether
    // clients hold the object.
    std::function<void(int change)> onLockChanged;
    // Called before each creation; lets a test server end at that moment.
    std::function<void()> beforeCreate;
    CTestObject* Instance() const { return m_instance; }

private:
    CTestObject* m_instance = nullptr;
};

}  // namespace wys::test
