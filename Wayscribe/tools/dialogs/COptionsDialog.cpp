#include "Wayscribe/tools/dialogs/COptionsDialog.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

#include <mutex>

#include "Wayscribe/tools/dialogs/CKeepTime.h"
#include "Wayscribe/tools/dialogs/CUpDownControl.h"
#include "Wayscribe/tools/help/Help.h"
#include "Wayscribe/tools/help/HelpMaps.h"
#include "Wayscribe/tools/widgets/BandIcons.h"
#include "common/DiskUsageText.h"
#include "common/IWYSCDiskUsage.h"
#include "common/StringConvert.h"
#include "common/UrlBaseConnection.h"
#include "platform/shell/CreateFolderPath.h"
#include "platform/ui/MessageBox.h"

namespace {

std::mutex g_pickerLock;
COptionsDialog::FolderPicker g_picker;

std::optional<QString> PlatformFolderPicker(QWidget* owner, const QString& title)
{
    // Rooted at the desktop with nothing preselected: the folder typed in the
    // edit is deliberately not where the picker starts.
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    const QString folder =
        QFileDialog::getExistingDirectory(owner, title, desktop, QFileDialog::ShowDirsOnly);
    if (folder.isEmpty())
        return std::nullopt;
    return folder;
}

// A label followed by a line that runs to the right edge.
QWidget* SectionHeading(const QString& text, QWidget* parent)
{
    auto* heading = new QWidget(parent);
    auto* layout = new QHBoxLayout(heading);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(text, heading));
    auto* line = new QFrame(heading);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line, 1);
    return heading;
}

QString Id(int id)
{
    return QString::number(id);
}

}  // namespace

COptionsDialog::FolderPicker COptionsDialog::SetFolderPicker(FolderPicker picker)
{
    std::lock_guard lock(g_pickerLock);
    return std::exchange(g_picker, std::move(picker));
}

COptionsDialog::COptionsDialog(QWidget* owner) : QDialog(owner)
{
    setWindowTitle(kTitle);
    BuildControls();
    LoadSettings();
}

COptionsDialog::~COptionsDialog() = default;

