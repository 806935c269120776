#pragma once

#include <QQuickImageProvider>

class QQmlEngine;

namespace tillory::monitor {

class ProcessIcons;

/// Serves the process list's icons under image://tillory-process/<pid> from what the icon cache holds (the
/// dashboard looked them up when it built its rows). Main thread.
class ProcessIconProvider final : public QQuickImageProvider {
public:
    static constexpr const char* kName = "tillory-process";

    explicit ProcessIconProvider(ProcessIcons& icons);
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;

private:
    ProcessIcons& icons_;
};

/// Gives `engine` the process icons, unless it has them already.
void installProcessIcons(QQmlEngine& engine, ProcessIcons& icons);

} // namespace tillory::monitor
