#include "platform/x11/x11_event_taps_impl.h"

namespace tillory::platform::nix {

Q_LOGGING_CATEGORY(lcTaps, "tillory.taps", QtWarningMsg)

namespace {

QString chordName(std::uint32_t keysym, std::uint16_t mods) {
    QStringList parts;
    if (mods & XMod::Super) {
        parts << QStringLiteral("Super");
    }
    if (mods & XMod::Control) {
        parts << QStringLiteral("Ctrl");
    }
    if (mods & XMod::Alt) {
        parts << QStringLiteral("Alt");
    }
    if (mods & XMod::Shift) {
        parts << QStringLiteral("Shift");
    }
    static const std::map<std::uint32_t, QString> named{
        {0xff09, QStringLiteral("Tab")},       {0xff0d, QStringLiteral("Return")}, {0xff1b, QStringLiteral("Escape")},
        {0xff08, QStringLiteral("Backspace")}, {0xffff, QStringLiteral("Delete")}, {0x20, QStringLiteral("Space")},
        {0xff51, QStringLiteral("Left")},      {0xff52, QStringLiteral("Up")},     {0xff53, QStringLiteral("Right")},
        {0xff54, QStringLiteral("Down")}};
    if (const auto found = named.find(keysym); found != named.end()) {
        parts << found->second;
    } else if (keysym > 0x20 && keysym < 0x7f) {
        parts << QString(QChar(char16_t(keysym))).toUpper();
    } else {
        parts << QStringLiteral("0x%1").arg(keysym, 0, 16);
    }
    return parts.join(QLatin1Char('+'));
}

} // namespace

class X11Tap final : public EventTap {
public:
    X11Tap(X11EventTaps::Impl& impl, std::uint64_t mask, EventCallback callback)
        : impl_(impl), mask_(mask), callback_(std::move(callback)) {
        alive_ = std::make_shared<bool>(true);
    }
    ~X11Tap() override {
        capturing_ = false;
        impl_.removeTap(this);
    }
    void setEnabled(bool enabled) override {
        if (enabled_ != enabled) {
            enabled_ = enabled;
            impl_.tapsChanged();
            impl_.updateCapture();
        }
    }
    bool isEnabled() const override { return enabled_; }
    void setTriggers(std::vector<KeyTrigger> triggers) override {
        if (triggers_ != triggers) {
            triggers_ = std::move(triggers);
            impl_.tapsChanged();
        }
    }
    bool setCapturing(bool capturing) override {
        capturing_ = capturing;
        const bool held = impl_.updateCapture();
        if (capturing && !held) {
            capturing_ = false;
            return false;
        }
        return true;
    }

    std::uint64_t mask() const { return mask_; }
    const EventCallback& callback() const { return callback_; }
    const std::vector<KeyTrigger>& triggers() const { return triggers_; }
    bool wantsCapture() const { return enabled_ && capturing_; }
    std::weak_ptr<bool> alive() const { return alive_; }

private:
    X11EventTaps::Impl& impl_;
    std::uint64_t mask_;
    EventCallback callback_;
    bool enabled_ = true;
    bool capturing_ = false;
    std::vector<KeyTrigger> triggers_;
    std::shared_ptr<bool> alive_;
};

X11EventTaps::Impl::Impl(Workspace* workspace) : workspace_(workspace) {
    clock_.start();
    int screenNumber = 0;
    c_ = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c_)) {
        return;
    }
    auto it = xcb_setup_roots_iterator(xcb_get_setup(c_));
    for (int i = 0; i < screenNumber && it.rem; ++i) {
        xcb_screen_next(&it);
    }
    if (!it.rem) {
        return;
    }
    root_ = it.data->root;

    Reply<xcb_test_get_version_reply_t> xtest(xcb_test_get_version_reply(c_, xcb_test_get_version(c_, 2, 2), nullptr));
    Reply<xcb_xkb_use_extension_reply_t> xkb(xcb_xkb_use_extension_reply(
        c_, xcb_xkb_use_extension(c_, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr));
    if (!xtest || !xkb || !xkb->supported) {
        qCWarning(lcTaps) << "the X server lacks XTest or XKB: keyboard features are off";
        return;
    }
    // Held keys then repeat as presses alone, so a repeat can be told from a new press.
    std::free(xcb_xkb_per_client_flags_reply(
        c_,
        xcb_xkb_per_client_flags(c_, XCB_XKB_ID_USE_CORE_KBD, XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT,
                                 XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT, 0, 0, 0),
        nullptr));
    syms_ = xcb_key_symbols_alloc(c_);
    available_ = syms_ != nullptr;
    if (!available_) {
        return;
    }
    watchReleases();
    notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c_), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] { readEvents(); });
    captureRetry_.setInterval(kCaptureRetryMs);
    QObject::connect(&captureRetry_, &QTimer::timeout, &captureRetry_, [this] {
        if (updateCapture(1) || !wantsCapture()) {
            captureRetry_.stop();
        }
    });
    arrivalCheck_.setSingleShot(true);
    QObject::connect(&arrivalCheck_, &QTimer::timeout, &arrivalCheck_, [this] { checkArrivals(); });
    modifierPoll_.setInterval(kModifierPollMs);
    QObject::connect(&modifierPoll_, &QTimer::timeout, &modifierPoll_, [this] { flushInjections(); });
    if (workspace_) {
        activations_ = workspace_->observeActivations([this](const AppInfo&) { updateGrabs(); });
    }
}

