#include "platform/linux/atspi_accessibility.h"

#include "platform/linux/native_pixels.h"

#include <QAbstractEventDispatcher>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStringList>

#include <atspi/atspi.h>
#include <dbus/dbus.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tillory::platform::nix {
namespace {

using Clock = std::chrono::steady_clock;

// A healthy application answers in milliseconds; one that takes longer is treated as hung, not waited for.
constexpr int kCallTimeoutMs = 500;
// A read that failed after this long ran into the timeout.
constexpr auto kHangThreshold = std::chrono::milliseconds(kCallTimeoutMs * 4 / 5);
// How long a hung application is skipped unless it sends an event first.
constexpr auto kHungPause = std::chrono::seconds(5);
// Once, at start-up, when the session bus may have to launch the accessibility bus first.
constexpr int kBusProbeTimeoutMs = 1500;
// Bounds of the search for the focused element when no focus event has named it.
constexpr int kMaxApplications = 64;
constexpr int kMaxWindows = 32;
constexpr int kMaxSearchNodes = 300;
constexpr int kMaxSearchDepth = 24;
constexpr int kMaxChildrenPerNode = 64;
constexpr const char* kFocusEvent = "object:state-changed:focused";

struct Unref {
    void operator()(void* object) const { g_object_unref(object); }
};
template <typename T> using Ref = std::unique_ptr<T, Unref>;

template <typename T> Ref<T> retain(T* object) {
    return Ref<T>(object ? static_cast<T*>(g_object_ref(object)) : nullptr);
}

/// The error slot of one call; frees what the call left in it.
class ErrorSlot {
public:
    ErrorSlot() = default;
    ~ErrorSlot() { g_clear_error(&error_); }
    ErrorSlot(const ErrorSlot&) = delete;
    ErrorSlot& operator=(const ErrorSlot&) = delete;

    GError** out() {
        g_clear_error(&error_);
        return &error_;
    }
    bool failed() const { return error_ != nullptr; }

private:
    GError* error_ = nullptr;
};

class AtspiElement final : public ElementHandle {
public:
    /// A null object stands for the whole desktop.
    explicit AtspiElement(Ref<AtspiAccessible> object) : object_(std::move(object)) {}
    AtspiAccessible* object() const { return object_.get(); }

private:
    Ref<AtspiAccessible> object_;
};

// libatspi asks the session bus for the accessibility bus without a timeout and aborts on its first call when it
// has none, so the question is put here first, with a short timeout. No session bus is started for it either.
bool accessibilityBusAnswers() {
    if (!qEnvironmentVariableIsEmpty("AT_SPI_BUS_ADDRESS")) {
        return true;
    }
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
        (runtime.isEmpty() || !QFileInfo::exists(runtime + QStringLiteral("/bus")))) {
        return false;
    }
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* session = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    bool answered = false;
    if (session) {
        dbus_connection_set_exit_on_disconnect(session, FALSE);
        DBusMessage* call = dbus_message_new_method_call("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress");
        DBusMessage* reply = dbus_connection_send_with_reply_and_block(session, call, kBusProbeTimeoutMs, &error);
        const char* address = nullptr;
        answered = reply && dbus_message_get_args(reply, nullptr, DBUS_TYPE_STRING, &address, DBUS_TYPE_INVALID) &&
                   address && *address;
        if (reply) {
            dbus_message_unref(reply);
        }
        dbus_message_unref(call);
        dbus_connection_close(session);
        dbus_connection_unref(session);
    }
    dbus_error_free(&error);
    return answered;
}

bool startAtspi() {
    static const bool started = [] {
        if (!accessibilityBusAnswers()) {
            return false;
        }
        // No longer grace period for applications that started recently: a hung one must not wedge the caller.
        atspi_set_timeout(kCallTimeoutMs, 0);
        const int result = atspi_init();
        return result == 0 || result == 1;
    }();
    return started;
}

// Focus events reach the listener through the GLib main context; Qt's GLib dispatcher runs it on the main thread.
bool eventLoopRunsGlib() {
    const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    return dispatcher && dispatcher->inherits("QEventDispatcherGlib");
}

/// The accessibility bus name of the object's application; empty once the application has gone.
std::string applicationOf(AtspiAccessible* object) {
    const AtspiApplication* app = object ? object->parent.app : nullptr;
    return app && app->bus && app->bus_name ? std::string(app->bus_name) : std::string();
}

