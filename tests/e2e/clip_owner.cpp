// A clipboard owner for end-to-end tests: offers several targets at once (xclip offers only one), prints "ready"
// once it owns the CLIPBOARD selection, and exits when another client takes it or when killed.
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    auto* mime = new QMimeData;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i + 1 < args.size(); i += 2) {
        const QString& option = args.at(i);
        const QString& value = args.at(i + 1);
        if (option == QLatin1String("--text")) {
            mime->setText(value);
        } else if (option == QLatin1String("--data")) {
            // MIME=VALUE
            const auto split = value.indexOf(u'=');
            mime->setData(value.left(split), value.mid(split + 1).toUtf8());
        } else {
            std::fprintf(stderr, "usage: clip_owner [--text TEXT] [--data MIME=VALUE]...\n");
            return 2;
        }
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(mime, QClipboard::Clipboard);
    QObject::connect(clipboard, &QClipboard::dataChanged, &app, [clipboard] {
        if (!clipboard->ownsClipboard()) {
            QCoreApplication::quit();
        }
    });
    QTimer::singleShot(0, &app, [clipboard] {
        std::printf(clipboard->ownsClipboard() ? "ready\n" : "failed\n");
        std::fflush(stdout);
    });
    return QGuiApplication::exec();
}