X11EventTaps::Impl::~Impl() {
    if (c_ && capturing_) {
        xcb_ungrab_keyboard(c_, XCB_CURRENT_TIME);
        std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
    }
    activations_.reset();
    notifier_.reset();
    if (syms_) {
        xcb_key_symbols_free(syms_);
    }
    if (c_) {
        xcb_disconnect(c_); // the server drops our grabs with the connection
    }
}

void X11EventTaps::Impl::addTap(X11Tap* tap) {
    taps_.insert(taps_.begin(), tap); // the newest tap sees events first
    updateGrabs();
}

void X11EventTaps::Impl::removeTap(X11Tap* tap) {
    std::erase(taps_, tap);
    updateGrabs();
    updateCapture();
}

std::uint32_t X11EventTaps::Impl::keysymOf(std::uint8_t keycode) const {
    return syms_ ? xcb_key_symbols_get_keysym(syms_, keycode, 0) : 0;
}

std::vector<std::uint8_t> X11EventTaps::Impl::keycodesFor(std::uint32_t keysym) const {
    std::vector<std::uint8_t> codes;
    if (!syms_ || keysym == 0) {
        return codes;
    }
    xcb_keycode_t* list = xcb_key_symbols_get_keycode(syms_, keysym);
    for (xcb_keycode_t* k = list; k && *k != XCB_NO_SYMBOL; ++k) {
        codes.push_back(*k);
    }
    std::free(list);
    return codes;
}

std::set<X11EventTaps::Impl::GrabKey> X11EventTaps::Impl::wantedGrabs() const {
    std::set<GrabKey> keys;
    std::optional<QString> front;
    bool frontAsked = false;
    for (const X11Tap* tap : taps_) {
        if (!tap->isEnabled()) {
            continue;
        }
        for (const KeyTrigger& trigger : tap->triggers()) {
            if (!trigger.onlyInApps.empty()) {
                if (!frontAsked) {
                    frontAsked = true;
                    if (auto app = workspace_ ? workspace_->frontApplication() : std::nullopt) {
                        front = app->bundleId;
                    }
                }
                if (!front || std::find(trigger.onlyInApps.begin(), trigger.onlyInApps.end(), *front) ==
                                  trigger.onlyInApps.end()) {
                    continue;
                }
            }
            const std::uint16_t base = xModsFromFlags(trigger.flags);
            const std::uint16_t others = trigger.otherFlagsAllowed ? (kChordMods & ~base) : 0;
            for (std::uint8_t keycode : keycodesFor(keysymForKeyCode(trigger.keyCode))) {
                // Every subset of the other modifiers, walked as sub-masks of `others`.
                for (std::uint16_t extra = others;; extra = (extra - 1) & others) {
                    for (std::uint16_t lock : kLockVariants) {
                        keys.insert({keycode, static_cast<std::uint16_t>(base | extra | lock)});
                    }
                    if (extra == 0) {
                        break;
                    }
                }
            }
        }
    }
    return keys;
}