bool hasState(AtspiAccessible* object, AtspiStateType state) {
    Ref<AtspiStateSet> states(atspi_accessible_get_state_set(object));
    return states && atspi_state_set_contains(states.get(), state) &&
           !atspi_state_set_contains(states.get(), ATSPI_STATE_DEFUNCT);
}

/// The process behind the accessible; 0 when unknown.
std::int32_t processOf(AtspiAccessible* object) {
    ErrorSlot error;
    const guint pid = atspi_accessible_get_process_id(object, error.out());
    return error.failed() || pid > guint(std::numeric_limits<std::int32_t>::max()) ? 0 : static_cast<std::int32_t>(pid);
}

int childCount(AtspiAccessible* object, int limit) {
    ErrorSlot error;
    const int count = atspi_accessible_get_child_count(object, error.out());
    return error.failed() ? 0 : std::clamp(count, 0, limit);
}

Ref<AtspiAccessible> childAt(AtspiAccessible* object, int index) {
    ErrorSlot error;
    return Ref<AtspiAccessible>(atspi_accessible_get_child_at_index(object, index, error.out()));
}

/// Frees a rectangle the library returned; nothing after an error or for a negative size.
std::optional<Rect> takeRect(AtspiRect* rect, const ErrorSlot& error) {
    std::optional<Rect> result;
    if (rect && !error.failed() && rect->width >= 0 && rect->height >= 0) {
        result = Rect{double(rect->x), double(rect->y), double(rect->width), double(rect->height)};
    }
    g_free(rect);
    return result;
}

std::optional<Rect> extentsOf(AtspiAccessible* object, AtspiCoordType type) {
    Ref<AtspiComponent> component(atspi_accessible_get_component_iface(object));
    ErrorSlot error;
    return component ? takeRect(atspi_component_get_extents(component.get(), type, error.out()), error) : std::nullopt;
}

/// A character's box; nothing when the toolkit gives no line height (no such character, not laid out).
std::optional<Rect> characterBox(AtspiText* text, int offset, AtspiCoordType type) {
    ErrorSlot error;
    auto box = takeRect(atspi_text_get_character_extents(text, offset, type, error.out()), error);
    return box && box->height > 0 ? box : std::nullopt;
}

std::optional<Rect> caretBox(AtspiText* text, int offset, AtspiCoordType type) {
    if (auto box = characterBox(text, offset, type)) {
        box->width = 0;
        return box;
    }
    // Past the last character some toolkits give no box at all: the caret stands at the previous one's right edge.
    if (offset > 0) {
        if (auto previous = characterBox(text, offset - 1, type)) {
            return Rect{previous->maxX(), previous->y, 0, previous->height};
        }
    }
    return std::nullopt;
}

std::optional<Rect> rangeBox(AtspiText* text, int start, int end, AtspiCoordType type) {
    ErrorSlot error;
    auto box = takeRect(atspi_text_get_range_extents(text, start, end, type, error.out()), error);
    if (box && box->width > 0 && box->height > 0) {
        return box;
    }
    auto first = characterBox(text, start, type);
    auto last = characterBox(text, end - 1, type);
    if (!first || !last) {
        return std::nullopt;
    }
    const double x = std::min(first->minX(), last->minX());
    const double y = std::min(first->minY(), last->minY());
    return Rect{x, y, std::max(first->maxX(), last->maxX()) - x, std::max(first->maxY(), last->maxY()) - y};
}

AXValue boundsForRange(AtspiAccessible* object, const TextRange& range, AtspiCoordType type) {
    if (range.location < 0 || range.length < 0 || range.location > INT_MAX - range.length) {
        return {};
    }
    Ref<AtspiText> text(atspi_accessible_get_text_iface(object));
    if (!text) {
        return {};
    }
    const int start = int(range.location);
    const std::optional<Rect> box = range.length == 0   ? caretBox(text.get(), start, type)
                                    : range.length == 1 ? characterBox(text.get(), start, type)
                                                        : rangeBox(text.get(), start, start + int(range.length), type);
    return box ? AXValue{*box} : AXValue{};
}

