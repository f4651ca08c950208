#include "hosts/history/CHistoryEventSink.h"

#include <string>

#include "hosts/history/HistoryText.h"

namespace wys::history {

HRESULT CHistoryEventSink::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT CHistoryEventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                  UINT*)
{
    UINT arguments = params ? params->cArgs : 0;
    if (id == DISPID_OnSettingsChanged) {
        if (arguments != 0)
            return DISP_E_BADPARAMCOUNT;
        ++m_settingsChanged;
        if (m_out)
            *m_out << "settings-changed" << std::endl;
        return S_OK;
    }
    if (id != DISPID_OnDataAdded && id != DISPID_OnDataBeforeRemove)
        return DISP_E_MEMBERNOTFOUND;
    if (arguments != 1)
        return DISP_E_BADPARAMCOUNT;
    VARIANT index;
    VariantInit(&index);
    if (FAILED(VariantChangeType(&index, &params->rgvarg[0], 0, VT_I4)))
        return DISP_E_TYPEMISMATCH;
    if (id == DISPID_OnDataAdded) {
        ++m_added;
        PrintVisit("added", static_cast<ULONG>(index.lVal));
    } else {
        ++m_removing;
        PrintVisit("removing", static_cast<ULONG>(index.lVal));
    }
    return S_OK;
}

void CHistoryEventSink::PrintVisit(const char* event, ULONG index)
{
    if (!m_out)
        return;
    *m_out << event << '\t' << index << '\t';
    CUrlDateHolder visit;
    if (m_history && SUCCEEDED(m_history->GetData(visit.Receive(), index)))
        *m_out << VisitLine(visit);
    else
        *m_out << "(the visit could not be read)";
    // Watchers read line by line through pipes: each event as it comes.
    *m_out << std::endl;
}

}  // namespace wys::history