void COptionsDialog::BuildControls()
{
    auto* top = new QVBoxLayout(this);

    auto* intro = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(BandIcons::Icon(BandIcons::kOptions).pixmap(32, 32));
    intro->addWidget(icon);
    intro->addWidget(new QLabel("Here you may set preferences for Trailbook", this), 1);
    top->addLayout(intro);

    top->addWidget(SectionHeading("Settings", this));
    auto* settings = new QGridLayout;
    settings->setContentsMargins(12, 0, 0, 0);
    m_collectHistory = new QCheckBox("Collect History", this);
    m_collectHistory->setObjectName(Id(kCollectHistoryId));
    settings->addWidget(m_collectHistory, 0, 0, 1, 2);
    settings->addWidget(new QLabel("History Folder:", this), 1, 0, 1, 2);
    m_folder = new QLineEdit(this);
    m_folder->setObjectName(Id(kFolderId));
    m_folder->setMinimumWidth(260);
    settings->addWidget(m_folder, 2, 0);
    m_browse = new QPushButton("Browse...", this);
    m_browse->setObjectName(Id(kBrowseId));
    m_browse->setAutoDefault(false);
    connect(m_browse, &QPushButton::clicked, this, &COptionsDialog::Browse);
    settings->addWidget(m_browse, 2, 1);
    m_titledFileNames = new QCheckBox("Long file names", this);
    m_titledFileNames->setObjectName(Id(kTitledFileNamesId));
    settings->addWidget(m_titledFileNames, 3, 0, 1, 2);
    // Filled when the URL base is reached; empty otherwise.
    m_diskUsage = new QLabel(this);
    m_diskUsage->setObjectName(Id(kDiskUsageId));
    settings->addWidget(m_diskUsage, 4, 0, 1, 2);
    top->addLayout(settings);

    top->addWidget(SectionHeading("Time to keep pages in history", this));
    auto* keep = new QHBoxLayout;
    keep->setContentsMargins(12, 0, 0, 0);
    static constexpr struct {
        const char* label;
        int editId;
        int spinId;
    } kParts[] = {
        {"Days:", kDaysId, kDaysSpinId},
        {"Hours:", kHoursId, kHoursSpinId},
        {"Minutes:", kMinutesId, kMinutesSpinId},
        {"Seconds:", kSecondsId, kSecondsSpinId},
    };
    // Digits only, and few enough of them that a part always fits the
    // signed 32-bit number it is read as.
    const QRegularExpression digits("[0-9]{0,9}");
    for (int i = 0; i < 4; ++i) {
        auto* label = new QLabel(kParts[i].label, this);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(Id(kParts[i].editId));
        edit->setValidator(new QRegularExpressionValidator(digits, edit));
        edit->setMaxLength(9);
        edit->setFixedWidth(edit->fontMetrics().horizontalAdvance("00000") + 12);
        label->setBuddy(edit);
        auto* spin = new CUpDownControl(edit, this);
        spin->setObjectName(Id(kParts[i].spinId));
        m_edits[i] = edit;
        m_spins[i] = spin;
        keep->addWidget(label);
        auto* pair = new QHBoxLayout;
        pair->setSpacing(0);
        pair->addWidget(edit);
        pair->addWidget(spin);
        keep->addLayout(pair);
        keep->addSpacing(8);
    }
    keep->addStretch(1);
    top->addLayout(keep);

    auto* warning = new QLabel(
        QString::fromUtf8("Warning: If you decrease time span for keeping the \u201cmemorized\u201d "
                          "pages in history, the pages that do not fall into the specified "
                          "time span will be removed from history"),
        this);
    warning->setWordWrap(true);
    top->addWidget(warning);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName(Id(kOkId));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &COptionsDialog::accept);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName(Id(kCancelId));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &COptionsDialog::reject);
    auto* help = new QPushButton("Help", this);
    help->setObjectName(Id(kHelpId));
    help->setAutoDefault(false);
    connect(help, &QPushButton::clicked, this, [] { Help::OpenHelpTopic(Help::kOptionsTopic); });
    Help::InstallContextHelp(this, Help::kOptionsHelpIds);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addWidget(help);
    top->addLayout(buttons);
}

void COptionsDialog::LoadSettings()
{
    ComPtr<IWYSCURLBase> base;
    if (FAILED(wys::ConnectUrlBase(&base)))
        return;
    m_connected = true;

    // A read that fails leaves its control as it is; the others still load.
    CComBSTR folder;
    if (SUCCEEDED(base->get_BaseDirectory(&folder)))
        m_folder->setText(QString::fromStdString(wys::BstrToNarrowZ(folder)));
    m_loadedFolder = m_folder->text();
    VARIANT_BOOL flag = VARIANT_FALSE;
    if (SUCCEEDED(base->get_CollectHistory(&flag)))
        m_collectHistory->setChecked(flag != VARIANT_FALSE);
    flag = VARIANT_FALSE;
    if (SUCCEEDED(base->get_TitledFileNames(&flag)))
        m_titledFileNames->setChecked(flag != VARIANT_FALSE);
    LONGLONG range = 0;
    if (SUCCEEDED(base->get_HistoricalRange(&range))) {
        const CKeepTime parts = CKeepTime::Split(range);
        const std::int64_t values[] = {parts.Days, parts.Hours, parts.Minutes, parts.Seconds};
        for (int i = 0; i < 4; ++i)
            m_edits[i]->setText(QString::number(values[i]));
    }

    const int uppers[] = {kMaxDays, kMaxHours, kMaxMinutes, kMaxSeconds};
    for (int i = 0; i < 4; ++i)
        m_spins[i]->SetRange(0, uppers[i]);

    if (SUCCEEDED(base->get_DataCount(&m_visits)) &&
        SUCCEEDED(base->QueryInterface(IWYSCDiskUsage::Iid, m_usage.PutVoid())))
        ShowDiskUsage();

    ApplyEnablingRule();
    m_timer = new QTimer(this);
    m_timer->setInterval(kTimerPeriodMs);
    connect(m_timer, &QTimer::timeout, this, [this] {
        ApplyEnablingRule();
        if (m_usage)
            ShowDiskUsage();
    });
    m_timer->start();
}

