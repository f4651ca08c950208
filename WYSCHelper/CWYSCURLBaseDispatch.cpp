// Late-bound calls: IDispatch of IWYSCURLBase, and IDispatch of
// IWYSCURLBaseEvents, through which a call raises an event to every sink.
#include "WYSCHelper/CWYSCURLBase.h"
#include "platform/com/TypeInfo.h"

namespace {

constexpr wys::dispatch::Member<IWYSCURLBase> kMembers[] = {
    WYS_COM_DISPATCH_MEMBERS(IWYSCURLBase, WYS_IWYSCURLBASE_MEMBERS)};

}  // namespace

HRESULT CWYSCURLBase::UrlBaseGetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT CWYSCURLBase::UrlBaseGetTypeInfo(UINT index, LCID, ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    return CreateGuidTypeInfo(IID_IWYSCURLBase, info);
}

HRESULT CWYSCURLBase::UrlBaseGetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    return wys::dispatch::LookUpMemberNames<IWYSCURLBase>(kMembers, names, count, ids);
}

HRESULT CWYSCURLBase::UrlBaseInvoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                    VARIANT* result, EXCEPINFO*, UINT* argError)
{
    if (iid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    if (result)
        VariantInit(result);
    // GetData and AddData carry the visit record, which has no VARIANT form:
    // only the interface itself can call them.
    return wys::dispatch::InvokeMember<IWYSCURLBase>(kMembers, *this, id, flags, params, result, argError);
}

HRESULT CWYSCURLBase::EventsGetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT CWYSCURLBase::EventsGetTypeInfo(UINT index, LCID, ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    return CreateGuidTypeInfo(DIID_IWYSCURLBaseEvents, info);
}

HRESULT CWYSCURLBase::EventsGetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    return wys::dispatch::LookUpMemberNames<IWYSCURLBaseEventHandlers>(kIWYSCURLBaseEventMembers, names,
                                                                       count, ids);
}

HRESULT CWYSCURLBase::EventsInvoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                   UINT* argError)
{
    if (params && params->cArgs > 1)
        return DISP_E_BADPARAMCOUNT;
    // Raising changes nothing, so it is never refused; but no removal may
    // come in while the event goes out.
    ChangeScope change(*this);
    class Raiser final : public IWYSCURLBaseEventHandlers {
    public:
        explicit Raiser(CWYSCURLBase& base) : m_base(base) {}
        HRESULT OnDataAdded(LONG index) override
        {
            m_base.OnDataAdded(static_cast<ULONG>(index));
            return S_OK;
        }
        HRESULT OnDataBeforeRemove(LONG index) override
        {
            m_base.OnDataBeforeRemove(static_cast<ULONG>(index));
            return S_OK;
        }
        HRESULT OnSettingsChanged() override
        {
            m_base.OnSettingsChanged();
            return S_OK;
        }

    private:
        CWYSCURLBase& m_base;
    } raiser(*this);
    // Events are calls, whatever the flags say.
    return wys::dispatch::InvokeMember<IWYSCURLBaseEventHandlers>(kIWYSCURLBaseEventMembers, raiser, id,
                                                                  DISPATCH_METHOD, params, nullptr, argError);
}
