#include "platform/wayland/sway_event_taps.h"

#include "platform/linux/key_table.h"
#include "platform/wayland/layer_overlays.h"
#include "platform/wayland/sway_bindings.h"
#include "platform/wayland/sway_ipc.h"
#include "platform/wayland/virtual_keyboard.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QPointer>

#include <algorithm>

Q_LOGGING_CATEGORY(lcSwayTaps, "tillory.wayland.taps", QtInfoMsg)

namespace tillory::platform::nix {
namespace {

constexpr std::uint64_t kKeyboardMask =
    eventMaskBit(EventType::KeyDown) | eventMaskBit(EventType::KeyUp) | eventMaskBit(EventType::FlagsChanged);

std::uint64_t flagsFromQt(Qt::KeyboardModifiers modifiers) {
    std::uint64_t flags = 0;
    if (modifiers & Qt::MetaModifier) {
        flags |= EventFlags::Command;
    }
    if (modifiers & Qt::ControlModifier) {
        flags |= EventFlags::Control;
    }
    if (modifiers & Qt::AltModifier) {
        flags |= EventFlags::Option;
    }
    if (modifiers & Qt::ShiftModifier) {
        flags |= EventFlags::Shift;
    }
    return flags;
}

// How a refused chord reads in the panel's hint.
QString readableChord(const QString& chord) {
    QString text = chord;
    text.replace(QStringLiteral("Mod4"), QStringLiteral("Super"))
        .replace(QStringLiteral("Mod1"), QStringLiteral("Alt"));
    QStringList parts = text.split(QLatin1Char('+'));
    if (!parts.isEmpty() && parts.last().size() == 1) {
        parts.last() = parts.last().toUpper();
    }
    return parts.join(QLatin1Char('+'));
}

} // namespace

class SwayEventTaps::Tap final : public EventTap {
public:
    Tap(SwayEventTaps& owner, EventCallback callback) : owner_(&owner), callback_(std::move(callback)) {}
    ~Tap() override {
        if (owner_) {
            owner_->tapGone(this);
        }
    }

    void setEnabled(bool enabled) override { enabled_ = enabled; }
    bool isEnabled() const override { return enabled_; }
    void setTriggers(std::vector<KeyTrigger> triggers) override {
        triggers_ = std::move(triggers);
        if (owner_) {
            owner_->triggersChanged();
        }
    }
    bool setCapturing(bool capturing) override {
        capturing_ = capturing;
        return true; // the keys come from the overlay that takes the keyboard as it shows
    }

