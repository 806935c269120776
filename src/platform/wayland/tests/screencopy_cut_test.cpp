// Window pictures cut out of an output's copy: the right pixels, scaled outputs, windows partly or wholly
// elsewhere, and the window's shape kept in the box.
#include "platform/wayland/screencopy_capture.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace tillory::platform;
using namespace tillory::platform::nix;

namespace {

// An output picture whose left half is red and right half blue.
QImage halves(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width / 2; ++x) {
            image.setPixel(x, y, qRgb(255, 0, 0));
        }
    }
    return image;
}

QRgb centre(const Bitmap& b) {
    const auto* row = reinterpret_cast<const QRgb*>(b.pixels.constData() + (b.height / 2) * b.stride);
    return row[b.width / 2] & 0xffffff;
}

TEST(ScreencopyCut, CutsTheWindowsPixelsAndKeepsItsShape) {
    struct Case {
        const char* what;
        QSize imageSize;
        QRect output;
        QRectF window;
        QSize box;
        std::optional<QSize> size;
        QRgb colour;
    };
    const QRgb red = 0xff0000, blue = 0x0000ff;
    const Case cases[] = {
        {"left half, square box", {200, 100}, {0, 0, 200, 100}, {0, 0, 100, 100}, {20, 20}, QSize(20, 20), red},
        {"right half", {200, 100}, {0, 0, 200, 100}, {100, 0, 100, 100}, {20, 20}, QSize(20, 20), blue},
        {"wide window in a square box keeps its shape",
         {200, 100},
         {0, 0, 200, 100},
         {0, 0, 100, 50},
         {40, 40},
         QSize(40, 20),
         red},
        {"second output to the right",
         {200, 100},
         {1280, 0, 200, 100},
         {1380, 0, 100, 100},
         {10, 10},
         QSize(10, 10),
         blue},
        {"output copied at twice its size",
         {400, 200},
         {0, 0, 200, 100},
         {100, 0, 100, 100},
         {50, 50},
         QSize(50, 50),
         blue},
        {"window partly off the output: the part on it",
         {200, 100},
         {0, 0, 200, 100},
         {-100, 0, 150, 100},
         {50, 100},
         QSize(50, 100),
         red},
        {"window on another output", {200, 100}, {0, 0, 200, 100}, {500, 0, 100, 100}, {10, 10}, std::nullopt, 0},
        {"empty box", {200, 100}, {0, 0, 200, 100}, {0, 0, 100, 100}, {0, 0}, std::nullopt, 0},
    };
    for (const Case& c : cases) {
        const std::optional<Bitmap> bitmap =
            ScreencopyCapture::cut(halves(c.imageSize.width(), c.imageSize.height()), c.output, c.window, c.box);
        ASSERT_EQ(bitmap.has_value(), c.size.has_value()) << c.what;
        if (!bitmap) {
            continue;
        }
        EXPECT_TRUE(bitmap->isValid()) << c.what;
        EXPECT_EQ(QSize(bitmap->width, bitmap->height), *c.size) << c.what;
        EXPECT_EQ(centre(*bitmap), c.colour) << c.what;
    }
    EXPECT_FALSE(ScreencopyCapture::cut(QImage(), {0, 0, 10, 10}, {0, 0, 5, 5}, {5, 5})) << "no picture";
}

} // namespace
