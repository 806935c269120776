// The Wayland clipboard against a real compositor (a headless sway of the test's own): copies by other programs
// seen without focus, what they offer mapped to the pasteboard's types, and Tillory's own writes read back by
// them.
#include "platform/wayland/data_control_pasteboard.h"
#include "platform/wayland/wayland_connection.h"

#include "wlr-data-control-unstable-v1-client.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <wayland-client.h>

#include <unistd.h>

#include <vector>

using namespace tillory::platform;
using namespace tillory::platform::nix;

namespace {

QCoreApplication& app() {
    static int argc = 1;
    static char name[] = "data_control_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

template <class Predicate>
bool spinUntil(Predicate done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

void spinFor(int ms) {
    spinUntil([] { return false; }, ms);
}

// Runs a clipboard tool while the event loop keeps serving (the tool may be reading from us).
QByteArray runTool(const QStringList& command, const QByteArray& input = {}) {
    QProcess process;
    process.start(command.first(), command.mid(1));
    if (!process.waitForStarted(5000)) {
        return "<did not start>";
    }
    process.write(input);
    process.closeWriteChannel();
    spinUntil([&] { return process.state() == QProcess::NotRunning; }, 10000);
    return process.readAllStandardOutput();
}

class DataControlPasteboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
            GTEST_SKIP() << "needs a Wayland compositor (run inside tests/wayland/sway-session.sh)";
        }
        if (QStandardPaths::findExecutable(QStringLiteral("wl-copy")).isEmpty()) {
            GTEST_SKIP() << "needs wl-clipboard";
        }
        connection_ = WaylandConnection::open();
        ASSERT_TRUE(connection_);
        pasteboard_ = DataControlPasteboard::create(*connection_);
        ASSERT_TRUE(pasteboard_);
        subscription_ = pasteboard_->observeChanges([this] { ++told_; });
    }

    // Copies with wl-copy and waits until the change is announced.
    void copy(const QStringList& arguments, const QByteArray& bytes) {
        const std::int64_t before = pasteboard_->changeCount();
        const int toldBefore = told_;
        runTool(QStringList{QStringLiteral("wl-copy")} + arguments, bytes);
        ASSERT_TRUE(spinUntil([&] { return told_ > toldBefore; }, 5000)) << "no change announced";
        EXPECT_GT(pasteboard_->changeCount(), before);
    }

    std::unique_ptr<WaylandConnection> connection_;
    std::unique_ptr<DataControlPasteboard> pasteboard_;
    SubscriptionPtr subscription_;
    int told_ = 0;
};

