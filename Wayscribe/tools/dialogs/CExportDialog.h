// The export dialog: a save dialog for a history export file with the export
// panel below its controls, and the URL base call that the choice makes.
//
// F1 on a control of the panel shows its popup topic. Lives on the stack of
// the command that shows it; GUI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "Wayscribe/tools/dialogs/ExportScope.h"
#include "common/IWYSCURLBase.h"

class QWidget;
class CExportPanel;
class CHistoryFileDialog;

class CExportDialog {
public:
    static constexpr const char* kNothingExportedText =
        "Nothing was exported: no visit matches the selection, or the saved pages could not be copied.";
    static constexpr const char* kNothingExportedCaption = "Export History Files";

    ExportScope Scope = ExportScope::All;
    // Whether "Selected item (with subitems)" may be chosen: only when the
    // dialog was opened for a tree node with saved copies.
    bool SelectedItemAllowed = false;
    std::string UrlFilter;
    // Seconds since 1970-01-01 00:00:00 UTC.
    std::int64_t From = 0;
    std::int64_t To = 0;
    // The saved copies of the selected node, for scope SelectedItem.
    std::set<std::string> SelectedPaths;
    // The file chosen, ".hef" added when it was typed without an extension.
    std::string Path;

    // Shows the dialog modal to `owner`. On OK the scope, URL filter, From,
    // To and Path are taken from the dialog and true is returned; on Cancel
    // nothing changes.
    bool DoModal(QWidget* owner);

    // Hands the choice to the URL base: Export (All), ExportRange2 with the
    // selected paths (SelectedItem), or ExportRange with From, To - From and
    // the URL filter, null when empty (Range). Returns the call's result.
    HRESULT CallUrlBase(IWYSCURLBase* base) const;
    // CallUrlBase, then, when it wrote no file at Path (the call succeeds
    // either way), says so in a message box kNothingExportedText owned by
    // `owner`.
    HRESULT Export(QWidget* owner, IWYSCURLBase* base) const;

    // Export from the band's toolbar when no history node is selected:
    // scope All, no selected item, no URL filter, From and To now. On OK
    // the URL base `base` (the band's own connection) is called (Export).
    static void ExportAll(QWidget* owner, IWYSCURLBase* base);
    // Export of a tree node: its range (start and span), URL filter and
    // saved copies; the selected item is allowed, and chosen, when it has
    // saved copies, else the scope is Range.
    static void ExportSelection(QWidget* owner, IWYSCURLBase* base, std::int64_t start, std::int64_t span,
                                const std::string& urlFilter, const std::set<std::string>& paths);

    // Called with the file dialog and its panel once they are set up and
    // before the dialog shows (tests drive the dialog from here); null for
    // none. Returns the previous hook.
    using ShowHook = std::function<void(CHistoryFileDialog* dialog, CExportPanel* panel)>;
    static ShowHook SetShowHook(ShowHook hook);
};
