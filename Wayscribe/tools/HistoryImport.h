// Import from the band's toolbar: asks for a history export file and hands
// its path to the URL base, which reads it in. The band's tree learns of the
// imported visits through the URL base's events, not from here.
#pragma once

#include <functional>
#include <string>

class QWidget;
class CHistoryFileDialog;

namespace HistoryImport {

// Makes its own connection to the URL base (the calling thread must be the
// GUI thread, in an apartment); when that fails nothing is shown. Otherwise
// shows the open dialog modal to `owner` and, on OK, calls Import with the
// chosen path. Returns the path imported, empty when nothing was.
std::string ImportHistoryFiles(QWidget* owner);

// Called with the open dialog before it shows (tests drive it from here);
// null for none. Returns the previous hook.
using ShowHook = std::function<void(CHistoryFileDialog* dialog)>;
ShowHook SetShowHook(ShowHook hook);

}  // namespace HistoryImport
