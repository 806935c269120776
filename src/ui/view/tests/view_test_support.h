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
