#pragma once

#include "clipboard/clipboard_entry.h"
#include "clipboard/palette_panel.h"
#include "core/scheduler.h"
#include "platform/api/accessibility.h"
#include "platform/api/event.h"
#include "platform/api/event_taps.h"
#include "platform/api/subscription.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QUuid>
#include <QVariantList>

#include <list>
#include <memory>
#include <optional>

namespace tillory::platform {
class EventTaps;
class Pasteboard;
class Screens;
} // namespace tillory::platform

namespace tillory::keyhub {
class KeyEventHub;
}

namespace tillory::clipboard {

class ClipboardManager;

/// Holding ⌘V opens a list of the clipboard history at the caret of the front application; a quick ⌘V tap still
/// pastes. From the list the user pastes one entry (Return, 1–8, a click), pastes plain text (Option), or stacks
/// entries with ⌘-click and pastes them joined by newlines. Main thread.
class ClipboardPaletteController : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isVisible READ isVisible NOTIFY isVisibleChanged)
    Q_PROPERTY(int selectedIndex READ selectedIndex NOTIFY selectedIndexChanged)
    /// Ids of the stacked entries in stacking order, upper-case hyphenated.
    Q_PROPERTY(QStringList staged READ stagedIds NOTIFY stagedChanged)
    Q_PROPERTY(bool dropsDown READ dropsDown NOTIFY dropsDownChanged)
    /// One map per listed entry: text (one line), index, number, pinned, stageNumber (0: not staged), selected.
    Q_PROPERTY(QVariantList rows READ rows NOTIFY rowsChanged)
    Q_PROPERTY(QString headerHint READ headerHint NOTIFY headerHintChanged)

public:
    /// Every key event the palette posts carries this in the event source user data field.
    static constexpr std::int64_t kSyntheticMarker = 1556763;
    static constexpr int kMaxRows = 8;
    static constexpr double kPanelWidth = 360;
    static constexpr double kPanelHeight = 396;
    static constexpr double kRowHeight = 30;
    static constexpr double kListChrome = 44; // header and padding around the rows
    static constexpr double kMargin = 8;
    static constexpr double kPasteDelay = 0.05;
    /// Seconds after the palette closes until its panel is let go.
    static constexpr double kReleaseDelay = 30.0;
    static constexpr double kMaxCaretHeight = 80;
    static constexpr double kMaxFieldHeight = 120;

    ClipboardPaletteController(ClipboardManager& clipboard, keyhub::KeyEventHub& hub,
                               platform::Accessibility& accessibility, platform::EventTaps& eventTaps,
                               platform::Pasteboard& pasteboard, platform::Screens& screens, core::Scheduler& scheduler,
                               PalettePanelFactory& panels, QObject* parent = nullptr);
    ~ClipboardPaletteController() override;

    /// Registers the key handler with the hub, once for the life of the process.
    void start();

    bool isVisible() const { return isVisible_; }
    bool hasPanel() const { return panel_ != nullptr; }
    int selectedIndex() const { return selectedIndex_; }
    const QList<QUuid>& staged() const { return staged_; }
    QStringList stagedIds() const;
    bool dropsDown() const { return dropsDown_; }
    QVariantList rows() const;
    QString headerHint() const;

    /// The first 8 of the history's display order (pinned first).
    ClipboardEntries listEntries() const;

    /// Opens the palette as a held chord does, for a key binding of the desktop's own where Tillory cannot bind
    /// keys itself. Nothing while the history is off or empty, or already open. Answers whether it is open.
    bool open();
    void dismiss();
    void pasteSelected(bool plainOnly);
    void toggleStaged(const ClipboardEntry& entry);
    /// Writes the entry (or, with entries stacked, the stack) to the pasteboard, closes the palette and sends ⌘V.
    void paste(const ClipboardEntry& entry, bool plainOnly);

    /// A click on row `index`: ⌘ held stacks or unstacks the entry, otherwise it is pasted (plain with ⌥ held).
    Q_INVOKABLE void pick(int index);
    Q_INVOKABLE void hover(int index);

Q_SIGNALS:
    void isVisibleChanged();
    void selectedIndexChanged();
    void stagedChanged();
    void dropsDownChanged();
    void rowsChanged();
    void headerHintChanged();

private:
    /// True: the event is swallowed.
    bool handleKey(platform::EventType type, const platform::Event& event);
    bool handlePaletteKey(platform::EventType type, const platform::Event& event);
    void show();
    std::optional<platform::Rect> caretRect();
    std::optional<platform::Rect> boundsOfSelection(const platform::Element& element);
    std::optional<platform::Rect> elementFrame(const platform::Element& element);
    platform::Rect flipped(platform::Rect rect);
    void postSyntheticPaste(double delay);
    void sendPasteChord();
    void installClickMonitors();
    /// The paste chord while the clipboard feature is on; nothing while it is off.
    std::vector<platform::KeyTrigger> triggers() const;

    void setVisible(bool visible);
    void setSelectedIndex(int index);
    void setStaged(QList<QUuid> staged);
    void setDropsDown(bool dropsDown);

    ClipboardManager& clipboard_;
    keyhub::KeyEventHub& hub_;
    platform::Accessibility& accessibility_;
    platform::EventTaps& eventTaps_;
    platform::Pasteboard& pasteboard_;
    platform::Screens& screens_;
    core::Scheduler& scheduler_;
    core::TimerPtr releaseTimer_;
    PalettePanelFactory& panels_;

    bool isVisible_ = false;
    int selectedIndex_ = 0;
    QList<QUuid> staged_;
    bool dropsDown_ = false;
    std::unique_ptr<PalettePanel> panel_;
    std::optional<QUuid> hubToken_;
    platform::SubscriptionPtr globalClickMonitor_;
    platform::SubscriptionPtr localClickMonitor_;
    bool pendingTap_ = false;
    std::list<core::TimerPtr> pasteTimers_; // one per paste still waiting for its delay
};

} // namespace tillory::clipboard
