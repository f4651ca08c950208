#include "Wayscribe/tools/widgets/BandIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace BandIcons {

namespace {

using Drawing = std::function<void(QPainter&)>;

// Draws in a 16 by 16 grid, whatever the pixmap's size.
QPixmap Render(int size, const Drawing& draw)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 16.0, size / 16.0);
    draw(painter);
    return pixmap;
}

QPen Outline(const QColor& colour)
{
    QPen pen(colour, 1.0);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

// A calendar leaf; `mark` draws on its page.
void Calendar(QPainter& p, const QColor& header, const std::function<void(QPainter&)>& mark)
{
    p.setPen(Outline(QColor(70, 70, 90)));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(1.5, 2.5, 13, 12), 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(header);
    p.drawRect(QRectF(2, 3, 12, 3.5));
    p.setBrush(QColor(70, 70, 90));
    p.drawRect(QRectF(4, 1, 1.5, 3));
    p.drawRect(QRectF(10.5, 1, 1.5, 3));
    mark(p);
}

void Month(QPainter& p)
{
    Calendar(p, QColor(40, 110, 200), [](QPainter& q) {
        q.setBrush(QColor(120, 120, 140));
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 4; ++col)
                q.drawRect(QRectF(3 + col * 2.7, 7.5 + row * 2.2, 1.6, 1.4));
    });
}

void Day(QPainter& p)
{
    Calendar(p, QColor(210, 60, 50), [](QPainter& q) {
        q.setBrush(QColor(210, 60, 50));
        q.drawRect(QRectF(6, 8, 4, 4.5));
    });
}

void Page(QPainter& p)
{
    QPainterPath sheet;
    sheet.moveTo(3.5, 1.5);
    sheet.lineTo(10, 1.5);
    sheet.lineTo(13.5, 5);
    sheet.lineTo(13.5, 14.5);
    sheet.lineTo(3.5, 14.5);
    sheet.closeSubpath();
    p.setPen(Outline(QColor(80, 90, 110)));
    p.setBrush(Qt::white);
    p.drawPath(sheet);
    p.setBrush(QColor(200, 210, 225));
    p.drawPolygon(QPolygonF({QPointF(10, 1.5), QPointF(10, 5), QPointF(13.5, 5)}));
    p.setPen(QPen(QColor(60, 130, 210), 1.0));
    for (double y : {7.5, 9.5, 11.5})
        p.drawLine(QPointF(5.5, y), QPointF(11.5, y));
}

void Clock(QPainter& p)
{
    p.setPen(Outline(QColor(50, 80, 60)));
    p.setBrush(QColor(235, 245, 235));
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.setPen(QPen(QColor(30, 60, 40), 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 8), QPointF(8, 4));
    p.drawLine(QPointF(8, 8), QPointF(11, 9.5));
}

void Gear(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 100, 120));
    p.translate(8, 8);
    for (int i = 0; i < 8; ++i) {
        p.drawRect(QRectF(-1.3, -7.5, 2.6, 4));
        p.rotate(45);
    }
    p.drawEllipse(QPointF(0, 0), 5.2, 5.2);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(0, 0), 2, 2);
}

// A tray with an arrow pointing into it (import) or out of it (export).
void Tray(QPainter& p, bool inwards)
{
    p.setPen(QPen(QColor(70, 80, 100), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(2, 10), QPointF(2, 14), QPointF(14, 14), QPointF(14, 10)}));
    const QColor arrow = inwards ? QColor(40, 150, 70) : QColor(40, 110, 200);
    p.setPen(QPen(arrow, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(8, 1.5), QPointF(8, 11));
    const double tip = inwards ? 11 : 1.5;
    const double back = inwards ? 7.5 : 5;
    p.drawPolyline(QPolygonF({QPointF(4.5, back), QPointF(8, tip), QPointF(11.5, back)}));
}

void Product(QPainter& p)
{
    // A trail of footsteps over a page: the history kept.
    p.setPen(Outline(QColor(30, 70, 130)));
    p.setBrush(QColor(60, 130, 210));
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(3.5, 9, 3, 4));
    p.drawEllipse(QRectF(9, 3, 3, 4));
    p.setBrush(QColor(255, 255, 255, 170));
    p.drawEllipse(QRectF(6.3, 6, 2.2, 3));
}

void Magnifier(QPainter& p)
{
    p.setPen(QPen(QColor(60, 70, 90), 1.5));
    p.setBrush(QColor(215, 235, 250));
    p.drawEllipse(QRectF(1.5, 1.5, 9, 9));
    p.setPen(QPen(QColor(60, 70, 90), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(9.5, 9.5), QPointF(14, 14));
}

Drawing DrawingOf(int resourceId)
{
    switch (resourceId) {
        case kDay:
            return Day;
        case kMonth:
            return Month;
        case kPage:
            return Page;
        case kTime:
            return Clock;
        case kOptions:
            return Gear;
        case kImport:
            return [](QPainter& p) { Tray(p, true); };
        case kExport:
            return [](QPainter& p) { Tray(p, false); };
        case kProduct:
            return Product;
        case kSearch:
            return Magnifier;
        default:
            return nullptr;
    }
}

}  // namespace

QIcon Icon(int resourceId)
{
    const Drawing draw = DrawingOf(resourceId);
    if (!draw)
        return QIcon();
    QIcon icon;
    for (int size : {16, 32})
        icon.addPixmap(Render(size, draw));
    return icon;
}

QList<QIcon> HistoryTreeImages()
{
    return {Icon(kMonth), Icon(kDay), Icon(kPage), Icon(kTime)};
}

}  // namespace BandIcons
