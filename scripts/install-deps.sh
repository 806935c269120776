#!/usr/bin/env bash
# Installs what building, running and testing Tillory needs on Debian 12 (with --run: building and running
# only). Safe to run again: apt is only called when something is missing.
set -euo pipefail

# What building and running need.
packages=(
    build-essential cmake ninja-build pkg-config python3
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl1-mesa-dev libxcb1-dev
    qt6-declarative-dev qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
    qml6-module-qtquick-shapes qml6-module-qtquick-window qml6-module-qtquick-templates qml6-module-qtqml
    qml6-module-qtqml-workerscript qml6-module-qtqml-models
    libxcb-ewmh-dev libxcb-icccm4-dev libxcb-res0-dev libxcb-xtest0-dev libxcb-xinput-dev libxcb-xkb-dev
    libxcb-keysyms1-dev libxcb-composite0-dev libxcb-render0-dev libxcb-render-util0-dev libxcb-shm0-dev
    at-spi2-core libatspi2.0-dev libudev-dev x11proto-dev xvfb xauth dbus fonts-dejavu-core
    libwayland-dev libwayland-bin wayland-protocols libxkbcommon-dev qt6-wayland
)
# What only the tests, the fuzzers and the package check need: compilers for the fuzz preset, window managers,
# clients and tools the end-to-end tests drive.
test_packages=(
    libgtest-dev libgmock-dev googletest libbenchmark-dev xterm
    clang libclang-rt-14-dev clang-format
    gir1.2-atspi-2.0 python3-gi python3-pyatspi gir1.2-gtk-3.0 libgtk-3-0
    openbox icewm fluxbox wmctrl xclip xdotool x11-utils x11-xserver-utils x11-apps imagemagick trayer
    python3-dbusmock python3-dbus desktop-file-utils mpv mpv-mpris
    sway wl-clipboard foot grim
)
case "${1:-}" in
    --run) ;;
    "") packages+=("${test_packages[@]}") ;;
    *) echo "usage: $0 [--run]   (--run: only what building and running need)" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
