// "Trailbook Pro Options": the four settings of the URL base (collection,
// history folder, long file names, keep time), read from the URL base when
// the dialog opens and written back, all four in that order, on OK.
//
// Every control carries its control identifier as its object name ("202",
// "217", ...), OK is "1", Cancel "2" and Help "9". Help opens the help
// topic "optionsd.htm"; F1 on a control shows its popup topic.
//
// The dialog makes its own connection to the URL base on opening and another
// on OK, on the calling thread, which must be the GUI thread and be in an
// apartment. When the URL base cannot be reached on opening, the controls
// stay empty, the spin controls keep their default range, no enabling rule
// runs, and OK only closes. Results of the writes are not examined.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>

#include "platform/com/ComPtr.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class CUpDownControl;
struct IWYSCDiskUsage;

class COptionsDialog : public QDialog {
    Q_OBJECT

public:
    enum ControlId : int {
        kCollectHistoryId = 202,
        kFolderId = 203,
        kBrowseId = 204,
        kDaysId = 217,
        kHoursId = 218,
        kMinutesId = 219,
        kSecondsId = 220,
        kHoursSpinId = 222,
        kDaysSpinId = 224,
        kMinutesSpinId = 225,
        kSecondsSpinId = 226,
        kTitledFileNamesId = 242,
        kDiskUsageId = 250,
        kOkId = 1,
        kCancelId = 2,
        kHelpId = 9,
    };
    static constexpr int kTimerPeriodMs = 250;
    static constexpr const char* kTitle = "Trailbook Pro Options";
    static constexpr const char* kFolderPickerTitle = "Select folder for History files";
    // Upper limits of the spin controls (their lower limits are 0).
    static constexpr int kMaxDays = 360;
    static constexpr int kMaxHours = 24;
    static constexpr int kMaxMinutes = 60;
    static constexpr int kMaxSeconds = 60;

    // Shows the folder picker owned by `owner` with `title`; the folder's
    // path, or nothing when none was chosen.
    using FolderPicker = std::function<std::optional<QString>(QWidget* owner, const QString& title)>;
    // Replaces the process's folder picker (tests); null restores the
    // platform's. Returns the previous one.
    static FolderPicker SetFolderPicker(FolderPicker picker);

    // Builds the controls and fills them from the URL base.
    explicit COptionsDialog(QWidget* owner = nullptr);
    ~COptionsDialog() override;

    // Whether the URL base was reached when the dialog opened.
    bool IsConnected() const { return m_connected; }

public slots:
    // OK: writes the four settings (when the URL base was reached on
    // opening and can be reached again) and closes with Accepted. A history
    // folder that has been changed to one that cannot be made is refused
    // with a message, and the dialog stays open with nothing written.
    void accept() override;

private:
    void BuildControls();
    void LoadSettings();
    // "Browse...", the folder edit, the time edits and the spin controls are
    // enabled exactly while "Collect History" is checked.
    void ApplyEnablingRule();
    void Browse();
    // Shows the visits and what their saved copies take on disk; asks
    // again on every tick while the server is still counting.
    void ShowDiskUsage();
    // True when the folder text may be written: unchanged, or an absolute
    // path at which a folder exists or could be made.
    bool CheckFolder(const QString& folder);

    QCheckBox* m_collectHistory = nullptr;
    QLineEdit* m_folder = nullptr;
    QPushButton* m_browse = nullptr;
    QCheckBox* m_titledFileNames = nullptr;
    QLabel* m_diskUsage = nullptr;
    ComPtr<IWYSCDiskUsage> m_usage;  // while the count is not up to date
    ULONG m_visits = 0;
    QLineEdit* m_edits[4] = {};
    CUpDownControl* m_spins[4] = {};
    QTimer* m_timer = nullptr;
    bool m_connected = false;
    QString m_loadedFolder;
};
