#pragma once

#include <QObject>

class QSocketNotifier;

namespace tillory::app {

/// Turns SIGTERM and SIGINT (how a Linux session ends its programs) into an orderly quit of the event loop, so
/// the termination work runs. The handler only writes a byte to a pipe; the event loop does the rest.
class SignalQuitter : public QObject {
    Q_OBJECT
public:
    explicit SignalQuitter(QObject* parent = nullptr);
    ~SignalQuitter() override;

private:
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace tillory::app
