#include "Wayscribe/tools/tabstrip/CTabbedChildWindow.h"

#include <algorithm>
#include <memory>

#include "Wayscribe/tools/tabstrip/CTabViewTabItem.h"

CTabbedChildWindow::CTabbedChildWindow(unsigned tabStyles, QWidget* parent) : QWidget(parent)
{
    m_tabs = new CDotNetTabCtrl(tabStyles, this);
    connect(m_tabs, &CDotNetTabCtrl::SelectionChanged, this, &CTabbedChildWindow::ShowCurrentView);
    connect(m_tabs, &CDotNetTabCtrl::StripHeightChanged, this, &CTabbedChildWindow::UpdateLayout);
    UpdateLayout();
}

int CTabbedChildWindow::AddTab(QWidget* view, const QString& text, int imageIndex, const QString& toolTip)
{
    if (!view || FindTab(view) >= 0)
        return -1;
    view->hide();
    view->setParent(this);
    const int index = m_tabs->AddItem(std::make_unique<CTabViewTabItem>(view, text, imageIndex, toolTip));
    // A hidden window hears of its size only when shown; place the strip now.
    UpdateLayout();
    if (m_tabs->GetCurSel() == index)
        ShowCurrentView();
    return index;
}

bool CTabbedChildWindow::RemoveTab(QWidget* view)
{
    const int index = FindTab(view);
    if (index < 0)
        return false;
    const bool wasCurrent = m_tabs->GetCurSel() == index;
    m_tabs->DeleteItem(index);
    view->hide();
    view->setParent(nullptr);
    if (wasCurrent) {
        m_activeView = nullptr;
        if (m_tabs->GetItemCount() > 0)
            m_tabs->SetCurSel(std::min(index, m_tabs->GetItemCount() - 1), CDotNetTabCtrl::Notify::Yes);
    }
    return true;
}

int CTabbedChildWindow::FindTab(const QWidget* view) const
{
    for (int i = 0; view && i < m_tabs->GetItemCount(); ++i) {
        if (GetView(i) == view)
            return i;
    }
    return -1;
}

QWidget* CTabbedChildWindow::GetView(int index) const
{
    const auto* item = dynamic_cast<const CTabViewTabItem*>(m_tabs->GetItem(index));
    return item ? item->GetView() : nullptr;
}

QRect CTabbedChildWindow::ViewRect() const
{
    const int strip = m_tabs->GetStripHeight();
    const int rest = std::max(0, height() - strip);
    if (m_tabs->GetStyles() & CDotNetTabCtrl::kBottom)
        return QRect(0, 0, width(), rest);
    return QRect(0, strip, width(), rest);
}

void CTabbedChildWindow::UpdateLayout()
{
    const int strip = m_tabs->GetStripHeight();
    const bool bottom = m_tabs->GetStyles() & CDotNetTabCtrl::kBottom;
    m_tabs->setGeometry(0, bottom ? std::max(0, height() - strip) : 0, width(), strip);
    if (m_activeView)
        m_activeView->setGeometry(ViewRect());
}

void CTabbedChildWindow::ShowCurrentView()
{
    QWidget* next = GetView(m_tabs->GetCurSel());
    if (next == m_activeView)
        return;
    QWidget* previous = m_activeView;
    m_activeView = next;
    if (next) {
        next->setGeometry(ViewRect());
        next->show();
    }
    if (previous)
        previous->hide();
    if (next)
        next->setFocus(Qt::OtherFocusReason);
}

void CTabbedChildWindow::resizeEvent(QResizeEvent* event)
{
    UpdateLayout();
    QWidget::resizeEvent(event);
}
