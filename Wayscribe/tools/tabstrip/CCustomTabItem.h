// One tab of the flat tab strip: its label, tooltip, image and place.
#pragma once

#include <QRect>
#include <QString>

class CCustomTabItem {
public:
    CCustomTabItem() = default;
    CCustomTabItem(QString text, int imageIndex = -1, QString toolTip = QString())
        : m_text(std::move(text)), m_toolTip(std::move(toolTip)), m_imageIndex(imageIndex)
    {
    }
    virtual ~CCustomTabItem() = default;

    const QString& GetText() const { return m_text; }
    void SetText(QString text) { m_text = std::move(text); }
    // May be empty: the tab then shows its label as its tip.
    const QString& GetToolTip() const { return m_toolTip; }
    void SetToolTip(QString toolTip) { m_toolTip = std::move(toolTip); }
    // Index into the strip's image list; -1 for none.
    int GetImageIndex() const { return m_imageIndex; }
    void SetImageIndex(int imageIndex) { m_imageIndex = imageIndex; }
    // Set by the strip's layout.
    const QRect& GetRect() const { return m_rect; }
    void SetRect(const QRect& rect) { m_rect = rect; }

private:
    QString m_text;
    QString m_toolTip;
    int m_imageIndex = -1;
    QRect m_rect;
};
