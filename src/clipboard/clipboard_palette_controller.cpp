#include "clipboard/clipboard_palette_controller.h"

#include "clipboard/clipboard_manager.h"
#include "core/uuid.h"
#include "keyhub/key_event_hub.h"
#include "platform/api/event_taps.h"
#include "platform/api/pasteboard.h"
#include "platform/api/workspace.h"

#include <QPointer>
#include <QVariantMap>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace tillory::clipboard {
namespace {

using platform::Event;
using platform::EventType;
using platform::Point;
using platform::Rect;
using platform::EventFlags::Command;
using platform::EventFlags::Option;
namespace KeyCode = platform::KeyCode;

// Top-row digits only: the keypad and 9 and 0 are typed through to the application.
constexpr std::array<std::pair<int, int>, 8> kDigitKeyCodes = {{{KeyCode::One, 1},
                                                                {KeyCode::Two, 2},
                                                                {KeyCode::Three, 3},
                                                                {KeyCode::Four, 4},
                                                                {KeyCode::Five, 5},
                                                                {KeyCode::Six, 6},
                                                                {KeyCode::Seven, 7},
                                                                {KeyCode::Eight, 8}}};

/// 1–8 for a digit key of the palette, else 0.
int digitOf(std::int64_t keyCode) {
    for (const auto& [code, digit] : kDigitKeyCodes) {
        if (code == keyCode) {
            return digit;
        }
    }
    return 0;
}

bool isPaletteKey(std::int64_t keyCode) {
    switch (keyCode) {
    case KeyCode::Escape:
    case KeyCode::Return:
    case KeyCode::KeypadEnter:
    case KeyCode::UpArrow:
    case KeyCode::DownArrow:
    case KeyCode::V:
        return true;
    default:
        return digitOf(keyCode) != 0;
    }
}

QString oneLine(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

double clampX(double x, const std::optional<Rect>& visible) {
    if (!visible) {
        return x;
    }
    using C = ClipboardPaletteController;
    return std::min(std::max(x, visible->minX() + C::kMargin), visible->maxX() - C::kPanelWidth - C::kMargin);
}

struct Placement {
    Rect frame;
    bool dropsDown = false;
};

// `visible` is the visible frame of the screen under the anchor; without any screen nothing is clamped.
Placement placePanel(const std::optional<Rect>& caret, Point mouse, const std::optional<Rect>& visible, int rows) {
    using C = ClipboardPaletteController;
    const double listHeight = C::kRowHeight * rows + C::kListChrome;
    Placement p;
    p.frame.width = C::kPanelWidth;
    p.frame.height = C::kPanelHeight;
    if (!caret) {
        p.frame.x = clampX(mouse.x - C::kPanelWidth / 2, visible);
        // The panel's top edge sits 40 points above the pointer.
        p.frame.y = mouse.y - (C::kPanelHeight - 40);
        if (visible) {
            p.frame.y = std::min(std::max(p.frame.y, visible->minY() + C::kMargin),
                                 visible->maxY() - C::kPanelHeight - C::kMargin);
        }
        return p;
    }
    p.frame.x = clampX(caret->midX() - C::kPanelWidth / 2, visible);
    const double top = visible ? visible->maxY() : std::numeric_limits<double>::infinity();
    if (caret->maxY() + C::kMargin + listHeight <= top) {
        p.frame.y = caret->maxY() + C::kMargin;
        return p;
    }
    p.dropsDown = true;
    p.frame.y = caret->minY() - C::kMargin - C::kPanelHeight;
    if (visible) {
        // Only the list's part of the panel has to stay on screen.
        p.frame.y = std::max(p.frame.y, visible->minY() + C::kMargin + listHeight - C::kPanelHeight);
    }
    return p;
}

} // namespace

ClipboardPaletteController::ClipboardPaletteController(ClipboardManager& clipboard, keyhub::KeyEventHub& hub,
                                                       platform::Accessibility& accessibility,
                                                       platform::EventTaps& eventTaps, platform::Pasteboard& pasteboard,
                                                       platform::Screens& screens, core::Scheduler& scheduler,
                                                       PalettePanelFactory& panels, QObject* parent)
    : QObject(parent), clipboard_(clipboard), hub_(hub), accessibility_(accessibility), eventTaps_(eventTaps),
      pasteboard_(pasteboard), screens_(screens), scheduler_(scheduler), panels_(panels) {
    connect(&clipboard_, &ClipboardManager::entriesChanged, this, &ClipboardPaletteController::rowsChanged);
    // The handler stays registered for good and checks the switch itself; what changes with the switch is
    // whether the platform is asked for the paste chord at all, so that a switched-off palette delays nothing.
    connect(&clipboard_, &ClipboardManager::enabledChanged, this, [this] {
        if (hubToken_) {
            hub_.setTriggers(*hubToken_, triggers());
        }
    });
}

std::vector<platform::KeyTrigger> ClipboardPaletteController::triggers() const {
    if (!clipboard_.enabled()) {
        return {};
    }
    return {platform::KeyTrigger{KeyCode::V, Command, true, {}}};
}

ClipboardPaletteController::~ClipboardPaletteController() {
    // An open palette holds every key of the keyboard; that must not outlive it.
    if (isVisible_ && hubToken_) {
        hub_.setCapturing(*hubToken_, false);
    }
}

void ClipboardPaletteController::start() {
    if (hubToken_) {
        return;
    }
    QPointer<ClipboardPaletteController> self(this);
    auto handler = [self](EventType type, const Event& event) -> platform::EventResult {
        if (self && self->handleKey(type, event)) {
            return std::nullopt;
        }
        return event;
    };
    hubToken_ = hub_.registerHandler(handler, triggers());
}

QStringList ClipboardPaletteController::stagedIds() const {
    QStringList ids;
    for (const QUuid& id : staged_) {
        ids.append(core::uuidString(id));
    }
    return ids;
}

QVariantList ClipboardPaletteController::rows() const {
    QVariantList rows;
    const ClipboardEntries entries = listEntries();
    for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
        const ClipboardEntry& entry = entries[static_cast<std::size_t>(i)];
        QVariantMap row;
        row.insert(QStringLiteral("text"), oneLine(entry.text));
        row.insert(QStringLiteral("index"), i);
        row.insert(QStringLiteral("number"), QString::number(i + 1));
        row.insert(QStringLiteral("pinned"), entry.pinned);
        row.insert(QStringLiteral("stageNumber"), static_cast<int>(staged_.indexOf(entry.id)) + 1);
        row.insert(QStringLiteral("selected"), i == selectedIndex_);
        rows.append(row);
    }
    return rows;
}

