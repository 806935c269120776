#!/usr/bin/env bash
# Installs what is missing, builds every target and runs every test: unit, view and end-to-end tests against a
# real X server, the Debian package installed and purged again, then the tests again under AddressSanitizer +
# UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/check-layers.sh

jobs=$(nproc)
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/tillory-runtime.XXXXXX)}"
# The Wayland tests fail here rather than skip when headless sway cannot run: install-deps put it in place.
export TILLORY_REQUIRE_SWAY=1
chmod 700 "$XDG_RUNTIME_DIR"

cmake --preset ci >/dev/null
cmake --build --preset ci -j"$jobs"
QT_QPA_PLATFORM=offscreen ctest --preset ci -j"$jobs"
# The Debian package of that build: installed, run from /usr/bin, validated and purged again.
bash tests/package/package_check.sh build/ci

cmake --preset asan >/dev/null
cmake --build --preset asan -j"$jobs"
LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp" QT_QPA_PLATFORM=offscreen ctest --preset asan -j"$jobs"
