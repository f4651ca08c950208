// The property page of a history node: a single visit (a time node).
#pragma once

#include <string>

#include "Wayscribe/propertypages/CNodePropertyPage.h"

// Shown in a sheet titled kSheetTitle. The caller assigns the strings (UTF-8)
// before the sheet opens; the page puts them into its controls when it
// becomes active.
class CTimePP : public CNodePropertyPage {
    Q_OBJECT

public:
    static constexpr const char* kSheetTitle = "Time Properties";
    static constexpr int kDialogId = 107;
    static constexpr int kIconId = 220;
    static constexpr int kVisitedDate = 205;
    static constexpr int kTitle = 211;
    static constexpr int kUrl = 206;
    static constexpr int kPath = 207;

    explicit CTimePP(QWidget* parent = nullptr);

    std::string VisitedDate;  // kVisitedDate: the visit's time, long date and time
    std::string Title;        // kTitle
    std::string Url;          // kUrl
    std::string Path;         // kPath: the saved copy's full path

protected:
    std::vector<std::pair<int, std::string>> Texts() const override;
};