TEST_F(DataControlPasteboardTest, OtherProgramsCopiesAreSeenWithTheirTypes) {
    struct Case {
        const char* what;
        QStringList arguments;
        QByteArray bytes;
        std::optional<QString> text;
        QStringList mustHave;
        QStringList mustLack;
    };
    const QString rtfText = QStringLiteral("{\\rtf1 bold}");
    const Case cases[] = {
        {"plain text", {}, "hello from another program", QStringLiteral("hello from another program"),
         {PasteboardType::String}, {PasteboardType::RTF}},
        {"markup stays text", {}, "<b>x</b><img src=\"http://127.0.0.1:1/x.png\">",
         QStringLiteral("<b>x</b><img src=\"http://127.0.0.1:1/x.png\">"), {PasteboardType::String}, {}},
        {"invalid UTF-8 decodes with replacement", {QStringLiteral("--type"), QStringLiteral("text/plain;charset=utf-8")},
         QByteArray("a\xff" "b"), QStringLiteral("a\uFFFDb"), {PasteboardType::String}, {}},
        {"RTF only: no text", {QStringLiteral("--type"), QStringLiteral("application/rtf")}, rtfText.toUtf8(),
         std::nullopt,
         {PasteboardType::RTF}, {PasteboardType::String}},
        {"a password manager's copy", {QStringLiteral("--type"), QStringLiteral("x-kde-passwordManagerHint")},
         "secret", std::nullopt, {PasteboardType::Concealed}, {PasteboardType::String}},
        {"9 MiB of text is not read", {QStringLiteral("--type"), QStringLiteral("text/plain")},
         QByteArray(9 * 1024 * 1024, 'z'), std::nullopt, {PasteboardType::String}, {}},
        {"the clipboard cleared", {QStringLiteral("--clear")}, {}, std::nullopt, {},
         {PasteboardType::String, PasteboardType::RTF}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        copy(c.arguments, c.bytes);
        EXPECT_EQ(pasteboard_->string(), c.text);
        const QStringList types = pasteboard_->types();
        for (const QString& type : c.mustHave) {
            EXPECT_TRUE(types.contains(type)) << type.toStdString() << " in " << types.join(' ').toStdString();
        }
        for (const QString& type : c.mustLack) {
            EXPECT_FALSE(types.contains(type)) << type.toStdString();
        }
        if (c.mustHave.contains(PasteboardType::RTF)) {
            EXPECT_EQ(pasteboard_->data(PasteboardType::RTF), rtfText.toUtf8());
        }
    }
}

TEST_F(DataControlPasteboardTest, OwnWritesAreReadByOtherProgramsAndCountOnce) {
    const QByteArray rtf = "{\\rtf1 written}";
    const int toldBefore = told_;
    const std::int64_t count = pasteboard_->write(QStringLiteral("written by Tillory ✓"), rtf);
    spinFor(300); // the compositor's echo of our own copy arrives meanwhile
    EXPECT_EQ(pasteboard_->changeCount(), count);
    EXPECT_EQ(told_, toldBefore + 1);
    EXPECT_EQ(pasteboard_->string(), QStringLiteral("written by Tillory ✓"));
    EXPECT_FALSE(pasteboard_->types().contains(QStringLiteral("application/x-tillory-own-copy")));

    struct Case {
        const char* what;
        QStringList arguments;
        QByteArray expected;
    };
    for (const Case& c : {Case{"text", {QStringLiteral("--no-newline")}, QByteArray("written by Tillory ✓")},
                          Case{"RTF", {QStringLiteral("--no-newline"), QStringLiteral("--type"), QStringLiteral("text/rtf")}, rtf}}) {
        EXPECT_EQ(runTool(QStringList{QStringLiteral("wl-paste")} + c.arguments), c.expected) << c.what;
    }

    // Writing again replaces the first source without a moment of an empty clipboard in between.
    const std::int64_t second = pasteboard_->write(QStringLiteral("second"), std::nullopt);
    spinFor(300);
    EXPECT_EQ(pasteboard_->changeCount(), second);
    EXPECT_EQ(second, count + 1);
    EXPECT_EQ(runTool({QStringLiteral("wl-paste"), QStringLiteral("--no-newline")}), QByteArray("second"));

    // Another program's copy takes over from ours.
    copy({}, "theirs");
    EXPECT_EQ(pasteboard_->string(), QStringLiteral("theirs"));
}

TEST_F(DataControlPasteboardTest, TwoWatchersInOneProcessServeEachOther) {
    // The second writes; the first reads it through the compositor while the same main thread serves it.
    std::unique_ptr<WaylandConnection> otherConnection = WaylandConnection::open();
    ASSERT_TRUE(otherConnection);
    std::unique_ptr<DataControlPasteboard> other = DataControlPasteboard::create(*otherConnection);
    ASSERT_TRUE(other);
    const int toldBefore = told_;
    other->write(QStringLiteral("from the other watcher"), QByteArray("{\\rtf1 other}"));
    ASSERT_TRUE(spinUntil([&] { return told_ > toldBefore; }, 5000));
    EXPECT_EQ(pasteboard_->string(), QStringLiteral("from the other watcher"));
    EXPECT_EQ(pasteboard_->data(PasteboardType::RTF), QByteArray("{\\rtf1 other}"));
    EXPECT_TRUE(pasteboard_->types().contains(PasteboardType::RTF));
}

/// A program that puts on the clipboard whatever list of formats it likes, and answers each read with `answer`.
class RawSource {
public:
    explicit RawSource(const QStringList& formats, QByteArray answer) : answer_(std::move(answer)) {
        connection_ = WaylandConnection::open();
        if (!connection_) {
            return;
        }
        manager_ = static_cast<zwlr_data_control_manager_v1*>(
            connection_->bind(&zwlr_data_control_manager_v1_interface, 1));
        seat_ = static_cast<wl_seat*>(connection_->bind(&wl_seat_interface, 1));
        if (!manager_ || !seat_) {
            return;
        }
        device_ = zwlr_data_control_manager_v1_get_data_device(manager_, seat_);
        // The compositor tells this device of every selection too: its offers are let go with it.
        static constexpr zwlr_data_control_device_v1_listener kDevice{
            [](void* data, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1* offer) {
                static_cast<RawSource*>(data)->offers_.push_back(offer);
            },
            [](void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1*) {},
            [](void*, zwlr_data_control_device_v1*) {},
            [](void*, zwlr_data_control_device_v1*, zwlr_data_control_offer_v1*) {}};
        zwlr_data_control_device_v1_add_listener(device_, &kDevice, this);
        source_ = zwlr_data_control_manager_v1_create_data_source(manager_);
        static constexpr zwlr_data_control_source_v1_listener kListener{
            [](void* data, zwlr_data_control_source_v1*, const char*, std::int32_t fd) {
                const QByteArray& bytes = static_cast<RawSource*>(data)->answer_;
                (void)!::write(fd, bytes.constData(), std::size_t(bytes.size()));
                ::close(fd);
            },
            [](void*, zwlr_data_control_source_v1*) {}};
        zwlr_data_control_source_v1_add_listener(source_, &kListener, this);
        int sent = 0;
        for (const QString& format : formats) {
            zwlr_data_control_source_v1_offer(source_, format.toUtf8().constData());
            if (++sent % 200 == 0) {
                connection_->roundtrip(); // no more than the socket holds in flight
            }
        }
        zwlr_data_control_device_v1_set_selection(device_, source_);
        connection_->flush();
    }
    ~RawSource() {
        if (source_) {
            zwlr_data_control_source_v1_destroy(source_);
        }
        if (device_) {
            zwlr_data_control_device_v1_destroy(device_);
        }
        for (zwlr_data_control_offer_v1* offer : offers_) {
            zwlr_data_control_offer_v1_destroy(offer);
        }
        if (manager_) {
            zwlr_data_control_manager_v1_destroy(manager_);
        }
        if (seat_) {
            wl_proxy_destroy(reinterpret_cast<wl_proxy*>(seat_));
        }
        if (connection_) {
            connection_->flush();
        }
    }
    RawSource(const RawSource&) = delete;
    RawSource& operator=(const RawSource&) = delete;
    bool made() const { return source_ != nullptr; }

private:
    QByteArray answer_;
    std::unique_ptr<WaylandConnection> connection_;
    zwlr_data_control_manager_v1* manager_ = nullptr;
    wl_seat* seat_ = nullptr;
    zwlr_data_control_device_v1* device_ = nullptr;
    zwlr_data_control_source_v1* source_ = nullptr;
    std::vector<zwlr_data_control_offer_v1*> offers_;
};

TEST_F(DataControlPasteboardTest, AbsurdOffersAreCutToWhatAProgramMayReallyOffer) {
    QStringList junk;
    for (int i = 0; i < 5000; ++i) {
        junk << QStringLiteral("application/x-junk-%1").arg(i);
    }
    const QString huge = QStringLiteral("text/") + QString(300, QLatin1Char('x'));
    struct Case {
        const char* what;
        QStringList formats;
        std::optional<QString> text;
        qsizetype maxTypes;
    };
    const Case cases[] = {
        {"text first, then 5000 more formats", QStringList{QStringLiteral("text/plain")} + junk,
         QStringLiteral("kept"), 256},
        {"text only after 5000 formats", junk + QStringList{QStringLiteral("text/plain")}, std::nullopt, 256},
        {"a 305-byte format name is left out", {huge, QStringLiteral("text/plain")}, QStringLiteral("kept"), 2},
        {"the same format 5000 times", QStringList(5000, QStringLiteral("text/plain")), QStringLiteral("kept"), 2},
    };
    // Each source stays until the next replaces it: a source that goes first would clear the clipboard between.
    std::unique_ptr<RawSource> previous;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int toldBefore = told_;
        auto source = std::make_unique<RawSource>(c.formats, "kept");
        ASSERT_TRUE(source->made());
        ASSERT_TRUE(spinUntil([&] { return told_ > toldBefore; }, 10000)) << "no change announced";
        EXPECT_LE(pasteboard_->types().size(), c.maxTypes);
        EXPECT_FALSE(pasteboard_->types().contains(huge));
        EXPECT_EQ(pasteboard_->string(), c.text);
        previous = std::move(source);
    }
    // A sound copy afterwards is seen as ever.
    copy({}, "after the absurd ones");
    EXPECT_EQ(pasteboard_->string(), QStringLiteral("after the absurd ones"));
}

} // namespace
