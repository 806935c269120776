#pragma once

#include "core/scheduler.h"
#include "platform/api/platform.h"
#include "platform/sim/sim_media.h"
#include "platform/sim/sim_script_runner.h"
#include "platform/sim/sim_system_counters.h"

#include <QHash>
#include <QMap>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace tillory::platform::sim {

/// A whole desktop in memory: applications with windows and accessibility elements, a pasteboard, event taps,
/// screens, a login item and helper programs. Tests drive it through the control methods; the program sees it
/// through the platform interfaces from `platform()`. Posted events are delivered through the scheduler, as the
/// real system delivers them after the poster returns.
class SimDesktop {
public:
    explicit SimDesktop(core::Scheduler& scheduler);
    ~SimDesktop();
    SimDesktop(const SimDesktop&) = delete;
    SimDesktop& operator=(const SimDesktop&) = delete;

    Platform platform();

    // Applications and windows.
    std::int32_t launchApp(const QString& bundleId, const QString& name);
    void quitApp(std::int32_t pid);
    /// Brings the application to the front and tells the activation observers, then the active-window observers
    /// of its front window.
    void activate(std::int32_t pid);
    /// The user clicks the window: it takes keyboard input and, with `raise`, comes to the front. The active-window
    /// observers hear of it first, then, when its application was not in front, the activation observers (which
    /// also bring the application's windows forward when raising).
    void focusWindow(std::uint32_t number, bool raise = true);
    std::optional<AppInfo> frontApp() const;
    std::uint32_t openWindow(std::int32_t pid, const QString& title, Rect bounds);
    void closeWindow(std::uint32_t number);
    void setWindowBounds(std::uint32_t number, Rect bounds);
    void setWindowMinimized(std::uint32_t number, bool minimized);
    std::optional<WindowInfo> window(std::uint32_t number) const;
    /// Window-list facts: the layer (0 for normal windows) and the opacity.
    void setWindowLayer(std::uint32_t number, int layer);
    void setWindowAlpha(std::uint32_t number, double alpha);
    /// Off screen without being minimised, as a window on another workspace.
    void setWindowOffscreen(std::uint32_t number, bool offscreen);
    /// Sizes the application allows: writes of "AXSize" are clamped to them (min = max: a fixed-size window).
    void setWindowSizeLimits(std::uint32_t number, Size minimum, Size maximum = {1e9, 1e9});
    /// The application ignores every move and resize of the window.
    void setWindowFrozen(std::uint32_t number, bool frozen);
    /// False: the window list answers nothing, as when the window server cannot be asked.
    void setWindowListReadable(bool readable) { windowListReadable_ = readable; }
    /// "AXPosition", "AXSize" and "AXFrame" writes the window received, in order, as (name, value).
    std::vector<std::pair<QString, AXValue>> frameWrites(std::uint32_t number) const;
    /// Applications the program asked to bring to the front, in order.
    const std::vector<std::int32_t>& activationRequests() const { return activationRequests_; }
    /// Windows the program asked to bring to the front by number, in order.
    const std::vector<std::uint32_t>& windowActivationRequests() const { return windowActivationRequests_; }
    /// Every key event that reached the application, in order.
    const std::vector<Event>& receivedEvents(std::int32_t pid) const;

    // Accessibility.
    void grantAccessibility() { trusted_ = true; }
    void revokeAccessibility() { trusted_ = false; }
    int trustPromptCount() const { return trustPrompts_; }
    /// A text element of the application, with its role and frame (global top-left space).
    int addElement(std::int32_t pid, const QString& role, Rect frame);
    void setElementAttribute(int element, const QString& name, AXValue value);
    /// Answers "AXBoundsForRange" for the element; the test decides what each range measures.
    void setBoundsForRange(int element, std::function<AXValue(TextRange)> bounds);
    void focusElement(std::int32_t pid, int element);
    std::vector<TextRange> boundsQueries(int element) const;
    /// A window the application's "AXWindows" leaves out.
    void setWindowAccessible(std::uint32_t number, bool accessible);
    /// When false, accessibility cannot tell any window element's number (every answer is 0).
    void setWindowNumbersKnown(bool known) { windowNumbersKnown_ = known; }

