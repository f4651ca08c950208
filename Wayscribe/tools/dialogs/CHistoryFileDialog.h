// The file dialog of the band's two file commands: a save dialog for
// export and an open dialog for import, both for history export files.
#pragma once

#include <QFileDialog>
#include <QString>

#include <string>

class CHistoryFileDialog : public QFileDialog {
    Q_OBJECT

public:
    enum class Kind { Export, Import };

    static constexpr const char* kExportTitle = "Export History Files";
    static constexpr const char* kImportTitle = "Import History Files";
    static constexpr const char* kFilter = "History Export Files (*.hef)";
    static constexpr const char* kDefaultExtension = "hef";

    // Export: a save dialog that asks before overwriting a file. Import: an
    // open dialog for an existing file. Both show only history export files
    // and add ".hef" to a name typed without an extension.
    CHistoryFileDialog(QWidget* owner, Kind kind);

    Kind GetKind() const { return m_kind; }

    // The chosen file's path, with ".hef" added when its name has no
    // extension (unless, for import, a file of that very name exists);
    // empty before a file was accepted.
    std::string ChosenPath() const;

    // `path` with "." and `extension` added when its file name has none.
    static std::string WithDefaultExtension(const std::string& path, const std::string& extension);

private:
    Kind m_kind;
};