    const std::vector<KeyTrigger>& triggers() const { return triggers_; }
    bool capturing() const { return capturing_ && enabled_; }
    EventResult call(EventType type, const Event& event) {
        return enabled_ && callback_ ? callback_(type, event) : EventResult(event);
    }
    void orphan() { owner_ = nullptr; }

private:
    SwayEventTaps* owner_;
    EventCallback callback_;
    std::vector<KeyTrigger> triggers_;
    bool enabled_ = false;
    bool capturing_ = false;
};

SwayEventTaps::SwayEventTaps(SwayIpc& ipc, Workspace& workspace, LayerOverlays* overlays, VirtualKeyboard* keyboard)
    : ipc_(ipc), workspace_(workspace), overlays_(overlays), keyboard_(keyboard) {
    connect(&ipc_, &SwayIpc::eventReceived, this, [this](quint32 type, const QJsonObject& payload) {
        if (type == SwayEvent::Binding) {
            bindingEvent(payload);
        } else if (type == SwayEvent::Workspace && payload.value(QLatin1String("change")).toString() == "reload") {
            // A reloaded configuration has dropped every binding added at run time.
            bound_.clear();
            applyBindings();
        }
    });
    ipc_.subscribe({QStringLiteral("binding"), QStringLiteral("workspace")});
    if (overlays_) {
        overlays_->setKeyListener([this](const OverlayKey& key) { overlayKey(key); });
        overlays_->setModifiersListener([this](Qt::KeyboardModifiers modifiers) { overlayModifiers(modifiers); });
    }
    QPointer<SwayEventTaps> self(this);
    activations_ = workspace_.observeActivations([self](const AppInfo& app) {
        if (self && self->frontApp_ != app.bundleId) {
            self->frontApp_ = app.bundleId;
            self->applyBindings(); // triggers of some applications only come and go with them
        }
    });
    if (const auto front = workspace_.frontApplication()) {
        frontApp_ = front->bundleId;
    }
}

SwayEventTaps::~SwayEventTaps() {
    for (Tap* tap : taps_) {
        tap->orphan();
    }
    taps_.clear();
    applyBindings(); // nothing bound stays behind in the compositor
    if (overlays_) {
        overlays_->setKeyListener({});
        overlays_->setModifiersListener({});
    }
}

std::unique_ptr<EventTap> SwayEventTaps::createTap(std::uint64_t mask, EventCallback callback) {
    if ((mask & ~kKeyboardMask) != 0) {
        return nullptr; // the pointer outside this program's surfaces is not told to a Wayland program
    }
    // Without sway's IPC no chord is ever bound, but a tap still hears the keys of an overlay that holds the
    // keyboard (a palette opened by `tillory --palette`).
    auto tap = std::make_unique<Tap>(*this, std::move(callback));
    taps_.push_back(tap.get());
    // sway's configuration as it stands: a chord the user binds is theirs.
    if (const auto config = ipc_.isConnected() ? ipc_.request(SwayMessage::GetConfig) : std::nullopt) {
        userChords_ = configuredChords(config->object().value(QLatin1String("config")).toString());
    }
    return tap;
}

void SwayEventTaps::tapGone(Tap* tap) {
    taps_.erase(std::remove(taps_.begin(), taps_.end(), tap), taps_.end());
    triggersChanged();
}

void SwayEventTaps::triggersChanged() {
    triggers_.clear();
    for (Tap* tap : taps_) {
        triggers_.insert(triggers_.end(), tap->triggers().begin(), tap->triggers().end());
    }
    applyBindings();
}

void SwayEventTaps::applyBindings() {
    std::map<QString, int> wanted;
    QStringList refused;
    for (std::size_t i = 0; i < triggers_.size(); ++i) {
        const KeyTrigger& trigger = triggers_[i];
        const std::optional<QString> chord = swayChord(trigger.keyCode, trigger.flags);
        if (!chord) {
            continue;
        }
        if (userChords_.count(normalizedChord(*chord))) {
            refused << readableChord(*chord);
            continue;
        }
        const bool inFront =
            trigger.onlyInApps.empty() ||
            std::find(trigger.onlyInApps.begin(), trigger.onlyInApps.end(), frontApp_) != trigger.onlyInApps.end();
        if (inFront && !wanted.count(*chord)) {
            wanted[*chord] = int(i);
        }
    }
    refused.removeDuplicates();
    refused_ = refused;
    if (wanted == bound_ || !ipc_.isConnected()) {
        return;
    }
    QStringList commands;
    for (const auto& [chord, trigger] : bound_) {
        if (!wanted.count(chord) || wanted.at(chord) != trigger) {
            commands << QStringLiteral("unbindsym %1").arg(chord)
                     << QStringLiteral("unbindsym --release %1").arg(chord);
        }
    }
    for (const auto& [chord, trigger] : wanted) {
        if (!bound_.count(chord) || bound_.at(chord) != trigger) {
            // Repeating while held, at the keyboard's own repeat delay and rate: a hold is told from a tap that way.
            commands << QStringLiteral("bindsym %1 %2").arg(chord, bindingCommand(trigger, false))
                     << QStringLiteral("bindsym --release %1 %2").arg(chord, bindingCommand(trigger, true));
        }
    }
    qCDebug(lcSwayTaps) << "bindings:" << commands;
    // One line, one round trip; a binding sway refused is simply not there.
    const std::vector<bool> outcomes = ipc_.runCommand(commands.join(QStringLiteral("; ")));
    if (std::count(outcomes.begin(), outcomes.end(), false) > 0) {
        qCWarning(lcSwayTaps) << "sway refused some of" << commands;
    }
    bound_ = std::move(wanted);
}

void SwayEventTaps::bindingEvent(const QJsonObject& payload) {
    const std::optional<OwnBinding> binding = ownBinding(payload);
    if (!binding || binding->trigger >= int(triggers_.size())) {
        return;
    }
    const KeyTrigger& trigger = triggers_[std::size_t(binding->trigger)];
    qCDebug(lcSwayTaps) << "binding" << binding->trigger << (binding->released ? "released" : "pressed");
    const EventType type = binding->released ? EventType::KeyUp : EventType::KeyDown;
    Event event = Event::key(type, trigger.keyCode, trigger.flags);
    // A press of a key already down is sway repeating the held key.
    if (binding->released) {
        held_.erase(binding->trigger);
    } else if (!held_.insert(binding->trigger).second) {
        event.autorepeat = 1;
    }
    // The chord's modifiers are down while its key is; what the hands do next comes from an overlay's keyboard.
    flags_ = trigger.flags;
    const EventResult result = deliver(type, event);
    if (result && type == EventType::KeyDown && !event.autorepeat) {
        retype(*swayChord(trigger.keyCode, trigger.flags), *result);
    }
}

EventResult SwayEventTaps::deliver(EventType type, const Event& event) {
    EventResult current(event);
    // Copied: a callback may end its tap.
    const std::vector<Tap*> taps = taps_;
    for (Tap* tap : taps) {
        if (!current) {
            break;
        }
        if (std::find(taps_.begin(), taps_.end(), tap) != taps_.end()) {
            current = tap->call(type, *current);
        }
    }
    return current;
}

void SwayEventTaps::retype(const QString& chord, const Event& event) {
    // Nobody wanted the key: it goes where it was going, with our binding out of its way meanwhile.
    if (!keyboard_) {
        return;
    }
    ipc_.runCommand(QStringLiteral("unbindsym %1").arg(chord));
    post(event);
    Event up = event;
    up.type = EventType::KeyUp;
    post(up);
    const auto it = bound_.find(chord);
    if (it != bound_.end()) {
        ipc_.runCommand(QStringLiteral("bindsym %1 %2").arg(chord, bindingCommand(it->second, false)));
    }
}

bool SwayEventTaps::capturing() const {
    return std::any_of(taps_.begin(), taps_.end(), [](const Tap* tap) { return tap->capturing(); });
}

void SwayEventTaps::overlayKey(const OverlayKey& key) {
    const std::uint64_t flags = flagsFromQt(key.modifiers);
    if (!capturing()) {
        flags_ = flags;
        return;
    }
    if (modifierKey(key.keysym)) {
        overlayModifiers(key.modifiers);
        return;
    }
    const std::optional<int> code = keyCodeForKeysym(key.keysym);
    if (!code) {
        return;
    }
    flags_ = flags;
    const EventType type = key.pressed ? EventType::KeyDown : EventType::KeyUp;
    deliver(type, Event::key(type, *code, flags));
}

void SwayEventTaps::overlayModifiers(Qt::KeyboardModifiers modifiers) {
    const std::uint64_t flags = flagsFromQt(modifiers);
    if (flags == flags_) {
        return;
    }
    flags_ = flags;
    if (capturing()) {
        Event event;
        event.type = EventType::FlagsChanged;
        event.flags = flags;
        deliver(EventType::FlagsChanged, event);
    }
}

bool SwayEventTaps::post(const Event& event) {
    if (!keyboard_ || (event.type != EventType::KeyDown && event.type != EventType::KeyUp)) {
        return false;
    }
    const std::optional<XChord> chord = xChordFor(int(event.keyCode), event.flags);
    if (!chord) {
        return false;
    }
    return keyboard_->type(chord->keysym, modifierKeysyms(chord->mods), event.type == EventType::KeyDown);
}

} // namespace tillory::platform::nix
