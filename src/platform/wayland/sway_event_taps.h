#pragma once

#include "platform/api/event_taps.h"
#include "platform/api/workspace.h"

#include <QObject>
#include <QStringList>

#include <map>
#include <memory>
#include <set>
#include <vector>

namespace tillory::platform::nix {

class LayerOverlays;
class SwayIpc;
class VirtualKeyboard;
struct OverlayKey;

/// Keyboard taps on sway. A Wayland program sees no key meant for another, so each trigger becomes a binding of
/// sway's, added at run time over its IPC (a press and a release binding that run a no-op naming the trigger),
/// and sway's binding events come back as the trigger's key events. A chord the user's configuration binds is
/// left to the user and reported as refused. Triggers limited to some applications are bound only while one of
/// them is in front. While capturing, every key comes from the overlay holding the keyboard (the switcher, the
/// palette, the lock), the modifiers' release included. Keys are typed through a virtual keyboard with the seat's
/// keymap; a bound key let through by the taps is typed again with its binding lifted for that moment.
/// Main thread.
class SwayEventTaps final : public QObject, public EventTaps {
    Q_OBJECT
public:
    /// `overlays` and `keyboard` may be null (no keys while capturing, nothing typed).
    SwayEventTaps(SwayIpc& ipc, Workspace& workspace, LayerOverlays* overlays, VirtualKeyboard* keyboard);
    ~SwayEventTaps() override;

    std::unique_ptr<EventTap> createTap(std::uint64_t mask, EventCallback callback) override;
    bool seesPointer() const override { return false; }
    bool post(const Event& event) override;
    std::uint64_t currentFlags() const override { return flags_; }
    SubscriptionPtr monitorClicksElsewhere(std::uint64_t, std::function<void(const Event&)>) override {
        return nullptr; // a Wayland program is told of no click outside its own surfaces
    }
    SubscriptionPtr monitorOwnClicks(std::uint64_t, std::function<void(const Event&, std::uint64_t)>) override {
        return nullptr;
    }

    /// Chords the user's configuration already binds, as "Super+V"; the taps go on without them.
    QStringList refusedChords() const { return refused_; }

    class Tap;
    void tapGone(Tap* tap);
    void triggersChanged();

private:
    void applyBindings();
    void bindingEvent(const QJsonObject& payload);
    void overlayKey(const OverlayKey& key);
    void overlayModifiers(Qt::KeyboardModifiers modifiers);
    EventResult deliver(EventType type, const Event& event);
    bool capturing() const;
    void retype(const QString& chord, const Event& event);

    SwayIpc& ipc_;
    Workspace& workspace_;
    LayerOverlays* overlays_;
    VirtualKeyboard* keyboard_;
    std::vector<Tap*> taps_;
    /// What is bound now: chord → trigger number.
    std::map<QString, int> bound_;
    /// Triggers whose key is down (pressed and not yet released).
    std::set<int> held_;
    std::vector<KeyTrigger> triggers_;
    std::set<QString> userChords_;
    QStringList refused_;
    std::uint64_t flags_ = 0;
    SubscriptionPtr activations_;
    QString frontApp_;
};

} // namespace tillory::platform::nix