AXValue selectedRange(AtspiAccessible* object) {
    Ref<AtspiText> text(atspi_accessible_get_text_iface(object));
    if (!text) {
        return {};
    }
    ErrorSlot error;
    const int selections = atspi_text_get_n_selections(text.get(), error.out());
    if (error.failed()) {
        return {};
    }
    if (selections > 0) {
        AtspiRange* selection = atspi_text_get_selection(text.get(), 0, error.out());
        std::optional<TextRange> found;
        if (selection && !error.failed() && selection->start_offset >= 0 && selection->end_offset >= 0) {
            const auto [low, high] = std::minmax(selection->start_offset, selection->end_offset);
            found = TextRange{low, high - low};
        }
        g_free(selection);
        if (found) {
            return *found;
        }
    }
    const int caret = atspi_text_get_caret_offset(text.get(), error.out());
    if (error.failed() || caret < 0) {
        return {};
    }
    return TextRange{caret, 0};
}

/// "AX" and the role's name in CamelCase: "push-button" becomes "AXPushButton".
QString camelCaseRole(AtspiRole role) {
    auto* roles = static_cast<GEnumClass*>(g_type_class_ref(atspi_role_get_type()));
    const GEnumValue* value = g_enum_get_value(roles, int(role));
    QString name;
    if (value && value->value_nick) {
        for (const QString& word : QString::fromLatin1(value->value_nick).split(QLatin1Char('-'), Qt::SkipEmptyParts)) {
            name += word.front().toUpper() + word.mid(1);
        }
    }
    g_type_class_unref(roles);
    return name.isEmpty() ? QString() : QStringLiteral("AX") + name;
}

// GTK 3 gives its search entry no role of its own; the find icon inside it is what tells it apart. Web content
// names the ARIA role instead.
bool isSearchField(AtspiAccessible* object) {
    ErrorSlot error;
    if (GHashTable* attributes = atspi_accessible_get_attributes(object, error.out())) {
        const auto* roles = static_cast<const char*>(g_hash_table_lookup(attributes, "xml-roles"));
        const bool searchbox = roles && std::strstr(roles, "searchbox");
        g_hash_table_unref(attributes);
        if (searchbox) {
            return true;
        }
    }
    const int children = childCount(object, 4);
    for (int i = 0; i < children; ++i) {
        Ref<AtspiAccessible> child = childAt(object, i);
        if (!child || atspi_accessible_get_role(child.get(), error.out()) != ATSPI_ROLE_ICON) {
            continue;
        }
        gchar* name = atspi_accessible_get_name(child.get(), error.out());
        const bool find = name && (std::strcmp(name, "edit-find-symbolic") == 0 || std::strcmp(name, "edit-find") == 0);
        g_free(name);
        if (find) {
            return true;
        }
    }
    return false;
}

// An editable combo box hands its focus (and caret) to the text field inside it.
bool insideComboBox(AtspiAccessible* object) {
    ErrorSlot error;
    Ref<AtspiAccessible> parent(atspi_accessible_get_parent(object, error.out()));
    return parent && atspi_accessible_get_role(parent.get(), error.out()) == ATSPI_ROLE_COMBO_BOX;
}

AXValue roleOf(AtspiAccessible* object) {
    ErrorSlot error;
    const AtspiRole role = atspi_accessible_get_role(object, error.out());
    if (error.failed() || role == ATSPI_ROLE_INVALID) {
        return {};
    }
    switch (role) {
    case ATSPI_ROLE_PASSWORD_TEXT:
        return AXRole::TextField;
    case ATSPI_ROLE_TEXT:
    case ATSPI_ROLE_ENTRY:
        return hasState(object, ATSPI_STATE_MULTI_LINE) ? AXRole::TextArea
               : insideComboBox(object)                 ? AXRole::ComboBox
               : isSearchField(object)                  ? AXRole::SearchField
                                                        : AXRole::TextField;
    case ATSPI_ROLE_DOCUMENT_TEXT:
    case ATSPI_ROLE_PARAGRAPH:
    case ATSPI_ROLE_TERMINAL:
        return AXRole::TextArea;
    case ATSPI_ROLE_COMBO_BOX:
        return AXRole::ComboBox;
    default: {
        const QString name = camelCaseRole(role);
        return name.isEmpty() ? AXValue{} : AXValue{name};
    }
    }
}

