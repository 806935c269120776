#pragma once

#include <QQuickWindow>
#include <QSGRendererInterface>

namespace tillory::ui {

/// Makes Qt Quick's software scene graph the default for every view: a GL context costs tens of MiB (a whole
/// software GL where there is no GPU driver) that small popups and overlays do not need. QT_QUICK_BACKEND or
/// QSG_RHI_BACKEND in the environment still choose (QT_QUICK_BACKEND=rhi brings the GPU renderer back). Call
/// before the first Qt Quick window is made. Main thread.
inline void preferSoftwareSceneGraph() {
    if (qEnvironmentVariableIsSet("QT_QUICK_BACKEND") || qEnvironmentVariableIsSet("QSG_RHI_BACKEND")) {
        return;
    }
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}

} // namespace tillory::ui
