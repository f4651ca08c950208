// The About box: "About Trailbook Pro".
#pragma once

#include <QDialog>

#include <optional>

#include "Wayscribe/tools/help/BandVersion.h"

// Controls keep their identifiers as object names: the version text 263,
// the maker's web address 1018 (a link that opens in the user's browser)
// and the default OK button 1. OK or Escape closes it. GUI thread only.
class CAboutDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kDialogId = 100;
    static constexpr int kIconId = 232;
    static constexpr int kVersionId = 263;
    static constexpr int kWebAddressId = 1018;
    static constexpr const char* kWebAddress = "https://www.quillonix.com/";

    // Shows `version` ("" for none); by default the band library's.
    explicit CAboutDialog(QWidget* owner = nullptr,
                          std::optional<ProductVersion> version = BandLibraryVersion());
};

// Runs the About box modally, owned by the active window.
void ShowAboutDialog();
