#include "keys/keyboard_cleaner_controller.h"

#include "keyhub/key_event_hub.h"
#include "platform/api/accessibility.h"
#include "platform/api/workspace.h"

#include <QPointer>

namespace tillory::keys {
namespace {

QPointer<KeyboardCleanerController>& sharedController() {
    static QPointer<KeyboardCleanerController> controller;
    return controller;
}

} // namespace

KeyboardCleanerController::KeyboardCleanerController(keyhub::KeyEventHub& hub, platform::Accessibility& accessibility,
                                                     platform::Screens& screens, CleanerPanelFactory& panels,
                                                     core::Scheduler& scheduler, QObject* parent)
    : QObject(parent), hub_(hub), accessibility_(accessibility), screens_(screens), panelFactory_(panels),
      scheduler_(scheduler) {}

KeyboardCleanerController::~KeyboardCleanerController() {
    stop();
}

KeyboardCleanerController* KeyboardCleanerController::shared() {
    return sharedController().data();
}

void KeyboardCleanerController::setShared(KeyboardCleanerController* controller) {
    sharedController() = controller;
}

void KeyboardCleanerController::start() {
    if (isActive_) {
        return;
    }
    if (!accessibility_.isTrusted()) {
        accessibility_.isTrustedPrompting();
        return;
    }
    // The hub refuses when its tap cannot capture every key; a lock that lets some keys through is no lock.
    const bool exclusive = hub_.setExclusive(
        [](platform::EventType, const platform::Event&) -> platform::EventResult { return std::nullopt; });
    if (!exclusive) {
        return;
    }
    present();
    if (panels_.empty()) {
        // No screen, or no overlay would load: every key would be gone with no slider to bring them back.
        hub_.setExclusive(std::nullopt);
        return;
    }
    isActive_ = true;
    Q_EMIT isActiveChanged();
    screenObserver_ = screens_.observeChanges([this] {
        if (isActive_) {
            present();
            watchOverlays();
        }
    });
}

void KeyboardCleanerController::stop() {
    if (!isActive_) {
        return;
    }
    isActive_ = false;
    screenObserver_.reset();
    noOverlayTimer_.reset();
    hub_.setExclusive(std::nullopt);
    for (const auto& panel : panels_) {
        panel->orderOut();
    }
    panels_.clear();
    Q_EMIT isActiveChanged();
}

void KeyboardCleanerController::present() {
    for (const auto& panel : panels_) {
        panel->orderOut();
    }
    std::vector<std::unique_ptr<CleanerPanel>> fresh;
    for (const platform::ScreenInfo& screen : screens_.screens()) {
        if (auto panel = panelFactory_.create(screen)) {
            fresh.push_back(std::move(panel));
        }
    }
    panels_ = std::move(fresh);
}

void KeyboardCleanerController::watchOverlays() {
    if (!panels_.empty()) {
        noOverlayTimer_.reset();
        return;
    }
    if (noOverlayTimer_) {
        return; // the grace runs from when the last overlay went
    }
    // Ending the lock lets the keys back in; the timer is cancelled as soon as an overlay is shown again.
    noOverlayTimer_ = scheduler_.after(kNoOverlayGrace, [this] { stop(); });
}

} // namespace tillory::keys