void COptionsDialog::ShowDiskUsage()
{
    ULONGLONG onDisk = 0;
    ULONGLONG withoutSharing = 0;
    const HRESULT hr = m_usage->GetDiskUsage(&onDisk, &withoutSharing);
    if (FAILED(hr)) {
        m_usage = nullptr;
        return;
    }
    std::string text = wys::DiskUsageText(m_visits, onDisk, withoutSharing);
    if (hr == S_FALSE)
        text += " (still counting)";
    else
        m_usage = nullptr;  // up to date: no need to ask again
    m_diskUsage->setText(QString::fromStdString(text));
}

void COptionsDialog::ApplyEnablingRule()
{
    const bool collect = m_collectHistory->isChecked();
    m_browse->setEnabled(collect);
    m_folder->setEnabled(collect);
    for (int i = 0; i < 4; ++i) {
        m_edits[i]->setEnabled(collect);
        m_spins[i]->setEnabled(collect);
    }
}

void COptionsDialog::Browse()
{
    FolderPicker picker;
    {
        std::lock_guard lock(g_pickerLock);
        picker = g_picker;
    }
    const std::optional<QString> folder =
        picker ? picker(this, kFolderPickerTitle) : PlatformFolderPicker(this, kFolderPickerTitle);
    if (folder && !folder->isEmpty())
        m_folder->setText(*folder);
}

bool COptionsDialog::CheckFolder(const QString& folder)
{
    if (folder == m_loadedFolder)
        return true;
    // The URL base moves to whatever folder it is given, and a folder it
    // cannot make would leave the history empty and every capture failing.
    const std::string path = folder.toStdString();
    if (!folder.isEmpty() && QDir::isAbsolutePath(folder) && CreateFolderPath(path.c_str()))
        return true;
    const std::string text =
        "Cannot use \"" + path + "\" as the history folder: the folder cannot be created.";
    MessageBoxA(static_cast<QWidget*>(this), text.c_str(), kTitle, MB_OK | MB_ICONWARNING);
    return false;
}

void COptionsDialog::accept()
{
    if (!m_connected) {
        QDialog::accept();
        return;
    }
    const QString folder = m_folder->text();
    if (!CheckFolder(folder))
        return;
    ComPtr<IWYSCURLBase> base;
    if (FAILED(wys::ConnectUrlBase(&base))) {
        QDialog::accept();
        return;
    }
    // All four are written whether they changed or not; what a change causes
    // is the URL base's business.
    base->put_CollectHistory(m_collectHistory->isChecked() ? VARIANT_TRUE : VARIANT_FALSE);
    base->put_TitledFileNames(m_titledFileNames->isChecked() ? VARIANT_TRUE : VARIANT_FALSE);
    CComBSTR folderText(folder.toStdString());
    base->put_BaseDirectory(folderText);
    CKeepTime parts;
    parts.Days = CKeepTime::ParsePart(m_edits[0]->text().toStdString());
    parts.Hours = CKeepTime::ParsePart(m_edits[1]->text().toStdString());
    parts.Minutes = CKeepTime::ParsePart(m_edits[2]->text().toStdString());
    parts.Seconds = CKeepTime::ParsePart(m_edits[3]->text().toStdString());
    base->put_HistoricalRange(parts.Compose());
    QDialog::accept();
}
