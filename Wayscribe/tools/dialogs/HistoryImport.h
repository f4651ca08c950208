// Import from the band's toolbar: asks for a history export file, hands its
// path to the URL base, which reads it in, and tells the user how many
// visits came in. The band's tree learns of the imported visits through the
// URL base's events, not from here.
#pragma once

#include <functional>
#include <string>

class QWidget;
class CHistoryFileDialog;

namespace HistoryImport {

inline constexpr const char* kReportCaption = "Import History Files";

// Makes its own connection to the URL base (the calling thread must be the
// GUI thread, in an apartment); when that fails nothing is shown. Otherwise
// shows the open dialog modal to `owner` and, on OK, calls Import with the
// chosen path, then tells how it went (ReportText, caption kReportCaption):
// the visits the import added, and those of the file it skipped because
// the history holds them already, they are older than the history keeps,
// or their pages are missing. Returns the path imported, empty when nothing
// was.
std::string ImportHistoryFiles(QWidget* owner);
// "Imported 3 visits, skipped 1."
std::string ReportText(unsigned long added, unsigned long skipped);

// Called with the open dialog before it shows (tests drive it from here);
// null for none. Returns the previous hook.
using ShowHook = std::function<void(CHistoryFileDialog* dialog)>;
ShowHook SetShowHook(ShowHook hook);

}  // namespace HistoryImport
