#include "Wayscribe/tools/dialogs/CHistoryFileDialog.h"

#include <QFileInfo>
#include <QStringList>

CHistoryFileDialog::CHistoryFileDialog(QWidget* owner, Kind kind) : QFileDialog(owner), m_kind(kind)
{
    // Qt's own dialog, so that the export panel can be added to it.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setWindowTitle(kind == Kind::Export ? kExportTitle : kImportTitle);
    setNameFilter(kFilter);
    setDefaultSuffix(kDefaultExtension);
    if (kind == Kind::Export) {
        setAcceptMode(QFileDialog::AcceptSave);
        setFileMode(QFileDialog::AnyFile);
    } else {
        setAcceptMode(QFileDialog::AcceptOpen);
        setFileMode(QFileDialog::ExistingFile);
    }
}

std::string CHistoryFileDialog::ChosenPath() const
{
    const QStringList files = selectedFiles();
    if (result() != QDialog::Accepted || files.isEmpty() || files.front().isEmpty())
        return std::string();
    const std::string chosen = files.front().toStdString();
    // An existing file is imported under the name it has.
    if (m_kind == Kind::Import && QFileInfo(files.front()).isFile())
        return chosen;
    return WithDefaultExtension(chosen, kDefaultExtension);
}

std::string CHistoryFileDialog::WithDefaultExtension(const std::string& path, const std::string& extension)
{
    const std::size_t nameStart =
        path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1;
    const std::string_view name = std::string_view(path).substr(nameStart);
    // A leading dot names a hidden file rather than starting an extension.
    const std::size_t dot = name.find_last_of('.');
    if (name.empty() || (dot != std::string_view::npos && dot != 0 && dot + 1 < name.size()))
        return path;
    if (!name.empty() && name.back() == '.')
        return path + extension;
    return path + "." + extension;
}
