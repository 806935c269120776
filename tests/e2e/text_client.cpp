// The stand-in application of the end-to-end keyboard tests: one focused window (a text field, or a list standing in
// for a file manager) whose WM_CLASS, title and geometry the test chooses, reporting on stdout, one flushed line
// each, when it is ready and every key event and text change it sees:
//   ready <window id>            once the window is shown, active and focused
//   window <window id>           for the extra window of --second-window, before "ready"
//   press <key> <modifiers> <text as JSON>, release <key> <modifiers> <text as JSON>
//   text <text as JSON>          after each change of the text field
// --min-width makes the window refuse to be narrower, as some applications do; --fixed keeps it at its first size,
// as a dialog does.
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Options {
    QByteArray wmClass = "tillory-text-client";
    QString title;
    QString geometry = QStringLiteral("400x80+100+100");
    bool list = false;
    bool secondWindow = false;
    int minWidth = 0;
    bool fixed = false;
};

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--class") == 0 && hasValue) {
            options.wmClass = argv[++i];
        } else if (std::strcmp(argv[i], "--title") == 0 && hasValue) {
            options.title = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(argv[i], "--geometry") == 0 && hasValue) {
            options.geometry = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(argv[i], "--mode") == 0 && hasValue) {
            options.list = std::strcmp(argv[++i], "list") == 0;
        } else if (std::strcmp(argv[i], "--min-width") == 0 && hasValue) {
            options.minWidth = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--fixed") == 0) {
            options.fixed = true;
        } else if (std::strcmp(argv[i], "--second-window") == 0) {
            options.secondWindow = true;
        } else {
            return false;
        }
    }
    return true;
}

void emitLine(const QByteArray& line) {
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QByteArray json(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2); // ["..."] → "..."
}

QByteArray keyName(int key) {
    const QString name = QKeySequence(key).toString(QKeySequence::PortableText);
    if (name.isEmpty() || name.contains(QRegularExpression(QStringLiteral("\\s")))) {
        return "0x" + QByteArray::number(key, 16);
    }
    return name.toUtf8();
}

// Sees each key event once, at the window that receives it from the platform, before any widget can eat it.
class KeyReporter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const bool press = event->type() == QEvent::KeyPress;
        if (watched->isWindowType() && (press || event->type() == QEvent::KeyRelease)) {
            const auto* key = static_cast<QKeyEvent*>(event);
            emitLine(QByteArray(press ? "press " : "release ") + keyName(key->key()) + " 0x" +
                     QByteArray::number(static_cast<uint>(key->modifiers().toInt()), 16) + ' ' + json(key->text()));
        }
        return QObject::eventFilter(watched, event);
    }
};

bool applyGeometry(QWidget& window, const QString& geometry) {
    static const QRegularExpression pattern(QStringLiteral("^(\\d+)x(\\d+)\\+(-?\\d+)\\+(-?\\d+)$"));
    const auto match = pattern.match(geometry);
    if (!match.hasMatch()) {
        return false;
    }
    window.resize(match.captured(1).toInt(), match.captured(2).toInt());
    window.move(match.captured(3).toInt(), match.captured(4).toInt());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: text_client [--class NAME] [--title T] [--geometry WxH+X+Y] [--mode text|list] "
                             "[--second-window] [--min-width PIXELS] [--fixed]\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // Qt's xcb platform takes the WM_CLASS instance from "-name" and the class from the application name.
    QByteArray nameOption = "-name";
    std::vector<char*> qtArgv{argv[0], nameOption.data(), options.wmClass.data(), nullptr};
    int qtArgc = 3;
    QApplication::setApplicationName(QString::fromLocal8Bit(options.wmClass));
    QApplication app(qtArgc, qtArgv.data());
    if (QGuiApplication::platformName() == QLatin1String("wayland")) {
        // The app id there comes from the desktop file's name, not from "-name".
        QGuiApplication::setDesktopFileName(QString::fromLocal8Bit(options.wmClass));
    }
    KeyReporter reporter;
    app.installEventFilter(&reporter);

    QWidget window;
    window.setWindowTitle(options.title.isEmpty() ? QString::fromLocal8Bit(options.wmClass) : options.title);
    if (!applyGeometry(window, options.geometry)) {
        std::fprintf(stderr, "text_client: geometry must look like 400x80+100+100\n");
        return 2;
    }
    window.setMinimumWidth(options.minWidth);
    if (options.fixed) {
        window.setFixedSize(window.size());
    }
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    QWidget* focusTarget = nullptr;
    if (options.list) {
        auto* list = new QListWidget;
        list->addItems({QStringLiteral("Documents"), QStringLiteral("Downloads"), QStringLiteral("Music"),
                        QStringLiteral("Pictures"), QStringLiteral("notes.txt")});
        list->setCurrentRow(0);
        focusTarget = list;
    } else {
        auto* field = new QLineEdit;
        QObject::connect(field, &QLineEdit::textChanged, [](const QString& text) { emitLine("text " + json(text)); });
        focusTarget = field;
    }
    layout->addWidget(focusTarget);
    focusTarget->setFocus();

    QWidget second;
    if (options.secondWindow) {
        second.setWindowTitle(window.windowTitle() + QStringLiteral(" (2)"));
        second.setGeometry(window.x() + 40, window.y() + 120, window.width(), window.height());
        second.show();
        emitLine("window " + QByteArray::number(second.winId()));
    }

    bool ready = false;
    const auto announce = [&] {
        if (!ready && window.isActiveWindow() && focusTarget->hasFocus()) {
            ready = true;
            emitLine("ready " + QByteArray::number(window.winId()));
        }
    };
    QObject::connect(&app, &QApplication::focusChanged, &window, announce);
    QObject::connect(&app, &QGuiApplication::focusWindowChanged, &window, announce);
    window.show();
    window.activateWindow();
    return QApplication::exec();
}