    // Pasteboard.
    /// A copy by another application: the change count moves, and the content becomes these types.
    void copy(const std::optional<QString>& text, const QStringList& extraTypes = {},
              const std::optional<QByteArray>& rtf = std::nullopt);
    std::int64_t pasteboardChangeCount() const { return changeCount_; }
    /// Whether the pasteboard announces its changes (delivered through the scheduler); by default it must be
    /// polled.
    void setPasteboardAnnounces(bool announces) { pasteboardAnnounces_ = announces; }
    int pasteboardObserverCount() const { return static_cast<int>(pasteboardObservers_.size()); }
    std::optional<QString> pasteboardText() const { return text_; }
    std::optional<QByteArray> pasteboardRtf() const { return rtf_; }
    QStringList pasteboardTypes() const { return types_; }
    /// Runs inside every write of the program, as a platform whose write spins the event loop runs other work.
    void setDuringWrite(std::function<void()> work) { duringWrite_ = std::move(work); }

    // Input.
    /// Sends a user's event through the taps (newest first) and on to the front application. Returns what the
    /// application received (nothing when a tap swallowed it).
    EventResult inject(Event event);
    EventResult pressKey(int keyCode, std::uint64_t flags = 0, bool autorepeat = false) {
        return inject(Event::key(EventType::KeyDown, keyCode, flags, autorepeat));
    }
    EventResult releaseKey(int keyCode, std::uint64_t flags = 0) {
        return inject(Event::key(EventType::KeyUp, keyCode, flags));
    }
    EventResult changeFlags(std::uint64_t flags) {
        Event event;
        event.type = EventType::FlagsChanged;
        event.flags = flags;
        return inject(event);
    }
    /// False: events reach the application before the taps hear of them, so taps cannot swallow anything.
    void setTapsSwallow(bool swallow) { tapsSwallow_ = swallow; }
    /// Lets every tap creation fail, as when the system refuses a tap.
    void setTapCreationFails(bool fails) { tapCreationFails_ = fails; }
    /// A desktop that never shows a program the pointer over other windows: taps on mouse events are refused.
    void setPointerUnseen(bool unseen) { pointerUnseen_ = unseen; }
    /// The system switches every tap off and tells it so through its callback.
    void disableTaps(EventType reason);
    int liveTapCount() const;
    int enabledTapCount() const;
    /// Every event the program posted, in order, after delivery.
    const std::vector<Event>& postedEvents() const { return posted_; }
    void setModifierFlags(std::uint64_t flags) { flags_ = flags; }
    /// What the newest keyboard tap was last asked to see and whether it captures every key.
    std::vector<KeyTrigger> tapTriggers() const;
    bool tapCapturing() const;
    /// Lets every capture request fail, as when another program holds the keyboard.
    void setCaptureFails(bool fails) { captureFails_ = fails; }

    /// A mouse-down in another application (global top-left space) or in one of the program's own windows.
    void clickElsewhere(EventType type, Point location);
    void clickOwnWindow(EventType type, Point location, std::uint64_t window);
    int clickMonitorCount() const { return static_cast<int>(clickMonitors_.size()); }

    // Screens and pointer.
    void setScreens(std::vector<ScreenInfo> screens);
    void setMouseLocation(Point point) { mouse_ = point; }
    /// How often the program asked where the pointer is.
    int mouseReads() const { return mouseReads_; }

    // Window capture.
    void setScreenCaptureAllowed(bool allowed) { captureAllowed_ = allowed; }
    /// What the desktop lacks for captures, as the screen capture service says it; empty: only permission.
    void setScreenCaptureMissing(const QString& what) { captureMissing_ = what; }
    int screenCaptureRequests() const { return captureRequests_; }
    /// Captures wait until the test finishes them.
    const std::vector<CaptureRequest>& pendingCaptures() const { return pendingCaptures_; }
    /// Answers every waiting capture through the scheduler, in request order: a window that still exists gets an
    /// image of its own shape fitted into the size asked, filled with its number; one that is gone gets nothing.
    void finishCaptures();

