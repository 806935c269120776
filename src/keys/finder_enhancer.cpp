#include "keys/finder_enhancer.h"

#include "core/scheduler.h"
#include "core/settings.h"
#include "keyhub/key_event_hub.h"
#include "platform/api/accessibility.h"
#include "platform/api/workspace.h"

#include <QPointer>

namespace tillory::keys {
namespace {

bool isTextRole(const QString& role) {
    return role == platform::AXRole::TextField || role == platform::AXRole::TextArea ||
           role == platform::AXRole::SearchField || role == platform::AXRole::ComboBox;
}

} // namespace

FinderEnhancer::FinderEnhancer(keyhub::KeyEventHub& hub, core::Settings& settings, platform::Workspace& workspace,
                               platform::Accessibility& accessibility, core::Scheduler& scheduler, QObject* parent)
    : QObject(parent), hub_(hub), settings_(settings), workspace_(workspace), accessibility_(accessibility),
      scheduler_(scheduler) {
    settings_.registerDefaults({{kSettingKey, true}});
    backspaceDeletes_ = settings_.boolValue(kSettingKey);
}

// A registration left behind would keep the hub's tap alive for nobody.
FinderEnhancer::~FinderEnhancer() {
    disableTap();
}

void FinderEnhancer::setBackspaceDeletes(bool value) {
    const bool changed = value != backspaceDeletes_;
    backspaceDeletes_ = value;
    settings_.setBool(kSettingKey, value);
    if (value) {
        enableTap();
    } else {
        disableTap();
    }
    if (changed) {
        Q_EMIT backspaceDeletesChanged();
    }
}

void FinderEnhancer::enableTap() {
    if (!hubToken_.isNull()) {
        return;
    }
    // Plain Backspace only while a file manager is in front, for taps that see only the keys they ask for.
    platform::KeyTrigger trigger;
    trigger.keyCode = kDeleteKeyCode;
    trigger.flags = 0;
    trigger.otherFlagsAllowed = false;
    trigger.onlyInApps.assign(kFileManagerIdentifiers.begin(), kFileManagerIdentifiers.end());
    QPointer<FinderEnhancer> self(this);
    hubToken_ = hub_.registerHandler(
        [self](platform::EventType type, const platform::Event& event) -> platform::EventResult {
            if (!self) {
                return event;
            }
            return self->handle(type, event);
        },
        {trigger});
}

void FinderEnhancer::disableTap() {
    if (!hubToken_.isNull()) {
        hub_.unregister(hubToken_);
    }
    hubToken_ = QUuid();
}

platform::EventResult FinderEnhancer::handle(platform::EventType type, const platform::Event& event) {
    if (type != platform::EventType::KeyDown ||
        event.integerField(platform::EventField::KeyboardKeycode) != kDeleteKeyCode ||
        (event.flags & kModifierMask) != 0) {
        return event;
    }
    const std::optional<platform::AppInfo> front = workspace_.frontApplication();
    if (!front || !kFileManagerIdentifiers.contains(front->bundleId)) {
        return event;
    }
    if (isEditingText()) {
        return event;
    }
    platform::Event changed = event;
    changed.flags = kReplacementFlags;
    return changed;
}

bool FinderEnhancer::isEditingText() {
    // Autorepeat sends a key-down many times a second; one accessibility round trip answers them all.
    const double now = scheduler_.now();
    if (editingCache_ && now - editingCache_->time < kCacheLifetime) {
        return editingCache_->editing;
    }
    const bool editing = queryIsEditingText();
    editingCache_ = CachedAnswer{editing, now};
    return editing;
}

bool FinderEnhancer::queryIsEditingText() {
    const platform::AXValue focused =
        accessibility_.attribute(accessibility_.systemWide(), platform::AXAttribute::FocusedUIElement);
    const auto* element = std::get_if<platform::Element>(&focused);
    if (!element || !*element) {
        return false;
    }
    const platform::AXValue role = accessibility_.attribute(*element, platform::AXAttribute::Role);
    const auto* roleName = std::get_if<QString>(&role);
    return roleName && isTextRole(*roleName);
}

} // namespace tillory::keys
