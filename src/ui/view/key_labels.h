#pragma once

#include "platform/api/key_names.h"

#include <QObject>

namespace tillory::ui {

/// Gives views the platform's names for the modifier keys their texts write as symbols: every view that names a
/// key shows it through `text()`. Main thread.
class KeyLabels : public QObject {
    Q_OBJECT

public:
    explicit KeyLabels(platform::KeyNames names = {}, QObject* parent = nullptr)
        : QObject(parent), names_(std::move(names)) {}

    Q_INVOKABLE QString text(const QString& text) const { return names_.label(text); }

private:
    platform::KeyNames names_;
};

} // namespace tillory::ui
