#include "WYSCHelper/server/CUrlBaseClassFactory.h"

#include "WYSCHelper/CWYSCURLBase.h"

namespace wys::server {

CUrlBaseClassFactory::CUrlBaseClassFactory(CServerModule& module, Creator create)
    : m_module(module), m_link(std::make_shared<LockLink>(module)), m_create(std::move(create))
{
    if (!m_create)
        m_create = [](REFIID iid, void** object, CUrlBaseOptions options) {
            return CWYSCURLBase::Create(iid, object, std::move(options));
        };
}

CUrlBaseClassFactory::~CUrlBaseClassFactory()
{
    m_link->counting = false;
    m_object = nullptr;
}

HRESULT CUrlBaseClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    HRESULT hr;
    {
        std::lock_guard lock(m_creation);
        hr = MakeObject();
    }
    if (FAILED(hr))
        return hr;
    return m_object->QueryInterface(iid, object);
}

HRESULT CUrlBaseClassFactory::MakeObject()
{
    if (m_tried)
        return m_creationResult;
    m_tried = true;
    CUrlBaseOptions options;
    options.ReferenceCountChanged = [link = m_link](ULONG previous, ULONG now) {
        OnReferenceCountChanged(*link, previous, now);
    };
    ComPtr<IUnknown> made;
    m_creationResult = m_create(IID_IUnknown, made.PutVoid(), std::move(options));
    if (SUCCEEDED(m_creationResult) && !made)
        m_creationResult = E_UNEXPECTED;
    if (FAILED(m_creationResult))
        return m_creationResult;
    m_object = std::move(made);
    // Only from here on is this cache the one reference that is not a client's.
    m_link->counting = true;
    return S_OK;
}

void CUrlBaseClassFactory::OnReferenceCountChanged(LockLink& link, ULONG previous, ULONG now)
{
    if (!link.counting)
        return;
    if (previous == 1 && now == 2)
        link.module.Lock();
    else if (previous == 2 && now == 1)
        link.module.Unlock();
}

HRESULT CUrlBaseClassFactory::LockServer(BOOL lock)
{
    std::lock_guard guard(m_serverLocksMutex);
    if (lock) {
        ++m_serverLocks;
        m_module.Lock();
        return S_OK;
    }
    if (m_serverLocks == 0)
        return E_UNEXPECTED;
    --m_serverLocks;
    m_module.Unlock();
    return S_OK;
}

}  // namespace wys::server
