#include "platform/wayland/pipe_transfer.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tillory::platform::nix {
namespace {

void makeNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) {
        fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    }
}

} // namespace

void ignoreBrokenPipes() {
    std::signal(SIGPIPE, SIG_IGN);
}

PipeReader::PipeReader(int fd, qsizetype maxBytes, int timeoutMs, std::function<void(std::optional<QByteArray>)> done)
    : fd_(fd), maxBytes_(maxBytes), done_(std::move(done)) {
    makeNonBlocking(fd_);
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { readAvailable(); });
    silence_.setSingleShot(true);
    silence_.setInterval(timeoutMs);
    connect(&silence_, &QTimer::timeout, this, [this] { finish(std::nullopt); });
    silence_.start();
}

PipeReader::~PipeReader() {
    done_ = nullptr;
    if (fd_ >= 0) {
        notifier_.reset();
        ::close(fd_);
    }
}

void PipeReader::readAvailable() {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) {
            if (data_.size() + n > maxBytes_) {
                finish(std::nullopt);
                return;
            }
            data_.append(buffer, n);
            silence_.start();
            continue;
        }
        if (n == 0) {
            finish(std::move(data_));
            return;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            finish(std::nullopt);
        }
        return;
    }
}

void PipeReader::finish(std::optional<QByteArray> result) {
    if (fd_ < 0) {
        return;
    }
    silence_.stop();
    notifier_.reset();
    ::close(fd_);
    fd_ = -1;
    if (auto done = std::move(done_)) {
        done_ = nullptr;
        done(std::move(result)); // may destroy this reader: nothing after it
    }
}

void PipeWriter::start(int fd, QByteArray data, int timeoutMs) {
    auto* writer = new PipeWriter(fd, std::move(data), timeoutMs);
    writer->writeSome();
}

PipeWriter::PipeWriter(int fd, QByteArray data, int timeoutMs) : fd_(fd), data_(std::move(data)) {
    makeNonBlocking(fd_);
    silence_.setSingleShot(true);
    silence_.setInterval(timeoutMs);
    connect(&silence_, &QTimer::timeout, this, [this] { finish(); });
    silence_.start();
}

PipeWriter::~PipeWriter() {
    notifier_.reset();
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void PipeWriter::writeSome() {
    while (written_ < data_.size()) {
        const ssize_t n = ::write(fd_, data_.constData() + written_, static_cast<size_t>(data_.size() - written_));
        if (n > 0) {
            written_ += n;
            silence_.start();
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!notifier_) {
                notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
                connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { writeSome(); });
            }
            return;
        }
        break; // the reader went away
    }
    finish();
}

void PipeWriter::finish() {
    silence_.stop();
    notifier_.reset();
    // Closed now, not at deletion: the end of the data is the reader's signal to stop waiting.
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    deleteLater();
}

} // namespace tillory::platform::nix
