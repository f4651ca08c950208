#include "Wayscribe/propertypages/CMonthPP.h"

CMonthPP::CMonthPP(QWidget* parent)
    : CNodePropertyPage(kDialogId, kIconId, {"", kMonth, Control::Static}, "Static",
                        {
                            {"Total Visits:", kTotalVisits, Control::Static},
                            {"Last Visited URL:", kLastUrl, Control::Edit, true},
                            {"Last Visit Time:", kLastTime, Control::Static},
                        },
                        parent)
{
}

std::vector<std::pair<int, std::string>> CMonthPP::Texts() const
{
    return {{kMonth, Month}, {kTotalVisits, TotalVisits}, {kLastUrl, LastUrl}, {kLastTime, LastTime}};
}
