// The arithmetic of the flat tab strip: tab widths, strip height, colours
// and where a tab's image and label go. Plain functions, so that the numbers
// can be checked without a window.
#pragma once

#include <QColor>
#include <QRect>

#include <vector>

namespace TabStrip {

// Pixels.
inline constexpr int kIndent = 5;         // before the first tab and after the last
inline constexpr int kPadding = 3;        // at each side of a tab
inline constexpr int kMargin = 4;         // at each side of a label
inline constexpr int kMinLabelRoom = 12;  // narrower than this, no label is drawn
// The least width a shrunk tab other than the current one is given room for.
inline constexpr int kMinShrunkTab = kMinLabelRoom + 2 * kPadding + kMargin;
// Height of the band of button face along the strip's edge next to the view.
inline constexpr int kBandHeight = 3;

// A tab's width when nothing needs to shrink: padding, the image (width 0
// for none), the label and its margins (labelWidth below 0 for no label),
// padding.
int NaturalTabWidth(int imageWidth, int labelWidth);

// Widths for tabs of the given natural widths in a strip `clientWidth`
// pixels wide, `current` being the index of the current tab or -1. While
// the tabs fit (with an indent at each end) they keep their natural widths.
// Otherwise the current tab keeps its own and the others shrink in
// proportion to theirs, all to the same width when the narrowest would fall
// below kMinShrunkTab; when even that leaves too little room, every tab gets
// an equal share. Without a current tab nothing shrinks. Widths are never
// negative.
std::vector<int> LayoutTabWidths(const std::vector<int>& natural, int current, int clientWidth);

// Rectangles of tabs of these widths laid side by side from x = kIndent,
// each `height` pixels high from y = 0.
std::vector<QRect> TabRectangles(const std::vector<int>& widths, int height);

// The strip's height for a font whose ascent is `ascent` pixels.
int StripHeight(int ascent);

// The strip's background: the button face lightened towards white.
QColor LightenButtonFace(const QColor& face);
// The label colour of tabs that are not current: the grey-text colour
// darkened.
QColor DarkenGrayText(const QColor& grayText);

// Where a tab's image and label go in `area` (the tab's rectangle without
// the strip's band), inset at each side by the padding. Either is an empty
// rectangle when there is nothing to draw or no room for it. The image is
// `imageSize` square at the left, centred vertically; the label takes what
// is left, inset by the margin, when at least kMinLabelRoom pixels are left.
struct TabContent {
    QRect image;
    QRect label;
};
TabContent LayoutTabContent(const QRect& area, int imageSize, bool hasImage, bool hasLabel);

}  // namespace TabStrip
