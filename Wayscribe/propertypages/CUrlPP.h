// The property page of a history node: a page (URL) visited on one day.
#pragma once

#include <string>

#include "Wayscribe/propertypages/CNodePropertyPage.h"

// Shown in a sheet titled kSheetTitle. The caller assigns the strings (UTF-8)
// before the sheet opens; the page puts them into its controls when it
// becomes active.
class CUrlPP : public CNodePropertyPage {
    Q_OBJECT

public:
    static constexpr const char* kSheetTitle = "Visit Properties";
    static constexpr int kDialogId = 225;
    static constexpr int kIconId = 219;
    static constexpr int kUrl = 206;
    static constexpr int kTitle = 211;
    static constexpr int kPath = 207;
    static constexpr int kLastVisited = 209;
    static constexpr int kTimesVisited = 210;

    explicit CUrlPP(QWidget* parent = nullptr);

    std::string Url;           // kUrl
    std::string Title;         // kTitle
    std::string Path;          // kPath: the saved copy's full path
    std::string LastVisited;   // kLastVisited
    std::string TimesVisited;  // kTimesVisited

protected:
    std::vector<std::pair<int, std::string>> Texts() const override;
};