    // Application icons.
    /// The icon the application's windows carry; nothing: none.
    void setAppIcon(std::int32_t pid, std::optional<Bitmap> icon);
    int iconRequests() const { return iconRequests_; }

    // Login item.
    void setLoginItemRefuses(bool refuses) { loginRefuses_ = refuses; }
    void setLoginItemEnabled(bool enabled) { loginEnabled_ = enabled; }
    bool loginItemEnabled() const { return loginEnabled_; }
    int loginItemCalls() const { return loginCalls_; }

    // Helper programs.
    /// Makes `program` launchable; it ends with `exitCode` when the scheduler next runs posted work.
    void installProgram(const QString& program, int exitCode = 0) { programs_[program] = exitCode; }
    struct Run {
        QString program;
        QStringList arguments;
    };
    const std::vector<Run>& runs() const { return runs_; }
    /// Processes the simulated user may end; every other pid is refused as not theirs.
    void allowEnding(std::int32_t pid) { endableProcesses_.insert(pid); }
    /// Every process ended, in order.
    const std::vector<std::int32_t>& endedProcesses() const { return endedProcesses_; }
    void setOwnPid(std::int32_t pid) { ownPid_ = pid; }

    // The machine's counters, as the system monitor reads them; a machine without battery or fan controller.
    SimSystemCounters& counters() { return counters_; }

    // Power sources (none by default: a machine without a battery).
    /// Replaces the listed sources (nothing: the list cannot be copied) and tells the change observers what they
    /// hear of it (see `setPowerNotices`).
    void setPowerSources(std::optional<std::vector<std::optional<QVariantMap>>> sources);
    /// What the change observers hear: every change (the default, as UPower tells), only plugging and unplugging
    /// (a source's "Is Charging" or "Power Source State" changed, as the kernel's own events), or nothing, as where
    /// no change can be heard. Set before the program subscribes.
    enum class PowerNotices { Everything, Plugging, Nothing };
    void setPowerNotices(PowerNotices heard) { powerNotices_ = heard; }
    int powerObserverCount() const { return static_cast<int>(powerObservers_.size()); }

    // Media players, downloads and pictures, as the media controller reaches them.
    SimScriptRunner& players() { return *players_; }
    SimUrlFetcher& downloads() { return *downloads_; }
    SimImageDecoder& pictures() { return *pictures_; }

    // URLs opened by the program.
    const std::vector<QUrl>& openedUrls() const { return openedUrls_; }

private:
    // Each service is defined in a file of its own (sim_accessibility.h, ...); the records they share are in
    // sim_desktop_internal.h.
    struct App;
    struct Window;
    struct ElementData;
    struct Tap;
    class SimAccessibility;
    class SimEventTaps;
    class SimEventTap;
    class SimWindowList;
    class SimScreenCapture;
    class SimWindowCapture;
    class SimAppIcons;
    class SimPasteboard;
    class SimWorkspace;
    class SimScreens;
    class SimLoginItem;
    class SimProcessRunner;
    class SimPowerSources;
    class SimSmc;
    class SimSubscription;
    friend class SimAccessibility;
    friend class SimEventTaps;
    friend class SimEventTap;
    friend class SimWindowList;
    friend class SimScreenCapture;
    friend class SimWindowCapture;
    friend class SimAppIcons;
    friend class SimPasteboard;
    friend class SimWorkspace;
    friend class SimScreens;
    friend class SimLoginItem;
    friend class SimProcessRunner;

    App* findApp(std::int32_t pid);
    const App* findApp(std::int32_t pid) const;
    EventResult runThroughTaps(Event event);
    void deliver(const Event& event);
    /// Tells the activation observers that the application is in front.
    void notifyActivation(const AppInfo& app);
    /// Tells the active-window observers about `number`, or the front application's front window; once per change.
    void reportActiveWindow(std::uint32_t number = 0);

