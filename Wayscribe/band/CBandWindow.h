// The band's window: a toolbar (Options, Import, Export, View, Help) above a
// tabbed frame with the History tree and the Search pane.
//
// Object names carry the control identifiers: the toolbar is "10001" and
// its buttons the command identifiers ("32792" Options, "32794" Import,
// "32778" Export, "32791" View, "32783" Help); the history tree window is
// "1001" and the search pane "236".
//
// The window restores the selected tab from "CurrentTab" when it is built
// and writes "ItemViewMode" and "CurrentTab" when it is destroyed. GUI
// thread only; the band outlives its window.
#pragma once

#include <QWidget>

class CSearchDialog;
class CSurfBand;
class CTabbedChildWindow;
class QToolButton;

namespace AdvancedTree {
class CAdvancedTree;
}

class CBandWindow : public QWidget {
    Q_OBJECT

public:
    enum ControlId : int {
        kToolbarId = 10001,
        kOptionsId = 32792,
        kImportId = 32794,
        kExportId = 32778,
        kViewId = 32791,
        kHelpId = 32783,
        kHistoryTreeId = 1001,
        kSearchDialogId = 236,
    };

    // Builds the whole window as a hidden child of `parent` with the parent's
    // size. The history tree shows the band's root; filling it is the band's.
    CBandWindow(CSurfBand& band, QWidget* parent);
    ~CBandWindow() override;

    // Selects the tab stored in "CurrentTab", as a click would; an index out
    // of range or a value of the wrong type keeps the current tab.
    void RestoreCurrentTab();

    // The toolbar's commands, as its buttons run them.
    void OnOptions();
    void OnImport();
    void OnExport();
    // The drop-downs: track the menu below the button and act on the choice.
    void OnViewDropDown();
    void OnHelpDropDown();
    // Repaints every row of both trees, so that page rows show the view mode.
    void RepaintTrees();

    QWidget* Toolbar() const { return m_toolbar; }
    CTabbedChildWindow* Frame() const { return m_frame; }
    AdvancedTree::CAdvancedTree* HistoryTree() const { return m_tree; }
    CSearchDialog* SearchDialog() const { return m_search; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildToolbar();
    void BuildTabs();
    void UpdateLayout();
    QToolButton* AddButton(int id, const QString& text, int iconId, bool dropDown);
    QPoint BelowButton(int id) const;

    CSurfBand& m_band;
    QWidget* m_rebar = nullptr;
    QWidget* m_toolbar = nullptr;
    int m_toolbarFullWidth = 0;  // all five buttons with their texts
    CTabbedChildWindow* m_frame = nullptr;
    AdvancedTree::CAdvancedTree* m_tree = nullptr;
    CSearchDialog* m_search = nullptr;
};
