#include "common/CImportedVisitCounter.h"

#include <string_view>

#include "common/CUrlBaseEventSinkBase.h"
#include "platform/com/ComObject.h"
#include "platform/com/ConnectionPoint.h"

namespace wys {

class CImportedVisitCounter::CSink final : public CComObjectRoot<CSink, CUrlBaseEventSinkBase> {
public:
    explicit CSink(IWYSCURLBase* history) : m_history(history) { IgnoreBadEvents(); }
    unsigned long added = 0;

    HRESULT OnDataAdded(LONG index) override
    {
        // Read while the event is delivered, when the index is still the record's.
        CUrlDateHolder record;
        if (SUCCEEDED(m_history->GetData(record.Receive(), static_cast<ULONG>(index))) &&
            IsImportedPath(record.Path))
            ++added;
        return S_OK;
    }

private:
    IWYSCURLBase* m_history;  // not owned; outlives the counter
};

CImportedVisitCounter::CImportedVisitCounter(IWYSCURLBase* history)
    : m_sink(new CSink(history)),
      m_result(m_connection.Advise(history, DIID_IWYSCURLBaseEvents, m_sink->GetUnknown()))
{
}

CImportedVisitCounter::~CImportedVisitCounter() = default;

unsigned long CImportedVisitCounter::Added() const
{
    return m_sink->added;
}

bool CImportedVisitCounter::IsImportedPath(BSTR path)
{
    const std::u16string_view text = BstrView(path);
    constexpr std::u16string_view kFolder = u"Imported";
    return text.size() > kFolder.size() && text.substr(0, kFolder.size()) == kFolder &&
           (text[kFolder.size()] == u'/' || text[kFolder.size()] == u'\\');
}

}  // namespace wys