QString ClipboardPaletteController::headerHint() const {
    if (!staged_.isEmpty()) {
        return QStringLiteral("↩ paste %1 stacked").arg(staged_.size());
    }
    return QStringLiteral("↩ paste · 1–8 quick · ⌥ plain · ⌘click stack");
}

ClipboardEntries ClipboardPaletteController::listEntries() const {
    ClipboardEntries entries = clipboard_.displayEntries();
    if (entries.size() > kMaxRows) {
        entries.resize(kMaxRows);
    }
    return entries;
}

bool ClipboardPaletteController::handleKey(EventType type, const Event& event) {
    if (type == EventType::FlagsChanged) {
        if (!(event.flags & Command) && pendingTap_) {
            // ⌘ let go before V, as quick hands and key-sending tools do: still a tap, and the paste it asked for.
            pendingTap_ = false;
            postSyntheticPaste(0);
        }
        return false;
    }
    if (event.userData == kSyntheticMarker) {
        return false;
    }
    if (isVisible_) {
        return handlePaletteKey(type, event);
    }
    if (!clipboard_.enabled() || event.keyCode != KeyCode::V) {
        return false;
    }
    if (type == EventType::KeyUp) {
        if (!pendingTap_) {
            return false;
        }
        pendingTap_ = false;
        postSyntheticPaste(0);
        return true;
    }
    if (type != EventType::KeyDown || !(event.flags & Command)) {
        return false;
    }
    if (!event.autorepeat) {
        pendingTap_ = true;
        return true;
    }
    // The system's key-repeat delay is the hold threshold.
    if (pendingTap_ && !listEntries().empty()) {
        show();
    }
    pendingTap_ = false;
    return true;
}

