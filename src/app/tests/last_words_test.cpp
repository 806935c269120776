#include "last_words.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <gtest/gtest.h>

namespace tillory::app {
namespace {

TEST(LastWords, FatalMessagesAndTheBrokenWaylandConnection) {
    const struct {
        int type;
        const char* text;
        bool last;
    } cases[] = {
        {QtWarningMsg, "The Wayland connection broke. Did the Wayland compositor die?", true},
        {QtWarningMsg, "The Wayland connection experienced a fatal error: Protocol error", true},
        {QtFatalMsg, "anything at all", true},
        {QtCriticalMsg, "The Wayland connection broke. Did the Wayland compositor die?", false},
        {QtWarningMsg, "the wayland connection broke", false},
        {QtWarningMsg, "QObject::connect: No such signal", false},
        {QtWarningMsg, "", false},
        {QtWarningMsg, nullptr, false},
        {QtDebugMsg, "The Wayland connection broke.", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isLastWords(c.type, c.text), c.last) << (c.text ? c.text : "(null)");
    }
}

QStringList heard;

TEST(LastWords, SavesOnceAndPassesEveryMessageOn) {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) { heard << text; });
    int saves = 0;
    saveOnLastWords([&saves] { ++saves; });
    qWarning("an ordinary warning");
    EXPECT_EQ(saves, 0);
    qWarning("The Wayland connection broke. Did the Wayland compositor die?");
    EXPECT_EQ(saves, 1);
    qWarning("The Wayland connection broke. Did the Wayland compositor die?");
    EXPECT_EQ(saves, 1) << "once only";
    EXPECT_EQ(heard.size(), 3);
    qInstallMessageHandler(nullptr);
}

} // namespace
} // namespace tillory::app
