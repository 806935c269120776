# The Debian package: `bash scripts/package.sh`, or `cpack -G DEB` in a configured build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tillory)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Tillory developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Clipboard history, window switcher, snap layouts and more, behind one tray icon")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Tillory is one small background program behind one tray icon that gathers desktop tools: a clipboard "
    "history with a palette at the text caret, a window switcher with live thumbnails, snap layouts, a "
    "now-playing island, a system monitor and two keyboard helpers, for X11 desktops.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Tillory developers")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Shared libraries come from dpkg-shlibdeps; what the program loads at run time (the QML modules its views
# import and the modules those import in turn) is named here. The X11 platform plugin ships with libqt6gui6.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qml6-module-qtquick, qml6-module-qtquick-controls, qml6-module-qtquick-templates, qml6-module-qtquick-shapes, \
qml6-module-qtquick-window, qml6-module-qtqml, qml6-module-qtqml-models, qml6-module-qtqml-workerscript")
# Qt's Wayland platform plugin draws the ordinary windows in a Wayland session.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "at-spi2-core, qt6-wayland")
# Packaging installs what was built; building every test first is not its business.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
