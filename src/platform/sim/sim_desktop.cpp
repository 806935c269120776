#include "platform/sim/sim_desktop.h"

#include <algorithm>

namespace tillory::platform::sim {

struct SimDesktop::App {
    AppInfo info;
    std::optional<int> focusedElement;
    std::vector<Event> received;
};

struct SimDesktop::Window {
    std::int32_t pid = 0;
    QString title;
    Rect bounds;
    bool minimized = false;
};

struct SimDesktop::ElementData {
    std::int32_t pid = 0;
    QMap<QString, AXValue> attributes;
    std::function<AXValue(TextRange)> boundsForRange;
    std::vector<TextRange> queries;
};

struct SimDesktop::Tap {
    std::uint64_t mask = 0;
    EventCallback callback;
    bool enabled = true;
    std::vector<KeyTrigger> triggers;
    bool capturing = false;
};

namespace {

struct SimElement final : ElementHandle {
    enum class Kind { SystemWide, Application, Window, Element };
    SimElement(Kind k, std::int64_t i) : kind(k), id(i) {}
    Kind kind;
    std::int64_t id;
};

const SimElement* simElement(const Element& element) {
    return dynamic_cast<const SimElement*>(element.get());
}

Element makeElement(SimElement::Kind kind, std::int64_t id) {
    return std::make_shared<SimElement>(kind, id);
}

} // namespace

class SimDesktop::SimSubscription final : public Subscription {
public:
    SimSubscription(std::weak_ptr<bool> alive, std::function<void()> end)
        : alive_(std::move(alive)), end_(std::move(end)) {}
    ~SimSubscription() override {
        if (alive_.lock()) {
            end_();
        }
    }

private:
    std::weak_ptr<bool> alive_;
    std::function<void()> end_;
};

class SimDesktop::SimAccessibility final : public Accessibility {
public:
    explicit SimAccessibility(SimDesktop& d) : d_(d) {}

    bool isTrusted() const override { return d_.trusted_; }
    bool isTrustedPrompting() override {
        if (!d_.trusted_) {
            ++d_.trustPrompts_;
        }
        return d_.trusted_;
    }
    Element systemWide() override { return makeElement(SimElement::Kind::SystemWide, 0); }
    Element application(std::int32_t pid) override {
        return d_.findApp(pid) ? makeElement(SimElement::Kind::Application, pid) : nullptr;
    }

    AXValue attribute(const Element& element, const QString& name) override {
        const SimElement* e = simElement(element);
        if (!d_.trusted_ || !e) {
            return {};
        }
        switch (e->kind) {
        case SimElement::Kind::SystemWide:
            if (name == AXAttribute::FocusedUIElement && d_.front_) {
                return focusedOf(*d_.front_);
            }
            return {};
        case SimElement::Kind::Application:
            return applicationAttribute(static_cast<std::int32_t>(e->id), name);
        case SimElement::Kind::Window:
            return windowAttribute(static_cast<std::uint32_t>(e->id), name);
        case SimElement::Kind::Element: {
            auto found = d_.elements_.find(static_cast<int>(e->id));
            return found == d_.elements_.end() ? AXValue{} : found->second->attributes.value(name);
        }
        }
        return {};
    }

    AXValue parameterizedAttribute(const Element& element, const QString& name, const AXValue& parameter) override {
        const SimElement* e = simElement(element);
        if (!d_.trusted_ || !e || e->kind != SimElement::Kind::Element || name != AXAttribute::BoundsForRange) {
            return {};
        }
        auto found = d_.elements_.find(static_cast<int>(e->id));
        const auto* range = std::get_if<TextRange>(&parameter);
        if (found == d_.elements_.end() || !range) {
            return {};
        }
        found->second->queries.push_back(*range);
        return found->second->boundsForRange ? found->second->boundsForRange(*range) : AXValue{};
    }

