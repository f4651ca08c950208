#include "tests/platform/rpc/support/TestObject.h"

#include <unistd.h>

#include "platform/com/TypeInfo.h"
#include "platform/rpc/MessageLoop.h"
#include "platform/rpc/RemoteInterface.h"

#define WYS_RPC_ITESTCONTROL_METHODS(X) \
    X(GetIdentity, Out, Out, Out)       \
    X(Ping, In, Out)                    \
    X(EchoBstr, In, Out)                \
    X(EchoVariant, In, Out)             \
    X(EchoUnknown, In, Out)             \
    X(Bounce, In, In, Out)              \
    X(Fail, In, OutAlways)

namespace {
WYS_RPC_REMOTE_INTERFACE(ITestControl, WYS_RPC_ITESTCONTROL_METHODS)
}

namespace wys::test {

void RegisterTestInterfaces()
{
    static const bool registered = wys::rpc::RegisterRemoteInterface(kITestControlRemote);
    (void)registered;
}

std::atomic<ULONG> CTestObject::s_nextInstance{1};

CTestObject::CTestObject() : m_instance(s_nextInstance++)
{
    RegisterTestInterfaces();
}

CTestObject::~CTestObject()
{
    for (auto& record : m_records)
        FreeUrlDate(&record);
}

DWORD CTestObject::GetCurrentThreadIdForTests()
{
    return GetCurrentThreadId();
}

ULONG CTestObject::AddRef()
{
    ULONG count = CComObjectRoot::AddRef();
    if (count == 2 && onClientsChanged)
        onClientsChanged(true);
    return count;
}

ULONG CTestObject::Release()
{
    if (RefCount() == 2 && onClientsChanged)
        onClientsChanged(false);
    return CComObjectRoot::Release();
}

HRESULT CTestObject::GetIdentity(DWORD* processId, DWORD* threadId, ULONG* instance)
{
    Note();
    *processId = static_cast<DWORD>(::getpid());
    *threadId = GetCurrentThreadId();
    *instance = m_instance;
    return S_OK;
}

HRESULT CTestObject::Ping(ULONG value, ULONG* result)
{
    *result = value + 1;
    return S_OK;
}

HRESULT CTestObject::EchoBstr(BSTR in, BSTR* out)
{
    Note();
    *out = CopyBstr(in);
    return S_OK;
}

HRESULT CTestObject::EchoVariant(VARIANT in, VARIANT* out)
{
    Note();
    VariantInit(out);
    return VariantCopy(out, &in);
}

HRESULT CTestObject::EchoUnknown(IUnknown* in, IUnknown** out)
{
    Note();
    *out = in;
    if (in)
        in->AddRef();
    return S_OK;
}

HRESULT CTestObject::Bounce(ITestControl* peer, ULONG depth, ULONG* calls)
{
    Note();
    *calls = 1;
    if (depth == 0 || !peer)
        return S_OK;
    ULONG inner = 0;
    HRESULT hr = peer->Bounce(this, depth - 1, &inner);
    *calls += inner;
    return hr;
}

HRESULT CTestObject::Fail(HRESULT result, ULONG* out)
{
    *out = 7;
    return result;
}

HRESULT CTestObject::GetTypeInfoCount(UINT* count)
{
    *count = 0;
    return S_OK;
}

HRESULT CTestObject::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                            EXCEPINFO* exception, UINT* argError)
{
    Note();
    if (id != kDispIdDoubleByRef) {
        if (exception) {
            *exception = EXCEPINFO{};
            exception->scode = DISP_E_MEMBERNOTFOUND;
            exception->bstrDescription = SysAllocString(u"no such member");
        }
        if (argError)
            *argError = 3;
        return DISP_E_EXCEPTION;
    }
    for (UINT i = 0; i < params->cArgs; ++i) {
        VARIANT& arg = params->rgvarg[i];
        if (arg.vt == (VT_BYREF | VT_I4)) {
            *arg.plVal *= 2;
        } else if (arg.vt == (VT_BYREF | VT_BSTR)) {
            CComBSTR longer(std::u16string(BstrView(*arg.pbstrVal)) + u"!");
            SysFreeString(*arg.pbstrVal);
            *arg.pbstrVal = longer.Detach();
        } else {
            return DISP_E_TYPEMISMATCH;
        }
    }
    if (result) {
        result->vt = VT_I4;
        result->lVal = static_cast<LONG>(params->cArgs);
    }
    return S_OK;
}

HRESULT CTestObject::GetData(_URL_DATE_* data, ULONG index)
{
    Note();
    if (index >= m_records.size())
        return E_INVALIDARG;
    const _URL_DATE_& r = m_records[index];
    *data = _URL_DATE_{r.Time, CopyBstr(r.Url), CopyBstr(r.Path), CopyBstr(r.Title)};
    return S_OK;
}

