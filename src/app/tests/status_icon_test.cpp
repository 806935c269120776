#include "status_icon.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPainter>

#include <cmath>
#include <memory>

using tillory::app::drawStatusIcon;

namespace {

/// Pixmaps need a GUI application; the offscreen one needs no display.
class GuiApp : public ::testing::Environment {
public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "status_icon_test";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QGuiApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QGuiApplication> app_;
};
const auto* environment = ::testing::AddGlobalTestEnvironment(new GuiApp);

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

/// WCAG's relative luminance of an opaque colour.
double luminance(QRgb c) {
    const auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}

double contrast(QRgb a, QRgb b) {
    const double x = luminance(a) + 0.05;
    const double y = luminance(b) + 0.05;
    return std::max(x, y) / std::min(x, y);
}

// On light and dark trays alike a good part of the icon stands out at least 3 : 1 from the tray behind it: its light
// tiles on a dark tray, their dark edges on a light one.
TEST(StatusIcon, ReadsOnLightAndDarkTrays) {
    const QIcon icon = tillory::app::statusIcon();
    for (const QRgb tray :
         {qRgb(255, 255, 255), qRgb(0xdc, 0xdc, 0xdc), qRgb(0x80, 0x80, 0x80), qRgb(0x3c, 0x3c, 0x3c), qRgb(0, 0, 0)}) {
        for (const int side : {18, 24, 36}) {
            QImage shown(side, side, QImage::Format_ARGB32_Premultiplied);
            shown.fill(tray);
            QPainter(&shown).drawPixmap(0, 0, icon.pixmap(QSize(side, side)));
            int inked = 0;
            int readable = 0;
            for (int y = 0; y < side; ++y) {
                for (int x = 0; x < side; ++x) {
                    if (shown.pixel(x, y) != tray) {
                        ++inked;
                        readable += contrast(shown.pixel(x, y), tray) >= 3.0;
                    }
                }
            }
            ASSERT_GT(inked, side * side / 4);
            EXPECT_GE(readable, inked * 3 / 10) << Qt::hex << tray << " at " << std::dec << side;
            shown.scaled(side * 4, side * 4).save(QStringLiteral("status-icon-%1-%2.png").arg(tray, 0, 16).arg(side));
        }
    }
}

} // namespace
