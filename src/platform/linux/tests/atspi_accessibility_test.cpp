// Reads other applications' text widgets over AT-SPI: GTK 3 windows from tests/data/atspi_text_client.py on a
// private X server (openbox) and a private session bus.
#include "platform/linux/atspi_accessibility.h"
#include "platform/x11/tests/x_test_env.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <optional>

namespace tillory::platform::nix {
namespace {

using testing::pumpUntil;
using testing::XEnvironment;
using Clock = std::chrono::steady_clock;

constexpr double kTolerance = 3; // pixels: widget frames are whole pixels in both sources
// Debian's own interpreter: another python3 earlier on PATH may lack the GObject bindings.
const QString kPython = QStringLiteral("/usr/bin/python3");

/// The test program's own session bus (and runtime folder), started before the QGuiApplication so that neither
/// Qt, the clients nor the backend reach the machine's bus or autolaunch one.
class SessionBusEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
            reason_ = QStringLiteral("dbus-daemon is not available");
            return;
        }
        qputenv("XDG_RUNTIME_DIR", runtime_.path().toLocal8Bit()); // QTemporaryDir makes it mode 700
        qunsetenv("AT_SPI_BUS_ADDRESS");
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!daemon_.waitForReadyRead(30000)) {
            reason_ = QStringLiteral("a working dbus-daemon is not available");
            return;
        }
        qputenv("DBUS_SESSION_BUS_ADDRESS", daemon_.readLine().trimmed());
    }
    void TearDown() override {
        // The accessibility bus launcher and registry it activated leave with it.
        daemon_.terminate();
        daemon_.waitForFinished(5000);
    }
    static QString skipReason() { return instance_ ? instance_->reason_ : QStringLiteral("no session bus"); }
    static bool install() {
        instance_ = new SessionBusEnvironment;
        ::testing::AddGlobalTestEnvironment(instance_);
        return true;
    }

private:
    QTemporaryDir runtime_;
    QProcess daemon_;
    QString reason_;
    static inline SessionBusEnvironment* instance_ = nullptr;
};

// The child that checks the program without any bus starts neither.
constexpr const char* kWithoutBusMarker = "TILLORY_ATSPI_TEST_WITHOUT_BUS";
bool withoutBus() {
    return qEnvironmentVariableIsSet(kWithoutBusMarker);
}

// Set up in this order: the bus first, then X and the QGuiApplication.
const bool kBusInstalled = !withoutBus() && SessionBusEnvironment::install();
const bool kXInstalled = !withoutBus() && XEnvironment::install(true);

QString clientScript() {
    return QFileInfo(QStringLiteral(__FILE__)).absolutePath() + QStringLiteral("/data/atspi_text_client.py");
}

QString skipReason() {
    if (QString reason = SessionBusEnvironment::skipReason(); !reason.isEmpty()) {
        return reason;
    }
    if (QString reason = XEnvironment::skipReason(); !reason.isEmpty()) {
        return reason;
    }
    static const QString importGtk =
        QStringLiteral("import gi; gi.require_version('Gtk', '3.0'); from gi.repository import Gtk");
    static const bool gtk = testing::XServer::run(kPython, {QStringLiteral("-c"), importGtk}) == 0;
    return gtk ? QString()
               : QStringLiteral("/usr/bin/python3 with GTK 3 (python3-gi, gir1.2-gtk-3.0) is not available");
}

/// One GTK 3 window whose focused text widget the tests read; killed at the end of its scope.
class TextClient {
public:
    explicit TextClient(const QStringList& arguments) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(kPython, QStringList{clientScript()} + arguments);
    }
    ~TextClient() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    TextClient(const TextClient&) = delete;
    TextClient& operator=(const TextClient&) = delete;

    /// The focused widget's frame in root pixels once the window is active; nothing if the client failed.
    std::optional<Rect> ready() { return frameAfter("READY"); }
    /// Sends one stdin command and waits for its acknowledgement.
    bool send(const QByteArray& command) {
        process_.write(command + '\n');
        return nextLine().startsWith("OK");
    }
    /// Moves the focus to the second entry of a "pair" client; its frame.
    std::optional<Rect> focusSecond() {
        process_.write("focus-second\n");
        return frameAfter("FOCUSED");
    }
    bool quit() {
        process_.write("quit\n");
        return pumpUntil([this] { return process_.state() == QProcess::NotRunning; }, 10000);
    }
    qint64 pid() const { return process_.processId(); }