/// The first focused element below `window` in one call; nothing when the toolkit lacks the interface.
std::optional<Ref<AtspiAccessible>> matchFocused(AtspiAccessible* window) {
    Ref<AtspiCollection> collection(atspi_accessible_get_collection_iface(window));
    if (!collection) {
        return std::nullopt;
    }
    GArray* wanted = g_array_new(FALSE, FALSE, sizeof(AtspiStateType));
    const AtspiStateType focused = ATSPI_STATE_FOCUSED;
    g_array_append_vals(wanted, &focused, 1);
    Ref<AtspiStateSet> states(atspi_state_set_new(wanted));
    g_array_free(wanted, TRUE);
    Ref<AtspiMatchRule> rule(atspi_match_rule_new(states.get(), ATSPI_Collection_MATCH_ALL, nullptr,
                                                  ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL,
                                                  nullptr, ATSPI_Collection_MATCH_ALL, FALSE));
    ErrorSlot error;
    GArray* matches = atspi_collection_get_matches(collection.get(), rule.get(), ATSPI_Collection_SORT_ORDER_CANONICAL,
                                                   1, TRUE, error.out());
    if (!matches) {
        return std::nullopt;
    }
    auto* items = reinterpret_cast<AtspiAccessible**>(matches->data);
    Ref<AtspiAccessible> first(matches->len > 0 ? items[0] : nullptr);
    for (guint i = 1; i < matches->len; ++i) {
        g_object_unref(items[i]);
    }
    g_array_free(matches, TRUE);
    return first;
}

/// Depth-first below `window`, within the node and depth bounds, skipping hidden subtrees and containers that
/// manage their own (possibly huge) descendants.
Ref<AtspiAccessible> walkToFocused(AtspiAccessible* window) {
    std::vector<std::pair<Ref<AtspiAccessible>, int>> pending;
    pending.emplace_back(retain(window), 0);
    for (int visited = 0; !pending.empty() && visited < kMaxSearchNodes; ++visited) {
        auto [node, depth] = std::move(pending.back());
        pending.pop_back();
        Ref<AtspiStateSet> states(atspi_accessible_get_state_set(node.get()));
        if (!states || atspi_state_set_contains(states.get(), ATSPI_STATE_DEFUNCT)) {
            continue;
        }
        if (atspi_state_set_contains(states.get(), ATSPI_STATE_FOCUSED)) {
            return std::move(node);
        }
        if (depth >= kMaxSearchDepth || !atspi_state_set_contains(states.get(), ATSPI_STATE_SHOWING) ||
            atspi_state_set_contains(states.get(), ATSPI_STATE_MANAGES_DESCENDANTS)) {
            continue;
        }
        for (int i = childCount(node.get(), kMaxChildrenPerNode) - 1; i >= 0; --i) {
            if (Ref<AtspiAccessible> child = childAt(node.get(), i)) {
                pending.emplace_back(std::move(child), depth + 1);
            }
        }
    }
    return nullptr;
}

Ref<AtspiAccessible> focusedInWindow(AtspiAccessible* window) {
    if (auto matched = matchFocused(window)) {
        return std::move(*matched);
    }
    return walkToFocused(window);
}

/// The focus inside the application's active window. With `inFront`, the application is known to be the one in
/// front, so a toolkit that marks no window active (Qt's windows show no such state) is searched window by
/// window.
Ref<AtspiAccessible> focusedInApplication(AtspiAccessible* app, int windows, bool inFront) {
    for (int i = 0; i < windows; ++i) {
        Ref<AtspiAccessible> window = childAt(app, i);
        if (window && hasState(window.get(), ATSPI_STATE_ACTIVE)) {
            return focusedInWindow(window.get());
        }
    }
    for (int i = 0; inFront && i < windows; ++i) {
        Ref<AtspiAccessible> window = childAt(app, i);
        if (Ref<AtspiAccessible> found = window ? focusedInWindow(window.get()) : nullptr) {
            return found;
        }
    }
    return nullptr;
}

Element elementFor(Ref<AtspiAccessible> object) {
    return std::make_shared<AtspiElement>(std::move(object));
}

} // namespace

Q_LOGGING_CATEGORY(lcAccessibility, "tillory.accessibility", QtWarningMsg)

/// The library connection, the focus listener and what it last heard, and the applications that stopped answering.
class AtspiAccessibility::Session {
public:
    Session(std::function<std::int32_t()> frontProcess, std::function<bool()> keyboardHeldByUs)
        : available_(startAtspi()), frontProcess_(std::move(frontProcess)),
          keyboardHeldByUs_(std::move(keyboardHeldByUs)) {
        if (!available_ || !eventLoopRunsGlib()) {
            return;
        }
        listener_ = atspi_event_listener_new(&Session::onFocusEvent, this, nullptr);
        ErrorSlot error;
        if (!atspi_event_listener_register(listener_, kFocusEvent, error.out())) {
            g_object_unref(listener_);
            listener_ = nullptr;
        }
    }
    ~Session() {
        if (listener_) {
            ErrorSlot error;
            atspi_event_listener_deregister(listener_, kFocusEvent, error.out());
            g_object_unref(listener_);
        }
    }

