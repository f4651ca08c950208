#include "Wayscribe/propertypages/CTimePP.h"

CTimePP::CTimePP(QWidget* parent)
    : CNodePropertyPage(kDialogId, kIconId, {"", kVisitedDate, Control::Static}, "Visited Date",
                        {
                            {"Title:", kTitle, Control::Edit},
                            {"Internet Address:", kUrl, Control::Edit},
                            {"Path:", kPath, Control::Edit},
                        },
                        parent)
{
}

std::vector<std::pair<int, std::string>> CTimePP::Texts() const
{
    return {{kVisitedDate, VisitedDate}, {kTitle, Title}, {kUrl, Url}, {kPath, Path}};
}
