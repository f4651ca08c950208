#include "Wayscribe/propertypages/CDayPP.h"

CDayPP::CDayPP(QWidget* parent)
    : CNodePropertyPage(kDialogId, kIconId, {"", kDate, Control::Static}, "Static",
                        {
                            {"Total Visits:", kTotalVisits, Control::Static},
                            {"Last Visited URL:", kLastUrl, Control::Edit, true},
                            {"Last Visit Time:", kLastTime, Control::Static},
                        },
                        parent)
{
}

std::vector<std::pair<int, std::string>> CDayPP::Texts() const
{
    return {{kDate, Date}, {kTotalVisits, TotalVisits}, {kLastUrl, LastUrl}, {kLastTime, LastTime}};
}