    bool available() const { return available_; }

    AXValue focusedElement() {
        // Another application may keep a focused widget while it is in the background: the focus that counts is
        // the one in the application in front.
        const std::int32_t front = frontProcess_ ? frontProcess_() : 0;
        if (focused_ && front > 0 && processOf(focused_.get()) != front) {
            focused_.reset();
        }
        if (focused_) {
            Ref<AtspiAccessible> candidate = retain(focused_.get());
            const std::string app = applicationOf(candidate.get());
            if (!app.empty() && isHung(app)) {
                return {};
            }
            const auto started = Clock::now();
            if (!app.empty() && hasState(candidate.get(), ATSPI_STATE_FOCUSED)) {
                return elementFor(std::move(candidate));
            }
            if (!app.empty() && noteSlowFailure(app, started)) {
                return {};
            }
            if (focused_.get() == candidate.get()) {
                focused_.reset();
            }
        }
        const auto searchStarted = Clock::now();
        Ref<AtspiAccessible> found = searchFocus(front);
        qCDebug(lcAccessibility) << "searched the focus in process" << front << (found ? "and found it" : "in vain")
                                 << "in"
                                 << std::chrono::duration<double, std::milli>(Clock::now() - searchStarted).count()
                                 << "ms";
        if (found) {
            focused_ = retain(found.get());
            lastFocused_ = retain(found.get());
            return elementFor(std::move(found));
        }
        // While we hold the keyboard, toolkits take their window for inactive and drop the focus state (Qt does
        // so a moment after the grab begins); the user's caret is still where it last was.
        if (lastFocused_ && keyboardHeldByUs_ && keyboardHeldByUs_() && front > 0 &&
            processOf(lastFocused_.get()) == front && !hasState(lastFocused_.get(), ATSPI_STATE_DEFUNCT)) {
            return elementFor(retain(lastFocused_.get()));
        }
        return {};
    }

    /// Runs `reader` unless the object's application is gone or hung; notes a hang when it ran into the timeout.
    template <typename Read> AXValue read(AtspiAccessible* object, Read&& reader) {
        const std::string app = applicationOf(object);
        if (app.empty() || isHung(app)) {
            return {};
        }
        const auto started = Clock::now();
        AXValue value = reader(object);
        if (std::holds_alternative<std::monostate>(value)) {
            noteSlowFailure(app, started);
        }
        return value;
    }

private:
    static void onFocusEvent(AtspiEvent* event, void* data) {
        auto* self = static_cast<Session*>(data);
        if (event->source && event->detail1 != 0) {
            self->focused_ = retain(event->source);
            self->lastFocused_ = retain(event->source);
            self->hungUntil_.erase(applicationOf(event->source));
        } else if (event->source && self->focused_.get() == event->source) {
            self->focused_.reset();
        }
        g_boxed_free(atspi_event_get_type(), event);
    }

    Ref<AtspiAccessible> searchFocus(std::int32_t front) {
        Ref<AtspiAccessible> desktop(atspi_get_desktop(0));
        if (!desktop) {
            return nullptr;
        }
        if (front > 0) {
            atspi_accessible_clear_cache(desktop.get()); // the application in front may have registered just now
        }
        const int apps = childCount(desktop.get(), kMaxApplications);
        for (int i = 0; i < apps; ++i) {
            Ref<AtspiAccessible> app = childAt(desktop.get(), i);
            const std::string name = applicationOf(app.get());
            if (name.empty() || isHung(name) || (front > 0 && processOf(app.get()) != front)) {
                continue;
            }
            // A hung application fails its first call slowly; the search then goes on without it.
            const auto started = Clock::now();
            const int windows = childCount(app.get(), kMaxWindows);
            if (windows == 0) {
                noteSlowFailure(name, started);
            } else if (Ref<AtspiAccessible> found = focusedInApplication(app.get(), windows, front > 0)) {
                return found;
            }
        }
        return nullptr;
    }

    bool isHung(const std::string& app) {
        const auto found = hungUntil_.find(app);
        if (found == hungUntil_.end()) {
            return false;
        }
        if (Clock::now() < found->second) {
            return true;
        }
        hungUntil_.erase(found);
        return false;
    }

