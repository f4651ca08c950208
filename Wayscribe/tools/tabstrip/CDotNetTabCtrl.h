// The owner-drawn tab strip in the flat style, with its tabs below (or
// above) the view they switch.
#pragma once

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QList>
#include <QWidget>

#include <memory>
#include <vector>

#include "Wayscribe/tools/tabstrip/CCustomTabItem.h"

class QHelpEvent;
class QPainter;

// Layout, metrics and colours are those of TabStripMetrics.h. The strip's
// font is the icon-title font (the item-view font of the platform theme, or
// the application font when the theme has none) unless a font is set on the
// widget itself; the current tab's font is the same, made bold with
// kBoldSelected. The strip's height follows the font: when it changes,
// StripHeightChanged is emitted.
//
// Notifications are signals, meant for direct connections: a receiver
// handles a click or cancels a change of selection by setting the flag it is
// given. Every one carries the index of the tab concerned (for mouse
// notifications, the tab under the mouse), or -1.
//
// The strip owns its items. GUI thread only.
class CDotNetTabCtrl : public QWidget {
    Q_OBJECT

public:
    enum Style : unsigned {
        kBottom = 0x1,        // the strip sits below the view
        kToolTips = 0x2,      // tabs show tooltips
        kBoldSelected = 0x4,  // the current tab's label is bold
    };
    enum class Notify { No, Yes };

    static constexpr int kImageSize = 16;

    explicit CDotNetTabCtrl(unsigned styles = kBottom | kToolTips, QWidget* parent = nullptr);
    ~CDotNetTabCtrl() override;

    unsigned GetStyles() const { return m_styles; }

    // Inserts before `index` (clamped to the end) and returns the item's
    // index. The first item of an empty strip becomes current, silently.
    int InsertItem(int index, std::unique_ptr<CCustomTabItem> item);
    int AddItem(std::unique_ptr<CCustomTabItem> item);
    // Removing the current item leaves no item current. False for a bad index.
    bool DeleteItem(int index);
    int GetItemCount() const { return static_cast<int>(m_items.size()); }
    // Null for a bad index.
    CCustomTabItem* GetItem(int index) const;
    // After a change to an item's text or image.
    void UpdateLayout();

    // -1 when no item is current.
    int GetCurSel() const { return m_current; }
    // Makes `index` current. With Notify::Yes, SelectionChanging goes first
    // and may cancel; SelectionChanged follows the change. Returns whether
    // `index` is now current; a bad index changes nothing.
    bool SetCurSel(int index, Notify notify = Notify::Yes);
    // The tab at a point of the widget; -1 for none.
    int HitTest(const QPoint& point) const;

    // 16 by 16 icons; returns the new icon's index.
    int AddImage(const QIcon& icon);
    int GetImageCount() const { return static_cast<int>(m_images.size()); }

    int GetStripHeight() const { return m_stripHeight; }
    // The fonts in use (see above).
    const QFont& GetTabFont() const { return m_font; }
    const QFont& GetCurrentTabFont() const { return m_currentFont; }
    // The colours in use: background fill and the labels of other tabs.
    const QBrush& GetBackground() const { return m_background; }
    QColor GetInactiveTextColor() const { return m_inactiveText; }
    // The tip of a tab: its tooltip text, or its label when that is empty.
    QString GetToolTipText(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void SelectionChanging(int index, bool* cancel);
    void SelectionChanged(int index);
    void Clicked(int index, bool* handled);
    void RightClicked(int index, bool* handled);
    void DoubleClicked(int index);
    void RightDoubleClicked(int index);
    void StripHeightChanged(int height);

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void UpdateFonts();
    void UpdateColors();
    bool ShowToolTip(QHelpEvent* event);
    // Mirrors a rectangle drawn for a strip below its view into one above it.
    QRect Placed(const QRect& rect) const;
    void DrawTab(QPainter& painter, int index) const;

    unsigned m_styles;
    std::vector<std::unique_ptr<CCustomTabItem>> m_items;
    int m_current = -1;
    QList<QIcon> m_images;
    QFont m_font;
    QFont m_currentFont;
    int m_stripHeight = 0;
    QBrush m_background;
    QColor m_inactiveText;
    QColor m_face;
    QColor m_shadow;
    QColor m_highlight;
    QColor m_text;
};