    bool setAttribute(const Element& element, const QString& name, const AXValue& value) override {
        const SimElement* e = simElement(element);
        if (!d_.trusted_ || !e) {
            return false;
        }
        if (e->kind == SimElement::Kind::Window) {
            auto found = d_.windows_.find(static_cast<std::uint32_t>(e->id));
            if (found == d_.windows_.end()) {
                return false;
            }
            Window& w = *found->second;
            if (const auto* p = std::get_if<Point>(&value); p && name == AXAttribute::Position) {
                w.bounds.x = p->x;
                w.bounds.y = p->y;
                return true;
            }
            if (const auto* s = std::get_if<Size>(&value); s && name == AXAttribute::Size) {
                w.bounds.width = s->width;
                w.bounds.height = s->height;
                return true;
            }
            if (const auto* b = std::get_if<bool>(&value); b && name == AXAttribute::Minimized) {
                w.minimized = *b;
                return true;
            }
            return false;
        }
        if (e->kind == SimElement::Kind::Element) {
            auto found = d_.elements_.find(static_cast<int>(e->id));
            if (found == d_.elements_.end()) {
                return false;
            }
            found->second->attributes.insert(name, value);
            return true;
        }
        return false;
    }

    bool performAction(const Element& element, const QString& action) override {
        const SimElement* e = simElement(element);
        if (!d_.trusted_ || !e || e->kind != SimElement::Kind::Window || action != kAXRaiseAction) {
            return false;
        }
        const auto number = static_cast<std::uint32_t>(e->id);
        auto& z = d_.zOrder_;
        auto it = std::find(z.begin(), z.end(), number);
        if (it == z.end()) {
            return false;
        }
        z.erase(it);
        z.insert(z.begin(), number);
        return true;
    }

    std::uint32_t windowNumber(const Element& element) override {
        const SimElement* e = simElement(element);
        if (!d_.trusted_ || !e || e->kind != SimElement::Kind::Window) {
            return 0;
        }
        return static_cast<std::uint32_t>(e->id);
    }

private:
    AXValue focusedOf(std::int32_t pid) {
        const App* app = d_.findApp(pid);
        if (!app || !app->focusedElement) {
            return {};
        }
        return makeElement(SimElement::Kind::Element, *app->focusedElement);
    }

    AXValue applicationAttribute(std::int32_t pid, const QString& name) {
        if (name == AXAttribute::FocusedUIElement) {
            return focusedOf(pid);
        }
        std::vector<Element> windows;
        for (std::uint32_t number : d_.zOrder_) {
            const Window& w = *d_.windows_.at(number);
            if (w.pid == pid) {
                windows.push_back(makeElement(SimElement::Kind::Window, number));
            }
        }
        if (name == AXAttribute::Windows) {
            return windows;
        }
        if (name == AXAttribute::FocusedWindow) {
            for (std::uint32_t number : d_.zOrder_) {
                const Window& w = *d_.windows_.at(number);
                if (w.pid == pid && !w.minimized) {
                    return makeElement(SimElement::Kind::Window, number);
                }
            }
        }
        return {};
    }

    AXValue windowAttribute(std::uint32_t number, const QString& name) {
        auto found = d_.windows_.find(number);
        if (found == d_.windows_.end()) {
            return {};
        }
        const Window& w = *found->second;
        if (name == AXAttribute::Title) {
            return w.title;
        }
        if (name == AXAttribute::Position) {
            return w.bounds.origin();
        }
        if (name == AXAttribute::Size) {
            return w.bounds.size();
        }
        if (name == AXAttribute::Minimized) {
            return w.minimized;
        }
        if (name == AXAttribute::Role) {
            return AXRole::Window;
        }
        return {};
    }

