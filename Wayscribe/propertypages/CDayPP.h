// The property page of a history node: a day of the calendar.
#pragma once

#include <string>

#include "Wayscribe/propertypages/CNodePropertyPage.h"

// Shown in a sheet titled kSheetTitle. The caller assigns the strings (UTF-8)
// before the sheet opens; the page puts them into its controls when it
// becomes active.
class CDayPP : public CNodePropertyPage {
    Q_OBJECT

public:
    static constexpr const char* kSheetTitle = "Day Properties";
    static constexpr int kDialogId = 226;
    static constexpr int kIconId = 210;
    static constexpr int kDate = 211;
    static constexpr int kTotalVisits = 212;
    static constexpr int kLastUrl = 213;
    static constexpr int kLastTime = 214;

    explicit CDayPP(QWidget* parent = nullptr);

    std::string Date;         // kDate
    std::string TotalVisits;  // kTotalVisits
    std::string LastUrl;      // kLastUrl
    std::string LastTime;     // kLastTime

protected:
    std::vector<std::pair<int, std::string>> Texts() const override;
};