private:
    QByteArray nextLine() {
        pumpUntil([this] { return process_.canReadLine() || process_.state() == QProcess::NotRunning; }, 15000);
        return process_.canReadLine() ? process_.readLine().trimmed() : QByteArray();
    }
    std::optional<Rect> frameAfter(const QByteArray& tag) {
        for (QByteArray line = nextLine(); !line.isEmpty(); line = nextLine()) {
            if (line.startsWith(tag + ' ')) {
                const QJsonObject frame = QJsonDocument::fromJson(line.mid(tag.size() + 1)).object();
                return Rect{frame[QStringLiteral("x")].toDouble(), frame[QStringLiteral("y")].toDouble(),
                            frame[QStringLiteral("width")].toDouble(), frame[QStringLiteral("height")].toDouble()};
            }
        }
        return std::nullopt;
    }

    QProcess process_;
};

template <typename T> std::optional<T> as(const AXValue& value) {
    if (const T* found = std::get_if<T>(&value)) {
        return *found;
    }
    return std::nullopt;
}

bool isNothing(const AXValue& value) {
    return std::holds_alternative<std::monostate>(value);
}

::testing::AssertionResult liesWithin(const Rect& inner, const Rect& outer) {
    if (inner.minX() >= outer.minX() - kTolerance && inner.maxX() <= outer.maxX() + kTolerance &&
        inner.minY() >= outer.minY() - kTolerance && inner.maxY() <= outer.maxY() + kTolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "(" << inner.x << "," << inner.y << " " << inner.width << "x"
                                         << inner.height << ") is not inside (" << outer.x << "," << outer.y << " "
                                         << outer.width << "x" << outer.height << ")";
}

class AtspiAccessibilityTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const QString reason = skipReason(); !reason.isEmpty()) {
            GTEST_SKIP() << reason.toStdString();
        }
        ax_ = std::make_unique<AtspiAccessibility>([] { return true; });
        ASSERT_TRUE(ax_->available()) << "the accessibility bus did not answer";
    }

    AtspiAccessibility& ax() { return *ax_; }
    Element focused() {
        return as<Element>(ax().attribute(ax().systemWide(), AXAttribute::FocusedUIElement)).value_or(nullptr);
    }
    std::optional<QString> role(const Element& e) { return as<QString>(ax().attribute(e, AXAttribute::Role)); }
    std::optional<TextRange> selected(const Element& e) {
        return as<TextRange>(ax().attribute(e, AXAttribute::SelectedTextRange));
    }
    std::optional<Rect> bounds(const Element& e, long long location, long long length) {
        return as<Rect>(ax().parameterizedAttribute(e, AXAttribute::BoundsForRange, TextRange{location, length}));
    }
    std::optional<Rect> frame(const Element& e) {
        const auto position = as<Point>(ax().attribute(e, AXAttribute::Position));
        const auto size = as<Size>(ax().attribute(e, AXAttribute::Size));
        if (!position || !size) {
            return std::nullopt;
        }
        return Rect{position->x, position->y, size->width, size->height};
    }
    /// The focused element once it is the widget at `expected` (focus events and window activation take a moment).
    Element focusedAt(const Rect& expected) {
        Element found;
        pumpUntil([&] {
            found = focused();
            const auto at = found ? frame(found) : std::nullopt;
            return at && std::abs(at->x - expected.x) <= kTolerance && std::abs(at->y - expected.y) <= kTolerance &&
                   std::abs(at->width - expected.width) <= kTolerance;
        });
        return found;
    }

    std::unique_ptr<AtspiAccessibility> ax_;
};

TEST_F(AtspiAccessibilityTest, FocusedEntryAnswersRoleCaretAndGeometry) {
    TextClient client({QStringLiteral("entry"), QStringLiteral("hello world"), QStringLiteral("5")});
    const auto entry = client.ready();
    ASSERT_TRUE(entry);
    const Element element = focusedAt(*entry);
    ASSERT_TRUE(element) << "no focused element at the entry's frame";

    EXPECT_EQ(role(element), AXRole::TextField);
    EXPECT_EQ(selected(element), (TextRange{5, 0}));
    const auto at = frame(element);
    ASSERT_TRUE(at);
    EXPECT_NEAR(at->x, entry->x, kTolerance);
    EXPECT_NEAR(at->y, entry->y, kTolerance);
    EXPECT_NEAR(at->width, entry->width, kTolerance);
    EXPECT_NEAR(at->height, entry->height, kTolerance);

    const auto caret = bounds(element, 5, 0);
    const auto before = bounds(element, 4, 1);
    const auto after = bounds(element, 5, 1);
    ASSERT_TRUE(caret && before && after);
    EXPECT_TRUE(liesWithin(*caret, *entry));
    EXPECT_EQ(caret->width, 0);
    EXPECT_GE(caret->height, 8);
    EXPECT_LE(caret->height, entry->height);
    // The caret stands between the fifth and sixth characters.
    EXPECT_NEAR(caret->x, before->maxX(), 1);
    EXPECT_NEAR(caret->x, after->minX(), 1);
    EXPECT_GT(after->width, 0);
    EXPECT_TRUE(liesWithin(*after, *entry));
}

