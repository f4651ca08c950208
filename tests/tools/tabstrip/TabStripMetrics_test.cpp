#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "Wayscribe/tools/tabstrip/TabStripMetrics.h"

using namespace TabStrip;

namespace {

std::string Text(const std::vector<int>& values)
{
    std::ostringstream out;
    for (std::size_t i = 0; i < values.size(); ++i)
        out << (i ? "," : "") << values[i];
    return out.str();
}

std::string Text(const QColor& colour)
{
    std::ostringstream out;
    out << colour.red() << "," << colour.green() << "," << colour.blue();
    return out.str();
}

TEST(TabStripMetrics, NaturalWidthAddsPaddingImageAndLabelWithItsMargins)
{
    EXPECT_EQ(NaturalTabWidth(16, 40), 3 + 16 + 4 + 40 + 4 + 3);
    EXPECT_EQ(NaturalTabWidth(0, 40), 54);
    EXPECT_EQ(NaturalTabWidth(16, -1), 22);  // no label: no margins
    EXPECT_EQ(NaturalTabWidth(0, 0), 14);    // an empty label still has its margins
    EXPECT_EQ(kMinShrunkTab, 22);
}

TEST(TabStripMetrics, TabsKeepNaturalWidthsThenOthersShrinkThenAllShareEqually)
{
    struct Case {
        std::vector<int> natural;
        int current;
        int client;
        std::vector<int> expected;
    };
    const Case cases[] = {
        // The band's two tabs, History current: wide enough, exactly enough.
        {{70, 66}, 0, 300, {70, 66}},
        {{70, 66}, 0, 146, {70, 66}},
        // One pixel short: the other tab gives it up, the current one keeps its width.
        {{70, 66}, 0, 145, {70, 65}},
        {{70, 66}, 1, 120, {44, 66}},
        // No room left for a shrunk tab: equal shares, the current one too.
        {{70, 66}, 0, 100, {45, 45}},
        {{70, 66}, 1, 97, {43, 43}},
        // Others in proportion to their natural widths, rounded.
        {{100, 60, 50}, 1, 170, {67, 60, 33}},
        // The narrowest would drop below 22 pixels: the others get equal widths.
        {{100, 60, 30}, 1, 150, {40, 60, 40}},
        // Nothing current: nothing shrinks.
        {{100, 60}, -1, 50, {100, 60}},
        // A strip narrower than its indents: no negative widths.
        {{70, 66}, 0, 0, {0, 0}},
        {{70}, 0, 40, {30}},
        {{}, -1, 100, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Text(LayoutTabWidths(c.natural, c.current, c.client)), Text(c.expected))
            << "natural " << Text(c.natural) << ", current " << c.current << ", client " << c.client;
    }
}

TEST(TabStripMetrics, TabsStandSideBySideAfterTheIndent)
{
    const std::vector<QRect> rects = TabRectangles({70, 65, 0}, 24);
    ASSERT_EQ(rects.size(), 3u);
    EXPECT_EQ(rects[0], QRect(5, 0, 70, 24));
    EXPECT_EQ(rects[1], QRect(75, 0, 65, 24));
    EXPECT_EQ(rects[2], QRect(140, 0, 0, 24));
}

TEST(TabStripMetrics, StripHeightGrowsWithTheFontsAscent)
{
    const std::pair<int, int> cases[] = {{11, 24}, {12, 25}, {13, 26}, {15, 28}, {20, 34}, {8, 21}};
    for (auto [ascent, height] : cases)
        EXPECT_EQ(StripHeight(ascent), height) << "ascent " << ascent;
}

TEST(TabStripMetrics, BackgroundLightensTheButtonFaceAndInactiveLabelsDarkenGreyText)
{
    const std::pair<QColor, QColor> faces[] = {
        {QColor(212, 208, 200), QColor(247, 242, 233)},  // the classic face: lifted by 35
        {QColor(236, 233, 216), QColor(255, 252, 233)},  // brighter than 220: lifted to white at most
        {QColor(240, 240, 240), QColor(255, 255, 255)}, {QColor(0, 0, 0), QColor(35, 35, 35)},
        {QColor(100, 0, 50), QColor(135, 0, 68)},
    };
    for (const auto& [face, expected] : faces)
        EXPECT_EQ(Text(LightenButtonFace(face)), Text(expected)) << "face " << Text(face);

    const std::pair<QColor, QColor> greys[] = {
        {QColor(128, 128, 128), QColor(84, 84, 84)}, {QColor(172, 168, 153), QColor(128, 125, 114)},
        {QColor(40, 100, 0), QColor(20, 56, 0)},  // channels of 42 or less are halved
        {QColor(42, 42, 42), QColor(21, 21, 21)},    {QColor(0, 0, 0), QColor(0, 0, 0)},
    };
    for (const auto& [grey, expected] : greys)
        EXPECT_EQ(Text(DarkenGrayText(grey)), Text(expected)) << "grey " << Text(grey);
}

TEST(TabStripMetrics, ImageAndLabelAppearOnlyWhenThereIsRoom)
{
    // A tab 70 pixels wide, its area below the band 18 pixels high.
    TabContent wide = LayoutTabContent(QRect(QPoint(5, 4), QPoint(74, 21)), 16, true, true);
    EXPECT_EQ(wide.image, QRect(8, 5, 16, 16));
    EXPECT_EQ(wide.label, QRect(QPoint(28, 4), QPoint(67, 21)));

    // 20 pixels: 14 inside the padding, too few for the image, enough for a label.
    TabContent narrow = LayoutTabContent(QRect(0, 4, 20, 18), 16, true, true);
    EXPECT_TRUE(narrow.image.isEmpty());
    EXPECT_EQ(narrow.label, QRect(QPoint(7, 4), QPoint(12, 21)));

    // 17 pixels: 11 inside, nothing at all.
    TabContent tiny = LayoutTabContent(QRect(0, 4, 17, 18), 16, true, true);
    EXPECT_TRUE(tiny.image.isEmpty());
    EXPECT_TRUE(tiny.label.isEmpty());

    // The image takes its room first; a label needs 12 pixels after it.
    TabContent imageOnly = LayoutTabContent(QRect(0, 4, 33, 18), 16, true, true);
    EXPECT_FALSE(imageOnly.image.isEmpty());
    EXPECT_TRUE(imageOnly.label.isEmpty());
    TabContent noLabel = LayoutTabContent(QRect(0, 4, 70, 18), 16, true, false);
    EXPECT_TRUE(noLabel.label.isEmpty());
}

}  // namespace