    core::Scheduler& scheduler_;
    std::vector<std::unique_ptr<App>> apps_;
    std::vector<std::uint32_t> zOrder_; // window numbers, front first
    std::map<std::uint32_t, std::unique_ptr<Window>> windows_;
    std::map<int, std::unique_ptr<ElementData>> elements_;
    std::vector<Tap*> taps_; // head first
    std::optional<std::int32_t> front_;
    std::int32_t nextPid_ = 1000;
    std::uint32_t nextWindow_ = 100;
    int nextElement_ = 1;
    bool trusted_ = false;
    int trustPrompts_ = 0;
    bool tapCreationFails_ = false;
    bool pointerUnseen_ = false;
    bool tapsSwallow_ = true;
    bool windowListReadable_ = true;
    bool captureFails_ = false;
    struct ClickMonitor {
        std::uint64_t mask = 0;
        bool own = false;
        std::function<void(const Event&, std::uint64_t)> callback;
    };
    std::map<int, ClickMonitor> clickMonitors_;
    std::uint64_t flags_ = 0;
    std::vector<Event> posted_;
    std::int64_t changeCount_ = 0;
    std::optional<QString> text_;
    std::optional<QByteArray> rtf_;
    QStringList types_;
    std::function<void()> duringWrite_;
    std::vector<ScreenInfo> screens_;
    Point mouse_;
    int mouseReads_ = 0;
    bool captureAllowed_ = false;
    QString captureMissing_;
    int captureRequests_ = 0;
    struct PendingCapture {
        CaptureRequest request;
        WindowCapture::Delivery deliver;
    };
    std::vector<CaptureRequest> pendingCaptures_;
    std::vector<PendingCapture> captureQueue_;
    std::map<std::int32_t, Bitmap> appIcons_;
    int iconRequests_ = 0;
    bool windowNumbersKnown_ = true;
    std::vector<std::int32_t> activationRequests_;
    std::vector<std::uint32_t> windowActivationRequests_;
    std::map<int, std::function<void(std::uint32_t)>> activeWindowObservers_;
    std::uint32_t reportedActive_ = 0;
    bool loginEnabled_ = false;
    bool loginRefuses_ = false;
    int loginCalls_ = 0;
    QMap<QString, int> programs_;
    std::vector<Run> runs_;
    std::set<std::int32_t> endableProcesses_;
    std::vector<std::int32_t> endedProcesses_;
    std::int32_t ownPid_ = 4242;
    std::vector<QUrl> openedUrls_;
    std::map<int, std::function<void(const AppInfo&)>> activationObservers_;
    std::map<int, std::function<void()>> screenObservers_;
    std::map<int, std::function<void()>> pasteboardObservers_;
    bool pasteboardAnnounces_ = false;
    std::map<int, std::function<void()>> powerObservers_;
    std::optional<std::vector<std::optional<QVariantMap>>> powerSourceList_{std::in_place};
    PowerNotices powerNotices_ = PowerNotices::Everything;
    int nextObserver_ = 1;
    std::shared_ptr<bool> alive_;

    std::unique_ptr<SimAccessibility> accessibility_;
    std::unique_ptr<SimEventTaps> eventTaps_;
    std::unique_ptr<SimWindowList> windowList_;
    std::unique_ptr<SimScreenCapture> screenCapture_;
    std::unique_ptr<SimWindowCapture> windowCapture_;
    std::unique_ptr<SimAppIcons> appIconsService_;
    std::unique_ptr<SimPasteboard> pasteboard_;
    std::unique_ptr<SimWorkspace> workspace_;
    std::unique_ptr<SimScreens> screensService_;
    std::unique_ptr<SimLoginItem> loginItem_;
    std::unique_ptr<SimProcessRunner> processRunner_;
    SimSystemCounters counters_;
    std::unique_ptr<SimPowerSources> powerSources_;
    std::unique_ptr<SimSmc> smc_;
    std::unique_ptr<SimScriptRunner> players_;
    std::unique_ptr<SimUrlFetcher> downloads_;
    std::unique_ptr<SimImageDecoder> pictures_;
};

} // namespace tillory::platform::sim