    SimDesktop& d_;
};

class SimDesktop::SimEventTap final : public EventTap {
public:
    SimEventTap(SimDesktop& d, std::unique_ptr<Tap> tap, std::weak_ptr<bool> alive)
        : d_(d), tap_(std::move(tap)), alive_(std::move(alive)) {}
    ~SimEventTap() override {
        if (alive_.lock()) {
            std::erase(d_.taps_, tap_.get());
        }
    }
    void setEnabled(bool enabled) override { tap_->enabled = enabled; }
    bool isEnabled() const override { return tap_->enabled; }
    void setTriggers(std::vector<KeyTrigger> triggers) override { tap_->triggers = std::move(triggers); }
    bool setCapturing(bool capturing) override {
        if (capturing && d_.captureFails_) {
            tap_->capturing = false;
            return false;
        }
        tap_->capturing = capturing;
        return true;
    }

private:
    SimDesktop& d_;
    std::unique_ptr<Tap> tap_;
    std::weak_ptr<bool> alive_;
};

class SimDesktop::SimEventTaps final : public EventTaps {
public:
    explicit SimEventTaps(SimDesktop& d) : d_(d) {}
    std::unique_ptr<EventTap> createTap(std::uint64_t mask, EventCallback callback) override {
        if (!d_.trusted_ || d_.tapCreationFails_) {
            return nullptr;
        }
        auto tap = std::make_unique<Tap>();
        tap->mask = mask;
        tap->callback = std::move(callback);
        d_.taps_.insert(d_.taps_.begin(), tap.get());
        return std::make_unique<SimEventTap>(d_, std::move(tap), d_.alive_);
    }
    bool post(const Event& event) override {
        std::weak_ptr<bool> alive = d_.alive_;
        SimDesktop* d = &d_;
        d_.scheduler_.post([alive, d, event] {
            if (!alive.lock()) {
                return;
            }
            d->posted_.push_back(event);
            if (auto result = d->runThroughTaps(event)) {
                d->deliver(*result);
            }
        });
        return true;
    }
    std::uint64_t currentFlags() const override { return d_.flags_; }
    SubscriptionPtr monitorClicksElsewhere(std::uint64_t mask, std::function<void(const Event&)> onClick) override {
        return addMonitor(mask, false, [onClick = std::move(onClick)](const Event& e, std::uint64_t) { onClick(e); });
    }
    SubscriptionPtr monitorOwnClicks(std::uint64_t mask,
                                     std::function<void(const Event&, std::uint64_t)> onClick) override {
        return addMonitor(mask, true, std::move(onClick));
    }

private:
    SubscriptionPtr addMonitor(std::uint64_t mask, bool own, std::function<void(const Event&, std::uint64_t)> cb) {
        const int id = d_.nextObserver_++;
        d_.clickMonitors_[id] = {mask, own, std::move(cb)};
        SimDesktop* d = &d_;
        return std::make_unique<SimSubscription>(d_.alive_, [d, id] { d->clickMonitors_.erase(id); });
    }

