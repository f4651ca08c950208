#include "Wayscribe/tools/tabstrip/CDotNetTabCtrl.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTextDocument>
#include <QToolTip>

#include <algorithm>

#include "Wayscribe/tools/tabstrip/TabStripMetrics.h"

namespace {

// The font the platform labels icons with; the item views' font is the one
// Qt's themes take it for.
QFont IconTitleFont()
{
    return QApplication::font("QAbstractItemView");
}

// Tips are plain text: a label that looks like markup shows as typed.
QString PlainTip(const QString& text)
{
    if (!Qt::mightBeRichText(text))
        return text;
    return "<p style='white-space:pre'>" + text.toHtmlEscaped() + "</p>";
}

}  // namespace

CDotNetTabCtrl::CDotNetTabCtrl(unsigned styles, QWidget* parent) : QWidget(parent), m_styles(styles)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    UpdateColors();
    UpdateFonts();
}

CDotNetTabCtrl::~CDotNetTabCtrl() = default;

int CDotNetTabCtrl::InsertItem(int index, std::unique_ptr<CCustomTabItem> item)
{
    if (!item)
        return -1;
    index = std::clamp(index, 0, GetItemCount());
    m_items.insert(m_items.begin() + index, std::move(item));
    if (m_current >= index)
        ++m_current;
    if (m_items.size() == 1)
        m_current = 0;
    UpdateLayout();
    return index;
}

int CDotNetTabCtrl::AddItem(std::unique_ptr<CCustomTabItem> item)
{
    return InsertItem(GetItemCount(), std::move(item));
}

bool CDotNetTabCtrl::DeleteItem(int index)
{
    if (index < 0 || index >= GetItemCount())
        return false;
    m_items.erase(m_items.begin() + index);
    if (m_current == index)
        m_current = -1;
    else if (m_current > index)
        --m_current;
    UpdateLayout();
    return true;
}

CCustomTabItem* CDotNetTabCtrl::GetItem(int index) const
{
    return index >= 0 && index < GetItemCount() ? m_items[static_cast<std::size_t>(index)].get() : nullptr;
}

bool CDotNetTabCtrl::SetCurSel(int index, Notify notify)
{
    if (index < 0 || index >= GetItemCount())
        return false;
    if (index == m_current)
        return true;
    if (notify == Notify::Yes) {
        bool cancel = false;
        emit SelectionChanging(index, &cancel);
        if (cancel || index >= GetItemCount())
            return false;
    }
    m_current = index;
    UpdateLayout();
    if (notify == Notify::Yes)
        emit SelectionChanged(index);
    return m_current == index;
}

int CDotNetTabCtrl::HitTest(const QPoint& point) const
{
    for (int i = 0; i < GetItemCount(); ++i) {
        if (Placed(m_items[static_cast<std::size_t>(i)]->GetRect()).contains(point))
            return i;
    }
    return -1;
}

int CDotNetTabCtrl::AddImage(const QIcon& icon)
{
    m_images.append(icon);
    update();
    return static_cast<int>(m_images.size()) - 1;
}

QString CDotNetTabCtrl::GetToolTipText(int index) const
{
    const CCustomTabItem* item = GetItem(index);
    if (!item)
        return QString();
    return item->GetToolTip().isEmpty() ? item->GetText() : item->GetToolTip();
}

void CDotNetTabCtrl::UpdateLayout()
{
    std::vector<int> natural;
    natural.reserve(m_items.size());
    const QFontMetrics normal(m_font);
    const QFontMetrics bold(m_currentFont);
    for (int i = 0; i < GetItemCount(); ++i) {
        const CCustomTabItem& item = *m_items[static_cast<std::size_t>(i)];
        const bool hasImage = item.GetImageIndex() >= 0 && item.GetImageIndex() < m_images.size();
        const QFontMetrics& metrics = i == m_current ? bold : normal;
        const int label = item.GetText().isEmpty() ? -1 : metrics.horizontalAdvance(item.GetText());
        natural.push_back(TabStrip::NaturalTabWidth(hasImage ? kImageSize : 0, label));
    }
    const std::vector<QRect> rects =
        TabStrip::TabRectangles(TabStrip::LayoutTabWidths(natural, m_current, width()), height());
    for (std::size_t i = 0; i < rects.size(); ++i)
        m_items[i]->SetRect(rects[i]);
    updateGeometry();
    update();
}

void CDotNetTabCtrl::UpdateFonts()
{
    m_font = testAttribute(Qt::WA_SetFont) ? font() : IconTitleFont();
    m_currentFont = m_font;
    if (m_styles & kBoldSelected)
        m_currentFont.setBold(true);
    const int height = TabStrip::StripHeight(QFontMetrics(m_font).ascent());
    if (height != m_stripHeight) {
        m_stripHeight = height;
        updateGeometry();
        emit StripHeightChanged(height);
    }
    UpdateLayout();
}

void CDotNetTabCtrl::UpdateColors()
{
    const QPalette& colours = palette();
    m_face = colours.color(QPalette::Active, QPalette::Button);
    m_shadow = colours.color(QPalette::Active, QPalette::Dark);
    m_highlight = colours.color(QPalette::Active, QPalette::Light);
    m_text = colours.color(QPalette::Active, QPalette::ButtonText);
    const QColor grayText = colours.color(QPalette::Disabled, QPalette::WindowText);
    const QScreen* display = screen();
    if (display && display->depth() <= 8) {
        // Few colours: a lightened face would dither; a pattern reads better.
        m_background = QBrush(m_highlight, Qt::Dense4Pattern);
        m_inactiveText = grayText;
    } else {
        m_background = QBrush(TabStrip::LightenButtonFace(m_face));
        m_inactiveText = TabStrip::DarkenGrayText(grayText);
    }
    update();
}

