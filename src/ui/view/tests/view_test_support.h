// What the view tests share: an offscreen application with Qt Quick's software renderer, the windows it shows,
// and PNG snapshots in the build folder for a person to look at.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

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

/// The window over a plain desktop, white or black (where translucent glass reads worst either way), saved as
/// `name`.png or `name`-on-black.png.
inline QImage snapshotOver(QQuickWindow* window, const QColor& desktop, const QString& name) {
    window->setColor(desktop);
    return snapshot(window, desktop == Qt::black ? name + QStringLiteral("-on-black") : name);
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

/// The items named `name` under `root` (itself included), in tree order.
inline QList<QQuickItem*> itemsNamed(QQuickItem* root, const QString& name) {
    QList<QQuickItem*> found;
    if (!root) {
        return found;
    }
    if (root->objectName() == name) {
        found << root;
    }
    for (QQuickItem* child : root->childItems()) {
        found << itemsNamed(child, name);
    }
    return found;
}

/// The first item named `name` under `root`; null if there is none.
inline QQuickItem* itemNamed(QQuickItem* root, const QString& name) {
    const QList<QQuickItem*> found = itemsNamed(root, name);
    return found.isEmpty() ? nullptr : found.front();
}

/// The relative luminance of an opaque colour, from 0 (black) to 1 (white), as contrast ratios are measured.
inline double luminance(const QColor& color) {
    const auto linear = [](double c) { return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    const QColor c = color.toRgb();
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

/// How far apart two opaque colours read: 1 (the same) to 21 (black on white).
inline double contrast(const QColor& a, const QColor& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

/// `top`, with its translucency and `opacity`, laid over the opaque `under`.
inline QColor laidOver(const QColor& top, const QColor& under, double opacity = 1) {
    const double a = top.alphaF() * opacity;
    const auto mix = [a](double t, double u) { return t * a + u * (1 - a); };
    return QColor::fromRgbF(float(mix(top.redF(), under.redF())), float(mix(top.greenF(), under.greenF())),
                            float(mix(top.blueF(), under.blueF())));
}

/// What `image` (a grab of `item`'s window) shows just left of `item`, at half its height: the card under a text.
inline QColor besideItem(const QImage& image, const QQuickItem* item) {
    const QPointF p = item->mapToScene(QPointF(-3, item->height() / 2));
    const double ratio = item->window()->devicePixelRatio();
    return QColor(image.pixel(int(p.x() * ratio), int(p.y() * ratio)));
}

/// How a text item reads on what the window shows beside it: its colour, with its own and its ancestors' opacity,
/// over that.
inline double textContrast(const QImage& image, const QQuickItem* text) {
    double opacity = 1;
    for (const QQuickItem* item = text; item; item = item->parentItem()) {
        opacity *= item->opacity();
    }
    const QColor under = besideItem(image, text);
    return contrast(laidOver(text->property("color").value<QColor>(), under, opacity), under);
}

/// A local HTTP server that only counts who reaches it: text shown as markup would make the view fetch the
/// image it names.
class CountingServer {
public:
    CountingServer() {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                ++connections;
                socket->close();
                socket->deleteLater();
            }
        });
    }
    QString imageUrl() const { return QStringLiteral("http://127.0.0.1:%1/x.png").arg(server_.serverPort()); }
    int connections = 0;

private:
    QTcpServer server_;
};

/// Outside texts that look like markup: a bold tag, a heading and an image on `server`.
inline QStringList markupTexts(const CountingServer& server) {
    return {QStringLiteral("<b>x</b>"), QStringLiteral("<h1>Huge</h1>"),
            QStringLiteral("<img src=\"%1\">").arg(server.imageUrl())};
}

/// How many text items under `root` show `text`; each must show it literally: in plain format and, where it
/// is not elided, as wide as its characters (a tag read as markup draws nothing of itself).
inline int shownLiterally(QQuickItem* root, const QString& text) {
    int count = 0;
    if (!root) {
        return 0;
    }
    if (root->isVisible() && root->inherits("QQuickText") && root->property("text").toString().contains(text)) {
        ++count;
        EXPECT_EQ(root->property("textFormat").toInt(), 0) << "shown as markup: " << text.toStdString();
        if (!root->property("truncated").toBool() && root->property("text").toString() == text) {
            const qreal literal = QFontMetricsF(root->property("font").value<QFont>()).horizontalAdvance(text);
            EXPECT_GE(root->property("contentWidth").toReal(), 0.8 * literal) << text.toStdString();
        }
    }
    for (QQuickItem* child : root->childItems()) {
        count += shownLiterally(child, text);
    }
    return count;
}

} // namespace tillory::ui::testing
