// A tab that stands for a view window: the tabbed window shows the view of
// the current tab.
#pragma once

#include <QPointer>
#include <QWidget>

#include "Wayscribe/tools/tabstrip/CCustomTabItem.h"

class CTabViewTabItem : public CCustomTabItem {
public:
    CTabViewTabItem(QWidget* view, QString text, int imageIndex = -1, QString toolTip = QString())
        : CCustomTabItem(std::move(text), imageIndex, std::move(toolTip)), m_view(view)
    {
    }

    // Null once the view has been destroyed. Not owned by the item.
    QWidget* GetView() const { return m_view; }

private:
    QPointer<QWidget> m_view;
};