TEST_F(AtspiAccessibilityTest, CaretAndSelectionChangesAreSeenOnTheNextRead) {
    TextClient client({QStringLiteral("entry"), QStringLiteral("hello world"), QStringLiteral("5")});
    const auto entry = client.ready();
    ASSERT_TRUE(entry);
    const Element element = focusedAt(*entry);
    ASSERT_TRUE(element);
    const auto middle = bounds(element, 5, 0);

    ASSERT_TRUE(client.send("caret 11"));
    EXPECT_EQ(selected(element), (TextRange{11, 0}));
    // At the end of the text no character follows the caret; it still has the line's height, after the last one.
    const auto end = bounds(element, 11, 0);
    const auto last = bounds(element, 10, 1);
    ASSERT_TRUE(middle && end && last);
    EXPECT_GT(end->x, middle->x);
    EXPECT_NEAR(end->x, last->maxX(), 1);
    EXPECT_NEAR(end->height, middle->height, 1);
    EXPECT_TRUE(liesWithin(*end, *entry));

    ASSERT_TRUE(client.send("select 2 7"));
    EXPECT_EQ(selected(element), (TextRange{2, 5}));
    const auto span = bounds(element, 2, 5);
    const auto first = bounds(element, 2, 1);
    const auto fifth = bounds(element, 6, 1);
    ASSERT_TRUE(span && first && fifth);
    EXPECT_TRUE(liesWithin(*span, *entry));
    EXPECT_NEAR(span->minX(), first->minX(), 1);
    EXPECT_NEAR(span->maxX(), fifth->maxX(), 1);
}

