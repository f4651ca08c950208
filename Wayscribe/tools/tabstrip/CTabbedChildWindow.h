// A window of several views under one flat tab strip: the view of the
// current tab fills the window beside the strip.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "Wayscribe/tools/tabstrip/CDotNetTabCtrl.h"

// The strip takes the full width at the bottom (at the top without
// CDotNetTabCtrl::kBottom), as high as its font asks; the current view takes
// the rest. When the current tab changes, its view is placed and shown, the
// previous one hidden, and the new one gets the keyboard focus.
//
// Views become children of the window and are owned by it as any child
// widget is; removing a tab hands its view back hidden, with no parent.
// The strip's notifications (GetTabCtrl) are there for the owner to
// connect to, a cancelled change included. GUI thread only.
class CTabbedChildWindow : public QWidget {
    Q_OBJECT

public:
    explicit CTabbedChildWindow(unsigned tabStyles = CDotNetTabCtrl::kBottom | CDotNetTabCtrl::kToolTips,
                                QWidget* parent = nullptr);

    CDotNetTabCtrl* GetTabCtrl() const { return m_tabs; }

    // Appends a tab for `view` and returns its index; the first tab added
    // becomes current and shows its view. -1 for a null view or one that
    // already has a tab.
    int AddTab(QWidget* view, const QString& text, int imageIndex = -1, const QString& toolTip = QString());
    // Removes the view's tab; when it was current, the tab that takes its
    // place (or the one before it) becomes current, with notifications.
    bool RemoveTab(QWidget* view);
    // -1 when the view has no tab.
    int FindTab(const QWidget* view) const;
    QWidget* GetView(int index) const;
    // The view of the current tab; null when none is current.
    QWidget* GetActiveView() const { return m_activeView; }

    // As a click on the tab would: the change may be cancelled.
    bool SetActiveTab(int index) { return m_tabs->SetCurSel(index, CDotNetTabCtrl::Notify::Yes); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateLayout();
    void ShowCurrentView();
    QRect ViewRect() const;

    CDotNetTabCtrl* m_tabs = nullptr;
    QPointer<QWidget> m_activeView;
};
