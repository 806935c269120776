#!/usr/bin/env bash
# Builds a Release Tillory and its Debian package into build/package/ (install it with
# `sudo apt install ./build/package/tillory_*.deb`). With a build folder as argument it packages that build as it
# is instead (the test step packages the ci build this way).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-}
out=${2:-build/package}
if [ -z "$build" ]; then
    bash scripts/install-deps.sh --run
    cmake --preset release >/dev/null
    cmake --build --preset release --target tillory -j"$(nproc)"
    build=build/release
fi
mkdir -p "$out"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out"
rm -rf "$out/_CPack_Packages"
ls "$out"/tillory_*.deb
