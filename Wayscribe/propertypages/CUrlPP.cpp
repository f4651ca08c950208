#include "Wayscribe/propertypages/CUrlPP.h"

CUrlPP::CUrlPP(QWidget* parent)
    : CNodePropertyPage(kDialogId, kIconId, {"", kUrl, Control::Edit}, "",
                        {
                            {"Title:", kTitle, Control::Edit},
                            {"Path:", kPath, Control::Edit},
                            {"Last Visited:", kLastVisited, Control::Static, true},
                            {"Times Visited:", kTimesVisited, Control::Static},
                        },
                        parent)
{
}

std::vector<std::pair<int, std::string>> CUrlPP::Texts() const
{
    return {{kUrl, Url},
            {kTitle, Title},
            {kPath, Path},
            {kLastVisited, LastVisited},
            {kTimesVisited, TimesVisited}};
}
