#include "Wayscribe/historymodel/CDataItem.h"

#include "common/StringConvert.h"

CDataItem CDataItem::FromUrlDate(const _URL_DATE_& record, CQXServiceProvider* provider)
{
    CDataItem item;
    item.Time = record.Time;
    item.Url = wys::BstrToNarrow(record.Url);
    item.Path = wys::BstrToNarrow(record.Path);
    item.Provider = provider;
    item.Title = wys::BstrToNarrow(record.Title);
    return item;
}