bool ClipboardPaletteController::handlePaletteKey(EventType type, const Event& event) {
    if (!isPaletteKey(event.keyCode)) {
        if (type == EventType::KeyDown) {
            dismiss();
        }
        return false;
    }
    if (type != EventType::KeyDown) {
        return true;
    }
    const bool plainOnly = (event.flags & Option) != 0;
    const int count = static_cast<int>(listEntries().size());
    switch (event.keyCode) {
    case KeyCode::Escape:
        dismiss();
        break;
    case KeyCode::V:
        break; // the held ⌘V keeps repeating
    case KeyCode::Return:
    case KeyCode::KeypadEnter:
        pasteSelected(plainOnly);
        break;
    case KeyCode::DownArrow:
        setSelectedIndex(std::min(selectedIndex_ + 1, count - 1));
        break;
    case KeyCode::UpArrow:
        setSelectedIndex(std::max(selectedIndex_ - 1, 0));
        break;
    default:
        if (const int row = digitOf(event.keyCode) - 1; row < count) {
            setSelectedIndex(row);
            pasteSelected(plainOnly);
        }
        break;
    }
    return true;
}

bool ClipboardPaletteController::open() {
    if (!isVisible_ && clipboard_.enabled() && !listEntries().empty()) {
        pendingTap_ = false;
        show();
    }
    return isVisible_;
}

void ClipboardPaletteController::show() {
    // Made at the first showing and let go a while after the last: a palette not in use holds no window or scene.
    releaseTimer_.reset();
    if (!panel_) {
        panel_ = panels_.create();
        if (!panel_) {
            return;
        }
    }
    // An open palette that does not get the keys would sit deaf on screen: without the keyboard it stays shut.
    if (hubToken_ && !hub_.setCapturing(*hubToken_, true)) {
        return;
    }
    setSelectedIndex(0);
    setStaged({});

    const std::optional<Rect> caret = caretRect();
    const Point anchor = caret ? Point{caret->midX(), caret->midY()} : screens_.mouseLocation();
    const std::vector<platform::ScreenInfo> screens = screens_.screens();
    std::optional<Rect> visible;
    for (const platform::ScreenInfo& screen : screens) {
        if (screen.frame.contains(anchor)) {
            visible = screen.visibleFrame;
            break;
        }
    }
    if (!visible && !screens.empty()) {
        visible = screens.front().visibleFrame;
    }
    const Placement placement = placePanel(caret, anchor, visible, static_cast<int>(listEntries().size()));
    setDropsDown(placement.dropsDown);

    panel_->present(placement.frame);
    setVisible(true);
    installClickMonitors();
}

void ClipboardPaletteController::installClickMonitors() {
    QPointer<ClipboardPaletteController> self(this);
    const std::uint64_t elsewhere =
        platform::eventMaskBit(EventType::LeftMouseDown) | platform::eventMaskBit(EventType::RightMouseDown);
    globalClickMonitor_ = eventTaps_.monitorClicksElsewhere(elsewhere, [self](const Event&) {
        if (self) {
            self->scheduler_.post([self] {
                if (self) {
                    self->dismiss();
                }
            });
        }
    });
    localClickMonitor_ = eventTaps_.monitorOwnClicks(
        platform::eventMaskBit(EventType::LeftMouseDown), [self](const Event&, std::uint64_t window) {
            if (self && (!self->panel_ || window != self->panel_->windowId())) {
                self->dismiss();
            }
        });
}