void X11EventTaps::Impl::updateGrabs() {
    if (!available_) {
        return;
    }
    const std::set<GrabKey> wanted = wantedGrabs();
    for (const GrabKey& key : grabbed_) {
        if (!wanted.count(key)) {
            xcb_ungrab_key(c_, key.first, root_, key.second);
        }
    }
    std::set<GrabKey> added;
    std::set_difference(wanted.begin(), wanted.end(), grabbed_.begin(), grabbed_.end(),
                        std::inserter(added, added.end()));
    grabbed_ = wanted;
    grabKeys(added);
    xcb_flush(c_);
}

void X11EventTaps::Impl::grabKeys(const std::set<GrabKey>& keys) {
    std::vector<std::pair<GrabKey, xcb_void_cookie_t>> cookies;
    for (const GrabKey& key : keys) {
        cookies.push_back(
            {key, xcb_grab_key_checked(c_, 0, root_, key.second, key.first, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)});
    }
    for (auto& [key, cookie] : cookies) {
        Reply<xcb_generic_error_t> error(xcb_request_check(c_, cookie));
        if (!error) {
            continue;
        }
        grabbed_.erase(key);
        const QString name = chordName(keysymOf(key.first), key.second & kChordMods);
        if (!refused.contains(name)) {
            refused << name;
            qCWarning(lcTaps).noquote() << "the key" << name << "is taken by another program; it is left to it";
        }
    }
}

bool X11EventTaps::Impl::wantsCapture() const {
    return std::any_of(taps_.begin(), taps_.end(), [](const X11Tap* t) { return t->wantsCapture(); });
}

bool X11EventTaps::Impl::updateCapture(int attempts) {
    if (!available_) {
        return false;
    }
    const bool wanted = wantsCapture();
    if (wanted == capturing_) {
        return capturing_ == wanted;
    }
    if (!wanted) {
        xcb_ungrab_keyboard(c_, XCB_CURRENT_TIME);
        // A round trip: once this returns the keyboard is free for whoever asks next, on any connection.
        std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
        capturing_ = false;
        syncPressed();
        return true;
    }
    // A menu of ours that was just chosen from (the tray's) may still hold the keyboard on Qt's own connection
    // for a moment; so may the window manager while it finishes a key binding. Ask again for a short while.
    for (int attempt = 0; attempt < attempts; ++attempt) {
        Reply<xcb_grab_keyboard_reply_t> reply(xcb_grab_keyboard_reply(
            c_, xcb_grab_keyboard(c_, 0, root_, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC), nullptr));
        capturing_ = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
        if (capturing_ || !reply || reply->status == XCB_GRAB_STATUS_INVALID_TIME ||
            reply->status == XCB_GRAB_STATUS_NOT_VIEWABLE) {
            break;
        }
        if (attempt + 1 < attempts) {
            QThread::msleep(kGrabRetryMs);
        }
    }
    if (!capturing_) {
        qCWarning(lcTaps) << "could not take the keyboard: another program holds it";
    }
    return capturing_;
}

void X11EventTaps::Impl::watchReleases() {
    // Raw events reach every client that asks, whoever holds the keyboard: the releases we are not sent.
    const xcb_query_extension_reply_t* xi = xcb_get_extension_data(c_, &xcb_input_id);
    Reply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(c_, xcb_input_xi_query_version(c_, 2, 2), nullptr));
    if (!xi || !xi->present || !version) {
        return;
    }
    // The presses show when a chord we grab is held from us by another program's keyboard grab.
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t bits;
    } select{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
             XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS};
    xcb_input_xi_select_events(c_, root_, 1, &select.head);
    xinputOpcode_ = xi->major_opcode;
}

void X11EventTaps::Impl::syncPressed() {
    Reply<xcb_query_keymap_reply_t> keymap(xinputOpcode_ ? xcb_query_keymap_reply(c_, xcb_query_keymap(c_), nullptr)
                                                         : nullptr);
    pressed_.reset();
    for (int keycode = 8; keymap && keycode < 256; ++keycode) {
        pressed_[std::size_t(keycode)] = (keymap->keys[keycode / 8] & (1 << (keycode % 8))) != 0;
    }
}

