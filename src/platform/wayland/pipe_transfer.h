#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QSocketNotifier;

namespace tillory::platform::nix {

/// Reads a pipe to its end on the main thread as data arrives, never waiting for it. Ends with the bytes read,
/// or with nothing when the writer sent more than `maxBytes`, went silent for `timeoutMs` or failed. Owns the
/// file descriptor; destroying the reader closes it and calls nothing.
class PipeReader final : public QObject {
    Q_OBJECT
public:
    PipeReader(int fd, qsizetype maxBytes, int timeoutMs, std::function<void(std::optional<QByteArray>)> done);
    ~PipeReader() override;
    bool isDone() const { return fd_ < 0; }

private:
    void readAvailable();
    void finish(std::optional<QByteArray> result);

    int fd_;
    qsizetype maxBytes_;
    QByteArray data_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer silence_;
    std::function<void(std::optional<QByteArray>)> done_;
};

/// Writes `data` into a pipe on the main thread as the reader takes it, then closes it; gives up when the reader
/// takes nothing for `timeoutMs` or goes away. Deletes itself when done.
class PipeWriter final : public QObject {
    Q_OBJECT
public:
    static void start(int fd, QByteArray data, int timeoutMs);
    ~PipeWriter() override;

private:
    PipeWriter(int fd, QByteArray data, int timeoutMs);
    void writeSome();
    void finish();

    int fd_;
    QByteArray data_;
    qsizetype written_ = 0;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer silence_;
};

/// Writing to a pipe whose reader has gone must fail with EPIPE rather than end the process.
void ignoreBrokenPipes();

} // namespace tillory::platform::nix