std::optional<Rect> ClipboardPaletteController::caretRect() {
    const platform::AXValue focused =
        accessibility_.attribute(accessibility_.systemWide(), platform::AXAttribute::FocusedUIElement);
    const auto* element = std::get_if<platform::Element>(&focused);
    if (!element || !*element) {
        return std::nullopt;
    }
    if (auto bounds = boundsOfSelection(*element)) {
        return flipped(*bounds);
    }
    // A field without text-range support: its own frame stands in for the caret.
    if (auto frame = elementFrame(*element)) {
        return flipped(*frame);
    }
    return std::nullopt;
}

std::optional<Rect> ClipboardPaletteController::boundsOfSelection(const platform::Element& element) {
    const platform::AXValue selection = accessibility_.attribute(element, platform::AXAttribute::SelectedTextRange);
    const auto* selected = std::get_if<platform::TextRange>(&selection);
    if (!selected) {
        return std::nullopt;
    }
    platform::TextRange range = *selected;
    if (range.length == 0) {
        // A bare caret has no bounds of its own: measure the character before it (or the first one).
        if (range.location >= 1) {
            range.location -= 1;
        }
        range.length = 1;
    }
    const platform::AXValue answer =
        accessibility_.parameterizedAttribute(element, platform::AXAttribute::BoundsForRange, range);
    const auto* bounds = std::get_if<Rect>(&answer);
    if (!bounds || !(bounds->height > 0 && bounds->height <= kMaxCaretHeight) || !std::isfinite(bounds->x) ||
        !std::isfinite(bounds->y)) {
        return std::nullopt;
    }
    return *bounds;
}

std::optional<Rect> ClipboardPaletteController::elementFrame(const platform::Element& element) {
    const platform::AXValue position = accessibility_.attribute(element, platform::AXAttribute::Position);
    const platform::AXValue size = accessibility_.attribute(element, platform::AXAttribute::Size);
    const auto* origin = std::get_if<Point>(&position);
    const auto* extent = std::get_if<platform::Size>(&size);
    if (!origin || !extent || !(extent->height > 0 && extent->height <= kMaxFieldHeight)) {
        return std::nullopt;
    }
    return Rect{origin->x, origin->y, extent->width, extent->height};
}

Rect ClipboardPaletteController::flipped(Rect rect) {
    const std::vector<platform::ScreenInfo> screens = screens_.screens();
    const double height = screens.empty() ? 0 : screens.front().frame.maxY();
    return Rect{rect.minX(), height - rect.maxY(), rect.width, rect.height};
}

void ClipboardPaletteController::toggleStaged(const ClipboardEntry& entry) {
    QList<QUuid> staged = staged_;
    if (!staged.removeOne(entry.id)) {
        staged.append(entry.id);
    }
    setStaged(std::move(staged));
}

void ClipboardPaletteController::pasteSelected(bool plainOnly) {
    const ClipboardEntries entries = listEntries();
    if (selectedIndex_ >= 0 && selectedIndex_ < static_cast<int>(entries.size())) {
        paste(entries[static_cast<std::size_t>(selectedIndex_)], plainOnly);
    }
}

void ClipboardPaletteController::paste(const ClipboardEntry& entry, bool plainOnly) {
    // Closed before the pasteboard is written: a platform's write may run the event loop, and a key or click
    // handled in there must find the palette shut, not pick a second time.
    const ClipboardEntry chosen = entry; // the caller's reference may point into a list the write changes
    const QList<QUuid> staged = staged_;
    dismiss();
    if (staged.isEmpty()) {
        const std::int64_t count = pasteboard_.write(chosen.text, plainOnly ? std::nullopt : chosen.rtf);
        clipboard_.setLastChangeCount(count);
        clipboard_.promote(chosen);
    } else {
        QStringList texts;
        const ClipboardEntries history = clipboard_.entries();
        for (const QUuid& id : staged) {
            auto found = std::find_if(history.begin(), history.end(), [&id](const auto& e) { return e.id == id; });
            if (found != history.end()) {
                texts.append(found->text);
            }
        }
        clipboard_.setLastChangeCount(pasteboard_.write(texts.join(QLatin1Char('\n')), std::nullopt));
    }
    postSyntheticPaste(kPasteDelay);
}