void X11EventTaps::Impl::readEvents() {
    while (xcb_generic_event_t* raw = xcb_poll_for_event(c_)) {
        Reply<xcb_generic_event_t> event(raw);
        switch (event->response_type & 0x7f) {
        case XCB_GE_GENERIC: {
            auto* generic = reinterpret_cast<xcb_ge_generic_event_t*>(raw);
            if (xinputOpcode_ && generic->extension == xinputOpcode_ &&
                generic->event_type == XCB_INPUT_RAW_KEY_RELEASE) {
                pressed_[reinterpret_cast<xcb_input_raw_key_release_event_t*>(raw)->detail & 0xff] = false;
            } else if (xinputOpcode_ && generic->extension == xinputOpcode_ &&
                       generic->event_type == XCB_INPUT_RAW_KEY_PRESS) {
                const auto* press = reinterpret_cast<xcb_input_raw_key_press_event_t*>(raw);
                onRawPress(std::uint8_t(press->detail & 0xff), press->time);
            }
            break;
        }
        case XCB_KEY_PRESS:
            onKey(reinterpret_cast<const xcb_key_press_event_t*>(raw), true);
            break;
        case XCB_KEY_RELEASE:
            onKey(reinterpret_cast<const xcb_key_press_event_t*>(raw), false);
            break;
        case XCB_MAPPING_NOTIFY: {
            auto* mapping = reinterpret_cast<xcb_mapping_notify_event_t*>(raw);
            xcb_refresh_keyboard_mapping(syms_, mapping);
            if (mapping->request == XCB_MAPPING_KEYBOARD) {
                // Key codes may now type other keys: grab afresh.
                for (const GrabKey& key : grabbed_) {
                    xcb_ungrab_key(c_, key.first, root_, key.second);
                }
                grabbed_.clear();
                updateGrabs();
            }
            break;
        }
        default:
            break;
        }
    }
    if (xcb_connection_has_error(c_)) {
        qCWarning(lcTaps) << "lost the connection to the X server";
        notifier_->setEnabled(false);
        available_ = false;
    }
}

void X11EventTaps::Impl::onKey(const xcb_key_press_event_t* x, bool press) {
    const std::uint32_t keysym = keysymOf(x->detail);
    Event event;
    event.location = logicalFromNative(Point{double(x->root_x), double(x->root_y)});
    if (auto modifier = modifierKey(keysym)) {
        event.type = EventType::FlagsChanged;
        const std::uint16_t after = press ? (x->state | modifier->xMod) : (x->state & ~modifier->xMod);
        event.flags = flagsFromXState(after);
    } else {
        event.type = press ? EventType::KeyDown : EventType::KeyUp;
        event.flags = flagsFromXState(x->state);
        event.autorepeat = press && pressed_[x->detail] ? 1 : 0;
    }
    event.keyCode = keyCodeForKeysym(keysym).value_or(kUnknownKeyBase + x->detail);
    pressed_[x->detail] = press;
    if (press) {
        const std::uint16_t mods = x->state & kChordMods;
        std::erase_if(awaited_, [x](const Pressed& p) { return p.keycode == x->detail && p.time == x->time; });
        arrived_.push_back({x->detail, x->time, mods, 0});
        if (arrived_.size() > 16) {
            arrived_.pop_front();
        }
        // A chord that had stopped arriving comes again: whatever held it has let go.
        if (unheard_.removeOne(chordName(keysym, mods))) {
            refused.removeOne(chordName(keysym, mods));
        }
    }

    const qint64 now = clock_.elapsed();
    while (!expected_.empty() && expected_.front().deadline < now) {
        expected_.pop_front();
    }
    bool ours = false;
    for (auto it = expected_.begin(); it != expected_.end(); ++it) {
        if (it->keycode == x->detail && it->press == press && it->mods == (x->state & kChordMods)) {
            event.userData = it->userData;
            expected_.erase(it);
            ours = true;
            break;
        }
    }

    qCDebug(lcTaps) << (press ? "press" : "release") << x->detail << "state" << Qt::hex << x->state << Qt::dec
                    << "capturing" << capturing_ << (ours ? "(ours)" : "");
    EventResult result(event);
    const std::vector<X11Tap*> taps = taps_;
    // A key reaches us only through a grab of ours, which holds the keyboard until the key is let go.
    const bool outer = dispatching_;
    dispatching_ = true;
    for (X11Tap* tap : taps) {
        const std::weak_ptr<bool> alive = tap->alive();
        if (!tap->isEnabled() || !(tap->mask() & eventMaskBit(event.type))) {
            continue;
        }
        // Copy: the callback may destroy its own tap.
        const EventCallback callback = tap->callback();
        result = callback(event.type, *result);
        if (!result || alive.expired()) {
            break;
        }
    }
    dispatching_ = outer;
    // What is let through is typed again as a whole keystroke when its press arrives. The server has already
    // taken the key down (and, by the time a release arrives, up), so a release typed alone would be dropped
    // and a press typed alone could be taken for a repeat; modifier changes need nothing typed at all, as every
    // later key carries the modifier state the server holds.
    if (!result || !press || event.type == EventType::FlagsChanged) {
        return;
    }
    Injection injection;
    injection.since = now;
    injection.userData = ours ? -1 : 0; // what comes back a second time is dispatched like any key
    injection.press = true;
    if (*result == event) {
        injection.keycode = x->detail;
        injection.mods = x->state & kChordMods;
    } else if (auto chord = xChordFor(int(result->keyCode), result->flags)) {
        injection.chord = chord;
    } else {
        injection.keycode = x->detail;
        injection.mods = x->state & kChordMods;
    }
    enqueue(injection);
}

