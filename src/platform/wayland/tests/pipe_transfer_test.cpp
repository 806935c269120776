// Pipes between Tillory and other programs' clipboards: what arrives, what is refused, and that a reader or
// writer that goes quiet or away costs neither the main thread nor the process.
#include "platform/wayland/pipe_transfer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace tillory::platform::nix;

namespace {

QCoreApplication& app() {
    static int argc = 1;
    static char name[] = "pipe_tests";
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

struct ReadCase {
    const char* what;
    qsizetype bytesWritten;
    bool closeWriter;
    qsizetype cap;
    std::optional<qsizetype> expected; // size read, or nothing
};

class PipeReaderTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(PipeReaderTest, EndsWithTheBytesOrNothing) {
    app();
    const ReadCase c = GetParam();
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    bool done = false;
    std::optional<QByteArray> result;
    PipeReader reader(fds[0], c.cap, 300, [&](std::optional<QByteArray> bytes) {
        done = true;
        result = std::move(bytes);
    });
    // Written in pieces while the loop runs, as another program would.
    const QByteArray piece(4096, 'x');
    qsizetype left = c.bytesWritten;
    ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
    while (left > 0 && !done) {
        const qsizetype n = std::min<qsizetype>(left, piece.size());
        const ssize_t wrote = ::write(fds[1], piece.constData(), static_cast<size_t>(n));
        if (wrote > 0) {
            left -= wrote;
        }
        QCoreApplication::processEvents();
    }
    if (c.closeWriter) {
        ::close(fds[1]);
    }
    ASSERT_TRUE(spinUntil([&] { return done; }, 3000)) << c.what;
    if (!c.closeWriter) {
        ::close(fds[1]);
    }
    if (c.expected) {
        ASSERT_TRUE(result) << c.what;
        EXPECT_EQ(result->size(), *c.expected) << c.what;
    } else {
        EXPECT_FALSE(result) << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PipeReaderTest,
    ::testing::Values(ReadCase{"short text, then the end", 5, true, 1024, 5},
                      ReadCase{"nothing at all, then the end", 0, true, 1024, 0},
                      ReadCase{"many reads' worth", 300000, true, 1 << 20, 300000},
                      ReadCase{"exactly the cap", 8192, true, 8192, 8192},
                      ReadCase{"one byte over the cap", 8193, true, 8192, std::nullopt},
                      ReadCase{"far over the cap, writer never stops", 1 << 20, false, 65536, std::nullopt},
                      ReadCase{"text but no end: silence", 5, false, 1024, std::nullopt}));

TEST(PipeReader, DestroyedEarlyCallsNothingAndClosesItsEnd) {
    app();
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    bool called = false;
    {
        PipeReader reader(fds[0], 1024, 300, [&](std::optional<QByteArray>) { called = true; });
    }
    // With the read end closed, writing fails instead of blocking or ending the process.
    ignoreBrokenPipes();
    EXPECT_EQ(::write(fds[1], "x", 1), -1);
    ::close(fds[1]);
    spinUntil([] { return false; }, 400);
    EXPECT_FALSE(called);
}

TEST(PipeWriter, DeliversEverythingToASlowReaderAndSurvivesOneThatLeaves) {
    app();
    ignoreBrokenPipes();
    struct Case {
        const char* what;
        qsizetype size;
        bool readerLeaves;
    };
    for (const Case& c : {Case{"larger than the pipe's buffer", 1 << 20, false}, Case{"empty", 0, false},
                          Case{"reader gone before the end", 1 << 20, true}}) {
        int fds[2];
        ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        QByteArray data(c.size, '\0');
        for (qsizetype i = 0; i < data.size(); ++i) {
            data[i] = static_cast<char>('a' + i % 26);
        }
        PipeWriter::start(fds[1], data, 2000);
        QByteArray got;
        char buffer[4096];
        ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
        const bool ended = spinUntil(
            [&] {
                if (c.readerLeaves && got.size() >= 65536) {
                    return true;
                }
                const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
                if (n > 0) {
                    got.append(buffer, n);
                }
                return n == 0;
            },
            5000);
        ::close(fds[0]);
        ASSERT_TRUE(ended) << c.what;
        if (c.readerLeaves) {
            spinUntil([] { return false; }, 200); // the writer meets the closed pipe and ends
            EXPECT_GE(got.size(), 65536) << c.what;
        } else {
            EXPECT_EQ(got, data) << c.what;
        }
    }
}

} // namespace