    SimDesktop& d_;
};

class SimDesktop::SimWindowList final : public WindowList {
public:
    explicit SimWindowList(SimDesktop& d) : d_(d) {}
    std::vector<WindowInfo> windows(unsigned options) override {
        std::vector<WindowInfo> list;
        for (std::uint32_t number : d_.zOrder_) {
            const Window& w = *d_.windows_.at(number);
            if ((options & static_cast<unsigned>(WindowListOption::OnScreenOnly)) && w.minimized) {
                continue;
            }
            list.push_back(*d_.window(number));
        }
        return list;
    }

private:
    SimDesktop& d_;
};

class SimDesktop::SimScreenCapture final : public ScreenCapture {
public:
    explicit SimScreenCapture(SimDesktop& d) : d_(d) {}
    bool hasAccess() const override { return d_.captureAllowed_; }
    bool requestAccess() override {
        ++d_.captureRequests_;
        return d_.captureAllowed_;
    }

private:
    SimDesktop& d_;
};

class SimDesktop::SimPasteboard final : public Pasteboard {
public:
    explicit SimPasteboard(SimDesktop& d) : d_(d) {}
    std::int64_t changeCount() override { return d_.changeCount_; }
    QStringList types() override { return d_.types_; }
    std::optional<QString> string() override { return d_.text_; }
    std::optional<QByteArray> data(const QString& type) override {
        if (type == PasteboardType::RTF) {
            return d_.rtf_;
        }
        if (type == PasteboardType::String && d_.text_) {
            return d_.text_->toUtf8();
        }
        return std::nullopt;
    }
    std::int64_t write(const QString& text, const std::optional<QByteArray>& rtf) override {
        if (d_.duringWrite_) {
            const auto duringWrite = d_.duringWrite_; // it may set another
            duringWrite();
        }
        d_.copy(text, {}, rtf);
        return d_.changeCount_;
    }

private:
    SimDesktop& d_;
};

class SimDesktop::SimWorkspace final : public Workspace {
public:
    explicit SimWorkspace(SimDesktop& d) : d_(d) {}
    std::optional<AppInfo> frontApplication() override { return d_.frontApp(); }
    std::vector<AppInfo> runningApplications() override {
        std::vector<AppInfo> list;
        for (const auto& app : d_.apps_) {
            list.push_back(app->info);
        }
        return list;
    }
    SubscriptionPtr observeActivations(std::function<void(const AppInfo&)> onActivate) override {
        const int id = d_.nextObserver_++;
        d_.activationObservers_[id] = std::move(onActivate);
        SimDesktop* d = &d_;
        return std::make_unique<SimSubscription>(d_.alive_, [d, id] { d->activationObservers_.erase(id); });
    }
    bool openUrl(const QUrl& url) override {
        if (!url.isValid()) {
            return false;
        }
        d_.openedUrls_.push_back(url);
        return true;
    }

private:
    SimDesktop& d_;
};

class SimDesktop::SimScreens final : public Screens {
public:
    explicit SimScreens(SimDesktop& d) : d_(d) {}
    std::vector<ScreenInfo> screens() override { return d_.screens_; }
    Point mouseLocation() override { return d_.mouse_; }
    double doubleClickInterval() override { return 0.5; }
    SubscriptionPtr observeChanges(std::function<void()> onChange) override {
        const int id = d_.nextObserver_++;
        d_.screenObservers_[id] = std::move(onChange);
        SimDesktop* d = &d_;
        return std::make_unique<SimSubscription>(d_.alive_, [d, id] { d->screenObservers_.erase(id); });
    }

private:
    SimDesktop& d_;
};

class SimDesktop::SimLoginItem final : public LoginItem {
public:
    explicit SimLoginItem(SimDesktop& d) : d_(d) {}
    bool isEnabled() override { return d_.loginEnabled_; }
    bool registerItem() override { return change(true); }
    bool unregisterItem() override { return change(false); }

private:
    bool change(bool enabled) {
        ++d_.loginCalls_;
        if (d_.loginRefuses_) {
            return false;
        }
        d_.loginEnabled_ = enabled;
        return true;
    }
    SimDesktop& d_;
};

class SimDesktop::SimProcessRunner final : public ProcessRunner {
public:
    explicit SimProcessRunner(SimDesktop& d) : d_(d) {}
    bool run(const QString& program, const QStringList& arguments, std::function<void(int)> onExit) override {
        auto found = d_.programs_.find(program);
        if (found == d_.programs_.end()) {
            return false;
        }
        d_.runs_.push_back({program, arguments});
        const int code = found.value();
        d_.scheduler_.post([onExit = std::move(onExit), code] { onExit(code); });
        return true;
    }

private:
    SimDesktop& d_;
};

SimDesktop::SimDesktop(core::Scheduler& scheduler)
    : scheduler_(scheduler), alive_(std::make_shared<bool>(true)),
      accessibility_(std::make_unique<SimAccessibility>(*this)), eventTaps_(std::make_unique<SimEventTaps>(*this)),
      windowList_(std::make_unique<SimWindowList>(*this)), screenCapture_(std::make_unique<SimScreenCapture>(*this)),
      pasteboard_(std::make_unique<SimPasteboard>(*this)), workspace_(std::make_unique<SimWorkspace>(*this)),
      screensService_(std::make_unique<SimScreens>(*this)), loginItem_(std::make_unique<SimLoginItem>(*this)),
      processRunner_(std::make_unique<SimProcessRunner>(*this)), powerSources_(std::make_unique<SimPowerSources>()),
      smc_(std::make_unique<SimSmc>()) {
    screens_.push_back({Rect{0, 0, 1440, 900}, Rect{0, 0, 1440, 875}});
}

SimDesktop::~SimDesktop() {
    alive_.reset();
}

class SimDesktop::SimPowerSources final : public PowerSources {
public:
    std::optional<std::vector<std::optional<QVariantMap>>> powerSources() override {
        return std::vector<std::optional<QVariantMap>>{};
    }
    std::optional<QVariantMap> batteryProperties() override { return std::nullopt; }
    int thermalState() override { return 0; }
};

class SimDesktop::SimSmc final : public Smc {
public:
    std::unique_ptr<SmcClient> open() override { return nullptr; }
};

Platform SimDesktop::platform() {
    Platform p;
    p.accessibility = accessibility_.get();
    p.eventTaps = eventTaps_.get();
    p.windowList = windowList_.get();
    p.screenCapture = screenCapture_.get();
    p.pasteboard = pasteboard_.get();
    p.workspace = workspace_.get();
    p.screens = screensService_.get();
    p.loginItem = loginItem_.get();
    p.processRunner = processRunner_.get();
    p.systemCounters = &counters_;
    p.powerSources = powerSources_.get();
    p.smc = smc_.get();
    p.bundleIdentifier = QStringLiteral("app.tillory.Tillory");
    return p;
}

SimDesktop::App* SimDesktop::findApp(std::int32_t pid) {
    for (auto& app : apps_) {
        if (app->info.pid == pid) {
            return app.get();
        }
    }
    return nullptr;
}

const SimDesktop::App* SimDesktop::findApp(std::int32_t pid) const {
    return const_cast<SimDesktop*>(this)->findApp(pid);
}

std::int32_t SimDesktop::launchApp(const QString& bundleId, const QString& name) {
    auto app = std::make_unique<App>();
    app->info = AppInfo{nextPid_++, bundleId, name};
    const auto pid = app->info.pid;
    apps_.push_back(std::move(app));
    if (!front_) {
        front_ = pid;
    }
    return pid;
}

void SimDesktop::quitApp(std::int32_t pid) {
    for (auto it = windows_.begin(); it != windows_.end();) {
        if (it->second->pid == pid) {
            std::erase(zOrder_, it->first);
            it = windows_.erase(it);
        } else {
            ++it;
        }
    }
    std::erase_if(elements_, [pid](const auto& item) { return item.second->pid == pid; });
    std::erase_if(apps_, [pid](const auto& app) { return app->info.pid == pid; });
    if (front_ == pid) {
        front_.reset();
    }
}

void SimDesktop::activate(std::int32_t pid) {
    App* app = findApp(pid);
    if (!app) {
        return;
    }
    front_ = pid;
    // The application's windows come to the front together, keeping their own order.
    std::stable_partition(zOrder_.begin(), zOrder_.end(),
                          [this, pid](std::uint32_t n) { return windows_.at(n)->pid == pid; });
    const AppInfo info = app->info;
    auto observers = activationObservers_;
    for (auto& [id, observer] : observers) {
        if (activationObservers_.count(id)) {
            observer(info);
        }
    }
}

std::optional<AppInfo> SimDesktop::frontApp() const {
    if (!front_) {
        return std::nullopt;
    }
    const App* app = findApp(*front_);
    return app ? std::optional<AppInfo>(app->info) : std::nullopt;
}

std::uint32_t SimDesktop::openWindow(std::int32_t pid, const QString& title, Rect bounds) {
    const auto number = nextWindow_++;
    auto w = std::make_unique<Window>();
    w->pid = pid;
    w->title = title;
    w->bounds = bounds;
    windows_[number] = std::move(w);
    zOrder_.insert(zOrder_.begin(), number);
    return number;
}

void SimDesktop::closeWindow(std::uint32_t number) {
    windows_.erase(number);
    std::erase(zOrder_, number);
}

void SimDesktop::setWindowBounds(std::uint32_t number, Rect bounds) {
    if (auto found = windows_.find(number); found != windows_.end()) {
        found->second->bounds = bounds;
    }
}

void SimDesktop::setWindowMinimized(std::uint32_t number, bool minimized) {
    if (auto found = windows_.find(number); found != windows_.end()) {
        found->second->minimized = minimized;
    }
}

std::optional<WindowInfo> SimDesktop::window(std::uint32_t number) const {
    auto found = windows_.find(number);
    if (found == windows_.end()) {
        return std::nullopt;
    }
    const Window& w = *found->second;
    const App* app = findApp(w.pid);
    WindowInfo info;
    info.number = number;
    info.ownerPid = w.pid;
    info.ownerName = app ? app->info.name : QString();
    info.name = w.title;
    info.bounds = w.bounds;
    info.isOnscreen = !w.minimized;
    return info;
}

const std::vector<Event>& SimDesktop::receivedEvents(std::int32_t pid) const {
    static const std::vector<Event> none;
    const App* app = findApp(pid);
    return app ? app->received : none;
}

int SimDesktop::addElement(std::int32_t pid, const QString& role, Rect frame) {
    const int id = nextElement_++;
    auto data = std::make_unique<ElementData>();
    data->pid = pid;
    data->attributes.insert(AXAttribute::Role, role);
    data->attributes.insert(AXAttribute::Position, frame.origin());
    data->attributes.insert(AXAttribute::Size, frame.size());
    elements_[id] = std::move(data);
    return id;
}

void SimDesktop::setElementAttribute(int element, const QString& name, AXValue value) {
    if (auto found = elements_.find(element); found != elements_.end()) {
        if (std::holds_alternative<std::monostate>(value)) {
            found->second->attributes.remove(name);
        } else {
            found->second->attributes.insert(name, std::move(value));
        }
    }
}

void SimDesktop::setBoundsForRange(int element, std::function<AXValue(TextRange)> bounds) {
    if (auto found = elements_.find(element); found != elements_.end()) {
        found->second->boundsForRange = std::move(bounds);
    }
}

void SimDesktop::focusElement(std::int32_t pid, int element) {
    if (App* app = findApp(pid)) {
        app->focusedElement = element;
    }
}

std::vector<TextRange> SimDesktop::boundsQueries(int element) const {
    auto found = elements_.find(element);
    return found == elements_.end() ? std::vector<TextRange>{} : found->second->queries;
}

void SimDesktop::copy(const std::optional<QString>& text, const QStringList& extraTypes,
                      const std::optional<QByteArray>& rtf) {
    ++changeCount_;
    text_ = text;
    rtf_ = rtf;
    types_.clear();
    if (text) {
        types_.append(PasteboardType::String);
    }
    if (rtf) {
        types_.append(PasteboardType::RTF);
    }
    types_.append(extraTypes);
}

EventResult SimDesktop::runThroughTaps(Event event) {
    const std::uint64_t bit = eventMaskBit(event.type);
    auto taps = taps_; // a callback may destroy its own tap
    for (Tap* tap : taps) {
        if (std::find(taps_.begin(), taps_.end(), tap) == taps_.end() || !tap->enabled || !(tap->mask & bit)) {
            continue;
        }
        auto result = tap->callback(event.type, event);
        if (!result) {
            return std::nullopt;
        }
        event = *result;
    }
    return event;
}

void SimDesktop::deliver(const Event& event) {
    if (event.type == EventType::FlagsChanged) {
        flags_ = event.flags;
    }
    if (front_) {
        if (App* app = findApp(*front_)) {
            app->received.push_back(event);
        }
    }
}

EventResult SimDesktop::inject(Event event) {
    if (event.type == EventType::FlagsChanged) {
        flags_ = event.flags; // the hardware state changes whether or not a tap lets the event on
    }
    auto result = runThroughTaps(event);
    if (result) {
        deliver(*result);
    }
    return result;
}

void SimDesktop::disableTaps(EventType reason) {
    auto taps = taps_;
    for (Tap* tap : taps) {
        if (std::find(taps_.begin(), taps_.end(), tap) == taps_.end()) {
            continue;
        }
        tap->enabled = false;
        Event notice;
        notice.type = reason;
        tap->callback(reason, notice);
    }
}

int SimDesktop::liveTapCount() const {
    return static_cast<int>(taps_.size());
}

int SimDesktop::enabledTapCount() const {
    return static_cast<int>(std::count_if(taps_.begin(), taps_.end(), [](const Tap* t) { return t->enabled; }));
}

void SimDesktop::setScreens(std::vector<ScreenInfo> screens) {
    screens_ = std::move(screens);
    auto observers = screenObservers_;
    for (auto& [id, observer] : observers) {
        if (screenObservers_.count(id)) {
            observer();
        }
    }
}

std::vector<KeyTrigger> SimDesktop::tapTriggers() const {
    return taps_.empty() ? std::vector<KeyTrigger>{} : taps_.front()->triggers;
}

bool SimDesktop::tapCapturing() const {
    return !taps_.empty() && taps_.front()->capturing;
}

void SimDesktop::clickElsewhere(EventType type, Point location) {
    Event event;
    event.type = type;
    event.location = location;
    auto monitors = clickMonitors_; // a monitor may end itself or others
    for (auto& [id, monitor] : monitors) {
        if (clickMonitors_.count(id) && !monitor.own && (monitor.mask & eventMaskBit(type))) {
            // The system hands global monitors their events asynchronously.
            std::weak_ptr<bool> alive = alive_;
            scheduler_.post([this, alive, id, event] {
                if (alive.lock() && clickMonitors_.count(id)) {
                    auto callback = clickMonitors_[id].callback;
                    callback(event, 0);
                }
            });
        }
    }
}

void SimDesktop::clickOwnWindow(EventType type, Point location, std::uint64_t window) {
    Event event;
    event.type = type;
    event.location = location;
    auto monitors = clickMonitors_;
    for (auto& [id, monitor] : monitors) {
        if (clickMonitors_.count(id) && monitor.own && (monitor.mask & eventMaskBit(type))) {
            monitor.callback(event, window);
        }
    }
}

} // namespace tillory::platform::sim
