// What the view tests share: an offscreen application with Qt Quick's software renderer, the windows it shows,
// and PNG snapshots in the build folder for a person to look at.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QQuickItem>
#include <QQuickWindow>

#include <gtest/gtest.h>

namespace tillory::ui::testing {

class OffscreenApp : public ::testing::Environment {
public:
    /// `platform` with its options: "offscreen:configfile=<json>" describes the screens.
    explicit OffscreenApp(QByteArray platform = "offscreen") : platform_(std::move(platform)) {}
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", platform_);
        qputenv("QT_QUICK_BACKEND", "software");
        static int argc = 1;
        static char name[] = "tillory_view_test";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QGuiApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    QByteArray platform_;
    std::unique_ptr<QGuiApplication> app_;
};

inline void pump(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

/// The visible Qt Quick windows, newest last.
inline std::vector<QQuickWindow*> quickWindows() {
    std::vector<QQuickWindow*> windows;
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (auto* quick = qobject_cast<QQuickWindow*>(window); quick && quick->isVisible()) {
            windows.push_back(quick);
        }
    }
    return windows;
}

/// Renders the window (after animations settle) and saves it as `name`.png beside the test binary.
inline QImage snapshot(QQuickWindow* window, const QString& name) {
    pump(450);
    QImage image = window->grabWindow();
    image.save(QDir(QCoreApplication::applicationDirPath()).filePath(name + QStringLiteral(".png")));
    return image;
}

/// How many sampled pixels differ from the top-left one: 0 means nothing was drawn.
inline int drawnPixels(const QImage& image) {
    int count = 0;
    const QRgb corner = image.pixel(0, 0);
    for (int y = 0; y < image.height(); y += 3) {
        for (int x = 0; x < image.width(); x += 3) {
            count += image.pixel(x, y) != corner;
        }
    }
    return count;
}

/// Every text shown under `root`, in tree order.
inline QStringList texts(QQuickItem* root) {
    QStringList list;
    if (!root) {
        return list;
    }
    if (root->isVisible() && root->metaObject()->indexOfProperty("text") >= 0 &&
        QByteArray(root->metaObject()->className()).startsWith("QQuickText")) {
        list << root->property("text").toString();
    }
    for (QQuickItem* child : root->childItems()) {
        list << texts(child);
    }
    return list;
}

} // namespace tillory::ui::testing
