#!/usr/bin/env bash
# The picture tour: builds the program (Release), starts it on a virtual 1280x800 display with a window manager,
# a tray host and a few windows, opens each view and writes a PNG of it into the folder given (docs/ by default).
# Installs what the end-to-end tests need first (Xvfb, openbox, trayer, xdotool, ImageMagick, ...); an xterm
# joins the pictures when one is installed. With --wayland, the overlays on a headless sway with its bar instead
# (docs/wayland-*.png).
set -euo pipefail
cd "$(dirname "$0")/.."
wayland=0
if [ "${1:-}" = "--wayland" ]; then
    wayland=1
    shift
fi
out="${1:-docs}"

bash scripts/install-deps.sh
cmake --preset release >/dev/null
if [ "$wayland" = 1 ]; then
    cmake --build --preset release --target tillory tillory_wl_keys tillory_text_client -j"$(nproc)"
    exec tests/wayland/sway-session.sh --bar python3 tests/e2e/wayland_tour.py --tillory build/release/src/app/tillory \
        --keys build/release/tests/tillory_wl_keys --client build/release/tests/tillory_text_client --out "$out"
fi
cmake --build --preset release --target tillory -j"$(nproc)"
exec python3 tests/e2e/picture_tour.py --tillory build/release/src/app/tillory --out "$out"