void X11EventTaps::Impl::onRawPress(std::uint8_t keycode, xcb_timestamp_t time) {
    const qint64 now = clock_.elapsed();
    std::erase_if(typed_, [now](const Pressed& p) { return p.deadline < now; });
    // Each press we typed ourselves comes back here once.
    const auto ours =
        std::find_if(typed_.begin(), typed_.end(), [keycode](const Pressed& p) { return p.keycode == keycode; });
    if (ours != typed_.end()) {
        typed_.erase(ours);
        return;
    }
    // While we hold the keyboard ourselves every key comes here anyway.
    if (capturing_) {
        return;
    }
    if (std::none_of(grabbed_.begin(), grabbed_.end(), [keycode](const GrabKey& k) { return k.first == keycode; })) {
        return;
    }
    if (std::any_of(arrived_.begin(), arrived_.end(),
                    [&](const Pressed& p) { return p.keycode == keycode && p.time == time; })) {
        return; // its grab brought it before its raw twin came
    }
    const std::uint16_t state = heldMods() & (kChordMods | XMod::Lock | XMod::NumLock);
    if (!grabbed_.count({keycode, state})) {
        return;
    }
    awaited_.push_back({keycode, time, std::uint16_t(state & kChordMods), now + kArrivalMs});
    if (!arrivalCheck_.isActive()) {
        arrivalCheck_.start(kArrivalMs);
    }
}

void X11EventTaps::Impl::checkArrivals() {
    const qint64 now = clock_.elapsed();
    while (!awaited_.empty() && awaited_.front().deadline <= now) {
        const Pressed missed = awaited_.front();
        awaited_.pop_front();
        const QString name = chordName(keysymOf(missed.keycode), missed.mods);
        if (!refused.contains(name)) {
            refused << name;
            unheard_ << name;
            qCWarning(lcTaps).noquote() << "the key" << name
                                        << "never reaches Tillory: another program holds the keyboard while it is "
                                           "pressed (a window manager that binds a modifier key alone does)";
        }
    }
    if (!awaited_.empty()) {
        arrivalCheck_.start(int(awaited_.front().deadline - now));
    }
}

std::uint16_t X11EventTaps::Impl::heldMods() const {
    if (!available_) {
        return 0;
    }
    Reply<xcb_query_pointer_reply_t> reply(xcb_query_pointer_reply(c_, xcb_query_pointer(c_, root_), nullptr));
    return reply ? reply->mask : 0;
}

bool X11EventTaps::Impl::isDown(std::uint8_t keycode) const {
    Reply<xcb_query_keymap_reply_t> keymap(xcb_query_keymap_reply(c_, xcb_query_keymap(c_), nullptr));
    return keymap && (keymap->keys[keycode / 8] & (1 << (keycode % 8)));
}

