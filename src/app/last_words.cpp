#include "last_words.h"

#include <QString>
#include <QtGlobal>

#include <cstring>
#include <mutex>

namespace tillory::app {
namespace {

std::mutex saveMutex;
std::function<void()> lastSave;
bool saved = false; // under saveMutex
QtMessageHandler previous = nullptr;

void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (isLastWords(type, text.toUtf8().constData())) {
        // Several threads may see the broken connection at once, and each ends the process as soon as this
        // returns: the second waits here until the first has written everything.
        std::lock_guard lock(saveMutex);
        if (!saved && lastSave) {
            saved = true;
            lastSave();
        }
    }
    if (previous) {
        previous(type, context, text);
    }
}

} // namespace

bool isLastWords(int type, const char* text) {
    if (type == QtFatalMsg) {
        return true;
    }
    // What Qt's Wayland plugin says right before it ends the process.
    static constexpr const char kBroken[] = "The Wayland connection";
    return type == QtWarningMsg && text && std::strncmp(text, kBroken, sizeof kBroken - 1) == 0;
}

void saveOnLastWords(std::function<void()> save) {
    {
        std::lock_guard lock(saveMutex);
        lastSave = std::move(save);
    }
    static std::once_flag installed;
    std::call_once(installed, [] { previous = qInstallMessageHandler(handle); });
}

} // namespace tillory::app
