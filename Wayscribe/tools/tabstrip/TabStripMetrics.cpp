#include "Wayscribe/tools/tabstrip/TabStripMetrics.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace TabStrip {

int NaturalTabWidth(int imageWidth, int labelWidth)
{
    int width = kPadding + std::max(imageWidth, 0);
    if (labelWidth >= 0)
        width += labelWidth + 2 * kMargin;
    return width + kPadding;
}

std::vector<int> LayoutTabWidths(const std::vector<int>& natural, int current, int clientWidth)
{
    std::vector<int> widths = natural;
    const int count = static_cast<int>(natural.size());
    const int total = std::accumulate(natural.begin(), natural.end(), 0);
    if (count == 0 || clientWidth >= total + 2 * kIndent || current < 0 || current >= count)
        return widths;

    const int room = clientWidth - 2 * kIndent - natural[static_cast<std::size_t>(current)];
    const int others = count - 1;
    const int othersTotal = total - natural[static_cast<std::size_t>(current)];
    if (others > 0 && kMinShrunkTab * others < room && othersTotal > 0) {
        const double scale = static_cast<double>(room) / othersTotal;
        int narrowest = othersTotal;
        for (int i = 0; i < count; ++i) {
            if (i != current)
                narrowest = std::min(narrowest, natural[static_cast<std::size_t>(i)]);
        }
        const bool equal = kMinShrunkTab > scale * narrowest;
        for (int i = 0; i < count; ++i) {
            if (i == current)
                continue;
            auto& width = widths[static_cast<std::size_t>(i)];
            width = equal ? room / others : static_cast<int>(std::lround(width * scale));
        }
    } else {
        // Too narrow even for shrunk tabs: everyone, the current one too,
        // gets the same share.
        const int share = std::max(0, (clientWidth - 2 * kIndent) / count);
        std::fill(widths.begin(), widths.end(), share);
    }
    return widths;
}

std::vector<QRect> TabRectangles(const std::vector<int>& widths, int height)
{
    std::vector<QRect> rects;
    rects.reserve(widths.size());
    int x = kIndent;
    for (int width : widths) {
        rects.emplace_back(x, 0, std::max(width, 0), height);
        x += std::max(width, 0);
    }
    return rects;
}

int StripHeight(int ascent)
{
    const int scaled = static_cast<int>(std::lround(ascent * 24.0 / 11.0));
    return (scaled - 24) / 2 + 24;
}

QColor LightenButtonFace(const QColor& face)
{
    const int channels[3] = {face.red(), face.green(), face.blue()};
    const int largest = std::max({channels[0], channels[1], channels[2]});
    const int lift = largest <= 220 ? 35 : 255 - largest;
    int out[3];
    for (int i = 0; i < 3; ++i) {
        if (largest == 0)
            out[i] = lift;
        else
            out[i] = static_cast<int>(channels[i] + static_cast<double>(lift) * channels[i] / largest + 0.5);
        out[i] = std::clamp(out[i], 0, 255);
    }
    return QColor(out[0], out[1], out[2]);
}

QColor DarkenGrayText(const QColor& grayText)
{
    const int channels[3] = {grayText.red(), grayText.green(), grayText.blue()};
    const int largest = std::max({channels[0], channels[1], channels[2]});
    int out[3];
    for (int i = 0; i < 3; ++i) {
        const int c = channels[i];
        // A channel above 42 implies largest > 42, so there is no division by 0.
        out[i] = c > 42 ? static_cast<int>(c - 43.0 * c / largest - 0.5) : c / 2;
        out[i] = std::clamp(out[i], 0, 255);
    }
    return QColor(out[0], out[1], out[2]);
}

TabContent LayoutTabContent(const QRect& area, int imageSize, bool hasImage, bool hasLabel)
{
    TabContent content;
    int left = area.left() + kPadding;
    const int right = area.right() - kPadding;  // inclusive
    if (hasImage && imageSize > 0 && right - left + 1 >= imageSize) {
        const int top = area.top() + (area.height() - imageSize) / 2;
        content.image = QRect(left, top, imageSize, imageSize);
        left += imageSize;
    }
    if (hasLabel && right - left + 1 >= kMinLabelRoom) {
        content.label = QRect(QPoint(left + kMargin, area.top()), QPoint(right - kMargin, area.bottom()));
    }
    return content;
}

}  // namespace TabStrip
