#!/usr/bin/env bash
# Installs what building and running need, builds the program alone (Release, no tests or benchmarks) and starts
# it on the current X display, or on a virtual one when there is none.
set -euo pipefail
cd "$(dirname "$0")/.."
# `run.sh --tour [folder]`: the README's pictures instead (scripts/tour.sh).
if [ "${1:-}" = "--tour" ]; then shift; exec bash scripts/tour.sh "$@"; fi

bash scripts/install-deps.sh --run
cmake --preset release >/dev/null
cmake --build --preset release --target tillory -j"$(nproc)"

if [ -z "${DISPLAY:-}" ]; then
    exec 3< <(exec Xvfb -noreset -displayfd 1 -screen 0 1280x800x24 -nolisten tcp 2>/dev/null)
    xvfb=$!
    read -r number <&3
    export DISPLAY=":$number"
    echo "No X display found: started a virtual one (Xvfb) on $DISPLAY. Tillory runs there without a visible screen."
    # The virtual display goes when Tillory does.
    trap 'kill "$xvfb" 2>/dev/null || true' EXIT
    ./build/release/src/app/tillory "$@"
    exit
fi

exec ./build/release/src/app/tillory "$@"
