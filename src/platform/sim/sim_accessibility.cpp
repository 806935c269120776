#include "platform/sim/sim_accessibility.h"

#include "platform/sim/sim_desktop_internal.h"

#include <algorithm>

namespace tillory::platform::sim {

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

bool SimDesktop::SimAccessibility::isTrusted() const {
    return d_.trusted_;
}

bool SimDesktop::SimAccessibility::isTrustedPrompting() {
    if (!d_.trusted_) {
        ++d_.trustPrompts_;
    }
    return d_.trusted_;
}

Element SimDesktop::SimAccessibility::systemWide() {
    return makeElement(SimElement::Kind::SystemWide, 0);
}

Element SimDesktop::SimAccessibility::application(std::int32_t pid) {
    return d_.findApp(pid) ? makeElement(SimElement::Kind::Application, pid) : nullptr;
}

AXValue SimDesktop::SimAccessibility::attribute(const Element& element, const QString& name) {
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

AXValue SimDesktop::SimAccessibility::parameterizedAttribute(const Element& element, const QString& name,
                                                             const AXValue& parameter) {
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

bool SimDesktop::SimAccessibility::setAttribute(const Element& element, const QString& name, const AXValue& value) {
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
        const auto resize = [&w](Size s) {
            w.bounds.width = std::clamp(s.width, w.minimum.width, std::max(w.minimum.width, w.maximum.width));
            w.bounds.height = std::clamp(s.height, w.minimum.height, std::max(w.minimum.height, w.maximum.height));
        };
        if (const auto* p = std::get_if<Point>(&value); p && name == AXAttribute::Position) {
            w.frameWrites.emplace_back(name, value);
            if (!w.frozen) {
                w.bounds.x = p->x;
                w.bounds.y = p->y;
            }
            return true;
        }
        if (const auto* s = std::get_if<Size>(&value); s && name == AXAttribute::Size) {
            w.frameWrites.emplace_back(name, value);
            if (!w.frozen) {
                resize(*s);
            }
            return true;
        }
        if (const auto* r = std::get_if<Rect>(&value); r && name == AXAttribute::Frame) {
            w.frameWrites.emplace_back(name, value);
            if (!w.frozen) {
                w.bounds.x = r->x;
                w.bounds.y = r->y;
                resize(r->size());
            }
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

bool SimDesktop::SimAccessibility::performAction(const Element& element, const QString& action) {
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

std::uint32_t SimDesktop::SimAccessibility::windowNumber(const Element& element) {
    const SimElement* e = simElement(element);
    if (!d_.trusted_ || !e || e->kind != SimElement::Kind::Window || !d_.windowNumbersKnown_) {
        return 0;
    }
    return static_cast<std::uint32_t>(e->id);
}

AXValue SimDesktop::SimAccessibility::focusedOf(std::int32_t pid) {
    const App* app = d_.findApp(pid);
    if (!app || !app->focusedElement) {
        return {};
    }
    return makeElement(SimElement::Kind::Element, *app->focusedElement);
}

AXValue SimDesktop::SimAccessibility::applicationAttribute(std::int32_t pid, const QString& name) {
    if (name == AXAttribute::FocusedUIElement) {
        return focusedOf(pid);
    }
    std::vector<Element> windows;
    for (std::uint32_t number : d_.zOrder_) {
        const Window& w = *d_.windows_.at(number);
        if (w.pid == pid && w.accessible) {
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

AXValue SimDesktop::SimAccessibility::windowAttribute(std::uint32_t number, const QString& name) {
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

} // namespace tillory::platform::sim
