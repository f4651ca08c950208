#include "platform/mime/CdoFactory.h"

#include "platform/com/ComObject.h"
#include "platform/com/ComPtr.h"
#include "platform/mime/CConfiguration.h"
#include "platform/mime/CMessage.h"

namespace {

// Creates the object and asks it for `iid`; the object dies with its last reference.
template <class T>
HRESULT CreateAs(REFIID iid, void** object)
{
    ComPtr<T> created;
    created.Attach(CreateComObject<T>());
    return created->QueryInterface(iid, object);
}

class CClassObject final : public CComObjectRoot<CClassObject, IClassFactory> {
public:
    explicit CClassObject(const CLSID& clsid) : m_clsid(clsid) {}

    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        return CdoCreateInstance(m_clsid, outer, iid, object);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    CLSID m_clsid;
};

}  // namespace

HRESULT CdoGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_Message && clsid != CLSID_Configuration)
        return CLASS_E_CLASSNOTAVAILABLE;
    ComPtr<CClassObject> factory;
    factory.Attach(CreateComObject<CClassObject>(clsid));
    return factory->QueryInterface(iid, object);
}

HRESULT CdoCreateInstance(REFCLSID clsid, IUnknown* outer, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    if (clsid == CLSID_Message)
        return CreateAs<CMessage>(iid, object);
    if (clsid == CLSID_Configuration)
        return CreateAs<CConfiguration>(iid, object);
    return REGDB_E_CLASSNOTREG;
}