    /// True (and the application is skipped for a while) when a failed read took as long as the call timeout.
    bool noteSlowFailure(const std::string& app, Clock::time_point started) {
        const auto now = Clock::now();
        if (now - started < kHangThreshold) {
            return false;
        }
        hungUntil_[app] = now + kHungPause;
        return true;
    }

    bool available_ = false;
    std::function<std::int32_t()> frontProcess_;
    AtspiEventListener* listener_ = nullptr;
    Ref<AtspiAccessible> focused_;
    Ref<AtspiAccessible> lastFocused_; // kept when the focus state goes, for the time we hold the keyboard
    std::function<bool()> keyboardHeldByUs_;
    std::map<std::string, Clock::time_point> hungUntil_;
};

AtspiAccessibility::AtspiAccessibility(std::function<bool()> trusted, std::function<std::int32_t()> frontProcess,
                                       std::function<bool()> keyboardHeldByUs)
    : trusted_(std::move(trusted)),
      session_(std::make_unique<Session>(std::move(frontProcess), std::move(keyboardHeldByUs))),
      systemWide_(elementFor(nullptr)) {}

AtspiAccessibility::~AtspiAccessibility() = default;

bool AtspiAccessibility::available() const {
    return session_->available();
}

void AtspiAccessibility::setWindowOrigin(std::function<std::optional<Point>(std::int32_t)> windowOrigin) {
    windowOrigin_ = std::move(windowOrigin);
}

std::optional<Rect> AtspiAccessibility::toGlobal(const Rect& rect, std::int32_t pid) const {
    if (!windowOrigin_) {
        return logicalFromNative(rect);
    }
    // Window-relative positions are the application's own logical units already.
    const std::optional<Point> origin = pid > 0 ? windowOrigin_(pid) : std::nullopt;
    if (!origin) {
        return std::nullopt;
    }
    return Rect{rect.x + origin->x, rect.y + origin->y, rect.width, rect.height};
}

bool AtspiAccessibility::isTrusted() const {
    return trusted_ && trusted_();
}

AXValue AtspiAccessibility::attribute(const Element& element, const QString& name) {
    const auto* handle = dynamic_cast<const AtspiElement*>(element.get());
    if (!handle || !session_->available()) {
        return {};
    }
    AtspiAccessible* object = handle->object();
    if (!object) {
        return name == AXAttribute::FocusedUIElement ? session_->focusedElement() : AXValue{};
    }
    if (name == AXAttribute::Role) {
        return session_->read(object, roleOf);
    }
    if (name == AXAttribute::SelectedTextRange) {
        return session_->read(object, selectedRange);
    }
    if (name == AXAttribute::Position || name == AXAttribute::Size) {
        const bool position = name == AXAttribute::Position;
        std::int32_t pid = 0;
        const AtspiCoordType type = windowOrigin_ ? ATSPI_COORD_TYPE_WINDOW : ATSPI_COORD_TYPE_SCREEN;
        const AXValue extents = session_->read(object, [&pid, type](AtspiAccessible* o) {
            const auto rect = extentsOf(o, type);
            pid = rect ? processOf(o) : 0;
            return rect ? AXValue{*rect} : AXValue{};
        });
        const auto* rect = std::get_if<Rect>(&extents);
        const std::optional<Rect> global = rect ? toGlobal(*rect, pid) : std::nullopt;
        if (!global) {
            return {};
        }
        return position ? AXValue{global->origin()} : AXValue{global->size()};
    }
    return {};
}

AXValue AtspiAccessibility::parameterizedAttribute(const Element& element, const QString& name,
                                                   const AXValue& parameter) {
    const auto* handle = dynamic_cast<const AtspiElement*>(element.get());
    const auto* range = std::get_if<TextRange>(&parameter);
    if (!handle || !handle->object() || !range || name != AXAttribute::BoundsForRange || !session_->available()) {
        return {};
    }
    std::int32_t pid = 0;
    const AtspiCoordType type = windowOrigin_ ? ATSPI_COORD_TYPE_WINDOW : ATSPI_COORD_TYPE_SCREEN;
    const AXValue bounds = session_->read(handle->object(), [range, &pid, type](AtspiAccessible* o) {
        AXValue box = boundsForRange(o, *range, type);
        pid = std::holds_alternative<Rect>(box) ? processOf(o) : 0;
        return box;
    });
    const auto* rect = std::get_if<Rect>(&bounds);
    const std::optional<Rect> global = rect ? toGlobal(*rect, pid) : std::nullopt;
    return global ? AXValue{*global} : AXValue{};
}

} // namespace tillory::platform::nix