TEST_F(AtspiAccessibilityTest, RolesFollowTheKindOfWidget) {
    const struct {
        QString mode;
        QString role;
        bool text;
    } cases[] = {
        {QStringLiteral("password"), AXRole::TextField, true},
        {QStringLiteral("search"), AXRole::SearchField, true},
        {QStringLiteral("textview"), AXRole::TextArea, true},
        {QStringLiteral("combo"), AXRole::ComboBox, true},
        {QStringLiteral("button"), QStringLiteral("AXPushButton"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode.toStdString());
        TextClient client({c.mode, QStringLiteral("first\\nsecond"), QStringLiteral("3")});
        const auto widget = client.ready();
        ASSERT_TRUE(widget);
        const Element element = focusedAt(*widget);
        ASSERT_TRUE(element);
        EXPECT_EQ(role(element), c.role);
        if (!c.text) {
            EXPECT_FALSE(selected(element)) << "a button has no text to select";
            EXPECT_FALSE(bounds(element, 0, 1));
            continue;
        }
        EXPECT_EQ(selected(element), (TextRange{3, 0}));
        const auto caret = bounds(element, 3, 0);
        ASSERT_TRUE(caret);
        EXPECT_TRUE(liesWithin(*caret, *widget));
    }
}

TEST_F(AtspiAccessibilityTest, MultiLineSelectionSpansItsLines) {
    // "first\nsecond": characters 2..9 run from the first line into the second.
    TextClient client(
        {QStringLiteral("textview"), QStringLiteral("first\\nsecond"), QStringLiteral("2"), QStringLiteral("9")});
    const auto view = client.ready();
    ASSERT_TRUE(view);
    const Element element = focusedAt(*view);
    ASSERT_TRUE(element);
    EXPECT_EQ(selected(element), (TextRange{2, 7}));
    const auto span = bounds(element, 2, 7);
    const auto firstLine = bounds(element, 2, 1);
    const auto secondLine = bounds(element, 8, 1);
    ASSERT_TRUE(span && firstLine && secondLine);
    EXPECT_GT(secondLine->minY(), firstLine->minY());
    EXPECT_LE(span->minY(), firstLine->minY() + 1);
    EXPECT_GE(span->maxY(), secondLine->maxY() - 1);
    EXPECT_TRUE(liesWithin(*span, *view));
}

TEST_F(AtspiAccessibilityTest, FocusFollowsTheWidgetAndTheActiveWindow) {
    TextClient pair({QStringLiteral("pair"), QStringLiteral("one"), QStringLiteral("1")});
    const auto first = pair.ready();
    ASSERT_TRUE(first);
    ASSERT_TRUE(focusedAt(*first));
    const auto second = pair.focusSecond();
    ASSERT_TRUE(second);
    const Element moved = focusedAt(*second);
    ASSERT_TRUE(moved) << "the focus did not follow to the second entry";
    EXPECT_EQ(role(moved), AXRole::TextField);

    TextClient view({QStringLiteral("textview"), QStringLiteral("other window"), QStringLiteral("0")});
    const auto area = view.ready();
    ASSERT_TRUE(area);
    const Element other = focusedAt(*area);
    ASSERT_TRUE(other) << "the focus did not follow to the newly active window";
    EXPECT_EQ(role(other), AXRole::TextArea);

    ASSERT_EQ(testing::XServer::run(QStringLiteral("xdotool"),
                                    {QStringLiteral("search"), QStringLiteral("--name"),
                                     QStringLiteral("atspi-text-client-pair"), QStringLiteral("windowactivate")}),
              0);
    const Element back = focusedAt(*second);
    ASSERT_TRUE(back) << "the focus did not return with the first window";
    EXPECT_EQ(role(back), AXRole::TextField);
}

TEST_F(AtspiAccessibilityTest, FindsTheFocusWithoutHavingSeenItMove) {
    TextClient client({QStringLiteral("entry"), QStringLiteral("already focused"), QStringLiteral("7")});
    const auto entry = client.ready();
    ASSERT_TRUE(entry);
    ax_.reset();
    // A backend started after the focus moved has heard no event and must look for the focused element.
    ax_ = std::make_unique<AtspiAccessibility>([] { return true; });
    const Element element = focused();
    ASSERT_TRUE(element);
    EXPECT_EQ(role(element), AXRole::TextField);
    EXPECT_EQ(selected(element), (TextRange{7, 0}));
    const auto at = frame(element);
    ASSERT_TRUE(at);
    EXPECT_NEAR(at->x, entry->x, kTolerance);
    EXPECT_NEAR(at->y, entry->y, kTolerance);
}

TEST_F(AtspiAccessibilityTest, NothingIsFocusedWithoutAFocusedWidget) {
    EXPECT_FALSE(focused()) << "no client is running";
    TextClient client({QStringLiteral("label"), QStringLiteral("nothing to type into")});
    ASSERT_TRUE(client.ready());
    EXPECT_FALSE(focused());
}

TEST_F(AtspiAccessibilityTest, ReadsAnswerNothingOnceTheClientHasGone) {
    TextClient client({QStringLiteral("entry"), QStringLiteral("short lived"), QStringLiteral("3")});
    const auto entry = client.ready();
    ASSERT_TRUE(entry);
    const Element element = focusedAt(*entry);
    ASSERT_TRUE(element);
    ASSERT_TRUE(role(element));
    ASSERT_TRUE(client.quit());

    EXPECT_TRUE(pumpUntil([&] { return !role(element); })) << "the role still answers";
    EXPECT_TRUE(isNothing(ax().attribute(element, AXAttribute::SelectedTextRange)));
    EXPECT_TRUE(isNothing(ax().attribute(element, AXAttribute::Position)));
    EXPECT_TRUE(isNothing(ax().attribute(element, AXAttribute::Size)));
    EXPECT_FALSE(bounds(element, 3, 0));
    EXPECT_TRUE(pumpUntil([&] { return !focused(); })) << "the gone entry is still focused";
}

TEST_F(AtspiAccessibilityTest, HungClientIsSkippedUntilItSpeaksAgain) {
    TextClient client({QStringLiteral("pair"), QStringLiteral("frozen"), QStringLiteral("2")});
    const auto entry = client.ready();
    ASSERT_TRUE(entry);
    const Element element = focusedAt(*entry);
    ASSERT_TRUE(element);
    ASSERT_EQ(::kill(pid_t(client.pid()), SIGSTOP), 0);

    const auto stopped = Clock::now();
    EXPECT_FALSE(role(element));
    const auto firstRead = Clock::now() - stopped;
    // Bounded by the backend's short call timeout, not the bus's default of 25 s.
    EXPECT_LT(firstRead, std::chrono::seconds(3));
    const auto skipping = Clock::now();
    EXPECT_FALSE(role(element));
    EXPECT_FALSE(selected(element));
    EXPECT_FALSE(bounds(element, 2, 0));
    EXPECT_FALSE(focused());
    // Nothing waited for the stopped client again.
    EXPECT_LT(Clock::now() - skipping, firstRead / 2);

    ASSERT_EQ(::kill(pid_t(client.pid()), SIGCONT), 0);
    ASSERT_TRUE(client.focusSecond());
    // Its focus event ends the pause well before the pause would run out by itself.
    using std::chrono::milliseconds;
    const auto left = std::chrono::duration_cast<milliseconds>(milliseconds(4000) - (Clock::now() - stopped));
    ASSERT_GT(left.count(), 0) << "the machine is too slow to tell the event from the pause running out";
    EXPECT_TRUE(pumpUntil([&] { return role(element) == AXRole::TextField; }, int(left.count())));
}

TEST_F(AtspiAccessibilityTest, WrongKindsAndForeignElementsAnswerNothing) {
    TextClient client({QStringLiteral("entry"), QStringLiteral("hello"), QStringLiteral("1")});
    const auto entry = client.ready();
    ASSERT_TRUE(entry);
    const Element element = focusedAt(*entry);
    ASSERT_TRUE(element);

    struct Foreign final : ElementHandle {};
    const Element foreign = std::make_shared<Foreign>();
    for (const Element& e : {Element(), foreign}) {
        EXPECT_TRUE(isNothing(ax().attribute(e, AXAttribute::Role)));
        EXPECT_TRUE(isNothing(ax().attribute(e, AXAttribute::FocusedUIElement)));
        EXPECT_TRUE(isNothing(ax().parameterizedAttribute(e, AXAttribute::BoundsForRange, TextRange{0, 1})));
    }
    EXPECT_TRUE(isNothing(ax().attribute(ax().systemWide(), AXAttribute::Role)));
    EXPECT_TRUE(isNothing(ax().attribute(element, AXAttribute::FocusedUIElement)));
    EXPECT_TRUE(isNothing(ax().attribute(element, AXAttribute::Title)));
    EXPECT_TRUE(isNothing(ax().parameterizedAttribute(element, AXAttribute::BoundsForRange, Point{1, 1})));
    EXPECT_TRUE(isNothing(ax().parameterizedAttribute(element, AXAttribute::Role, TextRange{0, 1})));
    EXPECT_TRUE(
        isNothing(ax().parameterizedAttribute(ax().systemWide(), AXAttribute::BoundsForRange, TextRange{0, 1})));
    EXPECT_FALSE(bounds(element, -1, 1));
    EXPECT_FALSE(bounds(element, 0, -1));
    EXPECT_FALSE(bounds(element, 1LL << 40, 1));

    EXPECT_FALSE(ax().setAttribute(element, AXAttribute::SelectedTextRange, TextRange{0, 0}));
    EXPECT_FALSE(ax().performAction(element, kAXRaiseAction));
    EXPECT_EQ(ax().windowNumber(element), 0U);
    EXPECT_FALSE(ax().application(std::int32_t(client.pid())));
    // The read before and after the rejected ones still answers.
    EXPECT_EQ(role(element), AXRole::TextField);
}

// libatspi connects once per process, so the program without a bus runs in a child of its own, started afresh
// (threadsafe style) and without the test environments.
TEST(AtspiAccessibilityWithoutBus, ReadsAnswerNothingAndTrustStillAnswers) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    qputenv(kWithoutBusMarker, "1");
    EXPECT_EXIT(
        {
            qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tillory-test-bus");
            qunsetenv("AT_SPI_BUS_ADDRESS");
            bool trusted = false;
            AtspiAccessibility ax([&trusted] { return trusted; });
            const bool untrusted = !ax.isTrusted() && !ax.isTrustedPrompting();
            trusted = true;
            const bool nothing =
                !ax.available() && isNothing(ax.attribute(ax.systemWide(), AXAttribute::FocusedUIElement)) &&
                isNothing(ax.attribute(ax.systemWide(), AXAttribute::Role)) &&
                isNothing(ax.parameterizedAttribute(ax.systemWide(), AXAttribute::BoundsForRange, TextRange{0, 1}));
            std::exit(untrusted && ax.isTrusted() && ax.isTrustedPrompting() && nothing ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    qunsetenv(kWithoutBusMarker);
}

} // namespace
} // namespace tillory::platform::nix