HRESULT CTestObject::AddData(_URL_DATE_ data)
{
    Note();
    m_records.push_back(_URL_DATE_{data.Time, CopyBstr(data.Url), CopyBstr(data.Path), CopyBstr(data.Title)});
    VARIANT index;
    VariantInit(&index);
    index.vt = VT_I4;
    index.lVal = static_cast<LONG>(m_records.size() - 1);
    FireDispatchEvent(m_events.Sinks(), DISPID_OnDataAdded, {index});
    return S_OK;
}

HRESULT CTestObject::get_DataCount(ULONG* count)
{
    Note();
    *count = static_cast<ULONG>(m_records.size());
    return S_OK;
}

HRESULT CTestObject::get_BaseDirectory(BSTR* path)
{
    *path = m_baseDirectory.Copy();
    return S_OK;
}

HRESULT CTestObject::put_BaseDirectory(BSTR path)
{
    m_baseDirectory = CComBSTR::CopyOf(path);
    return FireDispatchEvent(m_events.Sinks(), DISPID_OnSettingsChanged) == S_OK ? S_OK : S_OK;
}

HRESULT CTestObject::Find(LONGLONG time, BSTR url, ULONG* index)
{
    *index = kNoRecord;
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        if (m_records[i].Time == time && BstrView(m_records[i].Url) == BstrView(url))
            *index = static_cast<ULONG>(i);
    }
    return S_OK;
}

HRESULT CTestObject::RemoveData(ULONG index)
{
    if (index >= m_records.size())
        return E_INVALIDARG;
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_I4;
    arg.lVal = static_cast<LONG>(index);
    FireDispatchEvent(m_events.Sinks(), DISPID_OnDataBeforeRemove, {arg});
    FreeUrlDate(&m_records[index]);
    m_records.erase(m_records.begin() + index);
    return S_OK;
}

HRESULT CTestObject::get_CollectHistory(VARIANT_BOOL* value)
{
    *value = m_collect;
    return S_OK;
}

HRESULT CTestObject::put_CollectHistory(VARIANT_BOOL value)
{
    m_collect = value;
    return S_OK;
}

HRESULT CTestObject::get_HistoricalRange(LONGLONG* seconds)
{
    *seconds = m_range;
    return S_OK;
}

HRESULT CTestObject::put_HistoricalRange(LONGLONG seconds)
{
    m_range = seconds;
    return S_OK;
}

HRESULT CTestObject::get_TitledFileNames(VARIANT_BOOL* value)
{
    *value = VARIANT_FALSE;
    return S_OK;
}

HRESULT CTestObject::ExportRange2(BSTR, VARIANT v)
{
    if (v.vt != (VT_ARRAY | VT_BSTR) || !v.parray || SafeArrayGetDim(v.parray) != 1)
        return E_INVALIDARG;
    m_range = SafeArrayElementCount(v.parray);
    return S_OK;
}

HRESULT CTestObject::FindConnectionPoint(REFIID iid, IConnectionPoint** point)
{
    if (!point)
        return E_POINTER;
    *point = nullptr;
    if (iid != DIID_IWYSCURLBaseEvents)
        return CONNECT_E_NOCONNECTION;
    *point = &m_events;
    m_events.AddRef();
    return S_OK;
}

HRESULT CTestObject::GetClassInfo(ITypeInfo** info)
{
    return CreateGuidTypeInfo(CLSID_TestObject, info);
}

HRESULT CTestObject::GetGUID(DWORD kind, GUID* guid)
{
    if (!guid)
        return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID)
        return E_INVALIDARG;
    *guid = DIID_IWYSCURLBaseEvents;
    return S_OK;
}

CTestFactory::~CTestFactory()
{
    // The object can outlive its factory (a client in another apartment
    // still holds it), so it must stop reporting to this one.
    if (m_instance) {
        m_instance->onClientsChanged = nullptr;
        m_instance->Release();
    }
}

HRESULT CTestFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    if (beforeCreate)
        beforeCreate();
    if (!m_instance) {
        m_instance = CreateComObject<CTestObject>();
        m_instance->onClientsChanged = [this](bool held) {
            if (onLockChanged)
                onLockChanged(held ? 1 : -1);
        };
    }
    return m_instance->QueryInterface(iid, object);
}

HRESULT CTestFactory::LockServer(BOOL lock)
{
    if (onLockChanged)
        onLockChanged(lock ? 1 : -1);
    return S_OK;
}

}  // namespace wys::test
