// The property page of a history node: a month of the calendar.
#pragma once

#include <string>

#include "Wayscribe/propertypages/CNodePropertyPage.h"

// Shown in a sheet titled kSheetTitle. The caller assigns the strings (UTF-8)
// before the sheet opens; the page puts them into its controls when it
// becomes active.
class CMonthPP : public CNodePropertyPage {
    Q_OBJECT

public:
    static constexpr const char* kSheetTitle = "Month Properties";
    static constexpr int kDialogId = 227;
    static constexpr int kIconId = 212;
    static constexpr int kMonth = 216;
    static constexpr int kTotalVisits = 212;
    static constexpr int kLastUrl = 213;
    static constexpr int kLastTime = 214;

    explicit CMonthPP(QWidget* parent = nullptr);

    std::string Month;        // kMonth
    std::string TotalVisits;  // kTotalVisits
    std::string LastUrl;      // kLastUrl
    std::string LastTime;     // kLastTime

protected:
    std::vector<std::pair<int, std::string>> Texts() const override;
};