QSize CDotNetTabCtrl::sizeHint() const
{
    int width = 2 * TabStrip::kIndent;
    for (const auto& item : m_items)
        width += item->GetRect().width();
    return QSize(width, m_stripHeight);
}

QSize CDotNetTabCtrl::minimumSizeHint() const
{
    return QSize(2 * TabStrip::kIndent, m_stripHeight);
}

bool CDotNetTabCtrl::event(QEvent* event)
{
    switch (event->type()) {
        case QEvent::ToolTip:
            return ShowToolTip(static_cast<QHelpEvent*>(event));
        case QEvent::ApplicationFontChange:
            UpdateFonts();
            break;
        case QEvent::ApplicationPaletteChange:
        case QEvent::ThemeChange:
            UpdateColors();
            UpdateFonts();
            break;
        default:
            break;
    }
    return QWidget::event(event);
}

void CDotNetTabCtrl::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        UpdateFonts();
    else if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange)
        UpdateColors();
    QWidget::changeEvent(event);
}

bool CDotNetTabCtrl::ShowToolTip(QHelpEvent* event)
{
    const int index = (m_styles & kToolTips) ? HitTest(event->pos()) : -1;
    if (index < 0) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    const int visibleTime = 20 * QApplication::doubleClickInterval();
    QToolTip::showText(event->globalPos(), PlainTip(GetToolTipText(index)), this,
                       Placed(GetItem(index)->GetRect()), visibleTime);
    return true;
}

QRect CDotNetTabCtrl::Placed(const QRect& rect) const
{
    if (m_styles & kBottom)
        return rect;
    return QRect(rect.left(), height() - 1 - rect.bottom(), rect.width(), rect.height());
}

void CDotNetTabCtrl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int w = width();
    painter.fillRect(rect(), m_face);
    painter.fillRect(rect(), m_background);
    // The band joins the strip to the view; the line under it is the edge
    // that the current tab breaks through.
    painter.fillRect(Placed(QRect(0, 0, w, TabStrip::kBandHeight)), m_face);
    painter.fillRect(Placed(QRect(0, TabStrip::kBandHeight, w, 1)), m_text);
    for (int i = 0; i < GetItemCount(); ++i) {
        if (i != m_current)
            DrawTab(painter, i);
    }
    if (m_current >= 0)
        DrawTab(painter, m_current);
}

void CDotNetTabCtrl::DrawTab(QPainter& painter, int index) const
{
    const CCustomTabItem& item = *m_items[static_cast<std::size_t>(index)];
    const QRect tab = item.GetRect();
    if (tab.width() <= 0)
        return;
    const int left = tab.left();
    const int right = tab.right();
    const int top = tab.top();
    const int bottom = tab.bottom();
    const bool current = index == m_current;
    auto line = [&](int x1, int y1, int x2, int y2, const QColor& colour) {
        painter.fillRect(Placed(QRect(QPoint(x1, y1), QPoint(x2, y2))), colour);
    };

    if (current) {
        painter.fillRect(Placed(QRect(QPoint(left, top + 3), QPoint(right - 1, bottom - 2))), m_face);
        line(right, top + 3, right, bottom - 1, m_text);
        line(left, bottom - 1, right, bottom - 1, m_text);
        line(left, top + 1, left, bottom - 2, m_highlight);
    } else if (index != GetItemCount() - 1) {
        line(right, top + 3, right, bottom - 1, m_shadow);
    }

    const QRect area(QPoint(left, top + TabStrip::kBandHeight + 1), QPoint(right, bottom - 2));
    const bool hasImage = item.GetImageIndex() >= 0 && item.GetImageIndex() < m_images.size();
    const TabStrip::TabContent content =
        TabStrip::LayoutTabContent(area, kImageSize, hasImage, !item.GetText().isEmpty());
    if (!content.image.isEmpty())
        m_images[item.GetImageIndex()].paint(&painter, Placed(content.image));
    if (!content.label.isEmpty()) {
        const QFont& font = current ? m_currentFont : m_font;
        painter.setFont(font);
        painter.setPen(current ? m_text : m_inactiveText);
        // Measured as the layout measured it, so a tab at its natural width
        // shows its whole label.
        const QFontMetrics metrics(font);
        const QString& label = item.GetText();
        const QString text = metrics.horizontalAdvance(label) <= content.label.width()
                                 ? label
                                 : metrics.elidedText(label, Qt::ElideRight, content.label.width());
        painter.drawText(Placed(content.label), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    }
}

void CDotNetTabCtrl::resizeEvent(QResizeEvent* event)
{
    UpdateLayout();
    QWidget::resizeEvent(event);
}

void CDotNetTabCtrl::mousePressEvent(QMouseEvent* event)
{
    const int index = HitTest(event->position().toPoint());
    bool handled = false;
    if (event->button() == Qt::LeftButton)
        emit Clicked(index, &handled);
    else if (event->button() == Qt::RightButton)
        emit RightClicked(index, &handled);
    else
        return QWidget::mousePressEvent(event);
    if (!handled) {
        setFocus(Qt::MouseFocusReason);
        SetCurSel(index, Notify::Yes);
    }
    event->accept();
}

void CDotNetTabCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    const int index = HitTest(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        emit DoubleClicked(index);
    else if (event->button() == Qt::RightButton)
        emit RightDoubleClicked(index);
    else
        return QWidget::mouseDoubleClickEvent(event);
    event->accept();
}

void CDotNetTabCtrl::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Left && m_current > 0)
        SetCurSel(m_current - 1, Notify::Yes);
    else if (event->key() == Qt::Key_Right && m_current + 1 < GetItemCount())
        SetCurSel(m_current + 1, Notify::Yes);
    else
        return QWidget::keyPressEvent(event);
    event->accept();
}
