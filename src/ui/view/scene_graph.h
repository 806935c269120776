#pragma once

#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QTimer>

#ifdef __GLIBC__
#include <malloc.h>
#endif

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

/// Lets the scene graph of `window`, whose items were just released, free their pictures (textures) at once: it
/// does so only at a sync, and a window that is hidden or going away has none coming. The sync renders into an
/// image of the window's size, so a window that never had a size is given one pixel to draw into.
inline void releaseSceneGraphPictures(QQuickWindow& window) {
    if (window.size().isEmpty()) {
        window.resize(1, 1);
    }
    window.grabWindow();
}

/// Hands memory the allocator keeps for reuse back to the system once the current event is done: after a view is
/// let go, its scene, pictures and engine would otherwise stay in the process's resident size. Main thread.
inline void returnFreedMemorySoon() {
#ifdef __GLIBC__
    QTimer::singleShot(0, [] { malloc_trim(0); });
#endif
}

} // namespace tillory::ui
