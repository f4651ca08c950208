#include "tests/historymodel/HistoryFakes.h"

#include "common/StringConvert.h"

namespace wys::test {

HRESULT CFakeUrlBase::GetData(_URL_DATE_* data, ULONG index)
{
    ++reads;
    if (!data)
        return E_POINTER;
    if (index >= m_records.size() || m_records[index].unreadable)
        return E_INVALIDARG;
    const FakeRecord& record = m_records[index];
    data->Time = record.time;
    data->Url = NarrowToBstr(record.url);
    data->Path = NarrowToBstr(record.path);
    // A missing title crosses as a null string.
    data->Title = record.title.empty() ? nullptr : NarrowToBstr(record.title);
    return S_OK;
}

HRESULT CFakeUrlBase::get_DataCount(ULONG* count)
{
    if (!count)
        return E_POINTER;
    if (FAILED(countResult))
        return countResult;
    *count = static_cast<ULONG>(m_records.size());
    return S_OK;
}

}  // namespace wys::test
