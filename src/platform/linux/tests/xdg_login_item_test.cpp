#include "platform/linux/xdg_login_item.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using tillory::platform::nix::XdgLoginItem;

namespace {

QString readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

TEST(XdgLoginItem, RegisteringWritesAnAutostartEntryThatStartsThisProgram) {
    QTemporaryDir config;
    XdgLoginItem item(config.path(), QStringLiteral("/opt/my apps/tillory"));
    EXPECT_FALSE(item.isEnabled());
    ASSERT_TRUE(item.registerItem());
    EXPECT_TRUE(item.isEnabled());
    EXPECT_EQ(item.entryPath(), config.path() + QStringLiteral("/autostart/tillory.desktop"));
    const QString entry = readAll(item.entryPath());
    EXPECT_TRUE(entry.startsWith(QStringLiteral("[Desktop Entry]\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nType=Application\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nExec=\"/opt/my apps/tillory\"\n"))) << "paths with spaces are quoted";
    // The session's autostart list shows it like the menu entry.
    for (const char* line :
         {"\nName=Tillory\n", "\nIcon=tillory\n", "\nComment=", "\nX-GNOME-Autostart-enabled=true\n"}) {
        EXPECT_TRUE(entry.contains(QLatin1String(line))) << line;
    }

    ASSERT_TRUE(item.unregisterItem());
    EXPECT_FALSE(item.isEnabled());
    EXPECT_TRUE(item.unregisterItem()) << "unregistering twice is harmless";
}

TEST(XdgLoginItem, EntrySwitchedOffByTheDesktopCountsAsOff) {
    QTemporaryDir config;
    XdgLoginItem item(config.path(), QStringLiteral("/usr/bin/tillory"));
    ASSERT_TRUE(item.registerItem());
    for (const char* line : {"Hidden=true\n", "X-GNOME-Autostart-enabled=false\n"}) {
        QFile file(item.entryPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nType=Application\nExec=/usr/bin/tillory\n");
        file.write(line);
        file.close();
        EXPECT_FALSE(item.isEnabled()) << line;
    }
}

TEST(XdgLoginItem, ExecQuotingEscapesSpecialCharacters) {
    QTemporaryDir config;
    XdgLoginItem item(config.path(), QStringLiteral("/home/a\"b/$x`y\\z/tillory"));
    ASSERT_TRUE(item.registerItem());
    EXPECT_TRUE(readAll(item.entryPath()).contains(QStringLiteral("Exec=\"/home/a\\\"b/\\$x\\`y\\\\z/tillory\"")));
}

TEST(XdgLoginItem, RegisteringFailsWhenTheConfigFolderCannotBeMade) {
    QTemporaryDir config;
    QFile blocker(config.path() + QStringLiteral("/autostart"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    XdgLoginItem item(config.path(), QStringLiteral("/usr/bin/tillory"));
    EXPECT_FALSE(item.registerItem());
    EXPECT_FALSE(item.isEnabled());
}

} // namespace
