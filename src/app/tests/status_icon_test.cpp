#include "status_icon.h"

#include <gtest/gtest.h>

using tillory::app::drawStatusIcon;

namespace {

bool inked(const QImage& image, double x, double y, double scale) {
    return qAlpha(image.pixel(int(x * scale), int(y * scale))) > 200;
}

// One tall tile on the left, two stacked squares on the right, gaps between them and a clear margin around.
TEST(StatusIcon, DrawsOneTallTileBesideTwoStackedTiles) {
    for (double scale : {1.0, 2.0, 3.0}) {
        const QImage image = drawStatusIcon(scale, Qt::black);
        ASSERT_EQ(image.width(), int(18 * scale));
        ASSERT_EQ(image.height(), int(18 * scale));
        EXPECT_TRUE(inked(image, 5, 3.5, scale)) << "tall tile, top";
        EXPECT_TRUE(inked(image, 5, 9, scale)) << "tall tile, middle";
        EXPECT_TRUE(inked(image, 5, 14.5, scale)) << "tall tile, bottom";
        EXPECT_TRUE(inked(image, 13, 5, scale)) << "upper square";
        EXPECT_TRUE(inked(image, 13, 13, scale)) << "lower square";
        EXPECT_FALSE(inked(image, 13, 9, scale)) << "gap between the squares";
        EXPECT_FALSE(inked(image, 9, 5, scale)) << "gap between the columns";
        EXPECT_FALSE(inked(image, 0.5, 0.5, scale)) << "margin";
        EXPECT_FALSE(inked(image, 17.5, 17.5, scale)) << "margin";
    }
}

TEST(StatusIcon, UsesTheGivenColour) {
    const QImage image = drawStatusIcon(2.0, QColor(10, 200, 30));
    const QRgb pixel = image.pixel(10, 18);
    EXPECT_EQ(qRed(pixel), 10);
    EXPECT_EQ(qGreen(pixel), 200);
    EXPECT_EQ(qBlue(pixel), 30);
}

} // namespace