void X11EventTaps::Impl::typeChord(const XChord& chord, std::int64_t userData) {
    // Typed whole on the press: a key or modifier of ours left down could repeat or ride on the user's next
    // key. The release that the logic sends after it then has nothing left to do.
    const std::vector<std::uint8_t> keys = keycodesFor(chord.keysym);
    if (keys.empty()) {
        return;
    }
    const std::uint16_t missing = chord.mods & ~(heldMods() & kChordMods);
    std::vector<std::uint8_t> modifierKeys;
    for (std::uint32_t keysym : modifierKeysyms(missing)) {
        const std::vector<std::uint8_t> codes = keycodesFor(keysym);
        if (!codes.empty()) {
            modifierKeys.push_back(codes.front());
        }
    }
    // Only the chord's own key is watched for: the modifiers typed around it are never grabbed as triggers.
    std::vector<Keystroke> strokes;
    // The user may still hold the key (Super let go before V): ours would be a repeat, which the server drops
    // where repeat is off and the application may ignore elsewhere. Let it up first.
    if (isDown(keys.front())) {
        strokes.push_back({keys.front(), false, 0, -1});
    }
    for (std::uint8_t modifier : modifierKeys) {
        strokes.push_back({modifier, true, 0, -1});
    }
    strokes.push_back({keys.front(), true, chord.mods, userData});
    strokes.push_back({keys.front(), false, chord.mods, userData});
    for (auto it = modifierKeys.rbegin(); it != modifierKeys.rend(); ++it) {
        strokes.push_back({*it, false, 0, -1});
    }
    type(strokes);
}

void X11EventTaps::Impl::releaseHeldModifiers(std::uint16_t mods) {
    Reply<xcb_query_keymap_reply_t> keymap(xcb_query_keymap_reply(c_, xcb_query_keymap(c_), nullptr));
    if (!keymap) {
        return;
    }
    std::vector<Keystroke> strokes;
    for (int keycode = 8; keycode < 256; ++keycode) {
        if (!(keymap->keys[keycode / 8] & (1 << (keycode % 8)))) {
            continue;
        }
        auto modifier = modifierKey(keysymOf(static_cast<std::uint8_t>(keycode)));
        if (modifier && (modifier->xMod & mods)) {
            strokes.push_back({static_cast<std::uint8_t>(keycode), false, 0, -1});
        }
    }
    type(strokes);
}

X11EventTaps::X11EventTaps(Workspace* workspace) : d_(std::make_unique<Impl>(workspace)) {}

X11EventTaps::~X11EventTaps() = default;

bool X11EventTaps::isAvailable() const {
    return d_->available();
}

std::unique_ptr<EventTap> X11EventTaps::createTap(std::uint64_t mask, EventCallback callback) {
    constexpr std::uint64_t keyboard =
        eventMaskBit(EventType::KeyDown) | eventMaskBit(EventType::KeyUp) | eventMaskBit(EventType::FlagsChanged);
    if ((mask & keyboard) == 0) {
        return createMouseTap(mask, std::move(callback));
    }
    if (!d_->available() || (mask & ~keyboard) != 0 || !callback) {
        return nullptr;
    }
    auto tap = std::make_unique<X11Tap>(*d_, mask, std::move(callback));
    d_->addTap(tap.get());
    return tap;
}

bool X11EventTaps::post(const Event& event) {
    if (!d_->available() || (event.type != EventType::KeyDown && event.type != EventType::KeyUp) ||
        !xChordFor(int(event.keyCode), event.flags)) {
        return false;
    }
    d_->post(event);
    return true;
}

std::uint64_t X11EventTaps::currentFlags() const {
    return flagsFromXState(d_->heldMods());
}

SubscriptionPtr X11EventTaps::monitorClicksElsewhere(std::uint64_t mask, std::function<void(const Event&)> onClick) {
    return X11ClickMonitors::elsewhere(mask, std::move(onClick));
}

SubscriptionPtr X11EventTaps::monitorOwnClicks(std::uint64_t mask,
                                               std::function<void(const Event&, std::uint64_t)> onClick) {
    return X11ClickMonitors::own(mask, std::move(onClick));
}

bool X11EventTaps::holdsKeyboard() const {
    return d_->holdsKeyboard();
}

QStringList X11EventTaps::refusedChords() const {
    return d_->refused;
}

int X11EventTaps::pendingInjections() const {
    return d_->pending();
}

} // namespace tillory::platform::nix