void ClipboardPaletteController::postSyntheticPaste(double delay) {
    if (delay <= 0) {
        QPointer<ClipboardPaletteController> self(this);
        scheduler_.post([self] {
            if (self) {
                self->sendPasteChord();
            }
        });
        return;
    }
    auto slot = pasteTimers_.emplace(pasteTimers_.end());
    *slot = scheduler_.after(delay, [this, slot] {
        const core::TimerPtr done = std::move(*slot); // ends with this call, as the scheduler allows
        pasteTimers_.erase(slot);
        sendPasteChord();
    });
}

void ClipboardPaletteController::sendPasteChord() {
    // Exactly ⌘: whatever else the user holds would turn the paste into another command.
    for (EventType type : {EventType::KeyDown, EventType::KeyUp}) {
        Event event = Event::key(type, KeyCode::V, Command);
        event.userData = kSyntheticMarker;
        eventTaps_.post(event); // a chord that cannot be made leaves the text on the pasteboard for the user
    }
}

void ClipboardPaletteController::dismiss() {
    setVisible(false);
    globalClickMonitor_.reset();
    localClickMonitor_.reset();
    if (panel_) {
        panel_->orderOut();
        QPointer<ClipboardPaletteController> self(this);
        releaseTimer_ = scheduler_.after(kReleaseDelay, [self] {
            if (self && !self->isVisible_) {
                self->releaseTimer_.reset();
                self->panel_.reset();
            }
        });
    }
}

void ClipboardPaletteController::pick(int index) {
    if (!isVisible_) {
        return; // a click that reaches the panel after it closed (or while a paste is being written)
    }
    const ClipboardEntries entries = listEntries();
    if (index < 0 || index >= static_cast<int>(entries.size())) {
        return;
    }
    const std::uint64_t flags = eventTaps_.currentFlags();
    const ClipboardEntry& entry = entries[static_cast<std::size_t>(index)];
    if (flags & Command) {
        toggleStaged(entry);
    } else {
        paste(entry, (flags & Option) != 0);
    }
}

void ClipboardPaletteController::hover(int index) {
    if (index >= 0 && index < static_cast<int>(listEntries().size())) {
        setSelectedIndex(index);
    }
}

void ClipboardPaletteController::setVisible(bool visible) {
    if (isVisible_ == visible) {
        return;
    }
    isVisible_ = visible;
    // Where the platform only shows the program the keys it asks for, the open palette needs all of them.
    if (hubToken_) {
        hub_.setCapturing(*hubToken_, visible);
    }
    Q_EMIT isVisibleChanged();
}

void ClipboardPaletteController::setSelectedIndex(int index) {
    if (selectedIndex_ == index) {
        return;
    }
    selectedIndex_ = index;
    Q_EMIT selectedIndexChanged();
    Q_EMIT rowsChanged();
}

void ClipboardPaletteController::setStaged(QList<QUuid> staged) {
    if (staged_ == staged) {
        return;
    }
    const bool hintChanges = staged_.size() != staged.size();
    staged_ = std::move(staged);
    Q_EMIT stagedChanged();
    Q_EMIT rowsChanged();
    if (hintChanges) {
        Q_EMIT headerHintChanged();
    }
}

void ClipboardPaletteController::setDropsDown(bool dropsDown) {
    if (dropsDown_ != dropsDown) {
        dropsDown_ = dropsDown;
        Q_EMIT dropsDownChanged();
    }
}

} // namespace tillory::clipboard
