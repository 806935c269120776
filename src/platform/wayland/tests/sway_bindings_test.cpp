// Triggers as sway bindings: the chords written for sway, the user's own chords read from a configuration, and
// the binding events that are ours.
#include "platform/wayland/sway_bindings.h"

#include "platform/api/event.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace tillory::platform;
using namespace tillory::platform::nix;

namespace {

TEST(SwayBindings, ChordsAreWrittenModifiersFirstInOneOrder) {
    struct Case {
        int keyCode;
        std::uint64_t flags;
        std::optional<QString> expected;
    };
    const std::uint64_t all = EventFlags::Shift | EventFlags::Control | EventFlags::Option | EventFlags::Command;
    for (const Case& c :
         {Case{48, EventFlags::Command, QStringLiteral("Mod4+Tab")},
          Case{48, EventFlags::Command | EventFlags::Shift, QStringLiteral("Mod4+Shift+Tab")},
          Case{9, EventFlags::Command, QStringLiteral("Mod4+v")},
          Case{123, EventFlags::Control | EventFlags::Option, QStringLiteral("Ctrl+Mod1+Left")},
          Case{6, EventFlags::Control | EventFlags::Option, QStringLiteral("Ctrl+Mod1+z")},
          Case{51, 0, QStringLiteral("BackSpace")}, Case{18, all, QStringLiteral("Mod4+Ctrl+Mod1+Shift+1")},
          Case{-1, EventFlags::Command, std::nullopt}, Case{9999, 0, std::nullopt}}) {
        EXPECT_EQ(swayChord(c.keyCode, c.flags), c.expected) << c.keyCode;
    }
}

TEST(SwayBindings, ChordsCompareWhateverTheirSpelling) {
    struct Case {
        const char* chord;
        const char* expected;
    };
    for (const Case& c : {Case{"Mod4+v", "Mod4+v"}, Case{"Super+V", "Mod4+v"}, Case{"Logo+v", "Mod4+v"},
                          Case{"Shift+Mod4+Tab", "Mod4+Shift+Tab"}, Case{"Control+Alt+Left", "Ctrl+Mod1+Left"},
                          Case{"mod1+ctrl+Left", "Ctrl+Mod1+Left"}, Case{"Mod4+Mod4+Tab", "Mod4+Tab"},
                          Case{"Return", "Return"}, Case{"a+b", ""}, Case{"", ""}, Case{"+", ""}}) {
        EXPECT_EQ(normalizedChord(QString::fromUtf8(c.chord)), QString::fromUtf8(c.expected)) << c.chord;
    }
}

TEST(SwayBindings, TheUsersChordsAreReadFromTheConfiguration) {
    const QString config = QStringLiteral(R"(# sway config
set $mod Mod4
set $mod2 Mod1
set $term foot
bindsym $mod+Return exec $term
bindsym --to-code $mod+v exec clipman pick
bindsym --release $mod+Tab exec something
bindsym $mod2+Shift+q kill
   bindsym   Control+$mod+Left workspace prev
bindcode 133 exec nothing
bindsym --no-repeat --locked XF86AudioPlay exec playerctl play-pause
# bindsym $mod+z commented out
bindsym $mod+a+b exec chord-of-two-keys
)");
    const std::set<QString> expected = {QStringLiteral("Mod4+Return"), QStringLiteral("Mod4+v"),
                                        QStringLiteral("Mod1+Shift+q"), QStringLiteral("Mod4+Ctrl+Left"),
                                        QStringLiteral("XF86AudioPlay")};
    EXPECT_EQ(configuredChords(config), expected);
    EXPECT_TRUE(configuredChords(QString()).empty());
}

TEST(SwayBindings, OnlyOurBindingEventsAreOurs) {
    const QString press = bindingCommand(3, false);
    const QString release = bindingCommand(3, true);
    EXPECT_NE(press, release);
    const auto event = [](const QString& command, const char* change = "run") {
        return QStringLiteral(R"({"change":"%1","binding":{"command":"%2","symbol":"Tab"}})")
            .arg(QString::fromUtf8(change), command)
            .toUtf8();
    };
    struct Row {
        QByteArray json;
        std::optional<OwnBinding> expected;
    };
    for (const Row& r :
         {Row{event(press), OwnBinding{3, false}}, Row{event(release), OwnBinding{3, true}},
          Row{event(bindingCommand(0, false)), OwnBinding{0, false}},
          Row{event(QStringLiteral("exec foot")), std::nullopt}, Row{event(press, "other"), std::nullopt},
          Row{event(QStringLiteral("nop tillory-trigger x")), std::nullopt},
          Row{event(QStringLiteral("nop tillory-trigger -2")), std::nullopt},
          Row{event(QStringLiteral("nop tillory-trigger 3 down")), std::nullopt},
          Row{event(QStringLiteral("nop tillory-trigger 3 up more")), std::nullopt},
          Row{QByteArray(R"({"change":"run"})"), std::nullopt}, Row{QByteArray("{}"), std::nullopt}}) {
        EXPECT_EQ(ownBinding(QJsonDocument::fromJson(r.json).object()), r.expected) << r.json.constData();
    }
}

} // namespace
