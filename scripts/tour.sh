#!/usr/bin/env bash
# The picture tour: builds the program (Release), starts it on a virtual 1280x800 display with a window manager,
# a tray host and a few windows, opens each view and writes a PNG of it into the folder given (docs/ by default).
# Installs what the end-to-end tests need first (Xvfb, openbox, trayer, xdotool, ImageMagick, ...); an xterm
# joins the pictures when one is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-docs}"

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target tillory -j"$(nproc)"
exec python3 tests/e2e/picture_tour.py --tillory build/release/src/app/tillory --out "$out"
